// Python arithmetic on Num values; see num.h.
#include "num.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace vy {

namespace {

constexpr std::int64_t kExact = std::int64_t(1) << 53;  // ints up to here convert exactly

bool exact_int(std::int64_t i) noexcept { return i >= -kExact && i <= kExact; }

enum class Op { Add, Sub, Mul, Div };

Num generic(Op op, const Num& a, const Num& b) {
    Ref x = a.object(), y = b.object();
    switch (op) {
        case Op::Add: return Num::steal(own(PyNumber_Add(x.get(), y.get())));
        case Op::Sub: return Num::steal(own(PyNumber_Subtract(x.get(), y.get())));
        case Op::Mul: return Num::steal(own(PyNumber_Multiply(x.get(), y.get())));
        case Op::Div: break;
    }
    return Num::steal(own(PyNumber_TrueDivide(x.get(), y.get())));
}

Num binary(Op op, const Num& a, const Num& b) {
    if (a.kind() == Num::Int && b.kind() == Num::Int) {
        const std::int64_t x = a.i(), y = b.i();
        std::int64_t r;
        switch (op) {
            case Op::Add:
                if (!__builtin_add_overflow(x, y, &r)) return Num::integer(r);
                break;
            case Op::Sub:
                if (!__builtin_sub_overflow(x, y, &r)) return Num::integer(r);
                break;
            case Op::Mul:
                if (!__builtin_mul_overflow(x, y, &r)) return Num::integer(r);
                break;
            case Op::Div:
                // Both exact doubles: the quotient is correctly rounded, as Python's is.
                if (y != 0 && exact_int(x) && exact_int(y)) return Num(double(x) / double(y));
                break;
        }
        return generic(op, a, b);
    }
    double x, y;
    if (a.kind() != Num::Obj && b.kind() != Num::Obj && a.exact_double(x) && b.exact_double(y)) {
        switch (op) {
            case Op::Add: return Num(x + y);
            case Op::Sub: return Num(x - y);
            case Op::Mul: return Num(x * y);
            case Op::Div:
                if (y != 0.0) return Num(x / y);
                break;  // the interpreter raises ZeroDivisionError
        }
    }
    return generic(op, a, b);
}

bool compare(int op, const Num& a, const Num& b) {
    if (a.kind() == Num::Int && b.kind() == Num::Int) {
        const std::int64_t x = a.i(), y = b.i();
        switch (op) {
            case Py_LT: return x < y;
            case Py_LE: return x <= y;
            case Py_GT: return x > y;
            case Py_GE: return x >= y;
            default: return x == y;
        }
    }
    double x, y;
    if (a.kind() != Num::Obj && b.kind() != Num::Obj && a.exact_double(x) && b.exact_double(y)) {
        switch (op) {
            case Py_LT: return x < y;
            case Py_LE: return x <= y;
            case Py_GT: return x > y;
            case Py_GE: return x >= y;
            default: return x == y;
        }
    }
    Ref l = a.object(), r = b.object();
    Ref result = own(PyObject_RichCompare(l.get(), r.get(), op));
    return to_bool(result.get());
}

}  // namespace

// An exact float or an int that fits 64 bits becomes a machine value.
bool Num::unbox(PyObject* o, Num& out) {
    if (PyFloat_CheckExact(o)) {
        out = Num(PyFloat_AS_DOUBLE(o));
        return true;
    }
    if (PyLong_CheckExact(o)) {
        int overflow = 0;
        const long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
        if (!overflow) {
            out = integer(v);
            return true;
        }
    }
    return false;
}

Num Num::from(PyObject* o) {
    Num n(0.0);
    if (unbox(o, n)) return n;
    n.kind_ = Obj;
    n.p_.o = Py_NewRef(o);
    return n;
}

Num Num::steal(Ref r) {
    Num n(0.0);
    if (unbox(r.get(), n)) return n;
    n.kind_ = Obj;
    n.p_.o = r.release();
    return n;
}

Ref Num::object() const {
    switch (kind_) {
        case Float: return float_object(p_.f);
        case Int: return int_object(p_.i);
        case Obj: break;
    }
    return Ref::borrow(p_.o);
}

bool Num::exact_double(double& out) const noexcept {
    if (kind_ == Float) {
        out = p_.f;
        return true;
    }
    if (kind_ == Int && exact_int(p_.i)) {
        out = double(p_.i);
        return true;
    }
    return false;
}

Num operator+(const Num& a, const Num& b) { return binary(Op::Add, a, b); }
Num operator-(const Num& a, const Num& b) { return binary(Op::Sub, a, b); }
Num operator*(const Num& a, const Num& b) { return binary(Op::Mul, a, b); }
Num operator/(const Num& a, const Num& b) { return binary(Op::Div, a, b); }

Num operator-(const Num& a) {
    if (a.kind() == Num::Float) return Num(-a.f());
    if (a.kind() == Num::Int && a.i() != std::numeric_limits<std::int64_t>::min()) return Num::integer(-a.i());
    Ref x = a.object();
    return Num::steal(own(PyNumber_Negative(x.get())));
}

Num abs(const Num& a) {
    if (a.kind() == Num::Float) return Num(std::fabs(a.f()));
    if (a.kind() == Num::Int && a.i() != std::numeric_limits<std::int64_t>::min())
        return Num::integer(a.i() < 0 ? -a.i() : a.i());
    Ref x = a.object();
    return Num::steal(own(PyNumber_Absolute(x.get())));
}

Num pow(const Num& a, const Num& b) {
    if (a.is_float() && b.is_float()) {
        const double x = a.f(), y = b.f();
        // A positive finite base and a finite exponent: the interpreter calls
        // pow() and only reports overflow, which falls to the generic path.
        if (x > 0.0 && std::isfinite(x) && std::isfinite(y)) {
            const double r = std::pow(x, y);
            if (std::isfinite(r)) return Num(r);
        }
    }
    Ref x = a.object(), y = b.object();
    return Num::steal(own(PyNumber_Power(x.get(), y.get(), Py_None)));
}

Num to_float(const Num& a) {
    double d;
    if (a.exact_double(d)) return Num(d);
    Ref x = a.object();
    return Num::steal(own(PyNumber_Float(x.get())));
}

bool operator<(const Num& a, const Num& b) { return compare(Py_LT, a, b); }
bool operator<=(const Num& a, const Num& b) { return compare(Py_LE, a, b); }
bool operator>(const Num& a, const Num& b) { return compare(Py_GT, a, b); }
bool operator>=(const Num& a, const Num& b) { return compare(Py_GE, a, b); }
bool operator==(const Num& a, const Num& b) { return compare(Py_EQ, a, b); }

namespace {

const Genuine genuine_round{"builtins", "round"};

constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                               1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

bool is_genuine_round(PyObject* fn) noexcept { return genuine_round.is(fn); }

double round_double(double x, int ndigits) noexcept {
    if (x == 0.0 || !std::isfinite(x)) return x;
    // The interpreter rounds the exact binary value to a decimal string of
    // `ndigits` places (ties to even) and reads it back.  Where x * 10**n is
    // safely away from a half-integer, its nearest integer m is that string's
    // digits, and m / 10**n (both exact) is the correctly rounded read-back.
    const double scale = kPow10[ndigits];
    const double p = x * scale;
    if (std::fabs(p) < 0x1p40) {
        const double m = std::nearbyint(p);
        // |p - x * 10**n| <= 2**-13 here, so a margin of 2**-12 decides.
        if (std::fabs(std::fabs(p - m) - 0.5) > 0x1p-12) return m / scale;
    }
    char buf[400];
    const int n = std::snprintf(buf, sizeof buf, "%.*f", ndigits, x);
    return (n > 0 && n < int(sizeof buf)) ? std::strtod(buf, nullptr) : x;
}

Num round_digits(PyObject* round_fn, const Num& x, const Num& ndigits) {
    if (x.is_float() && ndigits.kind() == Num::Int && ndigits.i() >= 0 && ndigits.i() <= 22 &&
        genuine_round.is(round_fn))
        return Num(round_double(x.f(), int(ndigits.i())));
    Ref v = x.object(), d = ndigits.object();
    return Num::steal(call(round_fn, {v.get(), d.get()}));
}

Num call1(PyObject* fn, const Num& x) {
    Ref v = x.object();
    return Num::steal(call(fn, {v.get()}));
}

bool math_result_ok(double x, double r) noexcept {
    return !(std::isnan(r) && !std::isnan(x)) && !(std::isinf(r) && std::isfinite(x));
}

Num math1(PyObject* fn, const Genuine& genuine, double (*c_fn)(double), const Num& x) {
    double v;
    if (x.kind() != Num::Obj && x.exact_double(v) && genuine.is(fn)) {
        const double r = c_fn(v);
        // Domain errors and overflow are reported by the interpreter's own call.
        if (math_result_ok(v, r)) return Num(r);
    }
    return call1(fn, x);
}

void sort3(Num& a, Num& b, Num& c) {
    if (a.is_float() && b.is_float() && c.is_float() && !std::isnan(a.f()) && !std::isnan(b.f()) &&
        !std::isnan(c.f())) {
        // Without NaN, `<` is a strict weak order and every stable sort agrees.
        if (b.f() < a.f()) std::swap(a, b);
        if (c.f() < b.f()) {
            std::swap(b, c);
            if (b.f() < a.f()) std::swap(a, b);
        }
        return;
    }
    Ref x = a.object(), y = b.object(), z = c.object();
    Ref list = new_list({x.get(), y.get(), z.get()});
    check(PyList_Sort(list.get()));
    a = Num::from(PyList_GET_ITEM(list.get(), 0));
    b = Num::from(PyList_GET_ITEM(list.get(), 1));
    c = Num::from(PyList_GET_ITEM(list.get(), 2));
}

}  // namespace vy
