// The Lexer's Python-facing methods: construction, iteration, location_,
// and next_, which takes the plain-instance path where it can.
#include "interrupts.h"
#include "tokeniser.h"
#include "attributes.h"

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
    setattr(self, n_text_length_, vy::int_object(vy::length(text)).get());
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

PyObject* next_(vy::Call& c, vy::Args& a) {
    PyObject* self = a.o(0);
    bool settled;
    if (plain_instance(self)) return plain_next(c, self, settled).release();
    Attributes s(self);
    vy::Ref location = next_lead(c, s);
    return next_rest(c, s, location.get()).release();
}

const char* const next__locals[] = {"location", "start", "text", "limit", "cur_char", "next_char",
                                    "c", "glyphclass", "token", "string"};

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
        // Our own next_'s token is a new tuple that nothing else has seen:
        // it serves as the new tuple returned.  Any other is unpacked and
        // packed anew.
        vy::Ref t = own_next(self, settled);
        const bool fresh = bool(t);
        std::array<vy::Ref, 3> parts;
        if (!fresh) {
            settled = false;
            t = call_method(self, n_next_);
            parts = vy::unpack<3>(t.get());
        }
        auto [type, value, location] = fresh ? vy::tuple_items<3>(t.get()) : vy::borrowed(parts);
        c.at(68);
        vy::Ref looked_up;
        PyObject* newline = fresh && (settled || pristine_lexer()) ? n_NEWLINE.get()
                                                                   : (looked_up = lexer_attr(n_NEWLINE)).get();
        if (not_equal(type, newline)) {
            c.at(69);
            if (settled_out) *settled_out = settled;
            return fresh ? std::move(t) : token(type, value, location);
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

vy::FunctionDef next_def{
    .name = "next_",
    .qualname = "Lexer.next_",
    .signature = "Lexer.next_(self)",
    .line = 76,
    .params = self_param,
    .locals = next__locals,
    .body = next_,
};

}  // namespace lexer
