// Lexer.scan_over_ and Lexer.scan_until_, which move pos_ over a run of
// characters, and Lexer.scan_anonymous_block, which hands a block over
// verbatim.
#include "scan_loop.h"
#include "interrupts.h"

#include <algorithm>

namespace lexer {

namespace {

const vy::Name n_escape{"escape"}, n_split{"split"}, n_strip{"strip"}, n_maxsplit{"maxsplit"};
const vy::Name s_block_open{"}\\s*"}, s_block_close{"\\s*;"};

// Whether reading text_ and text_length_ can be done once for the whole
// scan instead of at every step.
bool plain_reads(PyObject* self) { return plain_attribute(self, n_text_) && plain_attribute(self, n_text_length_); }

// The loop's reads as written: self.text_length_ and self.text_ at every
// step, where other code may have changed them.
struct ThroughAttributes {
    using Pos = vy::Ref;
    vy::Call& c;
    PyObject* self;
    PyObject* chars;
    int line;
    mutable vy::Interrupts interrupts{};  // each step runs Python code: a long text is long work
    bool below_length(const vy::Ref& p) const {
        c.at(line + 1);
        vy::Ref length = getattr(self, n_text_length_);
        return vy::compare(p.get(), length.get(), Py_LT);
    }
    bool in_chars(const vy::Ref& p) const {
        vy::Ref text = getattr(self, n_text_);
        vy::Ref ch = vy::item(text.get(), p.get());
        return vy::contains(chars, ch.get());
    }
    void step(vy::Ref& p) const {
        interrupts.step();
        c.at(line + 2);
        p = vy::add_inplace(p.get(), k_one.get());
    }
};

// p = self.pos_
// while p < self.text_length_ and (self.text_[p] in chars) == over: p += 1
// self.pos_ = p
void scan(vy::Call& c, PyObject* self, PyObject* chars, bool over, int line) {
    c.at(line);
    vy::Ref p = getattr(self, n_pos_);
    c.at(line + 1);
    Py_ssize_t from = -1, limit = -1;  // out of range: the general loop decides
    if (vy::exact_str(chars) && vy::exact_int(p.get()) && plain_reads(self)) {
        vy::Ref length = getattr(self, n_text_length_);
        vy::Ref text = getattr(self, n_text_);
        if (vy::exact_ssize(p.get(), from) && vy::exact_ssize(length.get(), limit) && from >= 0 && limit >= 0 &&
            vy::exact_str(text.get())) {
            const CharSet set(chars);
            const Text t(text.get());
            const Py_ssize_t end = std::min(limit, t.size());
            const Py_ssize_t q = scan_run(t, from, end, set, over);
            // A text_length_ beyond the text: the loop reads past its end.
            if (q < limit && q >= t.size()) t.at(q);
            c.at(line + 3);
            if (q == from) {
                setattr(self, n_pos_, p.get());
            } else {
                vy::Ref moved = vy::int_object(q);
                setattr(self, n_pos_, moved.get());
            }
            return;
        }
    }
    p = scan_loop(ThroughAttributes{c, self, chars, line}, std::move(p), over);
    c.at(line + 3);
    setattr(self, n_pos_, p.get());
}

PyObject* scan_over_(vy::Call& c, vy::Args& a) {
    scan(c, a.o(0), a.o(1), true, 178);
    Py_RETURN_NONE;
}

PyObject* scan_until_(vy::Call& c, vy::Args& a) {
    scan(c, a.o(0), a.o(1), false, 185);
    Py_RETURN_NONE;
}

// self.text_[self.pos_:]
vy::Ref rest_of_text(PyObject* self) {
    vy::Ref text = getattr(self, n_text_);
    vy::Ref p = getattr(self, n_pos_);
    if (vy::exact_str(text.get()) && vy::exact_int(p.get()))
        return Text(text.get()).slice(slice_stop(p.get()), PY_SSIZE_T_MAX);
    return vy::slice(text.get(), p.get(), Py_None);
}

PyObject* scan_anonymous_block(vy::Call& c, vy::Args& a) {
    PyObject* self = a.o(0);
    c.at(192);
    vy::Ref location = call_method(self, n_location_);
    c.at(193);
    vy::Ref tag = call_method(a.o(1), n_strip);
    c.at(194);
    call_method(self, n_scan_until_, lexer_attr(n_CHAR_NEWLINE_).get());
    c.at(195);
    call_method(self, n_scan_over_, lexer_attr(n_CHAR_NEWLINE_).get());
    c.at(196);
    vy::Ref regexp;
    {
        vy::Ref re = vy::global(n_re);
        vy::Ref escape = getattr(re.get(), n_escape);
        vy::Ref escaped = vy::call(escape.get(), {tag.get()});
        vy::Ref head = vy::add(s_block_open.get(), escaped.get());
        regexp = vy::add(head.get(), s_block_close.get());
    }
    c.at(197);
    vy::Ref split;
    {
        vy::Ref re = vy::global(n_re);
        vy::Ref fn = getattr(re.get(), n_split);
        vy::Ref rest = rest_of_text(self);
        split = vy::call_kw(fn.get(), {regexp.get(), rest.get()}, {&n_maxsplit}, {k_one.get()});
    }
    c.at(198);
    if (vy::length(split.get()) != 2) {
        c.at(199);
        vy::Ref format = vy::str_object("Expected '} %s;' to terminate anonymous block");
        vy::Ref message = vy::remainder(format.get(), tag.get());
        raise_feature_error(message.get(), location.get());
    }
    c.at(204);
    {
        vy::Ref p = getattr(self, n_pos_);
        vy::Ref block = vy::item(split.get(), k_zero.get());
        vy::Ref length = vy::int_object(vy::length(block.get()));
        vy::Ref moved = vy::add_inplace(p.get(), length.get());
        setattr(self, n_pos_, moved.get());
    }
    c.at(205);
    vy::Ref type = lexer_attr(n_ANONYMOUS_BLOCK);
    vy::Ref block = vy::item(split.get(), k_zero.get());
    return token(type.get(), block.get(), location.get()).release();
}

const vy::Param scan_over_params[] = {{"self"}, {"valid"}};
const vy::Param scan_until_params[] = {{"self"}, {"stop_at"}};
const vy::Param block_params[] = {{"self"}, {"tag"}};
const char* const scan_locals[] = {"p"};
const char* const block_locals[] = {"location", "regexp", "split"};

}  // namespace

vy::FunctionDef scan_over_def{
    .name = "scan_over_",
    .qualname = "Lexer.scan_over_",
    .signature = "Lexer.scan_over_(self, valid)",
    .line = 176,
    .params = scan_over_params,
    .locals = scan_locals,
    .body = scan_over_,
};

vy::FunctionDef scan_until_def{
    .name = "scan_until_",
    .qualname = "Lexer.scan_until_",
    .signature = "Lexer.scan_until_(self, stop_at)",
    .line = 183,
    .params = scan_until_params,
    .locals = scan_locals,
    .body = scan_until_,
};

vy::FunctionDef scan_anonymous_block_def{
    .name = "scan_anonymous_block",
    .qualname = "Lexer.scan_anonymous_block",
    .signature = "Lexer.scan_anonymous_block(self, tag)",
    .line = 190,
    .params = block_params,
    .locals = block_locals,
    .body = scan_anonymous_block,
};

}  // namespace lexer
