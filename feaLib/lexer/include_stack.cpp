// IncludingLexer and NonIncludingLexer: a stack of Lexers, one per file of the
// current chain of includes, and the resolution of include paths.
#include "lexer.h"

namespace lexer {

namespace {

const vy::Name n_read{"read"}, n_name{"name"}, n_encoding{"encoding"}, n_close{"close"}, n_pop{"pop"}, n_append{"append"};
const vy::Name n_path{"path"}, n_isabs{"isabs"}, n_dirname{"dirname"}, n_join{"join"}, n_getcwd{"getcwd"};
const vy::Name s_r{"r"}, s_utf8_sig{"utf-8-sig"}, s_include{"include"};

// The deepest chain of includes: the top-level file and four nested ones.
constexpr Py_ssize_t kMaxLexers = 5;

PyObject* init(vy::Call& c, vy::Args& a) {
    PyObject* self = a.o(0);
    c.at(226);
    {
        vy::Ref first = call_method(self, n_make_lexer_, a.o(1));
        setattr(self, n_lexers_, vy::new_list({first.get()}).get());
    }
    c.at(227);
    {
        vy::Ref lexers = getattr(self, n_lexers_);
        vy::Ref top = vy::item(lexers.get(), k_zero.get());
        setattr(self, n_featurefilepath, getattr(top.get(), n_filename_).get());
    }
    c.at(228);
    setattr(self, n_includeDir, a.o(2));
    Py_RETURN_NONE;
}

PyObject* iter(vy::Call&, vy::Args& a) { return Py_NewRef(a.o(0)); }

PyObject* next(vy::Call& c, vy::Args& a) {
    c.at(236);
    return call_method(a.o(0), n_dunder_next).release();
}

// os.path.<name>
vy::Ref os_path(const vy::Name& name) {
    vy::Ref os = vy::global(n_os);
    vy::Ref path = getattr(os.get(), n_path);
    return getattr(path.get(), name);
}

// The path an include names: absolute as it is, else joined to includeDir,
// the top-level file's directory or the current directory.
vy::Ref resolve(vy::Call& c, PyObject* self, PyObject* fname) {
    c.at(260);
    if (truth(vy::call(os_path(n_isabs).get(), {fname}).get())) {
        c.at(261);
        return vy::Ref::borrow(fname);
    }
    vy::Ref curpath;
    c.at(263);
    if (getattr(self, n_includeDir).get() != Py_None) {
        c.at(264);
        curpath = getattr(self, n_includeDir);
    } else {
        c.at(265);
        if (getattr(self, n_featurefilepath).get() != Py_None) {
            c.at(266);
            vy::Ref dirname = os_path(n_dirname);
            curpath = vy::call(dirname.get(), {getattr(self, n_featurefilepath).get()});
        } else {
            c.at(268);
            vy::Ref os = vy::global(n_os);
            vy::Ref getcwd = getattr(os.get(), n_getcwd);
            curpath = vy::call(getcwd.get(), {});
        }
    }
    c.at(269);
    vy::Ref join = os_path(n_join);
    return vy::call(join.get(), {curpath.get(), fname});
}

// Reads the file name after an `include` and pushes the included file's lexer.
void follow_include(vy::Call& c, PyObject* self, PyObject* lexer, PyObject* location) {
    c.at(251);
    vy::Ref fname = vy::try_except(
        PyExc_StopIteration,
        [&] {
            c.at(252);
            return call_method(lexer, n_next);
        },
        [&](PyObject*) {
            // The include was the file's last token.  Ending here would end
            // the whole stream and silently drop the rest of every including
            // file.
            c.at(254);
            return vy::Ref::borrow(Py_None);
        });
    c.at(255);
    if (fname.get() == Py_None) {
        c.at(256);
        raise_feature_error("Expected file name", location);
    }
    c.at(257);
    auto [fname_type, fname_token, fname_location] = vy::unpack<3>(fname.get());
    c.at(258);
    if (fname_type.get() != lexer_attr(n_FILENAME).get()) {
        c.at(259);
        raise_feature_error("Expected file name", fname_location.get());
    }
    vy::Ref path = resolve(c, self, fname_token.get());
    c.at(270);
    {
        vy::Ref lexers = getattr(self, n_lexers_);
        const Py_ssize_t depth = vy::length(lexers.get());
        if (depth >= kMaxLexers) {
            c.at(271);
            raise_feature_error("Too many recursive includes", fname_location.get());
        }
    }
    c.at(273);
    vy::Ref lexers = getattr(self, n_lexers_);
    vy::Ref append = getattr(lexers.get(), n_append);
    vy::Ref included = vy::try_except(
        PyExc_FileNotFoundError, [&] { return call_method(self, n_make_lexer_, path.get()); },
        [&](PyObject* err) -> vy::Ref {
            c.at(275);
            vy::Ref cls = vy::global(n_IncludedFeaNotFound);
            vy::Ref exc = vy::call(cls.get(), {fname_token.get(), fname_location.get()});
            // raise ... from err: the cause, and the context of an except clause.
            if (PyExceptionInstance_Check(exc.get())) PyException_SetCause(exc.get(), Py_NewRef(err));
            raise_object(exc.get());
        });
    vy::call(append.get(), {included.get()});
}

PyObject* dunder_next(vy::Call& c, vy::Args& a) {
    PyObject* self = a.o(0);
    while (true) {
        c.at(240);
        // Read once where nothing can run between the two reads.
        const bool plain = plain_attribute(self, n_lexers_);
        vy::Ref lexers = plain ? instance_get(self, n_lexers_) : vy::Ref();
        if (!lexers) lexers = getattr(self, n_lexers_);
        if (!truth(lexers.get())) break;
        c.at(241);
        if (!plain || !PyList_CheckExact(lexers.get())) lexers = getattr(self, n_lexers_);
        vy::Ref lexer = vy::item(lexers.get(), k_minus_one.get());
        lexers = vy::Ref();
        c.at(243);
        vy::Ref t;
        bool fresh = false, settled = false;
        const bool got = vy::try_except(
            PyExc_StopIteration,
            [&] {
                if (plain_instance(lexer.get())) {  // its type's __next__ is ours
                    t = called(lexer_dunder_next_def,
                               [&](vy::Call& nc) { return lexer_next(nc, lexer.get(), &settled); });
                    fresh = true;
                } else {
                    t = next_of(lexer.get());
                }
                return true;
            },
            [&](PyObject*) {
                c.at(245);
                vy::Ref lexers = getattr(self, n_lexers_);
                vy::Ref pop = getattr(lexers.get(), n_pop);
                vy::call(pop.get(), {});
                return false;
            });
        if (!got) continue;
        // Our own tuple, seen by nothing else, serves as the new one; any
        // other is unpacked and packed anew.
        std::array<vy::Ref, 3> parts;
        if (!fresh) parts = vy::unpack<3>(t.get());
        auto [type, value, location] = fresh ? vy::tuple_items<3>(t.get()) : vy::borrowed(parts);
        c.at(247);
        if (type == (settled || pristine_lexer() ? n_NAME.get() : lexer_attr(n_NAME).get()) &&
            equal(value, s_include.get())) {
            follow_include(c, self, lexer.get(), location);
            continue;
        }
        c.at(277);
        return fresh ? t.release() : token(type, value, location).release();
    }
    c.at(278);
    raise_stop_iteration();
}

PyObject* make_lexer(vy::Call& c, vy::Args& a) {
    PyObject* file_or_path = a.o(0);
    c.at(283);
    vy::Ref fileobj;
    bool closing;
    if (vy::check(PyObject_HasAttrWithError(file_or_path, n_read.get()))) {
        c.at(284);
        fileobj = vy::Ref::borrow(file_or_path);
        closing = false;
    } else {
        c.at(286);
        closing = true;
        c.at(287);
        fileobj = vy::call_kw(b_open.get(), {file_or_path, s_r.get()}, {&n_encoding}, {s_utf8_sig.get()});
    }
    vy::Ref data, filename;
    try {
        c.at(290);
        data = call_method(fileobj.get(), n_read);
        c.at(291);
        PyObject* name = nullptr;
        vy::check(PyObject_GetOptionalAttr(fileobj.get(), n_name.get(), &name));
        filename = name ? vy::Ref::steal(name) : vy::Ref::borrow(Py_None);
    } catch (const vy::PyError&) {
        // A file this method opened is closed even when reading it fails
        // (say, on bytes that are not UTF-8), instead of waiting for the
        // collector; the read's error is the one reported.
        if (closing) {
            PyObject* exc = PyErr_GetRaisedException();
            PyObject* r = PyObject_CallMethodNoArgs(fileobj.get(), n_close.get());
            Py_XDECREF(r);
            PyErr_Clear();
            PyErr_SetRaisedException(exc);
        }
        throw;
    }
    c.at(292);
    if (closing) {
        c.at(293);
        call_method(fileobj.get(), n_close);
    }
    c.at(294);
    vy::Ref looked_up;
    return vy::call(lexer_class(looked_up), {data.get(), filename.get()}).release();
}

PyObject* scan_anonymous_block(vy::Call& c, vy::Args& a) {
    c.at(298);
    vy::Ref lexers = getattr(a.o(0), n_lexers_);
    vy::Ref last = vy::item(lexers.get(), k_minus_one.get());
    return call_method(last.get(), n_scan_anonymous_block, a.o(1)).release();
}

PyObject* nonincluding_next(vy::Call& c, vy::Args& a) {
    c.at(306);
    vy::Ref lexers = getattr(a.o(0), n_lexers_);
    vy::Ref first = vy::item(lexers.get(), k_zero.get());
    return next_of(first.get()).release();
}

const vy::Param init_params[] = {{"self"}, {"featurefile"}, {"includeDir"}};
const vy::Param self_param[] = {{"self"}};
const vy::Param make_lexer_params[] = {{"file_or_path"}};
const vy::Param block_params[] = {{"self"}, {"tag"}};
const char* const next_locals[] = {"lexer", "token_type", "token", "location", "fname", "fname_type",
                                   "fname_token", "fname_location", "path", "curpath", "err"};
const char* const make_lexer_locals[] = {"fileobj", "closing", "filename", "data"};

}  // namespace

vy::FunctionDef including_init_def{
    .name = "__init__",
    .qualname = "IncludingLexer.__init__",
    .signature = "IncludingLexer.__init__(self, featurefile, *, includeDir=None)",
    .doc = R"(``featurefile`` is a path or a file object.  When ``includeDir`` is
    given, it is the top-level directory against which every relative
    include path is resolved; otherwise the directory of ``featurefile``
    is used.
    )",
    .line = 218,
    .params = init_params,
    .nkwonly = 1,
    .body = init,
};

vy::FunctionDef including_iter_def{
    .name = "__iter__",
    .qualname = "IncludingLexer.__iter__",
    .signature = "IncludingLexer.__iter__(self)",
    .line = 230,
    .params = self_param,
    .body = iter,
};

vy::FunctionDef including_next_def{
    .name = "next",
    .qualname = "IncludingLexer.next",
    .signature = "IncludingLexer.next(self)",
    .line = 234,
    .params = self_param,
    .body = next,
};

vy::FunctionDef including_dunder_next_def{
    .name = "__next__",
    .qualname = "IncludingLexer.__next__",
    .signature = "IncludingLexer.__next__(self)",
    .line = 238,
    .params = self_param,
    .locals = next_locals,
    .body = dunder_next,
};

vy::FunctionDef make_lexer_def{
    .name = "make_lexer_",
    .qualname = "IncludingLexer.make_lexer_",
    .signature = "IncludingLexer.make_lexer_(file_or_path)",
    .line = 280,
    .params = make_lexer_params,
    .locals = make_lexer_locals,
    .body = make_lexer,
};

vy::FunctionDef including_scan_anonymous_block_def{
    .name = "scan_anonymous_block",
    .qualname = "IncludingLexer.scan_anonymous_block",
    .signature = "IncludingLexer.scan_anonymous_block(self, tag)",
    .line = 296,
    .params = block_params,
    .body = scan_anonymous_block,
};

vy::FunctionDef nonincluding_dunder_next_def{
    .name = "__next__",
    .qualname = "NonIncludingLexer.__next__",
    .signature = "NonIncludingLexer.__next__(self)",
    .line = 304,
    .params = self_param,
    .body = nonincluding_next,
};

}  // namespace lexer
