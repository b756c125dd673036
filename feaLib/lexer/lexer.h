// Shared declarations of the lexer module: the names its code uses, the
// function records of the three classes, and the Python-level operations the
// method bodies are written in.
#pragma once

#include "frame.h"
#include "text.h"
#include "unstable.h"

namespace lexer {

// Module-level names, looked up at each use.
extern const vy::Name n_Lexer, n_FeatureLibError, n_IncludedFeaNotFound, n_FeatureLibLocation, n_re, n_os;

// Class attributes of Lexer; the token types double as their own values.
extern const vy::Name n_NUMBER, n_HEXADECIMAL, n_OCTAL, n_FLOAT, n_STRING, n_NAME, n_FILENAME, n_GLYPHCLASS, n_CID,
    n_SYMBOL, n_COMMENT, n_NEWLINE, n_ANONYMOUS_BLOCK;
extern const vy::Name n_CHAR_WHITESPACE_, n_CHAR_NEWLINE_, n_CHAR_SYMBOL_, n_CHAR_DIGIT_, n_CHAR_HEXDIGIT_,
    n_CHAR_NAME_START_, n_CHAR_NAME_CONTINUATION_, n_RE_GLYPHCLASS, n_MODE_NORMAL_, n_MODE_FILENAME_;

// Instance attributes and methods.
extern const vy::Name n_filename_, n_line_, n_pos_, n_line_start_, n_text_, n_text_length_, n_mode_;
extern const vy::Name n_lexers_, n_featurefilepath, n_includeDir;
extern const vy::Name n_next_, n_location_, n_scan_over_, n_scan_until_, n_scan_anonymous_block, n_dunder_next,
    n_next, n_make_lexer_;

// Strings next_ uses.
extern const vy::Name s_features, s_period, s_quote, s_rparen, s_line_breaks, s_empty, n_sub, n_match;

extern const vy::Builtin b_object, b_staticmethod, b_open;

// Constants made at exec.
extern const vy::Constant k_one, k_two, k_zero, k_minus_one;

// The pattern the class body compiled for RE_GLYPHCLASS, recorded at exec:
// while the class attribute is still this very object, its match is done
// here in C.
extern PyObject* g_glyphclass_re;

extern vy::FunctionDef lexer_init_def, lexer_iter_def, lexer_next_def, lexer_dunder_next_def, location_def, next_def,
    scan_over_def, scan_until_def, scan_anonymous_block_def;
extern vy::FunctionDef including_init_def, including_iter_def, including_next_def, including_dunder_next_def,
    make_lexer_def, including_scan_anonymous_block_def, nonincluding_dunder_next_def;

// ---------------------------------------------------------------- operations

// The frame's Python-level operations, by the names the method bodies use.
using vy::add_to;
using vy::call_method;
using vy::chain_context;
using vy::equal;
using vy::getattr;
using vy::next_of;
using vy::not_equal;
using vy::raise_object;
using vy::raise_stop_iteration;
using vy::setattr;
using vy::truth;

// The frame's str reading, by the names the tokeniser uses.
using vy::at_least;
using vy::CharSet;
using vy::item_index;
using vy::less;
using vy::slice_stop;
using vy::Text;

// `Lexer.<name>`: the module attribute Lexer, looked up now, and its attribute.
vy::Ref lexer_attr(const vy::Name& name);

// A new (type, value, location) tuple.
vy::Ref token(PyObject* type, PyObject* value, PyObject* location);

// FeatureLibLocation(file, line, column) through `make`, the value of the
// module name; record_location_type (at exec) recognises the named tuple of
// the library's own location module.
vy::Ref make_location(PyObject* make, PyObject* file, PyObject* line, PyObject* column);
// The same; `direct` tells that no Python code ran to make it.
vy::Ref make_location(PyObject* make, PyObject* file, PyObject* line, PyObject* column, bool& direct);
void record_location_type(PyObject* cls);
// The value of the module name FeatureLibLocation, looked up now: the
// recorded class, borrowed, while the name holds it; else the value, which
// `holder` keeps.
PyObject* location_class(vy::Ref& holder);

// raise FeatureLibError(message, location)
[[noreturn]] void raise_feature_error(const char* message, PyObject* location);
[[noreturn]] void raise_feature_error(PyObject* message, PyObject* location);

// ---------------------------------------------------------------- next_

// The Lexer class as the module body made it, recorded at exec.
void record_pristine(PyObject* cls);
// Whether `self` is an instance of exactly that class, unmodified since: then
// every method it finds is this module's, unless its own dict shadows one.
bool plain_instance(PyObject* self);
// Whether the module attribute Lexer is still that class, unmodified: then
// every Lexer.X is the value the class body gave it.
bool pristine_lexer();
// The value of the module name Lexer, looked up now: the class, borrowed,
// while the name holds it; else the value, which `holder` keeps.
PyObject* lexer_class(vy::Ref& holder);
// Lexer.<name> (one that next_ reads), looked up now: the class body's
// value, borrowed, while pristine_lexer(); else the value, which `holder`
// keeps.
PyObject* lexer_value(const vy::Name& name, vy::Ref& holder);
// next_ of a plain instance, with its state in C between the points where
// Python code can run; it takes the general path wherever the instance turns
// out not to be plain.  `settled` tells that no Python code has run since it
// last found Lexer pristine, so Lexer.X are still the class body's values.
vy::Ref plain_next(vy::Call& c, PyObject* self, bool& settled);
// self.next_() when that is this module's next_ on a plain instance, called
// directly; empty otherwise, before anything has been done.
vy::Ref own_next(PyObject* self, bool& settled);
// The body of Lexer.__next__; `settled` as for plain_next (false when the
// token came from the general path).
vy::Ref lexer_next(vy::Call& c, PyObject* self, bool* settled = nullptr);

// Whether reading self.<name> is a plain look-up in the instance dict, which
// no Python code can observe (no descriptor of that name in the class).
inline bool plain_attribute(PyObject* self, const vy::Name& name) {
    PyTypeObject* t = Py_TYPE(self);
    return t->tp_getattro == PyObject_GenericGetAttr && !vy::unstable::type_has(t, name.get());
}
// self.<name> from the instance dict; empty when it is not there.
inline vy::Ref instance_get(PyObject* self, const vy::Name& name) {
    vy::Ref dict = vy::instance_dict(self);
    return vy::dict_get(dict.get(), name.get());
}

using vy::called;

}  // namespace lexer
