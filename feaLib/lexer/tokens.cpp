// The values the lexer makes: its constants and strings, Lexer.<name> read
// through the module name, tokens, and FeatureLibError.
#include "lexer.h"

namespace lexer {

const vy::Constant k_one{[] { return vy::int_object(1); }}, k_two{[] { return vy::int_object(2); }},
    k_zero{[] { return vy::int_object(0); }}, k_minus_one{[] { return vy::int_object(-1); }};

const vy::Name s_features{"<features>"}, s_period{"."}, s_quote{"\""}, s_rparen{")"}, s_line_breaks{"[\r\n]"},
    s_empty{""}, n_sub{"sub"}, n_match{"match"};

PyObject* g_glyphclass_re = nullptr;

vy::Ref lexer_attr(const vy::Name& name) {
    vy::Ref cls = vy::global(n_Lexer);
    return getattr(cls.get(), name);
}

vy::Ref token(PyObject* type, PyObject* value, PyObject* location) {
    return vy::new_tuple({type, value, location});
}

void raise_feature_error(PyObject* message, PyObject* location) { vy::raise_new(n_FeatureLibError, {message, location}); }

void raise_feature_error(const char* message, PyObject* location) {
    vy::Ref text = vy::str_object(message);
    raise_feature_error(text.get(), location);
}

}  // namespace lexer
