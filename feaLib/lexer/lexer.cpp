// The Lexer's state and iteration: construction, locations, and __next__,
// which skips the NEWLINE tokens of next_.
#include "interrupts.h"
#include "next.h"
#include "state.h"

namespace lexer {

namespace {

PyObject* init(vy::Call& c, vy::Args& a) {
    PyObject* self = a.o(0);
    PyObject* text = a.o(1);
    c.at(48);
    setattr(self, n_filename_, a.o(2));
    c.at(49);
    setattr(self, n_line_, k_one.get());
    c.at(50);
    setattr(self, n_pos_, k_zero.get());
    c.at(51);
    setattr(self, n_line_start_, k_zero.get());
    c.at(52);
    setattr(self, n_text_, text);
    c.at(53);
    const Py_ssize_t n = PyObject_Size(text);
    if (n < 0) vy::raise();
    setattr(self, n_text_length_, vy::own(PyLong_FromSsize_t(n)).get());
    c.at(54);
    vy::Ref looked_up;
    setattr(self, n_mode_, lexer_value(n_MODE_NORMAL_, looked_up));
    Py_RETURN_NONE;
}

PyObject* iter(vy::Call&, vy::Args& a) { return Py_NewRef(a.o(0)); }

PyObject* next(vy::Call& c, vy::Args& a) {
    c.at(62);
    return call_method(a.o(0), n_dunder_next).release();
}

PyObject* dunder_next(vy::Call& c, vy::Args& a) { return lexer_next(c, a.o(0)).release(); }

PyObject* location(vy::Call& c, vy::Args& a) {
    Attributes s(a.o(0));
    bool direct;
    return location_of(c, s, direct).release();
}

const vy::Param init_params[] = {{"self"}, {"text"}, {"filename"}};
const vy::Param self_param[] = {{"self"}};
const char* const next_locals[] = {"token_type", "token", "location"};
const char* const location_locals[] = {"column"};

}  // namespace

vy::Ref lexer_next(vy::Call& c, PyObject* self, bool* settled_out) {
    while (true) {
        // Every token polls for signals: a C caller such as list() runs no
        // Python code between tokens, and the poll costs less than reading
        // pos_ to poll by distance.
        vy::check_signals();
        c.at(67);
        bool settled = false;
        if (vy::Ref t = own_next(self, settled)) {
            // Our own next_'s token is a new tuple that nothing else has
            // seen: it serves as the new tuple returned.
            c.at(68);
            PyObject* type = PyTuple_GET_ITEM(t.get(), 0);
            const bool newline = settled || pristine_lexer() ? !not_equal(type, n_NEWLINE.get())
                                                             : !not_equal(type, lexer_attr(n_NEWLINE).get());
            if (!newline) {
                c.at(69);
                if (settled_out) *settled_out = settled;
                return t;
            }
            continue;
        }
        vy::Ref t = call_method(self, n_next_);
        auto [type, value, location] = vy::unpack<3>(t.get());
        c.at(68);
        if (not_equal(type.get(), lexer_attr(n_NEWLINE).get())) {
            c.at(69);
            if (settled_out) *settled_out = false;
            return token(type.get(), value.get(), location.get());
        }
    }
}

vy::FunctionDef lexer_init_def{
    .name = "__init__",
    .qualname = "Lexer.__init__",
    .signature = "Lexer.__init__(self, text, filename)",
    .line = 46,
    .params = init_params,
    .body = init,
};

vy::FunctionDef lexer_iter_def{
    .name = "__iter__",
    .qualname = "Lexer.__iter__",
    .signature = "Lexer.__iter__(self)",
    .line = 56,
    .params = self_param,
    .body = iter,
};

vy::FunctionDef lexer_next_def{
    .name = "next",
    .qualname = "Lexer.next",
    .signature = "Lexer.next(self)",
    .line = 60,
    .params = self_param,
    .body = next,
};

vy::FunctionDef lexer_dunder_next_def{
    .name = "__next__",
    .qualname = "Lexer.__next__",
    .signature = "Lexer.__next__(self)",
    .line = 64,
    .params = self_param,
    .locals = next_locals,
    .body = dunder_next,
};

vy::FunctionDef location_def{
    .name = "location_",
    .qualname = "Lexer.location_",
    .signature = "Lexer.location_(self)",
    .line = 71,
    .params = self_param,
    .locals = location_locals,
    .body = location,
};

}  // namespace lexer
