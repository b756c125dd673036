// Typed parameters, sequence unpacking and small object helpers.
#include "convert.h"

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

Py_ssize_t length(PyObject* o) {
    const Py_ssize_t n = PyObject_Size(o);
    if (n < 0) raise();
    return n;
}

namespace {

// A float, or an int that a double holds exactly: what complex() reads of it.
bool plain_real(PyObject* o, double& out) noexcept {
    if (PyFloat_CheckExact(o)) {
        out = PyFloat_AS_DOUBLE(o);
        return true;
    }
    if (!PyLong_CheckExact(o)) return false;
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
    if (overflow || v > (1LL << 53) || v < -(1LL << 53)) return false;
    out = double(v);
    return true;
}

}  // namespace

Py_complex complex_of(PyObject* p) {
    if (PyTuple_CheckExact(p) && PyTuple_GET_SIZE(p) == 2) {
        Py_complex z;
        if (plain_real(PyTuple_GET_ITEM(p, 0), z.real) && plain_real(PyTuple_GET_ITEM(p, 1), z.imag)) return z;
    }
    Ref args;
    if (PyTuple_CheckExact(p)) {
        args = Ref::borrow(p);
    } else {
        if (!PyList_Check(p) && !PyIter_Check(p)) {
            PyObject* probe = PyObject_GetIter(p);
            if (!probe) {
                PyErr_Clear();
                raise_format(PyExc_TypeError, "complex() argument after * must be an iterable, not %.200s",
                             Py_TYPE(p)->tp_name);
            }
            Py_DECREF(probe);
        }
        args = own(PySequence_Tuple(p));
    }
    Ref z = own(PyObject_Call(reinterpret_cast<PyObject*>(&PyComplex_Type), args.get(), nullptr));
    return reinterpret_cast<PyComplexObject*>(z.get())->cval;
}

Py_complex complex_of(PyObject* x, PyObject* y) {
    // complex() reads a float or an int as a float would hold it.
    auto plain = [](PyObject* o) { return PyFloat_CheckExact(o) || PyLong_CheckExact(o); };
    if (plain(x) && plain(y)) return Py_complex{to_double(x), to_double(y)};
    Ref xy = new_tuple({x, y});
    return complex_of(xy.get());
}

Ref new_list(std::span<PyObject* const> items) {
    Ref list = own(PyList_New(Py_ssize_t(items.size())));
    Py_ssize_t i = 0;
    for (PyObject* item : items) PyList_SET_ITEM(list.get(), i++, Py_NewRef(item));
    return list;
}

Ref new_tuple(std::span<PyObject* const> items) {
    Ref tuple = own(PyTuple_New(Py_ssize_t(items.size())));
    Py_ssize_t i = 0;
    for (PyObject* item : items) PyTuple_SET_ITEM(tuple.get(), i++, Py_NewRef(item));
    return tuple;
}

Ref annotations(std::initializer_list<std::pair<const char*, const char*>> items) {
    Ref dict = own(PyDict_New());
    for (auto [name, text] : items) {
        Ref value = own(PyUnicode_FromString(text));
        check(PyDict_SetItemString(dict.get(), name, value.get()));
    }
    return dict;
}

}  // namespace vy
