// The lexer's state read as written: every attribute and method through the
// instance and the class, exactly where the algorithm reads and writes it,
// because overridden methods and patched classes may watch them change.
#pragma once

#include "glyph_class.h"

namespace lexer {

class Attributes {
public:
    using Pos = vy::Ref;
    explicit Attributes(PyObject* self) noexcept : self_(self) {}

    vy::Ref pos() const { return getattr(self_, n_pos_); }
    vy::Ref text() const { return getattr(self_, n_text_); }
    vy::Ref line_start() const { return getattr(self_, n_line_start_); }
    vy::Ref line() const { return getattr(self_, n_line_); }
    // self.filename_ or "<features>"
    vy::Ref file() const {
        vy::Ref file = getattr(self_, n_filename_);
        if (!truth(file.get())) file = vy::Ref::borrow(s_features.get());
        return file;
    }
    vy::Ref mode() const { return getattr(self_, n_mode_); }
    vy::Ref attr(const vy::Name& name) const { return lexer_attr(name); }
    vy::Ref class_chars(const vy::Name& name) const { return lexer_attr(name); }
    vy::Ref chars(const vy::Name& s) const { return vy::Ref::borrow(s.get()); }

    void advance(int k) const { add_to(self_, n_pos_, k == 2 ? k_two.get() : k_one.get()); }
    void next_line() const { add_to(self_, n_line_, k_one.get()); }
    void line_starts_at_pos() const { setattr(self_, n_line_start_, getattr(self_, n_pos_).get()); }
    void set_mode(PyObject* mode) const { setattr(self_, n_mode_, mode); }
    void scan_over(const vy::Ref& chars) const { call_method(self_, n_scan_over_, chars.get()); }
    void scan_until(const vy::Ref& chars) const { call_method(self_, n_scan_until_, chars.get()); }
    vy::Ref location() const { return call_method(self_, n_location_); }
    bool glyphclass_valid(PyObject* name) const { return lexer::glyphclass_valid(attr(n_RE_GLYPHCLASS).get(), name); }
    void release() const noexcept {}

    // text[start:self.pos_], or text[start:self.pos_ - 1]; pos_ is read now.
    vy::Ref slice_to_pos(const Text& text, Py_ssize_t start, bool before) const {
        vy::Ref p = getattr(self_, n_pos_);
        if (!before) return text.slice(start, slice_stop(p.get()));
        // Too large: subtracted as Python ints below.
        if (Py_ssize_t v; vy::exact_ssize(p.get(), v) && v > PY_SSIZE_T_MIN) return text.slice(start, v - 1);
        vy::Ref stop = vy::subtract(p.get(), k_one.get());
        return text.slice(start, slice_stop(stop.get()));
    }
    bool pos_below_length() const {
        vy::Ref p = getattr(self_, n_pos_);
        vy::Ref length = getattr(self_, n_text_length_);
        return vy::compare(p.get(), length.get(), Py_LT);
    }
    bool text_at_pos_is(const vy::Name& s, Py_UCS4 ch) const {
        vy::Ref current = getattr(self_, n_text_);
        vy::Ref p = getattr(self_, n_pos_);
        if (vy::exact_str(current.get())) return Text(current.get()).at(item_index(p.get())) == ch;
        vy::Ref item = vy::item(current.get(), p.get());
        return equal(item.get(), s.get());
    }

private:
    PyObject* self_;
};

}  // namespace lexer
