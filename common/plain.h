// Formula bodies over machine numbers.  A body written once as a template
// over its value type runs on Num (Python semantics, any objects) and, when
// every input is an exact int or float, on Plain: the same formulas in
// registers, ints as 64-bit integers and floats as doubles, each operation
// giving what the interpreter's gives (an int stays an int under + - *,
// true division of ints is the correctly rounded quotient, int-float
// comparisons are exact).
//
// Plain computes only what it can compute exactly as the interpreter would.
// Everything else throws Bail before any Python code has run or any result
// exists, and the caller runs the body again on Num: a division by zero, an
// integer overflow, an int too large to meet a float exactly, a math
// function's domain error or overflow, a power the interpreter would refuse,
// NaN among values to sort, an input that is not a plain number or point.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>

#include "expr.h"
#include "math_calls.h"
#include "unstable.h"

namespace vy {

struct Bail {};

// Whether an int converts to a double exactly (as the interpreter's mixed
// arithmetic converts it).
inline bool exact_in_double(std::int64_t i) noexcept { return i <= (1LL << 53) && i >= -(1LL << 53); }

class Plain {
public:
    constexpr Plain() noexcept = default;
    constexpr Plain(double v) noexcept : f_(v) {}
    constexpr Plain(int v) noexcept : i_(v), int_(true) {}  // an int literal
    static constexpr Plain integer(std::int64_t i) noexcept {
        Plain p;
        p.i_ = i;
        p.int_ = true;
        return p;
    }

    bool is_int() const noexcept { return int_; }
    double f() const noexcept { return f_; }       // a float's value
    std::int64_t i() const noexcept { return i_; }  // an int's value
    // The value as a double: a float's, or an int's where exact (else Bail).
    double as_double() const {
        if (!int_) return f_;
        if (!exact_in_double(i_)) throw Bail{};
        return double(i_);
    }
    // The caller's object this value was read from, while unchanged
    // (borrowed: it lives as long as the arguments do).
    PyObject* source() const noexcept { return src_; }
    // Made by boxed(): one object wherever it is assigned (`x0 = x1 = ...`).
    bool is_boxed() const noexcept { return boxed_; }
    Plain boxed() const noexcept {
        Plain b = *this;
        b.boxed_ = true;
        return b;
    }
    // The same number and kind (an int 0 is not the float 0.0).
    bool same_as(const Plain& o) const noexcept {
        return int_ == o.int_ && (int_ ? i_ == o.i_ : std::bit_cast<std::uint64_t>(f_) == std::bit_cast<std::uint64_t>(o.f_));
    }
    // A new reference to the Python object of this value.
    Ref object() const {
        if (src_) return Ref::borrow(src_);
        return int_ ? int_object(i_) : float_object(f_);
    }

    // An exact float, or an exact int that fits 64 bits, as the value it
    // holds, remembering the object.
    static bool read(PyObject* o, Plain& out) noexcept {
        if (PyFloat_CheckExact(o)) {
            out = Plain(PyFloat_AS_DOUBLE(o));
            out.src_ = o;
            return true;
        }
        if (!PyLong_CheckExact(o)) return false;
        std::int64_t compact;
        if (unstable::compact_int(o, compact)) {
            out = integer(compact);
            out.src_ = o;
            return true;
        }
        int overflow = 0;
        const long long i = PyLong_AsLongLongAndOverflow(o, &overflow);
        if (overflow) return false;
        out = integer(i);
        out.src_ = o;
        return true;
    }
    // An object that must be a plain number for the machine run.
    static Plain of(PyObject* o) {
        Plain p;
        if (!read(o, p)) throw Bail{};
        return p;
    }

    // The first n arguments as Plain values, if each is one.
    template <std::size_t N>
    static std::optional<std::array<Plain, N>> args(const Args& args) noexcept {
        std::array<Plain, N> out{};
        for (std::size_t i = 0; i < N; ++i)
            if (!read(args.o(int(i)), out[i])) return std::nullopt;
        return out;
    }

private:
    union {
        double f_ = 0.0;
        std::int64_t i_;
    };
    bool int_ = false;
    bool boxed_ = false;      // copies keep it; results of operations are new values
    PyObject* src_ = nullptr;  // copies keep it too
};

template <class T>
concept PlainOperand = std::same_as<std::remove_cvref_t<T>, Plain> || std::same_as<std::remove_cvref_t<T>, double> ||
                       std::same_as<std::remove_cvref_t<T>, int>;
template <class A, class B>
concept PlainOperands =
    PlainOperand<A> && PlainOperand<B> &&
    (std::same_as<std::remove_cvref_t<A>, Plain> || std::same_as<std::remove_cvref_t<B>, Plain>);

inline Plain plain_of(Plain p) noexcept { return p; }
inline Plain plain_of(double d) noexcept { return Plain(d); }
inline Plain plain_of(int i) noexcept { return Plain(i); }

namespace plain {

// Both operands as doubles, for an operation where at least one is a float
// (the interpreter converts the int first; only exact conversions are taken).
inline void doubles(const Plain& a, const Plain& b, double& x, double& y) {
    x = a.as_double();
    y = b.as_double();
}

template <class IntOp, class FloatOp>
Plain arith(const Plain& a, const Plain& b, IntOp int_op, FloatOp float_op) {
    if (!a.is_int() && !b.is_int()) return float_op(a.f(), b.f());
    if (a.is_int() && b.is_int()) {
        std::int64_t r;
        if (int_op(a.i(), b.i(), &r)) throw Bail{};  // beyond 64 bits: a Python long
        return Plain::integer(r);
    }
    double x, y;
    doubles(a, b, x, y);
    return float_op(x, y);
}

template <class Cmp>
bool compare(const Plain& a, const Plain& b, Cmp cmp) {
    if (!a.is_int() && !b.is_int()) return cmp(a.f(), b.f());
    if (a.is_int() && b.is_int()) return cmp(a.i(), b.i());
    double x, y;
    doubles(a, b, x, y);
    return cmp(x, y);
}

}  // namespace plain

template <class A, class B>
    requires PlainOperands<A, B>
Plain operator+(A a, B b) {
    return plain::arith(
        plain_of(a), plain_of(b), [](std::int64_t x, std::int64_t y, std::int64_t* r) { return __builtin_add_overflow(x, y, r); },
        [](double x, double y) { return Plain(x + y); });
}
template <class A, class B>
    requires PlainOperands<A, B>
Plain operator-(A a, B b) {
    return plain::arith(
        plain_of(a), plain_of(b), [](std::int64_t x, std::int64_t y, std::int64_t* r) { return __builtin_sub_overflow(x, y, r); },
        [](double x, double y) { return Plain(x - y); });
}
template <class A, class B>
    requires PlainOperands<A, B>
Plain operator*(A a, B b) {
    return plain::arith(
        plain_of(a), plain_of(b), [](std::int64_t x, std::int64_t y, std::int64_t* r) { return __builtin_mul_overflow(x, y, r); },
        [](double x, double y) { return Plain(x * y); });
}
// True division: of exact operands the correctly rounded quotient, as the
// interpreter's int/int and float/float divisions give it.
template <class A, class B>
    requires PlainOperands<A, B>
Plain operator/(A a, B b) {
    double x, y;
    plain::doubles(plain_of(a), plain_of(b), x, y);
    if (y == 0.0) throw Bail{};  // ZeroDivisionError
    return x / y;
}
inline Plain operator-(Plain a) {
    if (!a.is_int()) return -a.f();
    if (a.i() == INT64_MIN) throw Bail{};
    return Plain::integer(-a.i());
}
// abs() of a non-negative int is that int itself.
inline Plain abs(Plain a) {
    if (!a.is_int()) return std::fabs(a.f());
    if (a.i() >= 0) return a;
    return -a;
}

template <class A, class B>
    requires PlainOperands<A, B>
bool operator<(A a, B b) {
    return plain::compare(plain_of(a), plain_of(b), [](auto x, auto y) { return x < y; });
}
template <class A, class B>
    requires PlainOperands<A, B>
bool operator<=(A a, B b) {
    return plain::compare(plain_of(a), plain_of(b), [](auto x, auto y) { return x <= y; });
}
template <class A, class B>
    requires PlainOperands<A, B>
bool operator>(A a, B b) {
    return plain::compare(plain_of(a), plain_of(b), [](auto x, auto y) { return x > y; });
}
template <class A, class B>
    requires PlainOperands<A, B>
bool operator>=(A a, B b) {
    return plain::compare(plain_of(a), plain_of(b), [](auto x, auto y) { return x >= y; });
}
template <class A, class B>
    requires PlainOperands<A, B>
bool operator==(A a, B b) {
    return plain::compare(plain_of(a), plain_of(b), [](auto x, auto y) { return x == y; });
}
template <class A, class B>
    requires PlainOperands<A, B>
bool operator!=(A a, B b) {
    return plain::compare(plain_of(a), plain_of(b), [](auto x, auto y) { return x != y; });
}

// The builtins min and max of two: the first operand itself unless the
// second is strictly smaller (larger).
template <class A, class B>
    requires PlainOperands<A, B>
Plain min(A a, B b) {
    return plain_of(b) < plain_of(a) ? plain_of(b) : plain_of(a);
}
template <class A, class B>
    requires PlainOperands<A, B>
Plain max(A a, B b) {
    return plain_of(b) > plain_of(a) ? plain_of(b) : plain_of(a);
}

// float(x): an exact float is x itself.
inline Plain float_of(Plain a) {
    if (!a.is_int()) return a;
    return a.as_double();
}
inline Plain boxed(Plain a) noexcept { return a.boxed(); }

// x ** y of floats where the interpreter calls pow() and reports nothing.
template <class B>
    requires PlainOperand<B>
Plain pow(Plain a, B b) {
    const Plain e = plain_of(b);
    double r;
    if (a.is_int() || e.is_int() || !num::pow_plain(a.f(), e.f(), r)) throw Bail{};
    return r;
}

// Sorted as the builtin sorts (floats without NaN: `<` is then a strict weak
// order and every stable sort agrees).
inline void sort3(Plain& a, Plain& b, Plain& c) {
    for (const Plain* p : {&a, &b, &c})
        if (p->is_int() || std::isnan(p->f())) throw Bail{};
    num::sort3_no_nan(a, b, c, [](const Plain& p) { return p.f(); });
}

// The Python object of each value, in order.  Boxed values of the same
// number are one object: a body boxes one value per statement and assigns
// it to several names, so equal boxed values in one result are copies of
// one boxing.
template <std::size_t N>
void box_all(const Plain (&values)[N], PyObject* (&out)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        out[i] = nullptr;
        for (std::size_t j = 0; j < i && !out[i]; ++j)
            if (values[i].is_boxed() && values[j].is_boxed() && values[i].same_as(values[j]))
                out[i] = Py_NewRef(out[j]);
        if (!out[i]) out[i] = values[i].object().release();
    }
}

template <class... A>
concept AllPlain = (std::same_as<std::remove_cvref_t<A>, Plain> && ...);

// A list or tuple display of the values.
template <class... A>
    requires(sizeof...(A) > 0 && AllPlain<A...>)
Ref list(const A&... items) {
    const Plain values[] = {items...};
    PyObject* objects[sizeof...(A)];
    Ref l = own(PyList_New(sizeof...(A)));
    box_all(values, objects);
    for (std::size_t i = 0; i < sizeof...(A); ++i) PyList_SET_ITEM(l.get(), Py_ssize_t(i), objects[i]);
    return l;
}
template <class... A>
    requires(sizeof...(A) > 0 && AllPlain<A...>)
Ref tuple(const A&... items) {
    const Plain values[] = {items...};
    PyObject* objects[sizeof...(A)];
    Ref t = own(PyTuple_New(sizeof...(A)));
    box_all(values, objects);
    for (std::size_t i = 0; i < sizeof...(A); ++i) PyTuple_SET_ITEM(t.get(), Py_ssize_t(i), objects[i]);
    return t;
}

// Whether an object is a number the machine run takes, and a point of two
// such numbers it reads: checked before the run, so that the general run
// does not pay for a bail where the inputs alone rule the machine run out.
inline bool is_plain_number(PyObject* o) noexcept {
    Plain p;
    return Plain::read(o, p);
}
inline bool is_plain_point(PyObject* o) noexcept {
    return PyTuple_CheckExact(o) && PyTuple_GET_SIZE(o) == 2 && is_plain_number(PyTuple_GET_ITEM(o, 0)) &&
           is_plain_number(PyTuple_GET_ITEM(o, 1));
}
// The first `points` arguments plain points and the next `numbers` plain
// numbers.
inline bool plain_arguments(const Args& args, int points, int numbers = 0) noexcept {
    for (int i = 0; i < points; ++i)
        if (!is_plain_point(args.o(i))) return false;
    for (int i = points; i < points + numbers; ++i)
        if (!is_plain_number(args.o(i))) return false;
    return true;
}

// Points of the caller's read on the machine run: an exact tuple of plain
// numbers (a tuple's items cannot change under us; anything else takes the
// general run).
inline std::array<Plain, 2> plain_point(PyObject* o) {
    if (!PyTuple_CheckExact(o) || PyTuple_GET_SIZE(o) != 2) throw Bail{};
    return {Plain::of(PyTuple_GET_ITEM(o, 0)), Plain::of(PyTuple_GET_ITEM(o, 1))};
}
inline Plain plain_item(PyObject* o, Py_ssize_t i) {
    if (!PyTuple_CheckExact(o) || i >= PyTuple_GET_SIZE(o)) throw Bail{};
    return Plain::of(PyTuple_GET_ITEM(o, i));
}

// `x, y = pt` and `pt[i]` for a body over either value type: on Num the
// interpreter's unpacking and a lazy subscript (evaluated where the formula
// reaches it), on Plain the numbers of an exact tuple.
template <class V>
std::array<V, 2> unpack_point(PyObject* o) {
    if constexpr (std::same_as<V, Plain>)
        return plain_point(o);
    else
        return Point(o).unpack();
}
// A point the machine run has read already.
template <class V>
std::array<V, 2> unpack_point(const std::array<V, 2>& p) {
    return p;
}
template <class V>
auto item(PyObject* o, Py_ssize_t i) {
    if constexpr (std::same_as<V, Plain>)
        return plain_item(o, i);
    else
        return Point(o)[i];
}

// The names a formula body reads from the module, as the body sees them on
// Plain values: read once, before the body runs, from the memos of the
// module-level names (no Python code can run in between to rebind them).

// A math function known to be the interpreter's own.
class PlainMath {
public:
    explicit PlainMath(double (*c)(double)) noexcept : c_(c) {}
    Plain operator()(Plain x) const {
        const double v = x.as_double();
        const double r = c_(v);
        if (!math_result_ok(v, r)) throw Bail{};  // ValueError or OverflowError
        return r;
    }
    // fn(x) for a callable parameter found to be the same function.
    Plain with(PyObject*, Plain x) const { return (*this)(x); }

private:
    double (*c_)(double);
};

// round(x, ndigits) of a float by the interpreter's own round, for
// 0 <= ndigits <= 22.
struct PlainRound {
    Plain operator()(Plain x, int ndigits) const {
        if (x.is_int()) throw Bail{};  // an int's round is that int
        return round_double(x.f(), ndigits);
    }
};

// round(x, ndigits) by a builtin cached at exec, as a callable for bodies
// written over either value type.
struct Round {
    const Builtin& fn;
    template <expr::Operand A, expr::Operand B>
    auto operator()(A&& a, B&& b) const {
        return vy::round(fn, std::forward<A>(a), std::forward<B>(b));
    }
};

// A module-level number, if its memo holds an int or a float.
bool plain_global(const Global& g, Plain& out) noexcept;
// A module-level integer, if its memo holds one in [lo, hi].
bool plain_global_int(const Global& g, int lo, int hi, int& out) noexcept;
// Whether the module-level name holds the math function (memo only).
inline bool plain_math(const MathFn1& fn) noexcept { return fn.genuine_now(); }

// Runs `body(std::type_identity<Plain>{})`, a body written over its value
// type, when `plain_ok`, and on Num where that is not allowed or bails.
template <class Body>
PyObject* plain_or_num(bool plain_ok, Body&& body) {
    if (plain_ok) {
        try {
            return body(std::type_identity<Plain>{});
        } catch (Bail) {
        }
    }
    return body(std::type_identity<Num>{});
}

// Runs `body(names, v...)` on the first N arguments as Plain values, with
// `Read` names whose read() succeeded, when `plain_ok` and the arguments
// allow it; else, or when it bails, on Num values with the `looked` names.
template <std::size_t N, class Read, class Looked, class Body>
PyObject* on_plain_or_num(const Args& args, bool plain_ok, const Looked& looked, Body&& body) {
    if (plain_ok) {
        if (auto values = Plain::args<N>(args)) {
            Read names;
            if (names.read()) {
                try {
                    return std::apply([&](auto... v) { return body(names, v...); }, *values);
                } catch (Bail) {
                }
            }
        }
    }
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return body(looked, Num::from(args.o(int(I)))...);
    }(std::make_index_sequence<N>{});
}

}  // namespace vy
