// The generic function object: one type for every Python-visible function,
// one binder and one dispatcher.  Bodies receive bound, converted arguments.
#include "frame.h"
#include "unstable.h"

#include <structmember.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include <pthread.h>
#if defined(__FreeBSD__)
#include <pthread_np.h>
#endif

namespace vy {

PyTypeObject* function_type() noexcept;

namespace {

FunctionObject* as_function(PyObject* o) { return reinterpret_cast<FunctionObject*>(o); }

// ------------------------------------------------------------- binding

[[noreturn]] void wrong_count(const FunctionDef& d, bool exact, bool too_few, Py_ssize_t required,
                              Py_ssize_t given) {
    const Py_ssize_t expected = exact ? d.npos() : too_few ? required : d.npos();
    const char* words = exact ? "exactly" : too_few ? "at least" : "at most";
    raise_format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)", d.name, words,
                 expected, expected == 1 ? "" : "s", given);
}

int find_keyword(const FunctionDef& d, PyObject* key) {
    const int n = int(d.params.size());
    for (int j = 0; j < n; ++j)
        if (d.py_params[j] == key) return j;
    if (!PyUnicode_Check(key)) return -2;
    for (int j = 0; j < n; ++j)
        if (PyUnicode_Compare(d.py_params[j], key) == 0) return j;
    return -1;
}

// Binds positional and keyword arguments to the parameters; `slots` gets
// borrowed references, `varargs` the `*` tuple.
void bind(FunctionObject* f, const FunctionDef& d, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          bool from_dict, PyObject** slots, Ref& varargs) {
    const int npos = d.npos();
    const int nparams = int(d.params.size());
    const Py_ssize_t ndefaults = f->defaults ? PyTuple_GET_SIZE(f->defaults) : 0;
    const Py_ssize_t nrequired = npos - ndefaults;
    const bool exact = !d.varargs && ndefaults == 0;

    if (nargs > npos && !d.varargs) wrong_count(d, exact, false, nrequired, nargs);
    const Py_ssize_t nfilled = std::min<Py_ssize_t>(nargs, npos);
    for (Py_ssize_t i = 0; i < nfilled; ++i) slots[i] = args[i];
    if (d.varargs) {
        const Py_ssize_t extra = nargs > npos ? nargs - npos : 0;
        varargs = own(PyTuple_New(extra));
        for (Py_ssize_t i = 0; i < extra; ++i) PyTuple_SET_ITEM(varargs.get(), i, Py_NewRef(args[npos + i]));
    }

    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        const int j = find_keyword(d, key);
        if (j == -2) {
            if (from_dict) raise(PyExc_TypeError, "keywords must be strings");
            raise_format(PyExc_TypeError, "%.200s() keywords must be strings", d.name);
        }
        if (j < 0) raise_format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", d.name, key);
        if (slots[j]) raise_format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'", d.name, key);
        slots[j] = args[nargs + k];
    }

    for (Py_ssize_t i = nfilled; i < npos; ++i) {
        if (slots[i]) continue;
        if (i >= nrequired) {
            slots[i] = PyTuple_GET_ITEM(f->defaults, i - nrequired);
        } else {
            wrong_count(d, exact, true, nrequired, nkw ? i : nargs);
        }
    }
    for (int j = npos; j < nparams; ++j) {
        if (slots[j]) continue;
        // The keyword defaults dict is never handed out, so it never changes.
        PyObject* v = f->kwdefaults ? PyDict_GetItemWithError(f->kwdefaults, d.py_params[j]) : nullptr;
        if (!v) {
            if (PyErr_Occurred()) raise();
            raise_format(PyExc_TypeError, "%.200s() needs keyword-only argument %U", d.name, d.py_params[j]);
        }
        slots[j] = v;
    }
}

[[noreturn]] void wrong_container(const Param& p, const char* expected, PyObject* arg, bool subclass) {
    PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", p.name,
                 expected, Py_TYPE(arg)->tp_name);
    if (subclass) {
        PyObject* exc = PyErr_GetRaisedException();
        PyObject* r = PyObject_CallMethod(exc, "add_note", "s",
                                          "Subclasses of built-in types are rejected: pass an instance of the "
                                          "built-in type itself.");
        Py_XDECREF(r);
        PyErr_Clear();
        PyErr_SetRaisedException(exc);
    }
    raise();
}

void convert(const FunctionDef& d, PyObject* const* slots, Args& a) {
#ifndef NDEBUG
    a.params = d.params;
#endif
    const int n = int(d.params.size());
    for (int i = 0; i < n; ++i) {
        const Param& p = d.params[i];
        PyObject* o = slots[i];
        switch (p.kind) {
            case Kind::Object: a.v[i].o = o; break;
            case Kind::Double: a.v[i].d = to_double(o); break;
            case Kind::Complex: a.v[i].z = to_complex(o); break;
            case Kind::Int: a.v[i].i = to_int(o); break;
            case Kind::Bool: a.v[i].b = to_bool(o); break;
            case Kind::List:
                if (!PyList_CheckExact(o) && !(p.none_ok && o == Py_None))
                    wrong_container(p, "list", o, PyList_Check(o));
                a.v[i].o = o;
                break;
            case Kind::Set:
                if (!PySet_CheckExact(o) && !(p.none_ok && o == Py_None))
                    wrong_container(p, "set", o, PySet_Check(o));
                a.v[i].o = o;
                break;
        }
    }
}

PyObject* dispatch(FunctionObject* f, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   bool from_dict) noexcept {
    const FunctionDef& d = *f->def;
    Call c{f, &d, d.line};
    try {
        PyObject* slots[kMaxParams] = {};
        Ref varargs;
        bind(f, d, args, nargs, kwnames, from_dict, slots, varargs);
        Args a;
        if (d.conversion_line) c.line = d.conversion_line;
        convert(d, slots, a);
        a.varargs = varargs.get();
        c.line = d.line;
        if (d.generator) return make_generator(d, slots, a, std::move(varargs)).release();
        return d.body(c, a);
    } catch (...) {
        exception_to_python();
    }
    add_traceback(d.py_dotted, c.line);
    return nullptr;
}

PyObject* function_vectorcall(PyObject* self, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    return dispatch(as_function(self), args, PyVectorcall_NARGS(nargsf), kwnames, false);
}

// The ordinary call protocol: the keywords dict is read inside its critical
// section into a private argument vector, then bound like a vectorcall.
PyObject* function_call(PyObject* self, PyObject* argtuple, PyObject* kwargs) {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(argtuple);
    PyObject* const* positional = &PyTuple_GET_ITEM(argtuple, 0);
    if (!kwargs || PyDict_GET_SIZE(kwargs) == 0) return dispatch(as_function(self), positional, nargs, nullptr, true);

    PyObject* result = nullptr;
    PyObject* kwnames = nullptr;
    PyObject** stack = nullptr;
    Py_ssize_t nkw = 0;
    Py_BEGIN_CRITICAL_SECTION(kwargs);
    nkw = PyDict_GET_SIZE(kwargs);
    kwnames = PyTuple_New(nkw);
    stack = static_cast<PyObject**>(PyMem_Malloc(sizeof(PyObject*) * size_t(nargs + nkw + 1)));
    if (kwnames && stack) {
        Py_ssize_t pos = 0, k = 0;
        PyObject *key, *value;
        while (k < nkw && PyDict_Next(kwargs, &pos, &key, &value)) {
            PyTuple_SET_ITEM(kwnames, k, Py_NewRef(key));
            stack[nargs + k] = Py_NewRef(value);
            ++k;
        }
        nkw = k;
    }
    Py_END_CRITICAL_SECTION();
    if (kwnames && stack) {
        for (Py_ssize_t i = 0; i < nargs; ++i) stack[i] = positional[i];
        result = dispatch(as_function(self), stack, nargs, kwnames, true);
        for (Py_ssize_t k = 0; k < nkw; ++k) Py_DECREF(stack[nargs + k]);
    } else if (!PyErr_Occurred()) {
        PyErr_NoMemory();
    }
    PyMem_Free(stack);
    Py_XDECREF(kwnames);
    return result;
}

// ------------------------------------------------------------- the type

PyObject* function_get(PyObject* self, PyObject* obj, PyObject*) {
    if (!obj || obj == Py_None) return Py_NewRef(self);
    return PyMethod_New(self, obj);
}

int function_traverse(PyObject* self, visitproc visit, void* arg) {
    FunctionObject* f = as_function(self);
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(f->module);
    Py_VISIT(f->defaults);
    Py_VISIT(f->kwdefaults);
    Py_VISIT(f->closure);
    Py_VISIT(f->annotations);
    Py_VISIT(f->dict);
    return 0;
}

int function_clear(PyObject* self) {
    FunctionObject* f = as_function(self);
    Py_CLEAR(f->module);
    Py_CLEAR(f->defaults);
    Py_CLEAR(f->kwdefaults);
    Py_CLEAR(f->closure);
    Py_CLEAR(f->annotations);
    Py_CLEAR(f->dict);
    return 0;
}

void function_dealloc(PyObject* self) {
    PyTypeObject* tp = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    if (as_function(self)->weakrefs) PyObject_ClearWeakRefs(self);
    function_clear(self);
    tp->tp_free(self);
    Py_DECREF(tp);
}

PyObject* function_repr(PyObject* self) {
    return PyUnicode_FromFormat("<function %U at %p>", as_function(self)->def->py_qualname, self);
}

PyObject* get_name(PyObject* self, void*) { return Py_NewRef(as_function(self)->def->py_name); }
PyObject* get_qualname(PyObject* self, void*) { return Py_NewRef(as_function(self)->def->py_qualname); }
PyObject* get_doc(PyObject* self, void*) { return Py_NewRef(as_function(self)->def->py_doc); }
PyObject* get_code(PyObject* self, void*) { return Py_NewRef(as_function(self)->def->py_code); }
PyObject* get_module(PyObject* self, void*) { return Py_NewRef(as_function(self)->module); }
PyObject* get_globals(PyObject*, void*) { return Py_NewRef(ModuleState::get().ns); }

PyObject* get_defaults(PyObject* self, void*) {
    PyObject* d = as_function(self)->defaults;
    return Py_NewRef(d ? d : Py_None);
}

// A copy, so that the dict the binder reads never changes.
PyObject* get_kwdefaults(PyObject* self, void*) {
    PyObject* d = as_function(self)->kwdefaults;
    return d ? PyDict_Copy(d) : Py_NewRef(Py_None);
}

PyObject* get_closure(PyObject* self, void*) {
    PyObject* c = as_function(self)->closure;
    return Py_NewRef(c ? c : Py_None);
}

PyObject* get_annotations(PyObject* self, void*) {
    FunctionObject* f = as_function(self);
    PyObject* result = nullptr;
    Py_BEGIN_CRITICAL_SECTION(self);
    if (!f->annotations) f->annotations = PyDict_New();
    result = Py_XNewRef(f->annotations);
    Py_END_CRITICAL_SECTION();
    return result;
}

PyObject* function_reduce(PyObject* self, PyObject*) {
    // Pickled by reference, like module-level Python functions.
    return Py_NewRef(as_function(self)->def->py_qualname);
}

PyGetSetDef function_getset[] = {
    {"__name__", get_name, nullptr, nullptr, nullptr},
    {"__qualname__", get_qualname, nullptr, nullptr, nullptr},
    {"__doc__", get_doc, nullptr, nullptr, nullptr},
    {"__code__", get_code, nullptr, nullptr, nullptr},
    {"__module__", get_module, nullptr, nullptr, nullptr},
    {"__globals__", get_globals, nullptr, nullptr, nullptr},
    {"__defaults__", get_defaults, nullptr, nullptr, nullptr},
    {"__kwdefaults__", get_kwdefaults, nullptr, nullptr, nullptr},
    {"__closure__", get_closure, nullptr, nullptr, nullptr},
    {"__annotations__", get_annotations, nullptr, nullptr, nullptr},
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef function_methods[] = {
    {"__reduce__", function_reduce, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyMemberDef function_members[] = {
    {"__vectorcalloffset__", Py_T_PYSSIZET, offsetof(FunctionObject, vectorcall), Py_READONLY, nullptr},
    {"__dictoffset__", Py_T_PYSSIZET, offsetof(FunctionObject, dict), Py_READONLY, nullptr},
    {"__weaklistoffset__", Py_T_PYSSIZET, offsetof(FunctionObject, weakrefs), Py_READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyType_Slot function_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(function_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(function_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(function_clear)},
    {Py_tp_repr, reinterpret_cast<void*>(function_repr)},
    {Py_tp_call, reinterpret_cast<void*>(function_call)},
    {Py_tp_descr_get, reinterpret_cast<void*>(function_get)},
    {Py_tp_getset, function_getset},
    {Py_tp_methods, function_methods},
    {Py_tp_members, function_members},
    {0, nullptr},
};

PyType_Spec function_spec = {
    "vellary.function",
    sizeof(FunctionObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL | Py_TPFLAGS_METHOD_DESCRIPTOR |
        Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    function_slots,
};

PyTypeObject* g_function_type = nullptr;  // made once, at the first exec
const Name dunder_name{"__name__"};

}  // namespace

PyTypeObject* function_type() noexcept { return g_function_type; }

bool is_function_of(PyObject* fn, const FunctionDef& def) noexcept {
    return Py_TYPE(fn) == g_function_type && as_function(fn)->def == &def;
}

void make_function_type() {
    if (!g_function_type)
        g_function_type = reinterpret_cast<PyTypeObject*>(own(PyType_FromSpec(&function_spec)).release());
}

namespace {

Ref new_function(FunctionDef& def, PyObject* defaults, PyObject* kwdefaults, PyObject* closure,
                 PyObject* annotations) {
    // A nested function whose record its enclosing one does not list.
    if (!def.py_code) raise(PyExc_SystemError, "function record not prepared at exec");
    const ModuleState& m = module_state();
    PyObject* module_name = nullptr;
    check(PyDict_GetItemRef(m.ns, dunder_name.get(), &module_name));
    Ref owned_name = module_name ? Ref::steal(module_name) : Ref::borrow(m.dotted);

    FunctionObject* f = PyObject_GC_New(FunctionObject, g_function_type);
    if (!f) raise();
    f->vectorcall = function_vectorcall;
    f->def = &def;
    f->module = owned_name.release();
    f->defaults = defaults && defaults != Py_None ? Py_NewRef(defaults) : nullptr;
    f->kwdefaults = kwdefaults && kwdefaults != Py_None ? Py_NewRef(kwdefaults) : nullptr;
    f->closure = Py_XNewRef(closure);
    f->annotations = Py_XNewRef(annotations);
    f->dict = nullptr;
    f->weakrefs = nullptr;
    PyObject_GC_Track(f);
    return Ref::steal(reinterpret_cast<PyObject*>(f));
}

}  // namespace

Ref make_function(FunctionDef& def, PyObject* defaults, PyObject* kwdefaults, PyObject* closure,
                  PyObject* annotations) {
    Ref f = new_function(def, defaults, kwdefaults, closure, annotations);
    // Every call reads the function object: marked long-lived, it costs the
    // threads that share it no contended reference count.
    unstable::share_long_lived(f.get());
    return f;
}

Ref make_local_function(FunctionDef& def, PyObject* closure) {
    return new_function(def, nullptr, nullptr, closure, nullptr);
}

}  // namespace vy

namespace vy {

namespace {

// Room left below the deepest check for what runs without one: raising,
// tracebacks, and calls into the interpreter between two checks.
constexpr std::uintptr_t kStackMargin = 64 * 1024;

// The lowest usable address of this thread's stack (1 when unknown).
thread_local std::uintptr_t stack_low = 0;

std::uintptr_t find_stack_low() noexcept {
    pthread_attr_t attr;
    void* addr = nullptr;
    std::size_t size = 0;
#if defined(__FreeBSD__)
    if (pthread_attr_init(&attr) != 0) return 1;
    const bool ok = pthread_attr_get_np(pthread_self(), &attr) == 0;
#else
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return 1;
    const bool ok = true;
#endif
    const bool got = ok && pthread_attr_getstack(&attr, &addr, &size) == 0;
    pthread_attr_destroy(&attr);
    return got && addr ? std::uintptr_t(addr) : 1;
}

}  // namespace

bool stack_nearly_exhausted() noexcept {
    char here;
    if (stack_low == 0) stack_low = find_stack_low();
    return stack_low > 1 && std::uintptr_t(&here) < stack_low + kStackMargin;
}

}  // namespace vy

namespace vy {

Ref closure_of(std::initializer_list<PyObject*> values) {
    Ref cells = own(PyTuple_New(Py_ssize_t(values.size())));
    Py_ssize_t k = 0;
    for (PyObject* v : values) PyTuple_SET_ITEM(cells.get(), k++, own(PyCell_New(v)).release());
    return cells;
}

Ref cell_contents(const Call& c, Py_ssize_t i) {
    return own(PyCell_Get(PyTuple_GET_ITEM(c.closure(), i)));
}

// ------------------------------------------------------------------ calls

Ref call(PyObject* fn, std::initializer_list<PyObject*> args) {
    return own(PyObject_Vectorcall(fn, const_cast<PyObject* const*>(args.begin()), args.size(), nullptr));
}

Ref call_star(PyObject* fn, std::initializer_list<PyObject*> before, PyObject* spread,
              std::initializer_list<PyObject*> after) {
    Ref args = star_tuple(before, spread, after);
    const size_t n = size_t(PyTuple_GET_SIZE(args.get()));
    return own(PyObject_Vectorcall(fn, &PyTuple_GET_ITEM(args.get(), 0), n, nullptr));
}

Ref call_kw(PyObject* fn, std::initializer_list<PyObject*> positional, std::initializer_list<const Name*> keywords,
            std::initializer_list<PyObject*> values) {
    Ref kwnames = own(PyTuple_New(Py_ssize_t(keywords.size())));
    Py_ssize_t k = 0;
    for (const Name* name : keywords) PyTuple_SET_ITEM(kwnames.get(), k++, Py_NewRef(name->get()));
    std::vector<PyObject*> argv(positional);
    argv.insert(argv.end(), values.begin(), values.end());
    return own(PyObject_Vectorcall(fn, argv.data(), positional.size(), kwnames.get()));
}

}  // namespace vy
