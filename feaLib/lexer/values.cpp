// The values the lexer makes and reads: its constants and strings, class
// attribute reads through the module name, tokens, errors, and locations.
#include "lexer.h"

namespace lexer {

const vy::Constant k_one{[] { return vy::int_object(1); }}, k_two{[] { return vy::int_object(2); }},
    k_zero{[] { return vy::int_object(0); }}, k_minus_one{[] { return vy::int_object(-1); }};
const vy::Constant k_kw_encoding{[] { return vy::own(Py_BuildValue("(s)", "encoding")); }};
const vy::Constant k_kw_maxsplit{[] { return vy::own(Py_BuildValue("(s)", "maxsplit")); }};

const vy::Name s_features{"<features>"}, s_period{"."}, s_quote{"\""}, s_rparen{")"}, s_line_breaks{"[\r\n]"},
    s_empty{""}, n_sub{"sub"}, n_match{"match"};

PyObject* g_glyphclass_re = nullptr;

vy::Ref lexer_attr(const vy::Name& name) {
    vy::Ref cls = vy::global(n_Lexer);
    return getattr(cls.get(), name);
}

vy::Ref token(PyObject* type, PyObject* value, PyObject* location) {
    return vy::own(PyTuple_Pack(3, type, value, location));
}

void raise_feature_error(PyObject* message, PyObject* location) { vy::raise_new(n_FeatureLibError, {message, location}); }

void raise_feature_error(const char* message, PyObject* location) {
    vy::Ref text = vy::own(PyUnicode_FromString(message));
    raise_feature_error(text.get(), location);
}

namespace {

// The location type as recorded at exec; only ever read afterwards.  Not
// recorded: not recognised, always called.
vy::unstable::RecordedType g_location;
vy::Expected g_location_bound{n_FeatureLibLocation};

bool no_defaults(PyObject* fn) {
    PyObject* d = PyFunction_GET_DEFAULTS(fn);
    return !d || (PyTuple_Check(d) && PyTuple_GET_SIZE(d) == 0);
}

// The code of `__new__(_cls, a, b, c): return _tuple_new(_cls, (a, b, c))`,
// as this interpreter compiles it; NULL with no exception set if it cannot be
// made.
vy::Ref packing_code() {
    vy::Ref module = vy::Ref::steal(Py_CompileString(
        "def __new__(_cls, a, b, c): return _tuple_new(_cls, (a, b, c))", "<location>", Py_file_input));
    vy::Ref consts = module ? vy::Ref::steal(PyObject_GetAttrString(module.get(), "co_consts")) : vy::Ref();
    if (consts && PyTuple_Check(consts.get()))
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(consts.get()); ++i)
            if (PyCode_Check(PyTuple_GET_ITEM(consts.get(), i))) return vy::Ref::borrow(PyTuple_GET_ITEM(consts.get(), i));
    PyErr_Clear();
    return {};
}

// Whether two code objects have the same instructions and constants.
bool same_code(PyObject* a, PyObject* b) {
    for (const char* attr : {"co_code", "co_consts"}) {
        vy::Ref x = vy::Ref::steal(PyObject_GetAttrString(a, attr)), y = vy::Ref::steal(PyObject_GetAttrString(b, attr));
        if (!x || !y || PyObject_RichCompareBool(x.get(), y.get(), Py_EQ) != 1) {
            PyErr_Clear();
            return false;
        }
    }
    return true;
}

// A named tuple whose __new__ is the factory's own `_tuple_new(_cls, (a, b, c))`
// and nothing else: no __init__, no metaclass, tuple the only base.
bool packs_three_fields(PyTypeObject* t) {
    if (Py_TYPE(t) != &PyType_Type || t->tp_base != &PyTuple_Type || t->tp_init != PyTuple_Type.tp_init) return false;
    PyObject* dict = t->tp_dict;
    PyObject* wrapped = dict ? PyDict_GetItemString(dict, "__new__") : nullptr;  // the class is not yet shared
    if (!wrapped || !PyObject_TypeCheck(wrapped, &PyStaticMethod_Type)) return false;
    vy::Ref fn = vy::Ref::steal(PyObject_GetAttrString(wrapped, "__func__"));
    if (!fn || !PyFunction_Check(fn.get())) {
        PyErr_Clear();
        return false;
    }
    PyObject* code = PyFunction_GET_CODE(fn.get());
    PyObject* globals = PyFunction_GET_GLOBALS(fn.get());
    vy::Ref tuple_new = vy::Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(&PyTuple_Type), "__new__"));
    PyObject* used = globals ? PyDict_GetItemString(globals, "_tuple_new") : nullptr;
    vy::Ref names = vy::Ref::steal(PyObject_GetAttrString(code, "co_names"));
    auto field = [&](const char* name) {
        vy::Ref v = vy::Ref::steal(PyObject_GetAttrString(code, name));
        return v && PyLong_Check(v.get()) ? PyLong_AsLong(v.get()) : -1;
    };
    bool ok = tuple_new && used == tuple_new.get() && field("co_argcount") == 4 &&
                    field("co_posonlyargcount") == 0 && field("co_kwonlyargcount") == 0 &&
                    !(field("co_flags") & (CO_VARARGS | CO_VARKEYWORDS)) && no_defaults(fn.get()) && names &&
                    PyTuple_Check(names.get()) && PyTuple_GET_SIZE(names.get()) == 1 &&
                    PyUnicode_CompareWithASCIIString(PyTuple_GET_ITEM(names.get(), 0), "_tuple_new") == 0;
    vy::Ref reference = ok ? packing_code() : vy::Ref();
    ok = ok && reference && same_code(code, reference.get());
    PyErr_Clear();
    return ok;
}

}  // namespace

void record_location_type(PyObject* cls) {
    if (!PyType_Check(cls)) return;
    PyTypeObject* t = reinterpret_cast<PyTypeObject*>(cls);
    if (packs_three_fields(t) && g_location.record(t)) g_location_bound.record(cls);
}

PyObject* location_class(vy::Ref& holder) {
    if (g_location_bound.holds()) return g_location_bound.object();
    holder = vy::global(n_FeatureLibLocation);
    return holder.get();
}

vy::Ref make_location(PyObject* make, PyObject* file, PyObject* line, PyObject* column) {
    bool direct;
    return make_location(make, file, line, column, direct);
}

vy::Ref make_location(PyObject* make, PyObject* file, PyObject* line, PyObject* column, bool& direct) {
    // While the class is the one recorded and unchanged, its __new__ would
    // only do tuple.__new__(cls, (file, line, column)): done here directly,
    // without the Python-level call.
    if (g_location.is(make)) {
        PyTypeObject* t = g_location.type();
        PyObject* o = t->tp_alloc(t, 3);
        if (!o) vy::raise();
        PyTuple_SET_ITEM(o, 0, Py_NewRef(file));
        PyTuple_SET_ITEM(o, 1, Py_NewRef(line));
        PyTuple_SET_ITEM(o, 2, Py_NewRef(column));
        direct = true;
        return vy::Ref::steal(o);
    }
    direct = false;
    return vy::call(make, {file, line, column});
}

}  // namespace lexer
