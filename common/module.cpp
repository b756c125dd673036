// Module creation and execution (multi-phase initialisation), imports, names.
#include "frame.h"
#include "unstable.h"
#include "function_code.h"
#include "namespace.h"

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace vy {

void make_function_type();
void make_generator_type();

namespace {

std::vector<Name*>& name_registry() {
    static std::vector<Name*> names;
    return names;
}

std::vector<Builtin*>& builtin_registry() {
    static std::vector<Builtin*> builtins;
    return builtins;
}

std::vector<Internal*>& internal_registry() {
    static std::vector<Internal*> internals;
    return internals;
}

std::vector<Genuine*>& genuine_registry() {
    static std::vector<Genuine*> genuine;
    return genuine;
}

std::vector<Constant*>& constant_registry() {
    static std::vector<Constant*> constants;
    return constants;
}

std::atomic<std::int64_t> g_interpreter{-1};

const Name n_name{"__name__"};
const Name n_package{"__package__"};
const Name n_test{"__test__"};
const Name n_debug{"__debug__"};
const Name n_failed{"failed"};
const Name n_testmod{"testmod"};
const Name n_exit{"exit"};
const Name n_sys{"sys"};
const Name n_doctest{"doctest"};

Ref intern(const std::string& s) { return own(unstable::intern_immortal(s.c_str())); }

// The docstring as the interpreter leaves it: the first line stripped, the
// common indentation of the others removed, blank lines at both ends dropped.
std::string cleandoc(const char* text) {
    std::vector<std::string> lines;
    const char* p = text;
    while (true) {
        const char* e = std::strchr(p, '\n');
        lines.emplace_back(p, e ? size_t(e - p) : std::strlen(p));
        if (!e) break;
        p = e + 1;
    }
    size_t margin = std::string::npos;
    for (size_t i = 1; i < lines.size(); ++i) {
        size_t indent = lines[i].find_first_not_of(' ');
        if (indent != std::string::npos) margin = std::min(margin, indent);
    }
    lines[0].erase(0, lines[0].find_first_not_of(' ') == std::string::npos ? lines[0].size()
                                                                          : lines[0].find_first_not_of(' '));
    for (size_t i = 1; i < lines.size(); ++i)
        lines[i].erase(0, std::min(margin == std::string::npos ? 0 : margin, lines[i].size()));
    auto blank = [](const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; };
    while (!lines.empty() && blank(lines.back())) lines.pop_back();
    size_t first = 0;
    while (first < lines.size() && blank(lines[first])) ++first;
    std::string out;
    for (size_t i = first; i < lines.size(); ++i) {
        if (i > first) out += '\n';
        out += lines[i];
    }
    return out;
}

void prepare_function(FunctionDef& d, ModuleState& m) {
    m.defined.push_back(&d);
    for (FunctionDef* inner : d.nested) prepare_function(*inner, m);
    if (d.py_code) return;
    const char* qualname = d.qualname ? d.qualname : d.name;
    d.py_name = intern(d.name).release();
    d.py_qualname = intern(qualname).release();
    d.py_dotted = intern(std::string(m.def->dotted) + "." + qualname).release();
    std::string doc = d.signature ? d.signature : "";
    if (d.doc) doc += (doc.empty() ? "" : "\n\n") + cleandoc(d.doc);
    d.py_doc = own(PyUnicode_FromStringAndSize(doc.data(), Py_ssize_t(doc.size()))).release();

    const Py_ssize_t nparams = Py_ssize_t(d.params.size());
    if (nparams > kMaxParams) raise(PyExc_SystemError, "too many parameters for the frame");
    const Py_ssize_t nlocals = nparams + (d.varargs ? 1 : 0) + Py_ssize_t(d.locals.size());
    Ref varnames = own(PyTuple_New(nlocals));
    Py_ssize_t k = 0;
    for (Py_ssize_t i = 0; i < nparams; ++i) {
        d.py_params[i] = intern(d.params[i].name).release();
        PyTuple_SET_ITEM(varnames.get(), k++, Py_NewRef(d.py_params[i]));
    }
    if (d.varargs) PyTuple_SET_ITEM(varnames.get(), k++, intern(d.varargs).release());
    for (const char* local : d.locals) PyTuple_SET_ITEM(varnames.get(), k++, intern(local).release());

    const int flags = (d.varargs ? CO_VARARGS : 0) | (d.generator ? CO_GENERATOR : 0);
    d.py_code = function_code(d, m.filename, varnames.get(), flags).release();
}

Ref test_dict() {
    Ref tests = own(PyDict_New());
    for (const FunctionDef* d : ModuleState::get().defined) {
        if (!d->doctest || !d->doc) continue;
        Ref key = own(PyUnicode_FromFormat("%s (line %d)", d->name, d->line));
        Ref value = own(PyUnicode_FromString(d->doc));
        check(PyDict_SetItem(tests.get(), key.get(), value.get()));
    }
    return tests;
}

// ------------------------------------------------------------- create, exec

PyModuleDef g_moduledef{};
PyMethodDef g_no_methods[] = {{nullptr, nullptr, 0, nullptr}};

void copy_spec_attribute(PyObject* spec, PyObject* ns, const char* from, const char* to, bool skip_none) {
    PyObject* value = nullptr;
    check(PyObject_GetOptionalAttrString(spec, from, &value));
    if (!value) return;  // the spec lacks it
    Ref owned = Ref::steal(value);
    if (skip_none && value == Py_None) return;
    check(PyDict_SetItemString(ns, to, value));
}

PyObject* module_create(PyObject* spec, PyModuleDef*) {
    ModuleState& m = ModuleState::get();
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    std::int64_t expected = -1;
    if (!g_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "Interpreter change detected - this module can only be loaded into one interpreter per "
                        "process.");
        return nullptr;
    }
    m.interpreter = id;
    if (m.module) return Py_NewRef(m.module);
    try {
        Ref name = own(PyObject_GetAttrString(spec, "name"));
        Ref module = own(PyModule_NewObject(name.get()));
        PyObject* ns = PyModule_GetDict(module.get());
        if (!ns) raise();
        copy_spec_attribute(spec, ns, "loader", "__loader__", false);
        copy_spec_attribute(spec, ns, "origin", "__file__", false);
        copy_spec_attribute(spec, ns, "parent", "__package__", false);
        copy_spec_attribute(spec, ns, "submodule_search_locations", "__path__", true);
        return module.release();
    } catch (const PyError&) {
        return nullptr;
    }
}

int module_exec(PyObject* module) {
    ModuleState& m = ModuleState::get();
    if (m.module) {
        if (m.module == module) return 0;
        PyErr_Format(PyExc_RuntimeError,
                     "Module '%s' has already been imported. Re-initialisation is not supported.",
                     m.def->short_name);
        return -1;
    }
    m.module = Py_NewRef(module);
    if (unstable::declare_gil_free(module) < 0) {
        Py_CLEAR(m.module);
        return -1;
    }
    Exec x{nullptr, 1};
    try {
        PyObject* ns = PyModule_GetDict(module);
        if (!ns) raise();
        Py_XSETREF(m.ns, Py_NewRef(ns));
        x.ns = ns;
        m.ns_version = watch_namespace(ns);
        Py_XSETREF(m.builtins, own(PyImport_ImportModule("builtins")).release());
        check(PyObject_SetAttrString(module, "__builtins__", m.builtins));

        const int major = int((Py_Version >> 24) & 0xff), minor = int((Py_Version >> 16) & 0xff);
        if (major != PY_MAJOR_VERSION || minor != PY_MINOR_VERSION)
            check(PyErr_WarnFormat(nullptr, 1, "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                                   PY_MAJOR_VERSION, PY_MINOR_VERSION, m.def->dotted, "does not match", major, minor));

        m.make_constants();
        make_function_type();
        make_generator_type();

        PyObject* flag = nullptr;
        check(PyObject_GetOptionalAttr(m.builtins, n_debug.get(), &flag));
        m.debug = flag ? to_bool(flag) : true;
        Py_XDECREF(flag);

        PyObject* existing = nullptr;
        check(PyDict_SetDefaultRef(PyImport_GetModuleDict(), m.dotted, module, &existing));
        Py_XDECREF(existing);

        m.fetch_builtins();
        m.defined.clear();

        m.def->body(x);

        x.at(1);
        check(PyDict_SetItem(ns, n_test.get(), test_dict().get()));
        return 0;
    } catch (...) {
        exception_to_python();
    }
    std::string entry = std::string("init ") + m.def->dotted;
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_ImportError, entry.c_str());
    PyObject* name = PyUnicode_InternFromString(entry.c_str());
    if (name) add_traceback(name, x.line);  // interned names live as long as the process
    Py_CLEAR(m.module);
    return -1;
}

PyModuleDef_Slot g_slots[] = {
    {Py_mod_create, reinterpret_cast<void*>(module_create)},
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

}  // namespace

// ------------------------------------------------------------- state

void ModuleState::make_constants() {
    if (constants_ready) return;
    for (Name* n : name_registry())
        if (!n->obj_) n->obj_ = own(unstable::intern_immortal(n->text_)).release();
    filename = own(PyUnicode_FromString(def->file)).release();
    dotted = intern(def->dotted).release();
    for (Internal* i : internal_registry())
        i->dotted_ = intern(std::string(def->dotted) + "." + i->qualname_).release();
    for (Constant* c : constant_registry()) {
        c->obj_ = c->make_().release();
        if (!c->obj_) raise();
        unstable::share_long_lived(c->obj_);
    }
    constants_ready = true;
}

void ModuleState::fetch_builtins() {
    for (Builtin* b : builtin_registry()) {
        PyObject* v = nullptr;
        Ref name = own(PyUnicode_InternFromString(b->name_));
        check(PyObject_GetOptionalAttr(builtins, name.get(), &v));
        if (!v) raise_format(PyExc_NameError, "name '%U' is not defined", name.get());
        Py_XSETREF(b->obj_, v);
    }
    for (Genuine* g : genuine_registry()) {
        if (g->obj_) continue;
        Ref module = own(PyImport_ImportModule(g->module_));
        Ref fn = own(PyObject_GetAttrString(module.get(), g->name_));
        if (is_builtin_function(fn.get(), g->module_, g->name_)) g->obj_ = fn.release();
    }
}

Name::Name(const char* text) : text_(text) { name_registry().push_back(this); }
Builtin::Builtin(const char* name) : name_(name) { builtin_registry().push_back(this); }
Genuine::Genuine(const char* module, const char* name) : module_(module), name_(name) {
    genuine_registry().push_back(this);
}
Internal::Internal(const char* qualname) : qualname_(qualname) { internal_registry().push_back(this); }
Constant::Constant(Maker make) : make_(make) { constant_registry().push_back(this); }

PyObject* init_module(const ModuleDef& def) {
    ModuleState& m = ModuleState::get();
    m.def = &def;
    g_moduledef.m_base = PyModuleDef_HEAD_INIT;
    g_moduledef.m_name = def.short_name;
    g_moduledef.m_doc = def.doc;
    g_moduledef.m_size = 0;
    g_moduledef.m_methods = g_no_methods;
    g_moduledef.m_slots = g_slots;
    return PyModuleDef_Init(&g_moduledef);
}

// ------------------------------------------------------------- the body

void Exec::import(const char* module, const Name& bind) {
    Ref m = own(PyImport_ImportModuleLevel(module, ns, nullptr, nullptr, 0));
    check(PyDict_SetItem(ns, bind.get(), m.get()));
}

void Exec::import_from(const char* module, std::initializer_list<const Name*> names, int level) {
    std::vector<std::pair<const Name*, const Name*>> pairs;
    for (const Name* n : names) pairs.emplace_back(n, n);
    import_names(module, pairs, level);
}

void Exec::import_from(const char* module, std::initializer_list<std::pair<const Name*, const Name*>> names,
                       int level) {
    std::vector<std::pair<const Name*, const Name*>> pairs(names);
    import_names(module, pairs, level);
}

namespace {

// from <module> import <names>, in the context of the module dict `ns`: the
// values, in order.
std::vector<Ref> import_values(PyObject* ns, const char* module,
                               const std::vector<std::pair<const Name*, const Name*>>& names, int level) {
    std::string absolute = module;
    if (level > 0) {
        PyObject* package = nullptr;
        check(PyDict_GetItemRef(ns, n_package.get(), &package));
        Ref owned = Ref::steal(package);
        if (!package || !PyUnicode_Check(package)) raise(PyExc_ImportError, "attempted relative import with no known parent package");
        absolute = std::string(PyUnicode_AsUTF8(package)) + "." + module;
    }
    Ref absname = own(PyUnicode_FromString(absolute.c_str()));

    // A module already in sys.modules with every requested name is used as it is.
    Ref m = Ref::steal(PyImport_GetModule(absname.get()));
    if (!m && PyErr_Occurred()) raise();
    if (m) {
        for (auto [n, bind] : names) {
            int has = check(PyObject_HasAttrWithError(m.get(), n->get()));
            if (!has) {
                m = Ref();
                break;
            }
        }
    }
    if (!m) {
        Ref fromlist = own(PyTuple_New(Py_ssize_t(names.size())));
        Py_ssize_t i = 0;
        for (auto [n, bind] : names) PyTuple_SET_ITEM(fromlist.get(), i++, Py_NewRef(n->get()));
        Ref modname = own(PyUnicode_FromString(module));
        m = own(PyImport_ImportModuleLevelObject(modname.get(), ns, nullptr, fromlist.get(), level));
    }
    std::vector<Ref> values;
    for (auto [n, bind] : names) {
        PyObject* v = nullptr;
        check(PyObject_GetOptionalAttr(m.get(), n->get(), &v));
        if (!v) {
            Ref sub = own(PyUnicode_FromFormat("%U.%U", absname.get(), n->get()));
            v = PyImport_GetModule(sub.get());
            if (!v) {
                if (PyErr_Occurred()) raise();
                raise_format(PyExc_ImportError, "cannot import name %S", n->get());
            }
        }
        values.push_back(Ref::steal(v));
    }
    return values;
}

}  // namespace

void Exec::import_names(const char* module, const std::vector<std::pair<const Name*, const Name*>>& names,
                        int level) {
    std::vector<Ref> values = import_values(ns, module, names, level);
    for (std::size_t i = 0; i < names.size(); ++i) check(PyDict_SetItem(ns, names[i].second->get(), values[i].get()));
}

Ref import_from(const char* module, const Name& name) {
    std::vector<Ref> values = import_values(ModuleState::get().ns, module, {{&name, &name}}, 0);
    return std::move(values[0]);
}

void Exec::set(const Name& name, PyObject* value) { check(PyDict_SetItem(ns, name.get(), value)); }

void Exec::set(const Name& name, Ref value) {
    // A constant that only the body references: it lives as long as the
    // module anyway.
    unstable::share_long_lived(value.get());
    set(name, value.get());
}

Ref Exec::get(const Name& name) { return global(name); }

PyObject* Exec::def(FunctionDef& d, Ref defaults, Ref kwdefaults, Ref annotations) {
    at(d.line);
    prepare_function(d, ModuleState::get());
    Ref f = make_function(d, defaults.get(), kwdefaults.get(), nullptr, annotations.get());
    check(PyDict_SetItem(ns, d.py_name, f.get()));
    return f.get();  // the namespace holds it
}

namespace {

Ref bases_tuple(std::initializer_list<PyObject*> bases) {
    Ref t = own(PyTuple_New(Py_ssize_t(bases.size())));
    Py_ssize_t i = 0;
    for (PyObject* b : bases) PyTuple_SET_ITEM(t.get(), i++, Py_NewRef(b));
    return t;
}

// The metaclass a class statement would use: the most derived one of the bases'.
Ref metaclass_of(PyObject* bases) {
    PyObject* meta = reinterpret_cast<PyObject*>(&PyType_Type);
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(bases); ++i) {
        PyObject* t = reinterpret_cast<PyObject*>(Py_TYPE(PyTuple_GET_ITEM(bases, i)));
        if (check(PyObject_IsSubclass(meta, t))) continue;
        if (check(PyObject_IsSubclass(t, meta))) {
            meta = t;
            continue;
        }
        raise(PyExc_TypeError,
              "metaclass conflict: the metaclass of a derived class must be a (non-strict) subclass of the "
              "metaclasses of all its bases");
    }
    return Ref::borrow(meta);
}

const Name n_prepare{"__prepare__"}, n_module{"__module__"}, n_qualname{"__qualname__"}, n_doc{"__doc__"};

}  // namespace

PyObject* Exec::begin_class(const char* name, std::initializer_list<PyObject*> bases, const char* doc) {
    Ref b = bases_tuple(bases);
    Ref meta = metaclass_of(b.get());
    Ref cname = own(PyUnicode_FromString(name));
    Ref ns;
    PyObject* prepare = nullptr;
    check(PyObject_GetOptionalAttr(meta.get(), n_prepare.get(), &prepare));
    if (prepare) {
        Ref p = Ref::steal(prepare);
        ns = call(p.get(), {cname.get(), b.get()});
    } else {
        ns = own(PyDict_New());
    }
    Ref module_name = get(n_name);
    check(PyObject_SetItem(ns.get(), n_module.get(), module_name.get()));
    check(PyObject_SetItem(ns.get(), n_qualname.get(), cname.get()));
    if (doc) {
        Ref d = own(PyUnicode_FromString(doc));
        check(PyObject_SetItem(ns.get(), n_doc.get(), d.get()));
    }
    return ns.release();
}

Ref Exec::end_class(const char* name, std::initializer_list<PyObject*> bases, PyObject* ns) {
    Ref b = bases_tuple(bases);
    Ref meta = metaclass_of(b.get());
    Ref cname = own(PyUnicode_FromString(name));
    return call(meta.get(), {cname.get(), b.get(), ns});
}

void ClassBody::set(const Name& name, PyObject* value) { check(PyObject_SetItem(ns, name.get(), value)); }

void ClassBody::set(const Name& name, Ref&& value) {
    Ref owned = std::move(value);
    unstable::share_long_lived(owned.get());
    set(name, owned.get());
}

Ref ClassBody::get(const Name& name) { return own(PyObject_GetItem(ns, name.get())); }

PyObject* ClassBody::def(FunctionDef& d, Ref defaults, Ref kwdefaults) {
    x->at(d.line);
    prepare_function(d, ModuleState::get());
    Ref f = make_function(d, defaults.get(), kwdefaults.get());
    check(PyObject_SetItem(ns, d.py_name, f.get()));
    return f.get();
}

void ClassBody::def_static(FunctionDef& d, PyObject* staticmethod) {
    x->at(d.line);
    prepare_function(d, ModuleState::get());
    Ref f = make_function(d);
    Ref wrapped = call(staticmethod, {f.get()});
    check(PyObject_SetItem(ns, d.py_name, wrapped.get()));
}

bool Exec::is_main() {
    PyObject* name = nullptr;
    check(PyDict_GetItemRef(ns, n_name.get(), &name));
    Ref owned = Ref::steal(name);
    if (!name) raise_format(PyExc_NameError, "name '%U' is not defined", n_name.get());
    return PyUnicode_Check(name) && PyUnicode_CompareWithASCIIString(name, "__main__") == 0;
}

void Exec::run_doctests_and_exit(int line_sys, int line_doctest, int line_exit) {
    at(line_sys);
    import("sys", n_sys);
    at(line_doctest);
    import("doctest", n_doctest);
    at(line_exit);
    Ref sys = get(n_sys);
    Ref exit = own(PyObject_GetAttr(sys.get(), n_exit.get()));
    Ref doctest = get(n_doctest);
    Ref testmod = own(PyObject_GetAttr(doctest.get(), n_testmod.get()));
    Ref result = call(testmod.get(), {});
    Ref failed = own(PyObject_GetAttr(result.get(), n_failed.get()));
    call(exit.get(), {failed.get()});
}

namespace {
const Name n_namedtuple_module{"__name__"}, n_module_keyword{"module"};
}  // namespace

Ref Exec::namedtuple(const Name& factory, const char* name, std::span<const char* const> fields) {
    Ref make = get(factory);
    Ref type_name = str_object(name);
    Ref field_list = own(PyList_New(0));
    for (const char* field : fields) check(PyList_Append(field_list.get(), str_object(field).get()));
    Ref module_name = get(n_namedtuple_module);
    PyObject* args[] = {type_name.get(), field_list.get(), module_name.get()};
    Ref kwnames = new_tuple({n_module_keyword.get()});
    return own(PyObject_Vectorcall(make.get(), args, 2, kwnames.get()));
}

}  // namespace vy
