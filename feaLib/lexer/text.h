// Reading the lexer's text by code point, with the index rules of Python's
// str, and character sets given as strings.
#pragma once

#include "lexer.h"

#include <cstdint>

namespace lexer {

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
        if (i < 0 || i >= n_) vy::raise(PyExc_IndexError, "string index out of range");
        return PyUnicode_READ(kind_, data_, i);
    }
    // text[a:b]
    vy::Ref slice(Py_ssize_t a, Py_ssize_t b) const {
        PySlice_AdjustIndices(n_, &a, &b, 1);
        return vy::own(PyUnicode_Substring(s_, a, b));
    }

private:
    PyObject* s_;
    int kind_;
    const void* data_;
    Py_ssize_t n_;
};

// The index that text[o] uses: an int, or an object with __index__.
inline Py_ssize_t item_index(PyObject* o) {
    if (PyLong_CheckExact(o)) {
        const Py_ssize_t v = PyLong_AsSsize_t(o);
        if (v != -1 || !PyErr_Occurred()) return v;
        PyErr_Clear();  // too large: the general path reports it
    }
    if (!PyIndex_Check(o))
        vy::raise_format(PyExc_TypeError, "string indices must be integers, not '%.200s'", Py_TYPE(o)->tp_name);
    const Py_ssize_t v = PyNumber_AsSsize_t(o, PyExc_IndexError);
    if (v == -1 && PyErr_Occurred()) vy::raise();
    return v;
}

// The stop that text[...:o] uses: clipped like any slice bound; None is the end.
inline Py_ssize_t slice_stop(PyObject* o) {
    if (PyLong_CheckExact(o)) {
        const Py_ssize_t v = PyLong_AsSsize_t(o);
        if (v != -1 || !PyErr_Occurred()) return v;
        PyErr_Clear();
    }
    if (o == Py_None) return PY_SSIZE_T_MAX;
    if (!PyIndex_Check(o))
        vy::raise(PyExc_TypeError, "slice indices must be integers or None or have an __index__ method");
    const Py_ssize_t v = PyNumber_AsSsize_t(o, nullptr);
    if (v == -1 && PyErr_Occurred()) vy::raise();
    return v;
}

// o < limit, o >= limit for a position object and a length.
inline bool less(PyObject* o, Py_ssize_t limit) {
    if (PyLong_CheckExact(o)) {
        const Py_ssize_t v = PyLong_AsSsize_t(o);
        if (v != -1 || !PyErr_Occurred()) return v < limit;
        PyErr_Clear();
    }
    vy::Ref l = vy::own(PyLong_FromSsize_t(limit));
    vy::Ref r = vy::own(PyObject_RichCompare(o, l.get(), Py_LT));
    return truth(r.get());
}
inline bool at_least(PyObject* o, Py_ssize_t limit) {
    if (PyLong_CheckExact(o)) {
        const Py_ssize_t v = PyLong_AsSsize_t(o);
        if (v != -1 || !PyErr_Occurred()) return v >= limit;
        PyErr_Clear();
    }
    vy::Ref l = vy::own(PyLong_FromSsize_t(limit));
    vy::Ref r = vy::own(PyObject_RichCompare(o, l.get(), Py_GE));
    return truth(r.get());
}

// ch in s, for a str s: one character is a substring exactly when it is
// one of the string's characters.
inline bool str_has(PyObject* s, Py_UCS4 ch) {
    const Py_ssize_t found = PyUnicode_FindChar(s, ch, 0, PyUnicode_GET_LENGTH(s), 1);
    if (found == -2) vy::raise();
    return found >= 0;
}

// ch in chars, for any container: a str is searched here, anything else
// answers through its own membership test with the one-character string.
inline bool contains(PyObject* chars, Py_UCS4 ch) {
    if (PyUnicode_CheckExact(chars)) return str_has(chars, ch);
    vy::Ref c = vy::own(PyUnicode_FromOrdinal(int(ch)));
    return vy::check(PySequence_Contains(chars, c.get())) != 0;
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

// while p < length and (text[p] in chars) == over: p += 1
// `R` reads the length, tests the character at p and steps p.
template <class R>
typename R::Pos scan_loop(const R& r, typename R::Pos p, bool over) {
    while (r.below_length(p) && r.in_chars(p) == over) r.step(p);
    return p;
}

// The loop's reads on a text held in place, up to `end`.
template <class Char>
struct InPlace {
    using Pos = Py_ssize_t;
    const Char* d;
    Py_ssize_t end;
    const CharSet& set;
    bool below_length(Py_ssize_t p) const noexcept { return p < end; }
    bool in_chars(Py_ssize_t p) const { return set.has(d[p]); }
    void step(Py_ssize_t& p) const noexcept { ++p; }
};

template <class Char>
Py_ssize_t scan_run(const Char* d, Py_ssize_t p, Py_ssize_t end, const CharSet& set, bool over) {
    return scan_loop(InPlace<Char>{d, end, set}, p, over);
}

// The position a scan over (over) or until (!over) the set stops at, from p;
// `end` is at most the text's length.
inline Py_ssize_t scan_run(const Text& t, Py_ssize_t p, Py_ssize_t end, const CharSet& set, bool over) {
    switch (t.kind()) {
        case PyUnicode_1BYTE_KIND: return scan_run(static_cast<const Py_UCS1*>(t.data()), p, end, set, over);
        case PyUnicode_2BYTE_KIND: return scan_run(static_cast<const Py_UCS2*>(t.data()), p, end, set, over);
        default: return scan_run(static_cast<const Py_UCS4*>(t.data()), p, end, set, over);
    }
}

// Whether pattern.match(s) would find a match, for the pattern the class
// body compiled, ^[A-Za-z_0-9.\-]+$, without a call: all characters in the
// class, at least one, where "$" also accepts one final line feed.
inline bool glyphclass_matches(PyObject* s) {
    const Text t(s);
    Py_ssize_t n = t.size();
    if (n > 1 && t.at(n - 1) == '\n') --n;
    if (n == 0) return false;
    for (Py_ssize_t i = 0; i < n; ++i) {
        const Py_UCS4 ch = t.at(i);
        const bool ok = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
                        ch == '_' || ch == '.' || ch == '-';
        if (!ok) return false;
    }
    return true;
}

// Whether the glyph class name is valid for Lexer.RE_GLYPHCLASS: the class
// body's pattern is matched here, any other through its match().
inline bool glyphclass_valid(PyObject* pattern, PyObject* glyphclass) {
    if (pattern == g_glyphclass_re) return glyphclass_matches(glyphclass);
    vy::Ref m = call_method(pattern, n_match, glyphclass);
    return truth(m.get());
}

}  // namespace lexer
