// Numbers with Python semantics.  A Num holds a machine double, a machine
// integer or a Python object, and every operation gives exactly what the
// interpreter's own operation gives: doubles combine in IEEE arithmetic, ints
// in 64 bits until they would overflow, int-float mixtures only where the
// conversion is exact; everything else goes through the number protocol.
// Results become Python objects only where Python code could see them.
#pragma once

#include "frame.h"

namespace vy {

class Num {
public:
    enum Kind : std::uint8_t { Float, Int, Obj };

    Num(double d) noexcept : kind_(Float) { p_.f = d; }  // constants read like Python literals
    static Num integer(std::int64_t i) noexcept {
        Num n(0.0);
        n.kind_ = Int;
        n.p_.i = i;
        return n;
    }
    static Num from(PyObject* o);  // a borrowed reference
    static Num steal(Ref r);       // the result of a Python operation

    Num(const Num& o) noexcept : kind_(o.kind_), p_(o.p_) {
        if (kind_ == Obj) Py_INCREF(p_.o);
    }
    Num(Num&& o) noexcept : kind_(o.kind_), p_(o.p_) { o.kind_ = Float; }
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
    ~Num() {
        if (kind_ == Obj) Py_DECREF(p_.o);
    }

    Kind kind() const noexcept { return kind_; }
    bool is_float() const noexcept { return kind_ == Float; }
    double f() const noexcept { return p_.f; }
    std::int64_t i() const noexcept { return p_.i; }
    PyObject* o() const noexcept { return p_.o; }

    // A new reference to the Python object of this value.
    Ref object() const;
    // The value as an exactly converted double, if it has one.
    bool exact_double(double& out) const noexcept;

private:
    static bool unbox(PyObject* o, Num& out);
    void swap(Num& o) noexcept {
        std::swap(kind_, o.kind_);
        std::swap(p_, o.p_);
    }
    union Payload {
        double f;
        std::int64_t i;
        PyObject* o;
    };
    Kind kind_;
    Payload p_;
};

Num operator+(const Num& a, const Num& b);
Num operator-(const Num& a, const Num& b);
Num operator*(const Num& a, const Num& b);
Num operator/(const Num& a, const Num& b);
Num operator-(const Num& a);
Num abs(const Num& a);
Num pow(const Num& a, const Num& b);
Num to_float(const Num& a);  // the builtin float()

// Comparisons give the truth value of Python's rich comparison.
bool operator<(const Num& a, const Num& b);
bool operator<=(const Num& a, const Num& b);
bool operator>(const Num& a, const Num& b);
bool operator>=(const Num& a, const Num& b);
bool operator==(const Num& a, const Num& b);

// round(x, ndigits) through the given builtin (cached at exec).
Num round_digits(PyObject* round_fn, const Num& x, const Num& ndigits);
// float.__round__(x, ndigits) for 0 <= ndigits <= 22, as the interpreter
// computes it.
double round_double(double x, int ndigits) noexcept;
// True when `fn` is the interpreter's own builtin round.
bool is_genuine_round(PyObject* fn) noexcept;
// A one-argument math function: the C function when `fn` is `genuine`.
Num math1(PyObject* fn, const Genuine& genuine, double (*c_fn)(double), const Num& x);
// The C function's result where the interpreter's math.<fn> would return it
// (no domain error, no overflow).
bool math_result_ok(double x, double r) noexcept;
// Calls a Python callable with one number.
Num call1(PyObject* fn, const Num& x);
// Sorts three values ascending as the builtin `sorted` does.
void sort3(Num& a, Num& b, Num& c);
// Reads a module-level name as a number.
inline Num global_num(const Name& name) { return Num::steal(global(name)); }

}  // namespace vy
