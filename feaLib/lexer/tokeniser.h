// Lexer.next_ and Lexer.location_, written once over the state they read.
//
// The tests run in a fixed order, and that order decides the class of every
// character that belongs to several sets.  A state `S` says how the
// instance's attributes and the class's attributes are read and written:
//   S::Pos pos()                  self.pos_
//   vy::Ref text()                self.text_
//   void advance(k)               self.pos_ += k
//   void next_line()              self.line_ += 1
//   void line_starts_at_pos()     self.line_start_ = self.pos_
//   vy::Ref mode(), set_mode(v)   self.mode_
//   vy::Ref attr(name)            Lexer.<name>
//   class_chars(name), chars(s)   a set of characters: Lexer.<name>, a str
//   scan_over(set), scan_until(set)
//   vy::Ref slice_to_pos(text, start, before)   text[start:self.pos_ (- 1)]
//   bool pos_below_length()       self.pos_ < self.text_length_
//   bool text_at_pos_is(s, ch)    self.text_[self.pos_] == s (ch: its character)
//   bool glyphclass_valid(name)   Lexer.RE_GLYPHCLASS.match(name) finds a match
//   void release()                before Python code may run or an error is raised
//   location parts: line_start(), file(), line()
// Attributes (attributes.h) reads each of them where the algorithm reads it;
// plain_instance.cpp holds them in C for an instance nothing can observe.
#pragma once

#include "expr.h"
#include "lexer.h"

namespace lexer {

inline bool at_least(Py_ssize_t p, Py_ssize_t limit) { return p >= limit; }
inline bool at_least(const vy::Ref& p, Py_ssize_t limit) { return at_least(p.get(), limit); }
inline bool less(Py_ssize_t p, Py_ssize_t limit) { return p < limit; }
inline bool less(const vy::Ref& p, Py_ssize_t limit) { return less(p.get(), limit); }
inline Py_ssize_t item_index(Py_ssize_t p) { return p; }
inline Py_ssize_t item_index(const vy::Ref& p) { return item_index(p.get()); }
// pos - line_start + 1: held positions lie within the text, so the machine
// difference cannot overflow.
inline vy::Ref column_of(Py_ssize_t pos, Py_ssize_t line_start) {
    return vy::int_object(pos - line_start + 1);
}
inline vy::Ref column_of(const vy::Ref& pos, const vy::Ref& line_start) {
    vy::Num column = vy::Num::from(pos.get()) - vy::Num::from(line_start.get()) + 1;
    return column.object();
}

// ch in chars
inline bool has(const CharSet& chars, Py_UCS4 ch) { return chars.has(ch); }
inline bool has(const vy::Ref& chars, Py_UCS4 ch) { return vy::contains_char(chars.get(), ch); }

// The body of location_; `direct` as for make_location.
template <class S>
vy::Ref location_of(vy::Call& c, S& s, bool& direct) {
    c.at(73);
    vy::Ref column;
    {
        auto pos = s.pos();
        auto line_start = s.line_start();
        column = column_of(pos, line_start);
    }
    c.at(74);
    vy::Ref looked_up;
    PyObject* make = location_class(looked_up);
    vy::Ref file = s.file();
    vy::Ref line = s.line();
    return make_location(make, file.get(), line.get(), column.get(), direct);
}

// Steps 1 and 2 of next_: skip blanks, take the location.
template <class S>
vy::Ref next_lead(vy::Call& c, S& s) {
    c.at(78);
    s.scan_over(s.class_chars(n_CHAR_WHITESPACE_));
    c.at(79);
    return s.location();
}

// (Lexer.<type>, int(text[start:self.pos_], base), location)
template <class S>
vy::Ref integer_token(S& s, const Text& text, Py_ssize_t start, const vy::Name& type, int base, PyObject* loc) {
    vy::Ref t = s.attr(type);
    vy::Ref digits = s.slice_to_pos(text, start, false);
    vy::Ref value = vy::int_of_str(digits.get(), base);
    return token(t.get(), value.get(), loc);
}

// The number of steps 14 and 15 from the scan of digits on; `line` is that
// of the scan.
template <class S>
vy::Ref number_token(vy::Call& c, S& s, const Text& text, Py_ssize_t start, Py_ssize_t limit, PyObject* loc,
                     int line) {
    c.at(line);
    s.scan_over(s.class_chars(n_CHAR_DIGIT_));
    c.at(line + 1);
    bool integral = at_least(s.pos(), limit);
    if (!integral) integral = text.at(item_index(s.pos())) != '.';
    if (integral) {
        c.at(line + 2);
        return integer_token(s, text, start, n_NUMBER, 10, loc);
    }
    c.at(line + 3);
    s.scan_over(s.chars(s_period));
    c.at(line + 4);
    s.scan_over(s.class_chars(n_CHAR_DIGIT_));
    c.at(line + 5);
    vy::Ref t = s.attr(n_FLOAT);
    vy::Ref digits = s.slice_to_pos(text, start, false);
    vy::Ref value = vy::float_of_str(digits.get());
    return token(t.get(), value.get(), loc);
}

template <class S>
[[noreturn]] void fail(S& s, const char* message, PyObject* loc) {
    s.release();
    raise_feature_error(message, loc);
}

// Steps 3 to 18 of next_, from the location on.
template <class S>
vy::Ref next_rest(vy::Call& c, S& s, PyObject* loc) {
    c.at(80);
    auto start_pos = s.pos();
    c.at(81);
    vy::Ref text_obj = s.text();
    c.at(82);
    const Py_ssize_t limit = vy::length(text_obj.get());
    c.at(83);
    if (at_least(start_pos, limit)) {
        c.at(84);
        raise_stop_iteration();
    }
    c.at(85);
    if (!vy::is_str(text_obj.get()))
        vy::raise_format(PyExc_TypeError, "a lexer reads a str, not '%.200s'", Py_TYPE(text_obj.get())->tp_name);
    const Text text(text_obj.get());
    const Py_ssize_t start = item_index(start_pos);
    const Py_UCS4 cur = text.at(start);
    c.at(86);
    const bool has_next = start < limit - 1;  // start + 1 < limit, without overflow
    const Py_UCS4 next = has_next ? text.at(start + 1) : 0;

    c.at(88);
    if (cur == '\n' || cur == '\r') {
        // The two line-break branches, lines 89-92 and 94-97.
        const int line = cur == '\n' ? 89 : 94;
        if (cur == '\r') c.at(93);
        c.at(line);
        s.advance(cur == '\r' && has_next && next == '\n' ? 2 : 1);
        c.at(line + 1);
        s.next_line();
        c.at(line + 2);
        s.line_starts_at_pos();
        c.at(line + 3);
        return token(s.attr(n_NEWLINE).get(), Py_None, loc);
    }
    c.at(98);
    if (cur == '#') {
        c.at(99);
        s.scan_until(s.class_chars(n_CHAR_NEWLINE_));
        c.at(100);
        vy::Ref t = s.attr(n_COMMENT);
        return token(t.get(), s.slice_to_pos(text, start, false).get(), loc);
    }

    c.at(102);
    bool filename_mode;
    {
        vy::Ref mode = s.mode();
        filename_mode = mode.get() == s.attr(n_MODE_FILENAME_).get();
    }
    if (filename_mode) {
        c.at(103);
        if (cur != '(') {
            c.at(104);
            fail(s, "Expected '(' before file name", loc);
        }
        c.at(105);
        s.scan_until(s.chars(s_rparen));
        c.at(106);
        bool closed = less(s.pos(), limit);
        if (closed) closed = text.at(item_index(s.pos())) == ')';
        c.at(107);
        if (!closed) {
            c.at(108);
            fail(s, "Expected ')' after file name", loc);
        }
        c.at(109);
        s.advance(1);
        c.at(110);
        s.set_mode(s.attr(n_MODE_NORMAL_).get());
        c.at(111);
        vy::Ref t = s.attr(n_FILENAME);
        return token(t.get(), s.slice_to_pos(text, start + 1, true).get(), loc);
    }

    c.at(115);
    if (cur == '\\' && has_next && has(s.class_chars(n_CHAR_DIGIT_), next)) {
        c.at(116);
        s.advance(1);
        c.at(117);
        s.scan_over(s.class_chars(n_CHAR_DIGIT_));
        c.at(118);
        return integer_token(s, text, start + 1, n_CID, 10, loc);
    }
    c.at(119);
    if (cur == '@') {
        c.at(120);
        s.advance(1);
        c.at(121);
        s.scan_over(s.class_chars(n_CHAR_NAME_CONTINUATION_));
        c.at(122);
        vy::Ref glyphclass = s.slice_to_pos(text, start + 1, false);
        c.at(123);
        if (vy::str_length(glyphclass.get()) < 1) {
            c.at(124);
            fail(s, "Expected glyph class name", loc);
        }
        c.at(125);
        if (!s.glyphclass_valid(glyphclass.get())) {
            c.at(126);
            fail(s, "Glyph class names must consist of letters, digits, underscore, period or hyphen", loc);
        }
        c.at(131);
        return token(s.attr(n_GLYPHCLASS).get(), glyphclass.get(), loc);
    }
    c.at(132);
    if (has(s.class_chars(n_CHAR_NAME_START_), cur)) {
        c.at(133);
        s.advance(1);
        c.at(134);
        s.scan_over(s.class_chars(n_CHAR_NAME_CONTINUATION_));
        c.at(135);
        vy::Ref name = s.slice_to_pos(text, start, false);
        c.at(136);
        if (vy::str_equals(name.get(), "include")) {
            c.at(137);
            s.set_mode(s.attr(n_MODE_FILENAME_).get());
        }
        c.at(138);
        return token(s.attr(n_NAME).get(), name.get(), loc);
    }
    c.at(139);
    if (cur == '0' && has_next && (next == 'x' || next == 'X')) {
        c.at(140);
        s.advance(2);
        c.at(141);
        s.scan_over(s.class_chars(n_CHAR_HEXDIGIT_));
        c.at(142);
        return integer_token(s, text, start, n_HEXADECIMAL, 16, loc);
    }
    c.at(143);
    if (cur == '0' && has_next && has(s.class_chars(n_CHAR_DIGIT_), next)) {
        c.at(144);
        s.scan_over(s.class_chars(n_CHAR_DIGIT_));
        c.at(145);
        return integer_token(s, text, start, n_OCTAL, 8, loc);
    }
    c.at(146);
    if (has(s.class_chars(n_CHAR_DIGIT_), cur)) return number_token(c, s, text, start, limit, loc, 147);
    c.at(154);
    if (cur == '-' && has_next && has(s.class_chars(n_CHAR_DIGIT_), next)) {
        c.at(155);
        s.advance(1);
        return number_token(c, s, text, start, limit, loc, 156);
    }
    c.at(162);
    if (has(s.class_chars(n_CHAR_SYMBOL_), cur)) {
        c.at(163);
        s.advance(1);
        c.at(164);
        vy::Ref t = s.attr(n_SYMBOL);
        vy::Ref symbol = vy::char_object(cur);
        return token(t.get(), symbol.get(), loc);
    }
    c.at(165);
    if (cur == '"') {
        c.at(166);
        s.advance(1);
        c.at(167);
        s.scan_until(s.chars(s_quote));
        c.at(168);
        bool closed = s.pos_below_length();
        if (closed) closed = s.text_at_pos_is(s_quote, '"');
        if (closed) {
            c.at(169);
            s.advance(1);
            c.at(171);
            s.release();
            vy::Ref string;
            {
                vy::Ref re = vy::global(n_re);
                vy::Ref sub = getattr(re.get(), n_sub);
                vy::Ref quoted = s.slice_to_pos(text, start + 1, true);
                string = vy::call(sub.get(), {s_line_breaks.get(), s_empty.get(), quoted.get()});
            }
            c.at(172);
            return token(s.attr(n_STRING).get(), string.get(), loc);
        }
        c.at(173);
        fail(s, "Expected '\"' to terminate string", loc);
    }
    c.at(174);
    s.release();
    vy::Ref ch = vy::char_object(cur);
    vy::Ref message = vy::str_format("Unexpected character: %R", ch.get());
    raise_feature_error(message.get(), loc);
}

}  // namespace lexer
