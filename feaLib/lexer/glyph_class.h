// The glyph-class name check of next_: Lexer.RE_GLYPHCLASS matched in C
// while it is the class body's pattern.
#pragma once

#include "lexer.h"

namespace lexer {

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
