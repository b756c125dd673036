// next_ for the common case: an instance of exactly the module's Lexer class,
// with the class as the module body made it and the module name Lexer still
// bound to it.  Then every method the instance finds is this module's own
// (unless its dict shadows one, which is checked), every Lexer.X is the value
// the class body gave it, and every attribute access is a plain look-up in
// the instance dict.  So the state lives in C locals, and is written back to
// the instance before each point where Python code can run or see it: the
// location's constructor, the error classes, re.sub, and the return.
// Anything unusual takes the general path of tokenizer.cpp, at a step where
// nothing has been changed yet.
#include "text.h"

#include <optional>

namespace lexer {

namespace {

struct Pristine {
    PyTypeObject* cls = nullptr;
    unsigned int version = 0;       // the class's version tag at exec; 0: never plain
    PyObject* mode_normal = nullptr;  // the class body's MODE_NORMAL_
} g;

const vy::Name s_features{"<features>"}, n_sub{"sub"};
const vy::Name s_line_breaks{"[\r\n]"}, s_empty{""};

// The character sets of the class body.
constexpr bool is_letter(Py_UCS4 ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }
constexpr bool is_digit(Py_UCS4 ch) { return ch >= '0' && ch <= '9'; }
constexpr bool is_one_of(Py_UCS4 ch, const char* set) {
    for (; *set; ++set)
        if (ch == Py_UCS4(static_cast<unsigned char>(*set))) return true;
    return false;
}
struct Blank {
    bool operator()(Py_UCS4 ch) const { return ch == ' ' || ch == '\t'; }
};
struct LineBreak {
    bool operator()(Py_UCS4 ch) const { return ch == '\r' || ch == '\n'; }
};
struct Digit {
    bool operator()(Py_UCS4 ch) const { return is_digit(ch); }
};
struct HexDigit {
    bool operator()(Py_UCS4 ch) const { return is_digit(ch) || (ch >= 'A' && ch <= 'F') || (ch >= 'a' && ch <= 'f'); }
};
struct NameChar {
    bool operator()(Py_UCS4 ch) const { return is_letter(ch) || is_digit(ch) || is_one_of(ch, "_.+*:^~!/-"); }
};
struct Is {
    Py_UCS4 c;
    bool operator()(Py_UCS4 ch) const { return ch == c; }
};
constexpr bool is_name_start(Py_UCS4 ch) { return is_letter(ch) || is_one_of(ch, "_+*:.^~!\\"); }
constexpr bool is_symbol(Py_UCS4 ch) { return is_one_of(ch, ",;:-+'{}[]<>()="); }

template <class Char, class In>
Py_ssize_t run(const Char* d, Py_ssize_t p, Py_ssize_t end, In in, bool over) {
    while (p < end && in(d[p]) == over) ++p;
    return p;
}

// The position a scan_over_ (over) or scan_until_ (!over) from p stops at;
// `end` is text_length_, at most the text's length.
template <class In>
Py_ssize_t scan(const Text& t, Py_ssize_t p, Py_ssize_t end, In in, bool over) {
    switch (t.kind()) {
        case PyUnicode_1BYTE_KIND: return run(static_cast<const Py_UCS1*>(t.data()), p, end, in, over);
        case PyUnicode_2BYTE_KIND: return run(static_cast<const Py_UCS2*>(t.data()), p, end, in, over);
        default: return run(static_cast<const Py_UCS4*>(t.data()), p, end, in, over);
    }
}

// A non-negative exact int that fits an index.
bool index_value(PyObject* o, Py_ssize_t& out) {
    if (!o || !PyLong_CheckExact(o)) return false;
    out = PyLong_AsSsize_t(o);
    if (out == -1 && PyErr_Occurred()) {
        PyErr_Clear();
        return false;
    }
    return out >= 0;
}

// The instance dict of a plain instance.
class Instance {
public:
    explicit Instance(PyObject* self) : dict_(vy::own(PyObject_GenericGetDict(self, nullptr))) {}
    Py_ssize_t size() const noexcept { return PyDict_GET_SIZE(dict_.get()); }
    bool shadows(const vy::Name& method) const { return vy::check(PyDict_Contains(dict_.get(), method.get())) != 0; }
    vy::Ref get(const vy::Name& name) const {
        PyObject* v = nullptr;
        vy::check(PyDict_GetItemRef(dict_.get(), name.get(), &v));
        return vy::Ref::steal(v);
    }
    void set(const vy::Name& name, PyObject* value) const { vy::check(PyDict_SetItem(dict_.get(), name.get(), value)); }
    // All values at once when the dict holds exactly these keys (the very
    // interned strings, in any order): one pass under the dict's lock
    // instead of a hashed look-up each.
    bool read_exactly(const vy::Name* const* names, vy::Ref* const* out, int count) const {
        PyObject* dict = dict_.get();
        bool exact = true;
        Py_BEGIN_CRITICAL_SECTION(dict);
        if (PyDict_GET_SIZE(dict) != count) {
            exact = false;
        } else {
            Py_ssize_t pos = 0;
            PyObject *key, *value;
            while (exact && PyDict_Next(dict, &pos, &key, &value)) {
                int found = -1;
                for (int i = 0; i < count; ++i)
                    if (key == names[i]->get()) found = i;
                if (found < 0 || *out[found]) {
                    exact = false;
                } else {
                    *out[found] = vy::Ref::borrow(value);
                }
            }
        }
        Py_END_CRITICAL_SECTION();
        if (!exact)
            for (int i = 0; i < count; ++i) *out[i] = vy::Ref();
        return exact;
    }

private:
    vy::Ref dict_;
};

// What steps 1 and 2 read, taken from the dict at once: nothing runs between
// these reads and their uses.
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
        if (!text || !PyUnicode_CheckExact(text.get()) || !index_value(pos.get(), p) ||
            !index_value(length.get(), n) || n > PyUnicode_GET_LENGTH(text.get()) ||
            !index_value(line_start.get(), ls) || !filename || !line)
            return;
        // `filename_ or "<features>"` without a truth test that could run code.
        file = filename.get();
        if (file == Py_None || (PyUnicode_CheckExact(file) && PyUnicode_GET_LENGTH(file) == 0))
            file = s_features.get();
        else if (!PyUnicode_CheckExact(file))
            return;
        plain = complete || (!in.shadows(n_scan_over_) && !in.shadows(n_location_));
    }
};

// What steps 1 and 2 leave for the rest when no Python code ran in them:
// the instance, its values as read, and pos_ after the blanks.
struct Carry {
    const Instance* in = nullptr;
    const Lead* lead = nullptr;
    Py_ssize_t pos = 0;
};

// Steps 1 and 2: skip blanks and make the location.
vy::Ref plain_lead(vy::Call& c, const Instance& in, const Lead& lead, Carry& carry) {
    c.at(78);
    const Py_ssize_t q = scan(Text(lead.text.get()), lead.p, lead.n, Blank{}, true);
    if (q != lead.p) in.set(n_pos_, vy::own(PyLong_FromSsize_t(q)).get());
    c.at(79);
    bool direct = false;
    vy::Ref location = called(location_def, [&](vy::Call& lc) {
        lc.at(73);
        vy::Ref column = vy::own(PyLong_FromSsize_t(q - lead.ls + 1));
        lc.at(74);
        vy::Ref make = vy::global(n_FeatureLibLocation);
        return make_location(make.get(), lead.file, lead.line.get(), column.get(), direct);
    });
    if (direct) carry = Carry{&in, &lead, q};
    return location;
}

// Steps 3 to 18 on a plain instance, from the position the location was
// taken at.
vy::Ref plain_rest(vy::Call& c, PyObject* self, PyObject* loc, bool& settled, const Carry& carry) {
    c.at(80);
    settled = false;
    // The steps as written, from step 3: nothing has been changed yet.
    auto general = [&] {
        settled = false;
        return next_rest(c, self, loc);
    };
    // Carried over from steps 1 and 2 when nothing ran since they checked
    // and read the instance; read afresh otherwise.
    std::optional<Instance> fresh;
    vy::Ref text, mode;
    Py_ssize_t start, n;
    if (carry.lead) {
        text = carry.lead->text.copy();
        mode = carry.lead->mode.copy();
        start = carry.pos;
        n = carry.lead->n;
    } else {
        if (!plain_instance(self) || !pristine_lexer()) return general();
        fresh.emplace(self);
        vy::Ref pos = fresh->get(n_pos_);
        text = fresh->get(n_text_);
        vy::Ref length = fresh->get(n_text_length_);
        mode = fresh->get(n_mode_);
        if (!text || !PyUnicode_CheckExact(text.get()) || !index_value(pos.get(), start) ||
            !index_value(length.get(), n) || n > PyUnicode_GET_LENGTH(text.get()) || !mode)
            return general();
    }
    const Instance& in = carry.lead ? *carry.in : *fresh;
    const Text t(text.get());
    const Py_ssize_t limit = t.size();
    settled = true;  // until Python code runs
    c.at(83);
    if (start >= limit) {
        c.at(84);
        raise_stop_iteration();
    }
    c.at(85);
    const Py_UCS4 cur = t.at(start);
    const bool has_next = start < limit - 1;
    const Py_UCS4 next = has_next ? t.at(start + 1) : 0;

    // pos_ as the algorithm has it now, and as the instance last saw it.
    Py_ssize_t p = start, written = start;
    auto flush = [&] {
        if (p == written) return;
        in.set(n_pos_, vy::own(PyLong_FromSsize_t(p)).get());
        written = p;
    };
    auto integer = [&](const vy::Name& type, Py_ssize_t from, int base) {
        flush();
        vy::Ref digits = t.slice(from, p);
        return token(type.get(), vy::own(PyLong_FromUnicodeObject(digits.get(), base)).get(), loc);
    };

    c.at(88);
    if (cur == '\n' || cur == '\r') {
        c.at(cur == '\n' ? 89 : 94);
        p = start + (cur == '\r' && has_next && next == '\n' ? 2 : 1);
        vy::Ref at = vy::own(PyLong_FromSsize_t(p));
        c.at(cur == '\n' ? 90 : 95);
        vy::Ref line = in.get(n_line_);
        if (!line || !PyLong_CheckExact(line.get())) {
            // An unusual line number: its += may run code, so as written.
            settled = false;
            flush();
            add_to(self, n_line_, k_one.get());
            c.at(cur == '\n' ? 91 : 96);
            setattr(self, n_line_start_, getattr(self, n_pos_).get());
            c.at(cur == '\n' ? 92 : 97);
            return token(lexer_attr(n_NEWLINE).get(), Py_None, loc);
        }
        vy::Ref next_line = vy::own(PyNumber_Add(line.get(), k_one.get()));
        in.set(n_pos_, at.get());
        in.set(n_line_, next_line.get());
        in.set(n_line_start_, at.get());
        c.at(cur == '\n' ? 92 : 97);
        return token(n_NEWLINE.get(), Py_None, loc);
    }
    c.at(98);
    if (cur == '#') {
        c.at(99);
        if (in.shadows(n_scan_until_)) return general();
        p = scan(t, start, n, LineBreak{}, false);
        flush();
        c.at(100);
        return token(n_COMMENT.get(), t.slice(start, p).get(), loc);
    }
    c.at(102);
    if (mode.get() == n_FILENAME.get()) {
        c.at(103);
        if (cur != '(') {
            c.at(104);
            raise_feature_error("Expected '(' before file name", loc);
        }
        c.at(105);
        if (in.shadows(n_scan_until_)) return general();
        p = scan(t, start, n, Is{')'}, false);
        c.at(106);
        if (!(p < limit && t.at(p) == ')')) {
            flush();
            c.at(108);
            raise_feature_error("Expected ')' after file name", loc);
        }
        c.at(109);
        ++p;
        c.at(110);
        in.set(n_mode_, g.mode_normal);
        flush();
        c.at(111);
        return token(n_FILENAME.get(), t.slice(start + 1, p - 1).get(), loc);
    }

    c.at(115);
    if (cur == '\\' && has_next && is_digit(next)) {
        c.at(116);
        if (in.shadows(n_scan_over_)) return general();
        p = scan(t, start + 1, n, Digit{}, true);
        c.at(118);
        return integer(n_CID, start + 1, 10);
    }
    c.at(119);
    if (cur == '@') {
        c.at(120);
        if (in.shadows(n_scan_over_)) return general();
        p = scan(t, start + 1, n, NameChar{}, true);
        flush();
        c.at(122);
        vy::Ref glyphclass = t.slice(start + 1, p);
        c.at(123);
        if (PyUnicode_GET_LENGTH(glyphclass.get()) < 1) {
            c.at(124);
            raise_feature_error("Expected glyph class name", loc);
        }
        c.at(125);
        if (!glyphclass_matches(glyphclass.get())) {
            c.at(126);
            raise_feature_error("Glyph class names must consist of letters, digits, underscore, period or hyphen",
                                loc);
        }
        c.at(131);
        return token(n_GLYPHCLASS.get(), glyphclass.get(), loc);
    }
    c.at(132);
    if (is_name_start(cur)) {
        c.at(133);
        if (in.shadows(n_scan_over_)) return general();
        p = scan(t, start + 1, n, NameChar{}, true);
        c.at(135);
        vy::Ref name = t.slice(start, p);
        c.at(136);
        if (PyUnicode_CompareWithASCIIString(name.get(), "include") == 0) {
            c.at(137);
            in.set(n_mode_, n_FILENAME.get());
        }
        flush();
        c.at(138);
        return token(n_NAME.get(), name.get(), loc);
    }
    c.at(139);
    if (cur == '0' && has_next && (next == 'x' || next == 'X')) {
        c.at(140);
        if (in.shadows(n_scan_over_)) return general();
        p = scan(t, start + 2, n, HexDigit{}, true);
        c.at(142);
        return integer(n_HEXADECIMAL, start, 16);
    }
    c.at(143);
    if (cur == '0' && has_next && is_digit(next)) {
        c.at(144);
        if (in.shadows(n_scan_over_)) return general();
        p = scan(t, start, n, Digit{}, true);
        c.at(145);
        return integer(n_OCTAL, start, 8);
    }
    c.at(146);
    bool negative = false;
    if (!is_digit(cur)) {
        c.at(154);
        negative = cur == '-' && has_next && is_digit(next);
    }
    if (is_digit(cur) || negative) {
        const int line = negative ? 156 : 147;
        c.at(line - 1);
        if (in.shadows(n_scan_over_)) return general();
        p = scan(t, negative ? start + 1 : start, n, Digit{}, true);
        c.at(line + 1);
        if (p >= limit || t.at(p) != '.') {
            c.at(line + 2);
            return integer(n_NUMBER, start, 10);
        }
        c.at(line + 3);
        p = scan(t, p, n, Is{'.'}, true);
        c.at(line + 4);
        p = scan(t, p, n, Digit{}, true);
        flush();
        c.at(line + 5);
        vy::Ref digits = t.slice(start, p);
        return token(n_FLOAT.get(), vy::own(PyFloat_FromString(digits.get())).get(), loc);
    }
    c.at(162);
    if (is_symbol(cur)) {
        c.at(163);
        p = start + 1;
        flush();
        c.at(164);
        return token(n_SYMBOL.get(), vy::own(PyUnicode_FromOrdinal(int(cur))).get(), loc);
    }
    c.at(165);
    if (cur == '"') {
        c.at(166);
        if (in.shadows(n_scan_until_)) return general();
        p = scan(t, start + 1, n, Is{'"'}, false);
        c.at(168);
        if (p < n && t.at(p) == '"') {
            c.at(169);
            ++p;
            flush();
            c.at(171);
            settled = false;
            vy::Ref re = vy::global(n_re);
            vy::Ref sub = getattr(re.get(), n_sub);
            vy::Ref quoted = t.slice(start + 1, p - 1);
            vy::Ref string = vy::call(sub.get(), {s_line_breaks.get(), s_empty.get(), quoted.get()});
            c.at(172);  // after re.sub, Python code has run: Lexer is read anew
            return token(lexer_attr(n_STRING).get(), string.get(), loc);
        }
        flush();
        c.at(173);
        raise_feature_error("Expected '\"' to terminate string", loc);
    }
    c.at(174);
    vy::Ref ch = vy::own(PyUnicode_FromOrdinal(int(cur)));
    vy::Ref message = vy::own(PyUnicode_FromFormat("Unexpected character: %R", ch.get()));
    raise_feature_error(message.get(), loc);
}

}  // namespace

void record_pristine(PyObject* cls, PyObject* mode_normal) {
    PyTypeObject* type = reinterpret_cast<PyTypeObject*>(cls);
    vy::unstable::assign_version_tag(type);
    Py_XSETREF(g.cls, reinterpret_cast<PyTypeObject*>(Py_NewRef(cls)));
    Py_XSETREF(g.mode_normal, Py_NewRef(mode_normal));
    g.version = vy::unstable::version_tag(type);
}

bool plain_instance(PyObject* self) {
    return g.version != 0 && Py_TYPE(self) == g.cls && vy::unstable::version_tag(g.cls) == g.version;
}

bool pristine_lexer() {
    if (g.version == 0 || vy::unstable::version_tag(g.cls) != g.version) return false;
    PyObject* bound = nullptr;
    if (PyDict_GetItemRef(vy::module_state().ns, n_Lexer.get(), &bound) < 0) {
        PyErr_Clear();  // the general path meets the error again
        return false;
    }
    Py_XDECREF(bound);  // only its identity matters
    return bound == reinterpret_cast<PyObject*>(g.cls);
}

vy::Ref plain_next(vy::Call& c, PyObject* self, bool& settled) {
    const Instance in(self);
    const Lead lead(in);
    Carry carry;
    vy::Ref location = lead.plain && pristine_lexer() ? plain_lead(c, in, lead, carry) : next_lead(c, self);
    return plain_rest(c, self, location.get(), settled, carry);
}

vy::Ref own_next(PyObject* self, bool& settled) {
    if (!plain_instance(self)) return {};
    const Instance in(self);
    const Lead lead(in);
    if (!lead.complete && in.shadows(n_next_)) return {};
    return called(next_def, [&](vy::Call& c) {
        Carry carry;
        vy::Ref location = lead.plain && pristine_lexer() ? plain_lead(c, in, lead, carry) : next_lead(c, self);
        return plain_rest(c, self, location.get(), settled, carry);
    });
}

}  // namespace lexer
