// Lexer.next_: one token from the current position.  The tests run in a
// fixed order, and that order decides the class of every character that
// belongs to several sets.  Instance and class attributes are read and
// written exactly where the algorithm reads and writes them, because
// overridden methods and patched classes may watch them change.
#include "text.h"

namespace lexer {

namespace {

const vy::Name n_match{"match"}, n_sub{"sub"};
const vy::Name s_rparen{")"}, s_quote{"\""}, s_period{"."}, s_line_breaks{"[\r\n]"}, s_empty{""};

// text[start:self.pos_], or text[start:self.pos_ - 1]; pos_ is read now.
vy::Ref slice_to_pos(PyObject* self, const Text& text, Py_ssize_t start, bool before = false) {
    vy::Ref p = getattr(self, n_pos_);
    if (!before) return text.slice(start, slice_stop(p.get()));
    if (PyLong_CheckExact(p.get())) {
        const Py_ssize_t v = PyLong_AsSsize_t(p.get());
        if (v == -1 && PyErr_Occurred())
            PyErr_Clear();  // too large: subtracted as Python ints below
        else if (v > PY_SSIZE_T_MIN)
            return text.slice(start, v - 1);
    }
    vy::Ref stop = vy::own(PyNumber_Subtract(p.get(), k_one.get()));
    return text.slice(start, slice_stop(stop.get()));
}

// (Lexer.<type>, int(text[start:self.pos_], base), location)
vy::Ref integer_token(PyObject* self, const Text& text, Py_ssize_t start, const vy::Name& type, int base,
                      PyObject* location) {
    vy::Ref t = lexer_attr(type);
    vy::Ref digits = slice_to_pos(self, text, start);
    vy::Ref value = vy::own(PyLong_FromUnicodeObject(digits.get(), base));
    return token(t.get(), value.get(), location);
}

// The number of steps 14 and 15 from the scan of digits on; `line` is that
// of the scan.
vy::Ref number_token(vy::Call& c, PyObject* self, const Text& text, Py_ssize_t start, Py_ssize_t limit,
                     PyObject* location, int line) {
    c.at(line);
    call_method(self, n_scan_over_, lexer_attr(n_CHAR_DIGIT_).get());
    c.at(line + 1);
    bool integral = at_least(getattr(self, n_pos_).get(), limit);
    if (!integral) integral = text.at(item_index(getattr(self, n_pos_).get())) != '.';
    if (integral) {
        c.at(line + 2);
        return integer_token(self, text, start, n_NUMBER, 10, location);
    }
    c.at(line + 3);
    call_method(self, n_scan_over_, s_period.get());
    c.at(line + 4);
    call_method(self, n_scan_over_, lexer_attr(n_CHAR_DIGIT_).get());
    c.at(line + 5);
    vy::Ref t = lexer_attr(n_FLOAT);
    vy::Ref digits = slice_to_pos(self, text, start);
    vy::Ref value = vy::own(PyFloat_FromString(digits.get()));
    return token(t.get(), value.get(), location);
}

// Lexer.<name> in chars, for the character ch.
bool in_class(const vy::Name& name, Py_UCS4 ch) {
    vy::Ref chars = lexer_attr(name);
    return contains(chars.get(), ch);
}

}  // namespace

vy::Ref next_lead(vy::Call& c, PyObject* self) {
    c.at(78);
    call_method(self, n_scan_over_, lexer_attr(n_CHAR_WHITESPACE_).get());
    c.at(79);
    return call_method(self, n_location_);
}

vy::Ref next_rest(vy::Call& c, PyObject* self, PyObject* loc) {
    c.at(80);
    vy::Ref start_obj = getattr(self, n_pos_);
    c.at(81);
    vy::Ref text_obj = getattr(self, n_text_);
    c.at(82);
    const Py_ssize_t limit = PyObject_Size(text_obj.get());
    if (limit < 0) vy::raise();
    c.at(83);
    if (at_least(start_obj.get(), limit)) {
        c.at(84);
        raise_stop_iteration();
    }
    c.at(85);
    if (!PyUnicode_Check(text_obj.get()))
        vy::raise_format(PyExc_TypeError, "a lexer reads a str, not '%.200s'", Py_TYPE(text_obj.get())->tp_name);
    const Text text(text_obj.get());
    const Py_ssize_t start = item_index(start_obj.get());
    const Py_UCS4 cur = text.at(start);
    c.at(86);
    const bool has_next = start < limit - 1;  // start + 1 < limit, without overflow
    const Py_UCS4 next = has_next ? text.at(start + 1) : 0;

    c.at(88);
    if (cur == '\n') {
        c.at(89);
        add_to(self, n_pos_, k_one.get());
        c.at(90);
        add_to(self, n_line_, k_one.get());
        c.at(91);
        setattr(self, n_line_start_, getattr(self, n_pos_).get());
        c.at(92);
        return token(lexer_attr(n_NEWLINE).get(), Py_None, loc);
    }
    c.at(93);
    if (cur == '\r') {
        c.at(94);
        add_to(self, n_pos_, has_next && next == '\n' ? k_two.get() : k_one.get());
        c.at(95);
        add_to(self, n_line_, k_one.get());
        c.at(96);
        setattr(self, n_line_start_, getattr(self, n_pos_).get());
        c.at(97);
        return token(lexer_attr(n_NEWLINE).get(), Py_None, loc);
    }
    c.at(98);
    if (cur == '#') {
        c.at(99);
        call_method(self, n_scan_until_, lexer_attr(n_CHAR_NEWLINE_).get());
        c.at(100);
        vy::Ref t = lexer_attr(n_COMMENT);
        return token(t.get(), slice_to_pos(self, text, start).get(), loc);
    }

    c.at(102);
    bool filename_mode;
    {
        vy::Ref mode = getattr(self, n_mode_);
        filename_mode = mode.get() == lexer_attr(n_MODE_FILENAME_).get();
    }
    if (filename_mode) {
        c.at(103);
        if (cur != '(') {
            c.at(104);
            raise_feature_error("Expected '(' before file name", loc);
        }
        c.at(105);
        call_method(self, n_scan_until_, s_rparen.get());
        c.at(106);
        bool closed = less(getattr(self, n_pos_).get(), limit);
        if (closed) closed = text.at(item_index(getattr(self, n_pos_).get())) == ')';
        c.at(107);
        if (!closed) {
            c.at(108);
            raise_feature_error("Expected ')' after file name", loc);
        }
        c.at(109);
        add_to(self, n_pos_, k_one.get());
        c.at(110);
        setattr(self, n_mode_, lexer_attr(n_MODE_NORMAL_).get());
        c.at(111);
        vy::Ref t = lexer_attr(n_FILENAME);
        return token(t.get(), slice_to_pos(self, text, start + 1, true).get(), loc);
    }

    c.at(115);
    if (cur == '\\' && has_next && in_class(n_CHAR_DIGIT_, next)) {
        c.at(116);
        add_to(self, n_pos_, k_one.get());
        c.at(117);
        call_method(self, n_scan_over_, lexer_attr(n_CHAR_DIGIT_).get());
        c.at(118);
        return integer_token(self, text, start + 1, n_CID, 10, loc);
    }
    c.at(119);
    if (cur == '@') {
        c.at(120);
        add_to(self, n_pos_, k_one.get());
        c.at(121);
        call_method(self, n_scan_over_, lexer_attr(n_CHAR_NAME_CONTINUATION_).get());
        c.at(122);
        vy::Ref glyphclass = slice_to_pos(self, text, start + 1);
        c.at(123);
        if (PyUnicode_GET_LENGTH(glyphclass.get()) < 1) {
            c.at(124);
            raise_feature_error("Expected glyph class name", loc);
        }
        c.at(125);
        bool valid;
        {
            vy::Ref pattern = lexer_attr(n_RE_GLYPHCLASS);
            if (pattern.get() == g_glyphclass_re) {
                valid = glyphclass_matches(glyphclass.get());
            } else {
                vy::Ref m = call_method(pattern.get(), n_match, glyphclass.get());
                valid = truth(m.get());
            }
        }
        if (!valid) {
            c.at(126);
            raise_feature_error("Glyph class names must consist of letters, digits, underscore, period or hyphen",
                                loc);
        }
        c.at(131);
        return token(lexer_attr(n_GLYPHCLASS).get(), glyphclass.get(), loc);
    }
    c.at(132);
    if (in_class(n_CHAR_NAME_START_, cur)) {
        c.at(133);
        add_to(self, n_pos_, k_one.get());
        c.at(134);
        call_method(self, n_scan_over_, lexer_attr(n_CHAR_NAME_CONTINUATION_).get());
        c.at(135);
        vy::Ref name = slice_to_pos(self, text, start);
        c.at(136);
        if (PyUnicode_CompareWithASCIIString(name.get(), "include") == 0) {
            c.at(137);
            setattr(self, n_mode_, lexer_attr(n_MODE_FILENAME_).get());
        }
        c.at(138);
        return token(lexer_attr(n_NAME).get(), name.get(), loc);
    }
    c.at(139);
    if (cur == '0' && has_next && (next == 'x' || next == 'X')) {
        c.at(140);
        add_to(self, n_pos_, k_two.get());
        c.at(141);
        call_method(self, n_scan_over_, lexer_attr(n_CHAR_HEXDIGIT_).get());
        c.at(142);
        return integer_token(self, text, start, n_HEXADECIMAL, 16, loc);
    }
    c.at(143);
    if (cur == '0' && has_next && in_class(n_CHAR_DIGIT_, next)) {
        c.at(144);
        call_method(self, n_scan_over_, lexer_attr(n_CHAR_DIGIT_).get());
        c.at(145);
        return integer_token(self, text, start, n_OCTAL, 8, loc);
    }
    c.at(146);
    if (in_class(n_CHAR_DIGIT_, cur)) return number_token(c, self, text, start, limit, loc, 147);
    c.at(154);
    if (cur == '-' && has_next && in_class(n_CHAR_DIGIT_, next)) {
        c.at(155);
        add_to(self, n_pos_, k_one.get());
        return number_token(c, self, text, start, limit, loc, 156);
    }
    c.at(162);
    if (in_class(n_CHAR_SYMBOL_, cur)) {
        c.at(163);
        add_to(self, n_pos_, k_one.get());
        c.at(164);
        vy::Ref t = lexer_attr(n_SYMBOL);
        vy::Ref symbol = vy::own(PyUnicode_FromOrdinal(int(cur)));
        return token(t.get(), symbol.get(), loc);
    }
    c.at(165);
    if (cur == '"') {
        c.at(166);
        add_to(self, n_pos_, k_one.get());
        c.at(167);
        call_method(self, n_scan_until_, s_quote.get());
        c.at(168);
        bool closed;
        {
            vy::Ref p = getattr(self, n_pos_);
            vy::Ref length = getattr(self, n_text_length_);
            vy::Ref below = vy::own(PyObject_RichCompare(p.get(), length.get(), Py_LT));
            closed = truth(below.get());
        }
        if (closed) {
            vy::Ref current = getattr(self, n_text_);
            vy::Ref p = getattr(self, n_pos_);
            if (PyUnicode_CheckExact(current.get())) {
                closed = Text(current.get()).at(item_index(p.get())) == '"';
            } else {
                vy::Ref ch = vy::own(PyObject_GetItem(current.get(), p.get()));
                closed = equal(ch.get(), s_quote.get());
            }
        }
        if (closed) {
            c.at(169);
            add_to(self, n_pos_, k_one.get());
            c.at(171);
            vy::Ref string;
            {
                vy::Ref re = vy::global(n_re);
                vy::Ref sub = getattr(re.get(), n_sub);
                vy::Ref quoted = slice_to_pos(self, text, start + 1, true);
                string = vy::call(sub.get(), {s_line_breaks.get(), s_empty.get(), quoted.get()});
            }
            c.at(172);
            return token(lexer_attr(n_STRING).get(), string.get(), loc);
        }
        c.at(173);
        raise_feature_error("Expected '\"' to terminate string", loc);
    }
    c.at(174);
    vy::Ref ch = vy::own(PyUnicode_FromOrdinal(int(cur)));
    vy::Ref message = vy::own(PyUnicode_FromFormat("Unexpected character: %R", ch.get()));
    raise_feature_error(message.get(), loc);
}

namespace {

PyObject* next_(vy::Call& c, vy::Args& a) {
    PyObject* self = a.o(0);
    bool settled;
    if (plain_instance(self)) return plain_next(c, self, settled).release();
    vy::Ref location = next_lead(c, self);
    return next_rest(c, self, location.get()).release();
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
