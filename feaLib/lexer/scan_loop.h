// The scan loop: moving a position over (or up to) a run of characters of a
// set, written once over how the position and the text are read.
#pragma once

#include "lexer.h"

namespace lexer {

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

}  // namespace lexer
