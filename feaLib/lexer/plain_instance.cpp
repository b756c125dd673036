// next_ for the common case: an instance of exactly the module's Lexer class,
// with the class as the module body made it and the module name Lexer still
// bound to it.  Then every method the instance finds is this module's own
// (unless its dict shadows one, which is checked), every Lexer.X is the value
// the class body gave it, and every attribute access is a plain look-up in
// the instance dict.  So the state lives in C locals, and is written back to
// the instance before each point where Python code can run or see it: the
// location's constructor, the error classes, re.sub, and the return.
// Anything unusual reads the state as written (attributes.h), at a step where
// nothing has been changed yet.
#include "tokeniser.h"
#include "attributes.h"
#include "glyph_class.h"
#include "scan_loop.h"

#include <iterator>

namespace lexer {

namespace {

// The class attributes next_ reads, and the sets of characters it scans
// for: class attributes, or the str itself.  Looked up by identity in
// constant tables, which the compiler resolves where the name is known.
constexpr const vy::Name* kValues[] = {&n_NAME,     &n_SYMBOL,         &n_MODE_FILENAME_, &n_NEWLINE, &n_NUMBER,
                                       &n_COMMENT,  &n_GLYPHCLASS,     &n_RE_GLYPHCLASS,  &n_STRING,  &n_FLOAT,
                                       &n_CID,      &n_HEXADECIMAL,    &n_OCTAL,          &n_FILENAME, &n_MODE_NORMAL_};
constexpr const vy::Name* kChars[] = {&n_CHAR_WHITESPACE_, &n_CHAR_NAME_CONTINUATION_, &n_CHAR_NAME_START_,
                                      &n_CHAR_DIGIT_,      &n_CHAR_SYMBOL_,            &n_CHAR_NEWLINE_,
                                      &n_CHAR_HEXDIGIT_,   &s_period,                  &s_quote,
                                      &s_rparen};
constexpr std::size_t kValueCount = std::size(kValues), kCharsCount = std::size(kChars);

template <std::size_t N>
constexpr std::size_t slot(const vy::Name* const (&table)[N], const vy::Name& name) {
    std::size_t i = 0;
    while (i + 1 < N && table[i] != &name) ++i;
    return i;  // next_ reads only these
}

// The Lexer class as the module body made it, and the values of its
// attributes that next_ reads, taken from the class at exec.
struct Pristine {
    vy::unstable::RecordedType cls;
    PyObject* values[kValueCount] = {};
    PyObject* chars[kCharsCount] = {};
    CharSet sets[kCharsCount];
    bool recorded = false;
    // The module name Lexer, expected to hold the class.
    vy::Expected bound{n_Lexer};

    PyObject* value(const vy::Name& name) const { return values[slot(kValues, name)]; }
    const CharSet& set(const vy::Name& name) const { return sets[slot(kChars, name)]; }
} g;

// A non-negative exact int that fits an index.
bool index_value(PyObject* o, Py_ssize_t& out) { return o && vy::exact_ssize(o, out) && out >= 0; }

// The instance dict of a plain instance.
class Instance {
public:
    explicit Instance(PyObject* self) : dict_(vy::instance_dict(self)) {}
    bool shadows(const vy::Name& method) const { return vy::dict_has(dict_.get(), method.get()); }
    vy::Ref get(const vy::Name& name) const { return vy::dict_get(dict_.get(), name.get()); }
    void set(const vy::Name& name, PyObject* value) const { vy::dict_set(dict_.get(), name.get(), value); }
    bool read_exactly(const vy::Name* const* names, vy::Ref* const* out, int count) const {
        return vy::dict_read_exactly(dict_.get(), names, out, count);
    }

private:
    vy::Ref dict_;
};

// What next_ reads of the instance, taken from the dict at once: nothing
// runs between these reads and their uses.
struct Lead {
    vy::Ref pos, text, length, line_start, filename, line, mode;
    Py_ssize_t p = 0, n = 0, ls = 0;
    PyObject* file = nullptr;  // filename_ or "<features>"
    bool complete = false;     // the dict holds the seven attributes and nothing else
    bool plain = false;        // they have the types the C steps need, and shadow no method

    explicit Lead(const Instance& in) {
        vy::Ref* slots[] = {&pos, &text, &length, &line_start, &filename, &line, &mode};
        static const vy::Name* const names[] = {&n_pos_,      &n_text_, &n_text_length_, &n_line_start_,
                                                &n_filename_, &n_line_, &n_mode_};
        complete = in.read_exactly(names, slots, 7);
        if (!complete) {
            for (int i = 0; i < 7; ++i) *slots[i] = in.get(*names[i]);
        }
        if (!text || !vy::exact_str(text.get()) || !index_value(pos.get(), p) ||
            !index_value(length.get(), n) || n > vy::str_length(text.get()) ||
            !index_value(line_start.get(), ls) || !filename || !line || !mode)
            return;
        // `filename_ or "<features>"` without a truth test that could run code.
        file = filename.get();
        if (file == Py_None || (vy::exact_str(file) && vy::str_length(file) == 0))
            file = s_features.get();
        else if (!vy::exact_str(file))
            return;
        plain = complete || (!in.shadows(n_scan_over_) && !in.shadows(n_scan_until_) && !in.shadows(n_location_));
    }
};

// The state of a plain instance held in C: pos_ as the algorithm has it and
// as the instance last saw it; written back by release(), or when a step
// reads it as a whole.  `settled` until Python code may have run: till then
// Lexer.X are the class body's values.
class Held {
public:
    using Pos = Py_ssize_t;
    Held(PyObject* self, const Instance& in, const Lead& lead)
        : self_(self), in_(in), lead_(&lead), text_(lead.text.get()), mode_(lead.mode.get()), t_(text_),
          p_(lead.p), written_(lead.p), n_(lead.n) {}
    Held(PyObject* self, const Instance& in, PyObject* text, PyObject* mode, Py_ssize_t p, Py_ssize_t n)
        : self_(self), in_(in), text_(text), mode_(mode), t_(text), p_(p), written_(p), n_(n) {}

    bool settled() const noexcept { return settled_; }

    Py_ssize_t pos() const noexcept { return p_; }
    vy::Ref text() const { return vy::Ref::borrow(text_); }
    Py_ssize_t line_start() const noexcept { return lead_->ls; }
    vy::Ref line() const { return lead_->line.copy(); }
    vy::Ref file() const { return vy::Ref::borrow(lead_->file); }
    vy::Ref mode() const { return vy::Ref::borrow(mode_); }
    vy::Ref attr(const vy::Name& name) const {
        return settled_ ? vy::Ref::borrow(g.value(name)) : lexer_attr(name);
    }
    const CharSet& class_chars(const vy::Name& name) const { return g.set(name); }
    const CharSet& chars(const vy::Name& s) const { return g.set(s); }

    void advance(int k) noexcept { p_ += k; }
    void next_line() {
        vy::Ref line = in_.get(n_line_);
        if (line && vy::exact_int(line.get())) {
            in_.set(n_line_, vy::add(line.get(), k_one.get()).get());
            return;
        }
        // An unusual line number: its += may run code, so as written.
        release();
        add_to(self_, n_line_, k_one.get());
    }
    void line_starts_at_pos() {
        if (!settled_) return Attributes(self_).line_starts_at_pos();
        flush();
        in_.set(n_line_start_, written_obj_ ? written_obj_.get() : vy::int_object(p_).get());
    }
    void set_mode(PyObject* mode) const { in_.set(n_mode_, mode); }
    // The class body's pattern, while settled, is matched without taking a
    // reference to it: every thread's glyph classes would write its count.
    bool glyphclass_valid(PyObject* name) const {
        if (settled_) return lexer::glyphclass_valid(g.value(n_RE_GLYPHCLASS), name);
        return lexer::glyphclass_valid(attr(n_RE_GLYPHCLASS).get(), name);
    }
    void scan_over(const CharSet& set) noexcept { p_ = scan_run(t_, p_, n_, set, true); }
    void scan_until(const CharSet& set) noexcept { p_ = scan_run(t_, p_, n_, set, false); }
    vy::Ref location() {
        flush();
        bool direct = false;
        vy::Ref loc = called(location_def, [&](vy::Call& lc) { return location_of(lc, *this, direct); });
        if (!direct) settled_ = false;
        return loc;
    }
    void release() {
        flush();
        settled_ = false;
    }
    void flush() {
        if (p_ == written_) return;
        written_obj_ = vy::int_object(p_);
        in_.set(n_pos_, written_obj_.get());
        written_ = p_;
    }

    vy::Ref slice_to_pos(const Text& text, Py_ssize_t start, bool before) {
        flush();
        return text.slice(start, before ? p_ - 1 : p_);
    }
    bool pos_below_length() const noexcept { return p_ < n_; }
    bool text_at_pos_is(const vy::Name&, Py_UCS4 ch) const { return t_.at(p_) == ch; }

private:
    PyObject* self_;
    const Instance& in_;
    const Lead* lead_ = nullptr;
    PyObject* text_;
    PyObject* mode_;
    Text t_;
    Py_ssize_t p_, written_, n_;
    vy::Ref written_obj_;
    bool settled_ = true;
};

// Steps 3 to 18 with the held state, written back at the end.
vy::Ref held_rest(vy::Call& c, Held& s, PyObject* loc, bool& settled) {
    vy::Ref token = next_rest(c, s, loc);
    s.flush();
    settled = s.settled();
    return token;
}

// Steps 3 to 18 after a location made by Python code: the instance read afresh.
vy::Ref fresh_rest(vy::Call& c, PyObject* self, PyObject* loc, bool& settled) {
    settled = false;
    if (plain_instance(self) && pristine_lexer()) {
        const Instance in(self);
        const Lead lead(in);
        if (lead.plain) {
            Held s(self, in, lead.text.get(), lead.mode.get(), lead.p, lead.n);
            return held_rest(c, s, loc, settled);
        }
    }
    Attributes s(self);
    return next_rest(c, s, loc);
}

vy::Ref held_next(vy::Call& c, PyObject* self, const Instance& in, const Lead& lead, bool& settled) {
    if (!lead.plain || !pristine_lexer()) {
        Attributes a(self);
        vy::Ref location = next_lead(c, a);
        return fresh_rest(c, self, location.get(), settled);
    }
    Held s(self, in, lead);
    vy::Ref location = next_lead(c, s);
    if (s.settled()) return held_rest(c, s, location.get(), settled);
    return fresh_rest(c, self, location.get(), settled);
}

}  // namespace

void record_pristine(PyObject* cls) {
    for (std::size_t i = 0; i < kValueCount; ++i) {
        vy::Ref value = vy::class_own_value(cls, *kValues[i]);
        if (!value) return;
        Py_XSETREF(g.values[i], value.release());
    }
    for (std::size_t i = 0; i < kCharsCount; ++i) {
        const vy::Name* name = kChars[i];
        vy::Ref chars = name == &s_period || name == &s_quote || name == &s_rparen ? vy::Ref::borrow(name->get())
                                                                                  : vy::class_own_value(cls, *name);
        if (!chars || !vy::exact_str(chars.get())) return;
        Py_XSETREF(g.chars[i], chars.release());
        g.sets[i] = CharSet(g.chars[i]);
    }
    g.recorded = g.cls.record(reinterpret_cast<PyTypeObject*>(cls));
    g.bound.record(cls);
}

bool plain_instance(PyObject* self) {
    return g.recorded && reinterpret_cast<PyObject*>(Py_TYPE(self)) == reinterpret_cast<PyObject*>(g.cls.type()) &&
           g.cls.unchanged();
}

bool pristine_lexer() { return g.recorded && g.cls.unchanged() && g.bound.holds(); }

PyObject* lexer_class(vy::Ref& holder) {
    if (g.recorded && g.bound.holds()) return g.bound.object();
    holder = vy::global(n_Lexer);
    return holder.get();
}

PyObject* lexer_value(const vy::Name& name, vy::Ref& holder) {
    if (pristine_lexer()) return g.value(name);
    holder = lexer_attr(name);
    return holder.get();
}

vy::Ref plain_next(vy::Call& c, PyObject* self, bool& settled) {
    const Instance in(self);
    const Lead lead(in);
    return held_next(c, self, in, lead, settled);
}

vy::Ref own_next(PyObject* self, bool& settled) {
    if (!plain_instance(self)) return {};
    const Instance in(self);
    const Lead lead(in);
    if (!lead.complete && in.shadows(n_next_)) return {};
    return called(next_def, [&](vy::Call& c) { return held_next(c, self, in, lead, settled); });
}

}  // namespace lexer
