// str as the interpreter's own code reads it: a str read in place by code
// point with the index rules of Python's str, positions compared with a
// length, character membership, and small str values.
#pragma once

#include <cstdint>

#include "convert.h"

namespace vy {

// A str read in place.  Indexing and slicing follow str: negative indices
// count from the end, slices clamp.  The caller keeps the string alive.
class Text {
public:
    explicit Text(PyObject* s) noexcept
        : s_(s), kind_(PyUnicode_KIND(s)), data_(PyUnicode_DATA(s)), n_(PyUnicode_GET_LENGTH(s)) {}

    Py_ssize_t size() const noexcept { return n_; }
    int kind() const noexcept { return kind_; }
    const void* data() const noexcept { return data_; }

    // text[i]
    Py_UCS4 at(Py_ssize_t i) const {
        if (i < 0) i += n_;
        if (i < 0 || i >= n_) raise(PyExc_IndexError, "string index out of range");
        return PyUnicode_READ(kind_, data_, i);
    }
    // text[a:b]
    Ref slice(Py_ssize_t a, Py_ssize_t b) const {
        PySlice_AdjustIndices(n_, &a, &b, 1);
        return own(PyUnicode_Substring(s_, a, b));
    }

private:
    PyObject* s_;
    int kind_;
    const void* data_;
    Py_ssize_t n_;
};

// The index that text[o] uses: an int, or an object with __index__.
inline Py_ssize_t item_index(PyObject* o) {
    if (Py_ssize_t v; exact_ssize(o, v)) return v;  // too large: the general path reports it
    if (!PyIndex_Check(o))
        raise_format(PyExc_TypeError, "string indices must be integers, not '%.200s'", Py_TYPE(o)->tp_name);
    const Py_ssize_t v = PyNumber_AsSsize_t(o, PyExc_IndexError);
    if (v == -1 && PyErr_Occurred()) raise();
    return v;
}

// The stop that text[...:o] uses: clipped like any slice bound; None is the end.
inline Py_ssize_t slice_stop(PyObject* o) {
    if (Py_ssize_t v; exact_ssize(o, v)) return v;
    if (o == Py_None) return PY_SSIZE_T_MAX;
    if (!PyIndex_Check(o))
        raise(PyExc_TypeError, "slice indices must be integers or None or have an __index__ method");
    const Py_ssize_t v = PyNumber_AsSsize_t(o, nullptr);
    if (v == -1 && PyErr_Occurred()) raise();
    return v;
}

// o < limit, o >= limit for a position object and a length.
inline bool less(PyObject* o, Py_ssize_t limit) {
    if (Py_ssize_t v; exact_ssize(o, v)) return v < limit;
    Ref l = own(PyLong_FromSsize_t(limit));
    Ref r = own(PyObject_RichCompare(o, l.get(), Py_LT));
    return to_bool(r.get());
}
inline bool at_least(PyObject* o, Py_ssize_t limit) {
    if (Py_ssize_t v; exact_ssize(o, v)) return v >= limit;
    Ref l = own(PyLong_FromSsize_t(limit));
    Ref r = own(PyObject_RichCompare(o, l.get(), Py_GE));
    return to_bool(r.get());
}

// ch in s, for a str s: one character is a substring exactly when it is
// one of the string's characters.
inline bool str_has(PyObject* s, Py_UCS4 ch) {
    const Py_ssize_t found = PyUnicode_FindChar(s, ch, 0, PyUnicode_GET_LENGTH(s), 1);
    if (found == -2) raise();
    return found >= 0;
}

// ch in chars, for any container: a str is searched here, anything else
// answers through its own membership test with the one-character string.
inline bool contains_char(PyObject* chars, Py_UCS4 ch) {
    if (PyUnicode_CheckExact(chars)) return str_has(chars, ch);
    Ref c = own(PyUnicode_FromOrdinal(int(ch)));
    return check(PySequence_Contains(chars, c.get())) != 0;
}

// A str of characters as a membership table: ASCII by bit, the rest (rare
// in practice) by search.
class CharSet {
public:
    CharSet() noexcept = default;
    explicit CharSet(PyObject* s) noexcept : s_(s) {
        const Text t(s);
        for (Py_ssize_t i = 0; i < t.size(); ++i) {
            const Py_UCS4 ch = PyUnicode_READ(t.kind(), t.data(), i);
            if (ch < 128)
                bits_[ch >> 6] |= std::uint64_t(1) << (ch & 63);
            else
                wide_ = true;
        }
    }
    bool has(Py_UCS4 ch) const {
        if (ch < 128) return (bits_[ch >> 6] >> (ch & 63)) & 1;
        return wide_ && str_has(s_, ch);
    }

private:
    PyObject* s_ = nullptr;
    std::uint64_t bits_[2] = {0, 0};
    bool wide_ = false;
};

// chr(ch)
inline Ref char_object(Py_UCS4 ch) { return own(PyUnicode_FromOrdinal(int(ch))); }

// Whether the str s equals the ASCII text.
inline bool str_equals(PyObject* s, const char* ascii) noexcept { return PyUnicode_CompareWithASCIIString(s, ascii) == 0; }

// Whether o is exactly a str (no subclass), and its length.
inline bool exact_str(PyObject* o) noexcept { return PyUnicode_CheckExact(o); }
inline bool is_str(PyObject* o) noexcept { return PyUnicode_Check(o); }
inline Py_ssize_t str_length(PyObject* s) noexcept { return PyUnicode_GET_LENGTH(s); }

// int(s, base) and float(s) of a str.
inline Ref int_of_str(PyObject* s, int base) { return own(PyLong_FromUnicodeObject(s, base)); }
inline Ref float_of_str(PyObject* s) { return own(PyFloat_FromString(s)); }

// fmt with PyUnicode_FromFormat's conversions (%R: repr, %S: str, ...).
template <class... A>
Ref str_format(const char* fmt, A... args) {
    return own(PyUnicode_FromFormat(fmt, args...));
}

}  // namespace vy
