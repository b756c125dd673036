// Typed conversions, Python objects of machine values, sequence unpacking,
// len() and complex(*p).
#pragma once

#include <array>
#include <initializer_list>
#include <span>
#include <utility>

#include "errors.h"

namespace vy {

double to_double(PyObject* o);
Py_complex to_complex(PyObject* o);
int to_int(PyObject* o);
bool to_bool(PyObject* o);

inline Ref float_object(double d) { return own(PyFloat_FromDouble(d)); }
inline Ref int_object(long long v) { return own(PyLong_FromLongLong(v)); }
inline Ref bool_object(bool b) { return Ref::borrow(b ? Py_True : Py_False); }
inline Ref str_object(const char* utf8) { return own(PyUnicode_FromString(utf8)); }

// len(o)
Py_ssize_t length(PyObject* o);

// The value of an exact int that fits a long long; false for anything else
// (a subclass, a float, a bigger int), with nothing raised.
inline bool exact_int_value(PyObject* o, long long& v) noexcept {
    if (!PyLong_CheckExact(o)) return false;
    int overflow = 0;
    v = PyLong_AsLongLongAndOverflow(o, &overflow);
    return !overflow;
}

// The same for a Py_ssize_t, and whether o is exactly an int.
inline bool exact_ssize(PyObject* o, Py_ssize_t& v) noexcept {
    if (!PyLong_CheckExact(o)) return false;
    v = PyLong_AsSsize_t(o);
    if (v != -1 || !PyErr_Occurred()) return true;
    PyErr_Clear();
    return false;
}
inline bool exact_int(PyObject* o) noexcept { return PyLong_CheckExact(o); }

// complex(*p): the items of p as the arguments of complex().
Py_complex complex_of(PyObject* p);
// complex(x, y)
Py_complex complex_of(PyObject* x, PyObject* y);

// Sequence unpacking with the frame's messages; `out` receives strong refs.
void unpack(PyObject* seq, Ref* out, Py_ssize_t n);
template <std::size_t N>
std::array<Ref, N> unpack(PyObject* seq) {
    std::array<Ref, N> out;
    unpack(seq, out.data(), Py_ssize_t(N));
    return out;
}

// The first N items of a tuple the caller holds, borrowed: no reference
// count is written.
template <std::size_t N>
std::array<PyObject*, N> tuple_items(PyObject* t) noexcept {
    std::array<PyObject*, N> out;
    for (std::size_t i = 0; i < N; ++i) out[i] = PyTuple_GET_ITEM(t, Py_ssize_t(i));
    return out;
}
// The objects the references hold, borrowed.
template <std::size_t N>
std::array<PyObject*, N> borrowed(const std::array<Ref, N>& refs) noexcept {
    std::array<PyObject*, N> out;
    for (std::size_t i = 0; i < N; ++i) out[i] = refs[i].get();
    return out;
}

// x, y = seq into typed doubles: the items are unpacked first, then
// converted in order, so a short sequence is reported before a bad item.
template <std::size_t N>
std::array<double, N> unpack_doubles(PyObject* seq) {
    std::array<Ref, N> items = unpack<N>(seq);
    std::array<double, N> out;
    for (std::size_t i = 0; i < N; ++i) out[i] = to_double(items[i].get());
    return out;
}

// A new list holding the given objects (each gains a reference).
Ref new_list(std::span<PyObject* const> items);
inline Ref new_list(std::initializer_list<PyObject*> items) { return new_list(std::span(items.begin(), items.size())); }
// A new tuple holding the given objects (each gains a reference).
Ref new_tuple(std::span<PyObject* const> items);
inline Ref new_tuple(std::initializer_list<PyObject*> items) { return new_tuple(std::span(items.begin(), items.size())); }
// []
inline Ref empty_list() { return new_list(std::span<PyObject* const>{}); }

// An asserted statement: checked only when __debug__ was true at exec.
// `message` builds the AssertionError's argument, only on failure.
template <class Message>
inline void assert_that(bool ok, Message&& message) {
    if (ok) return;
    Ref m = message();
    PyErr_SetObject(PyExc_AssertionError, m.get());
    raise();
}
inline void assert_that(bool ok) {
    if (ok) return;
    PyErr_SetNone(PyExc_AssertionError);
    raise();
}

// An __annotations__ dict mapping names to annotation texts.
Ref annotations(std::initializer_list<std::pair<const char*, const char*>> items);

}  // namespace vy
