// Numbers with Python semantics.  A Num holds a machine double, a machine
// integer or a Python object, and every operation gives exactly what the
// interpreter's own operation gives: doubles combine in IEEE arithmetic, ints
// in 64 bits until they would overflow, int-float mixtures only where the
// conversion is exact; everything else goes through the number protocol.
// Results become Python objects only where Python code could see them, and a
// value read from an object hands back that very object while unchanged.
//
// The operations here are eager; formulas are written with the operators of
// expr.h, which evaluate them in the interpreter's order.
#pragma once

#include <cmath>
#include <concepts>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "frame.h"

namespace vy {

// A formula node of expr.h: a Num made from it evaluates it.
struct Lazy {};
template <class T>
concept LazyNode = std::is_base_of_v<Lazy, std::remove_cvref_t<T>>;

class Num {
public:
    enum Kind : std::uint8_t { Float, Int, Obj };

    Num(double d) noexcept : kind_(Float) { p_.f = d; }  // a float literal
    Num(int i) noexcept : kind_(Int) { p_.i = i; }       // an int literal
    static Num integer(std::int64_t i) noexcept {
        Num n(0);
        n.p_.i = i;
        return n;
    }
    // A borrowed reference; the object is kept.
    static Num from(PyObject* o) {
        if (!PyFloat_CheckExact(o)) return from_slow(o);
        Num n(PyFloat_AS_DOUBLE(o));
        n.obj_ = Py_NewRef(o);
        return n;
    }
    static Num steal(Ref r);       // the result of a Python operation
    template <LazyNode N>
    Num(N&& node);  // evaluates a formula (expr.h)

    Num(const Num& o) noexcept : kind_(o.kind_), p_(o.p_), obj_(Py_XNewRef(o.obj_)) {}
    Num(Num&& o) noexcept : kind_(o.kind_), p_(o.p_), obj_(o.obj_) { o.obj_ = nullptr; }
    Num& operator=(const Num& o) noexcept {
        Num copy(o);
        swap(copy);
        return *this;
    }
    Num& operator=(Num&& o) noexcept {
        Num moved(std::move(o));
        swap(moved);
        return *this;
    }
    ~Num() { Py_XDECREF(obj_); }

    Kind kind() const noexcept { return kind_; }
    bool is_float() const noexcept { return kind_ == Float; }
    bool is_int() const noexcept { return kind_ == Int; }
    double f() const noexcept { return p_.f; }
    std::int64_t i() const noexcept { return p_.i; }
    PyObject* o() const noexcept { return obj_; }  // Obj kind: the object

    // A new reference to the Python object of this value: the object it was
    // read from when there is one.
    Ref object() const;
    // The same value, boxed now, so that every copy hands back one object
    // (as `x0 = x1 = x2 = ...` does in Python).
    Num boxed() &&;
    // The value as an exactly converted double, if it has one.
    bool exact_double(double& out) const noexcept;

private:
    static bool unbox(PyObject* o, Num& out);
    static Num from_slow(PyObject* o);
    void swap(Num& o) noexcept {
        std::swap(kind_, o.kind_);
        std::swap(p_, o.p_);
        std::swap(obj_, o.obj_);
    }
    union Payload {
        double f;
        std::int64_t i;
    };
    Kind kind_;
    Payload p_;
    PyObject* obj_ = nullptr;  // strong; always set for Obj
};

// ---------------------------------------------------------------- operations
//
// Each operation is the interpreter's, on values already evaluated.  The
// float-float case is inline; everything else is in num.cpp.

namespace num {

Num add_slow(const Num& a, const Num& b);
Num sub_slow(const Num& a, const Num& b);
Num mul_slow(const Num& a, const Num& b);
Num truediv_slow(const Num& a, const Num& b);
bool compare_slow(int op, const Num& a, const Num& b);

inline Num add(const Num& a, const Num& b) {
    if (a.is_float() && b.is_float()) return Num(a.f() + b.f());
    return add_slow(a, b);
}
inline Num sub(const Num& a, const Num& b) {
    if (a.is_float() && b.is_float()) return Num(a.f() - b.f());
    return sub_slow(a, b);
}
inline Num mul(const Num& a, const Num& b) {
    if (a.is_float() && b.is_float()) return Num(a.f() * b.f());
    return mul_slow(a, b);
}
inline Num truediv(const Num& a, const Num& b) {
    if (a.is_float() && b.is_float() && b.f() != 0.0) return Num(a.f() / b.f());
    return truediv_slow(a, b);
}
Num floordiv(const Num& a, const Num& b);
Num mod(const Num& a, const Num& b);
Num power(const Num& a, const Num& b);
Num neg_slow(const Num& a);
Num absolute_slow(const Num& a);
inline Num neg(const Num& a) { return a.is_float() ? Num(-a.f()) : neg_slow(a); }
Num pos(const Num& a);
inline Num absolute(const Num& a) { return a.is_float() ? Num(std::fabs(a.f())) : absolute_slow(a); }
Num float_of(const Num& a);  // the builtin float()
Num int_of(const Num& a);    // the builtin int(): truncates a float

// The truth value of Python's rich comparison `a <op> b`.
inline bool compare(int op, const Num& a, const Num& b) {
    if (a.is_float() && b.is_float()) {
        const double x = a.f(), y = b.f();
        switch (op) {
            case Py_LT: return x < y;
            case Py_LE: return x <= y;
            case Py_GT: return x > y;
            case Py_GE: return x >= y;
            case Py_EQ: return x == y;
            default: return x != y;
        }
    }
    return compare_slow(op, a, b);
}

// bool(a)
bool truth(const Num& a);

// x ** y of floats where the interpreter only calls pow(): a positive finite
// base, a finite exponent and a finite result (else it reports an error or
// special-cases the operands).
inline bool pow_plain(double x, double y, double& r) noexcept {
    if (!(x > 0.0 && std::isfinite(x) && std::isfinite(y))) return false;
    r = std::pow(x, y);
    return std::isfinite(r);
}

// Three values with no NaN sorted as the builtin sorts them: `<` is then a
// strict weak order and every stable sort agrees.
template <class T, class Key>
void sort3_no_nan(T& a, T& b, T& c, Key key) {
    if (key(b) < key(a)) std::swap(a, b);
    if (key(c) < key(b)) {
        std::swap(b, c);
        if (key(b) < key(a)) std::swap(a, b);
    }
}

}  // namespace num

// float.__round__(x, ndigits) for 0 <= ndigits <= 22, as the interpreter
// computes it.
double round_double(double x, int ndigits) noexcept;
// The interpreter's own builtin round.
extern const Genuine genuine_round;
inline bool is_genuine_round(PyObject* fn) noexcept { return genuine_round.is(fn); }
Num round_digits_slow(PyObject* round_fn, const Num& x, const Num& ndigits);
// round(x, ndigits) through the given builtin (cached at exec).
inline Num round_digits(PyObject* round_fn, const Num& x, const Num& ndigits) {
    if (x.is_float() && ndigits.is_int() && ndigits.i() >= 0 && ndigits.i() <= 22 && genuine_round.is(round_fn))
        return Num(round_double(x.f(), int(ndigits.i())));
    return round_digits_slow(round_fn, x, ndigits);
}
// The C function's result where the interpreter's math.<fn> would return it
// (no domain error, no overflow).
inline bool math_result_ok(double x, double r) noexcept {
    return !(std::isnan(r) && !std::isnan(x)) && !(std::isinf(r) && std::isfinite(x));
}
Num math1_slow(PyObject* fn, const Genuine& genuine, double (*c_fn)(double), const Num& x);
// A one-argument math function: the C function when `fn` is `genuine` (NULL:
// known to be).
inline Num math1(PyObject* fn, const Genuine& genuine, double (*c_fn)(double), const Num& x) {
    if (x.is_float() && (!fn || genuine.is(fn))) {
        const double r = c_fn(x.f());
        // Domain errors and overflow are reported by the interpreter's own call.
        if (math_result_ok(x.f(), r)) return Num(r);
    }
    return math1_slow(fn, genuine, c_fn, x);
}
// A two-argument math function: the C function when `fn` is `genuine` (NULL:
// known to be).
Num math2(PyObject* fn, const Genuine& genuine, double (*c_fn)(double, double), const Num& x, const Num& y);
// Calls a Python callable with numbers.
Num call1(PyObject* fn, const Num& x);
// Sorts three values ascending as the builtin `sorted` does.
void sort3(Num& a, Num& b, Num& c);
// Reads a module-level name as a number.
inline Num global_num(const Name& name) { return Num::steal(global(name)); }

}  // namespace vy
