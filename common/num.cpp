// Python arithmetic on Num values; see num.h.
#include "num.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace vy {

namespace {

constexpr std::int64_t kExact = std::int64_t(1) << 53;  // ints up to here convert exactly

bool exact_int(std::int64_t i) noexcept { return i >= -kExact && i <= kExact; }

bool machine(const Num& a) noexcept { return a.kind() != Num::Obj; }

Num generic(binaryfunc fn, const Num& a, const Num& b) {
    Ref x = a.object(), y = b.object();
    return Num::steal(own(fn(x.get(), y.get())));
}

Num generic(unaryfunc fn, const Num& a) {
    Ref x = a.object();
    return Num::steal(own(fn(x.get())));
}

// Both machine values, convertible exactly: the double operation is the
// interpreter's (an int meeting a float is converted first).
bool both_doubles(const Num& a, const Num& b, double& x, double& y) noexcept {
    return machine(a) && machine(b) && a.exact_double(x) && b.exact_double(y);
}

bool both_ints(const Num& a, const Num& b) noexcept { return a.is_int() && b.is_int(); }

}  // namespace

namespace num {

Num add_slow(const Num& a, const Num& b) {
    std::int64_t r;
    if (both_ints(a, b) && !__builtin_add_overflow(a.i(), b.i(), &r)) return Num::integer(r);
    double x, y;
    if (!both_ints(a, b) && both_doubles(a, b, x, y)) return Num(x + y);
    return generic(PyNumber_Add, a, b);
}

Num sub_slow(const Num& a, const Num& b) {
    std::int64_t r;
    if (both_ints(a, b) && !__builtin_sub_overflow(a.i(), b.i(), &r)) return Num::integer(r);
    double x, y;
    if (!both_ints(a, b) && both_doubles(a, b, x, y)) return Num(x - y);
    return generic(PyNumber_Subtract, a, b);
}

Num mul_slow(const Num& a, const Num& b) {
    std::int64_t r;
    if (both_ints(a, b) && !__builtin_mul_overflow(a.i(), b.i(), &r)) return Num::integer(r);
    double x, y;
    if (!both_ints(a, b) && both_doubles(a, b, x, y)) return Num(x * y);
    return generic(PyNumber_Multiply, a, b);
}

Num truediv_slow(const Num& a, const Num& b) {
    // Exact operands give the correctly rounded quotient, as the interpreter's
    // int/int and float/float divisions do; a zero divisor raises there.
    double x, y;
    if (both_doubles(a, b, x, y) && y != 0.0) return Num(x / y);
    return generic(PyNumber_TrueDivide, a, b);
}

Num floordiv(const Num& a, const Num& b) {
    if (both_ints(a, b) && b.i() != 0 && !(a.i() == INT64_MIN && b.i() == -1)) {
        const std::int64_t q = a.i() / b.i(), r = a.i() % b.i();
        return Num::integer((r != 0 && ((r < 0) != (b.i() < 0))) ? q - 1 : q);
    }
    return generic(PyNumber_FloorDivide, a, b);
}

Num mod(const Num& a, const Num& b) {
    if (both_ints(a, b) && b.i() != 0 && b.i() != -1) {
        const std::int64_t r = a.i() % b.i();
        return Num::integer((r != 0 && ((r < 0) != (b.i() < 0))) ? r + b.i() : r);
    }
    return generic(PyNumber_Remainder, a, b);
}

Num power(const Num& a, const Num& b) {
    if (a.is_float() && b.is_float()) {
        double r;
        if (num::pow_plain(a.f(), b.f(), r)) return Num(r);
    }
    Ref x = a.object(), y = b.object();
    return Num::steal(own(PyNumber_Power(x.get(), y.get(), Py_None)));
}

Num neg_slow(const Num& a) {
    if (a.is_int() && a.i() != INT64_MIN) return Num::integer(-a.i());
    return generic(PyNumber_Negative, a);
}

Num pos(const Num& a) {
    // +x of an exact int or float is x itself.
    if (a.kind() != Num::Obj && a.o()) return Num::from(a.o());
    if (a.is_float()) return Num(a.f());
    if (a.is_int()) return Num::integer(a.i());
    return generic(PyNumber_Positive, a);
}

Num absolute_slow(const Num& a) {
    // abs() of a non-negative exact int is the int itself.
    if (a.is_int() && a.i() >= 0 && a.o()) return Num::from(a.o());
    if (a.is_int() && a.i() != INT64_MIN) return Num::integer(a.i() < 0 ? -a.i() : a.i());
    return generic(PyNumber_Absolute, a);
}

Num float_of(const Num& a) {
    if (a.is_float()) {
        // float(x) of an exact float is x itself.
        if (a.o()) return Num::from(a.o());
        return Num(a.f());
    }
    double d;
    if (a.is_int() && a.exact_double(d)) return Num(d);
    return generic(PyNumber_Float, a);
}

Num int_of(const Num& a) {
    if (a.is_int()) {
        if (a.o()) return Num::from(a.o());
        return Num::integer(a.i());
    }
    // Truncation is exact below 2**63; NaN and infinities raise there.
    if (a.is_float() && std::fabs(a.f()) < 0x1p63) return Num::integer(std::int64_t(a.f()));
    return generic(PyNumber_Long, a);
}

bool compare_slow(int op, const Num& a, const Num& b) {
    if (both_ints(a, b)) {
        const std::int64_t x = a.i(), y = b.i();
        switch (op) {
            case Py_LT: return x < y;
            case Py_LE: return x <= y;
            case Py_GT: return x > y;
            case Py_GE: return x >= y;
            case Py_EQ: return x == y;
            default: return x != y;
        }
    }
    double x, y;
    if (both_doubles(a, b, x, y)) {
        switch (op) {
            case Py_LT: return x < y;
            case Py_LE: return x <= y;
            case Py_GT: return x > y;
            case Py_GE: return x >= y;
            case Py_EQ: return x == y;
            default: return x != y;
        }
    }
    Ref l = a.object(), r = b.object();
    Ref result = own(PyObject_RichCompare(l.get(), r.get(), op));
    return to_bool(result.get());
}

bool truth(const Num& a) {
    if (a.is_float()) return a.f() != 0.0;
    if (a.is_int()) return a.i() != 0;
    return to_bool(a.o());
}

}  // namespace num

// An exact float or an int that fits 64 bits becomes a machine value.
bool Num::unbox(PyObject* o, Num& out) {
    if (PyFloat_CheckExact(o)) {
        out.kind_ = Float;
        out.p_.f = PyFloat_AS_DOUBLE(o);
        return true;
    }
    if (PyLong_CheckExact(o)) {
        int overflow = 0;
        const long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
        if (!overflow) {
            out.kind_ = Int;
            out.p_.i = v;
            return true;
        }
    }
    out.kind_ = Obj;
    return false;
}

Num Num::from_slow(PyObject* o) {
    Num n(0);
    unbox(o, n);
    n.obj_ = Py_NewRef(o);
    return n;
}

Num Num::steal(Ref r) {
    Num n(0);
    unbox(r.get(), n);
    n.obj_ = r.release();
    return n;
}

Ref Num::object() const {
    if (obj_) return Ref::borrow(obj_);
    if (kind_ == Float) return float_object(p_.f);
    return int_object(p_.i);
}

Num Num::boxed() && {
    if (!obj_) obj_ = object().release();
    return std::move(*this);
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

namespace {

constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                               1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

const Genuine genuine_round{"builtins", "round"};

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

Num round_digits_slow(PyObject* round_fn, const Num& x, const Num& ndigits) {
    Ref v = x.object(), d = ndigits.object();
    return Num::steal(call(round_fn, {v.get(), d.get()}));
}

Num call1(PyObject* fn, const Num& x) {
    Ref v = x.object();
    return Num::steal(call(fn, {v.get()}));
}

Num math1_slow(PyObject* fn, const Genuine& genuine, double (*c_fn)(double), const Num& x) {
    double v;
    if (!fn) fn = genuine.get();  // known to be the genuine function
    if (x.kind() != Num::Obj && x.exact_double(v) && genuine.is(fn)) {
        const double r = c_fn(v);
        // Domain errors and overflow are reported by the interpreter's own call.
        if (math_result_ok(v, r)) return Num(r);
    }
    return call1(fn, x);
}

Num math2(PyObject* fn, const Genuine& genuine, double (*c_fn)(double, double), const Num& x, const Num& y) {
    double u, v;
    if (!fn) fn = genuine.get();  // known to be the genuine function
    if (both_doubles(x, y, u, v) && genuine.is(fn)) {
        const double r = c_fn(u, v);
        // The interpreter's two-argument wrapper raises where a NaN or an
        // infinity comes out of operands that had none.
        const bool nan_in = std::isnan(u) || std::isnan(v), inf_in = std::isinf(u) || std::isinf(v);
        if (!(std::isnan(r) && !nan_in) && !(std::isinf(r) && !inf_in && !nan_in)) return Num(r);
    }
    Ref a = x.object(), b = y.object();
    return Num::steal(call(fn, {a.get(), b.get()}));
}

void sort3(Num& a, Num& b, Num& c) {
    if (a.is_float() && b.is_float() && c.is_float() && !std::isnan(a.f()) && !std::isnan(b.f()) &&
        !std::isnan(c.f())) {
        num::sort3_no_nan(a, b, c, [](const Num& n) { return n.f(); });
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
