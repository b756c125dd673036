// Typed parameters, sequence unpacking and small object helpers.
#include "frame.h"

#include <climits>

namespace vy {

double to_double(PyObject* o) {
    if (PyFloat_CheckExact(o)) return PyFloat_AS_DOUBLE(o);
    // float(int) without the temporary float: the same value and the same
    // OverflowError.
    double d = PyLong_CheckExact(o) ? PyLong_AsDouble(o) : PyFloat_AsDouble(o);
    if (d == -1.0 && PyErr_Occurred()) raise();
    return d;
}

Py_complex to_complex(PyObject* o) {
    if (PyComplex_CheckExact(o)) return reinterpret_cast<PyComplexObject*>(o)->cval;
    if (PyFloat_CheckExact(o)) return Py_complex{PyFloat_AS_DOUBLE(o), 0.0};
    Py_complex z = PyComplex_AsCComplex(o);
    if (z.real == -1.0 && PyErr_Occurred()) raise();
    return z;
}

namespace {

int long_to_int(PyObject* v) {
    int overflow = 0;
    long value = PyLong_AsLongAndOverflow(v, &overflow);
    if (value == -1 && !overflow && PyErr_Occurred()) raise();
    if (overflow || value < INT_MIN || value > INT_MAX)
        raise(PyExc_OverflowError, "value too large to convert to int");
    return int(value);
}

}  // namespace

int to_int(PyObject* o) {
    if (PyLong_Check(o)) return long_to_int(o);
    PyNumberMethods* nb = Py_TYPE(o)->tp_as_number;
    if (!nb || !nb->nb_int) raise(PyExc_TypeError, "an integer is required");
    Ref r = own(nb->nb_int(o));
    if (!PyLong_Check(r.get()))
        raise_format(PyExc_TypeError, "__int__ returned non-int (type %.200s)", Py_TYPE(r.get())->tp_name);
    return long_to_int(r.get());
}

bool to_bool(PyObject* o) {
    if (o == Py_True) return true;
    if (o == Py_False || o == Py_None) return false;
    return check(PyObject_IsTrue(o)) != 0;
}

namespace {

[[noreturn]] void need_more(Py_ssize_t found) {
    raise_format(PyExc_ValueError, "need more than %zd value%.1s to unpack", found, found == 1 ? "" : "s");
}

[[noreturn]] void too_many(Py_ssize_t expected) {
    raise_format(PyExc_ValueError, "too many values to unpack (expected %zd)", expected);
}

}  // namespace

void unpack(PyObject* seq, Ref* out, Py_ssize_t n) {
    if (PyTuple_CheckExact(seq)) {
        Py_ssize_t size = PyTuple_GET_SIZE(seq);
        if (size != n) size < n ? need_more(size) : too_many(n);
        for (Py_ssize_t i = 0; i < n; ++i) out[i] = Ref::borrow(PyTuple_GET_ITEM(seq, i));
        return;
    }
    if (PyList_CheckExact(seq)) {
        // Size and items are read together: another thread may resize the list.
        Py_ssize_t size;
        Py_BEGIN_CRITICAL_SECTION(seq);
        size = PyList_GET_SIZE(seq);
        if (size == n)
            for (Py_ssize_t i = 0; i < n; ++i) out[i] = Ref::borrow(PyList_GET_ITEM(seq, i));
        Py_END_CRITICAL_SECTION();
        if (size != n) size < n ? need_more(size) : too_many(n);
        return;
    }
    Ref it = own(PyObject_GetIter(seq));
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = PyIter_Next(it.get());
        if (!item) {
            if (PyErr_Occurred()) raise();
            need_more(i);
        }
        out[i] = Ref::steal(item);
    }
    // One item more than the targets tells whether the sequence was longer.
    PyObject* extra = PyIter_Next(it.get());
    if (extra) {
        Py_DECREF(extra);
        too_many(n);
    }
    if (PyErr_Occurred()) raise();
}

Ref new_list(std::initializer_list<PyObject*> items) {
    Ref list = own(PyList_New(Py_ssize_t(items.size())));
    Py_ssize_t i = 0;
    for (PyObject* item : items) PyList_SET_ITEM(list.get(), i++, Py_NewRef(item));
    return list;
}

Ref annotations(std::initializer_list<std::pair<const char*, const char*>> items) {
    Ref dict = own(PyDict_New());
    for (auto [name, text] : items) {
        Ref value = own(PyUnicode_FromString(text));
        check(PyDict_SetItemString(dict.get(), name, value.get()));
    }
    return dict;
}

Ref call(PyObject* fn, std::initializer_list<PyObject*> args) {
    return own(PyObject_Vectorcall(fn, const_cast<PyObject* const*>(args.begin()), args.size(), nullptr));
}

}  // namespace vy
