// Lexer.next_: a plain instance holds its state in C (plain_instance.cpp);
// any other reads it through its attributes.
#include "next.h"
#include "state.h"

namespace lexer {

namespace {

PyObject* next_(vy::Call& c, vy::Args& a) {
    PyObject* self = a.o(0);
    bool settled;
    if (plain_instance(self)) return plain_next(c, self, settled).release();
    Attributes s(self);
    vy::Ref location = next_lead(c, s);
    return next_rest(c, s, location.get()).release();
}

const vy::Param self_param[] = {{"self"}};
const char* const next_locals[] = {"location", "start", "text", "limit", "cur_char", "next_char",
                                   "c", "glyphclass", "token", "string"};

}  // namespace

vy::FunctionDef next_def{
    .name = "next_",
    .qualname = "Lexer.next_",
    .signature = "Lexer.next_(self)",
    .line = 76,
    .params = self_param,
    .locals = next_locals,
    .body = next_,
};

}  // namespace lexer
