// The Python-level operations that the method bodies are written in: class
// attribute reads through the module name, augmented assignment, comparison,
// raising, next().
#include <atomic>

#include "lexer.h"

#include <cstring>

namespace lexer {

Constants k;

void make_constants() {
    auto keep = [](PyObject*& slot, PyObject* value) {
        if (!value) vy::raise();
        Py_XSETREF(slot, value);
    };
    keep(k.one, PyLong_FromLong(1));
    keep(k.two, PyLong_FromLong(2));
    keep(k.zero, PyLong_FromLong(0));
    keep(k.minus_one, PyLong_FromLong(-1));
    keep(k.kw_encoding, Py_BuildValue("(s)", "encoding"));
    keep(k.kw_maxsplit, Py_BuildValue("(s)", "maxsplit"));
}

vy::Ref lexer_attr(const vy::Name& name) {
    vy::Ref cls = vy::global(n_Lexer);
    return getattr(cls.get(), name);
}

void add_to(PyObject* self, const vy::Name& name, PyObject* delta) {
    vy::Ref value = getattr(self, name);
    vy::Ref sum = vy::own(PyNumber_InPlaceAdd(value.get(), delta));
    setattr(self, name, sum.get());
}

namespace {

// a == b for two exact strs: a str is always stored in its narrowest kind,
// so equal strings have equal kinds and equal bytes.
bool same_text(PyObject* a, PyObject* b) {
    if (a == b) return true;
    const Py_ssize_t n = PyUnicode_GET_LENGTH(a);
    if (n != PyUnicode_GET_LENGTH(b) || PyUnicode_KIND(a) != PyUnicode_KIND(b)) return false;
    return std::memcmp(PyUnicode_DATA(a), PyUnicode_DATA(b), size_t(n) * PyUnicode_KIND(a)) == 0;
}

}  // namespace

bool equal(PyObject* a, PyObject* b) {
    if (PyUnicode_CheckExact(a) && PyUnicode_CheckExact(b)) return same_text(a, b);
    vy::Ref r = vy::own(PyObject_RichCompare(a, b, Py_EQ));
    return truth(r.get());
}

bool not_equal(PyObject* a, PyObject* b) {
    if (PyUnicode_CheckExact(a) && PyUnicode_CheckExact(b)) return !same_text(a, b);
    vy::Ref r = vy::own(PyObject_RichCompare(a, b, Py_NE));
    return truth(r.get());
}

vy::Ref token(PyObject* type, PyObject* value, PyObject* location) {
    return vy::own(PyTuple_Pack(3, type, value, location));
}

void raise_object(PyObject* obj) {
    if (PyExceptionClass_Check(obj)) {
        vy::Ref value = vy::call(obj, {});
        if (!PyExceptionInstance_Check(value.get()))
            vy::raise_format(PyExc_TypeError, "calling %R should have returned an instance of BaseException, not %R",
                             obj, Py_TYPE(value.get()));
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(value.get())), value.get());
        vy::raise();
    }
    if (!PyExceptionInstance_Check(obj)) vy::raise(PyExc_TypeError, "exceptions must derive from BaseException");
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(obj)), obj);
    vy::raise();
}

void raise_feature_error(PyObject* message, PyObject* location) {
    vy::Ref cls = vy::global(n_FeatureLibError);
    vy::Ref exc = vy::call(cls.get(), {message, location});
    raise_object(exc.get());
}

void raise_feature_error(const char* message, PyObject* location) {
    vy::Ref cls = vy::global(n_FeatureLibError);
    vy::Ref text = vy::own(PyUnicode_FromString(message));
    vy::Ref exc = vy::call(cls.get(), {text.get(), location});
    raise_object(exc.get());
}

void raise_stop_iteration() {
    PyErr_SetNone(PyExc_StopIteration);
    vy::raise();
}

vy::Ref next_of(PyObject* it) {
    if (!PyIter_Check(it))
        vy::raise_format(PyExc_TypeError, "'%.200s' object is not an iterator", Py_TYPE(it)->tp_name);
    PyObject* item = Py_TYPE(it)->tp_iternext(it);
    if (item) return vy::Ref::steal(item);
    if (!PyErr_Occurred()) PyErr_SetNone(PyExc_StopIteration);
    vy::raise();
}

void chain_context(PyObject* handled) noexcept {
    PyObject* exc = PyErr_GetRaisedException();
    if (exc && exc != handled) PyException_SetContext(exc, Py_NewRef(handled));
    PyErr_SetRaisedException(exc);
}

namespace {

// The location type as recorded at exec; only ever read afterwards.
struct LocationType {
    PyTypeObject* cls = nullptr;
    unsigned int version = 0;  // 0: not recognised, always called
} g_location;

unsigned int version_tag(PyTypeObject* t) {
    return std::atomic_ref<unsigned int>(t->tp_version_tag).load(std::memory_order_relaxed);
}

bool no_defaults(PyObject* fn) {
    PyObject* d = PyFunction_GET_DEFAULTS(fn);
    return !d || (PyTuple_Check(d) && PyTuple_GET_SIZE(d) == 0);
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
    PyCodeObject* code = reinterpret_cast<PyCodeObject*>(PyFunction_GET_CODE(fn.get()));
    PyObject* globals = PyFunction_GET_GLOBALS(fn.get());
    vy::Ref tuple_new = vy::Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(&PyTuple_Type), "__new__"));
    PyObject* used = globals ? PyDict_GetItemString(globals, "_tuple_new") : nullptr;
    vy::Ref names = vy::Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(code), "co_names"));
    const bool ok = tuple_new && used == tuple_new.get() && code->co_argcount == 4 && code->co_kwonlyargcount == 0 &&
                    !(code->co_flags & (CO_VARARGS | CO_VARKEYWORDS)) && no_defaults(fn.get()) &&
                    names && PyTuple_Check(names.get()) && PyTuple_GET_SIZE(names.get()) == 1 &&
                    PyUnicode_CompareWithASCIIString(PyTuple_GET_ITEM(names.get(), 0), "_tuple_new") == 0;
    PyErr_Clear();
    return ok;
}

}  // namespace

void record_location_type(PyObject* cls) {
    if (!PyType_Check(cls)) return;
    PyTypeObject* t = reinterpret_cast<PyTypeObject*>(cls);
    if (!packs_three_fields(t) || !PyUnstable_Type_AssignVersionTag(t)) return;
    Py_XSETREF(g_location.cls, reinterpret_cast<PyTypeObject*>(Py_NewRef(cls)));
    g_location.version = version_tag(t);
}

vy::Ref make_location(PyObject* make, PyObject* file, PyObject* line, PyObject* column) {
    bool direct;
    return make_location(make, file, line, column, direct);
}

vy::Ref make_location(PyObject* make, PyObject* file, PyObject* line, PyObject* column, bool& direct) {
    // While the class is the one recorded and unchanged, its __new__ would
    // only do tuple.__new__(cls, (file, line, column)): done here directly,
    // without the Python-level call.
    PyTypeObject* t = g_location.cls;
    if (g_location.version != 0 && make == reinterpret_cast<PyObject*>(t) && version_tag(t) == g_location.version) {
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
