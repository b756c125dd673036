// Formula bodies over machine doubles.  A body written once as a template
// over its value type runs on Num (Python semantics, any objects) and, when
// every input is a float, on Plain: the same formulas in registers.
//
// Plain computes only what it can compute exactly as the interpreter would.
// Everything else throws Bail before any Python code has run or any result
// exists, and the caller runs the body again on Num: a division by zero, a
// math function's domain error or overflow, a power the interpreter would
// refuse, NaN among values to sort.  Integer inputs are admitted only where they read
// as the float they convert to: nonzero and exactly representable (the int 0
// negates to 0, the float to -0.0).
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

namespace vy {

struct Bail {};

// Whether an int reads as the float it converts to in every formula: exact,
// and not 0 (which negates to 0 where the float negates to -0.0).
inline bool reads_as_float(std::int64_t i) noexcept { return i != 0 && i <= (1LL << 53) && i >= -(1LL << 53); }

class Plain {
public:
    constexpr Plain() noexcept = default;
    constexpr Plain(double v) noexcept : v_(v) {}
    constexpr Plain(int v) noexcept : v_(double(v)) {}  // a literal, exact
    double v() const noexcept { return v_; }
    // Made by boxed(): one object wherever it is assigned (`x0 = x1 = ...`).
    bool is_boxed() const noexcept { return boxed_; }
    Plain boxed() const noexcept {
        Plain b = *this;
        b.boxed_ = true;
        return b;
    }

    // The first n arguments as Plain values, if each is a float or an int
    // that reads as one.
    template <std::size_t N>
    static std::optional<std::array<Plain, N>> args(const Args& args) noexcept {
        std::array<Plain, N> out{};
        for (std::size_t i = 0; i < N; ++i)
            if (!read(args.o(int(i)), out[i])) return std::nullopt;
        return out;
    }

private:
    static bool read(PyObject* o, Plain& out) noexcept {
        if (PyFloat_CheckExact(o)) {
            out.v_ = PyFloat_AS_DOUBLE(o);
            return true;
        }
        if (!PyLong_CheckExact(o)) return false;
        int overflow = 0;
        const long long i = PyLong_AsLongLongAndOverflow(o, &overflow);
        if (overflow || !reads_as_float(i)) return false;
        out.v_ = double(i);
        return true;
    }
    double v_ = 0.0;
    bool boxed_ = false;  // copies keep it; results of operations are new values
};

template <class T>
concept PlainOperand = std::same_as<std::remove_cvref_t<T>, Plain> || std::same_as<std::remove_cvref_t<T>, double> ||
                       std::same_as<std::remove_cvref_t<T>, int>;
template <class A, class B>
concept PlainOperands =
    PlainOperand<A> && PlainOperand<B> &&
    (std::same_as<std::remove_cvref_t<A>, Plain> || std::same_as<std::remove_cvref_t<B>, Plain>);

inline double plain_value(Plain p) noexcept { return p.v(); }
inline double plain_value(double d) noexcept { return d; }
inline double plain_value(int i) noexcept { return double(i); }

template <class A, class B>
    requires PlainOperands<A, B>
Plain operator+(A a, B b) {
    return plain_value(a) + plain_value(b);
}
template <class A, class B>
    requires PlainOperands<A, B>
Plain operator-(A a, B b) {
    return plain_value(a) - plain_value(b);
}
template <class A, class B>
    requires PlainOperands<A, B>
Plain operator*(A a, B b) {
    return plain_value(a) * plain_value(b);
}
template <class A, class B>
    requires PlainOperands<A, B>
Plain operator/(A a, B b) {
    if (plain_value(b) == 0.0) throw Bail{};  // ZeroDivisionError
    return plain_value(a) / plain_value(b);
}
inline Plain operator-(Plain a) { return -a.v(); }
inline Plain abs(Plain a) { return std::fabs(a.v()); }

template <class A, class B>
    requires PlainOperands<A, B>
bool operator<(A a, B b) {
    return plain_value(a) < plain_value(b);
}
template <class A, class B>
    requires PlainOperands<A, B>
bool operator<=(A a, B b) {
    return plain_value(a) <= plain_value(b);
}
template <class A, class B>
    requires PlainOperands<A, B>
bool operator>(A a, B b) {
    return plain_value(a) > plain_value(b);
}
template <class A, class B>
    requires PlainOperands<A, B>
bool operator>=(A a, B b) {
    return plain_value(a) >= plain_value(b);
}
template <class A, class B>
    requires PlainOperands<A, B>
bool operator==(A a, B b) {
    return plain_value(a) == plain_value(b);
}

// The builtins min and max of two: the first operand unless the second is
// strictly smaller (larger).
template <class A, class B>
    requires PlainOperands<A, B>
Plain min(A a, B b) {
    return plain_value(b) < plain_value(a) ? Plain(plain_value(b)) : Plain(plain_value(a));
}
template <class A, class B>
    requires PlainOperands<A, B>
Plain max(A a, B b) {
    return plain_value(b) > plain_value(a) ? Plain(plain_value(b)) : Plain(plain_value(a));
}

inline Plain float_of(Plain a) noexcept { return a; }
inline Plain boxed(Plain a) noexcept { return a.boxed(); }

// x ** y where the interpreter calls pow() and reports nothing.
template <class B>
    requires PlainOperand<B>
Plain pow(Plain a, B b) {
    double r;
    if (!num::pow_plain(a.v(), plain_value(b), r)) throw Bail{};
    return r;
}

// Sorted as the builtin sorts.
inline void sort3(Plain& a, Plain& b, Plain& c) {
    if (std::isnan(a.v()) || std::isnan(b.v()) || std::isnan(c.v())) throw Bail{};
    num::sort3_no_nan(a, b, c, [](Plain p) { return p.v(); });
}

// A list of the values as floats.  Boxed values of the same bits are one
// object: a body boxes one value per statement and assigns it to several
// names, so equal boxed values in one result are copies of one boxing.
template <class... A>
    requires(sizeof...(A) > 0 && (std::same_as<std::remove_cvref_t<A>, Plain> && ...))
Ref list(A... items) {
    const Plain values[] = {items...};
    Ref l = own(PyList_New(sizeof...(A)));
    for (std::size_t i = 0; i < sizeof...(A); ++i) {
        PyObject* o = nullptr;
        for (std::size_t j = 0; j < i && !o; ++j)
            if (values[i].is_boxed() && values[j].is_boxed() &&
                std::bit_cast<std::uint64_t>(values[i].v()) == std::bit_cast<std::uint64_t>(values[j].v()))
                o = Py_NewRef(PyList_GET_ITEM(l.get(), Py_ssize_t(j)));
        if (!o) o = own(PyFloat_FromDouble(values[i].v())).release();
        PyList_SET_ITEM(l.get(), Py_ssize_t(i), o);
    }
    return l;
}

// The names a formula body reads from the module, as the body sees them on
// Plain values: read once, before the body runs, from the memos of the
// module-level names (no Python code can run in between to rebind them).

// A math function known to be the interpreter's own.
class PlainMath {
public:
    explicit PlainMath(double (*c)(double)) noexcept : c_(c) {}
    Plain operator()(Plain x) const {
        const double r = c_(x.v());
        if (!math_result_ok(x.v(), r)) throw Bail{};  // ValueError or OverflowError
        return r;
    }
    // fn(x) for a callable parameter found to be the same function.
    Plain with(PyObject*, Plain x) const { return (*this)(x); }

private:
    double (*c_)(double);
};

// round(x, ndigits) by the interpreter's own round, for 0 <= ndigits <= 22.
struct PlainRound {
    Plain operator()(Plain x, int ndigits) const noexcept { return round_double(x.v(), ndigits); }
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

// A module-level number as a double, if its memo holds one that reads as
// the float it converts to.
bool plain_global(const Global& g, double& out) noexcept;
// A module-level integer, if its memo holds one in [lo, hi].
bool plain_global_int(const Global& g, int lo, int hi, int& out) noexcept;
// Whether the module-level name holds the math function (memo only).
inline bool plain_math(const MathFn1& fn) noexcept { return fn.genuine_now(); }

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
