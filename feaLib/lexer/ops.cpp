// The Python-level operations that the method bodies are written in: class
// attribute reads through the module name, augmented assignment, comparison,
// raising, next().
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

}  // namespace lexer
