#include "objects.h"

#include "function.h"

#include <cstring>

namespace vy {

void add_to(PyObject* self, const Name& name, PyObject* delta) {
    Ref value = getattr(self, name);
    Ref sum = own(PyNumber_InPlaceAdd(value.get(), delta));
    setattr(self, name, sum.get());
}

void add_to(PyObject* self, const Name& name, double delta) {
    Ref value = getattr(self, name);
    Ref sum;
    if (PyFloat_CheckExact(value.get())) {
        sum = float_object(PyFloat_AS_DOUBLE(value.get()) + delta);
    } else {
        Ref d = float_object(delta);
        sum = own(PyNumber_InPlaceAdd(value.get(), d.get()));
    }
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
    Ref r = own(PyObject_RichCompare(a, b, Py_EQ));
    return truth(r.get());
}

bool not_equal(PyObject* a, PyObject* b) {
    if (PyUnicode_CheckExact(a) && PyUnicode_CheckExact(b)) return !same_text(a, b);
    Ref r = own(PyObject_RichCompare(a, b, Py_NE));
    return truth(r.get());
}

Ref next_of(PyObject* it) {
    if (!PyIter_Check(it)) raise_format(PyExc_TypeError, "'%.200s' object is not an iterator", Py_TYPE(it)->tp_name);
    PyObject* item = Py_TYPE(it)->tp_iternext(it);
    if (item) return Ref::steal(item);
    if (!PyErr_Occurred()) PyErr_SetNone(PyExc_StopIteration);
    raise();
}

Ref call(PyObject* fn, std::initializer_list<PyObject*> args) {
    return own(PyObject_Vectorcall(fn, const_cast<PyObject* const*>(args.begin()), args.size(), nullptr));
}

Ref item(PyObject* o, Py_ssize_t i) {
    Ref index = own(PyLong_FromSsize_t(i));
    return own(PyObject_GetItem(o, index.get()));
}

Ref slice(PyObject* o, PyObject* start, PyObject* stop) {
    Ref range = own(PySlice_New(start, stop, nullptr));
    return own(PyObject_GetItem(o, range.get()));
}

}  // namespace vy
