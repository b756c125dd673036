// Calls of the math module's functions and of round() inside formulas:
// computed in C while the name holds the interpreter's own function, else
// called with Python semantics.
#pragma once

#include "expr.h"

namespace vy {

class MathFn1 {
public:
    // `name` as imported from the math module, computed by `c` while it is
    // the interpreter's own.
    MathFn1(const char* name, double (*c)(double)) : name_(name), genuine_("math", name), c_(c) {}
    const Global& name() const noexcept { return name_; }
    // Whether fn is the interpreter's own function.
    bool is_genuine(PyObject* fn) const noexcept { return genuine_.is(fn); }
    // Whether the memo says the name holds the interpreter's own function.
    bool genuine_now() const noexcept { return name_.holds(genuine_); }

    template <class A>
    struct Call : Lazy {
        const MathFn1& fn;
        PyObject* given;
        A a;
    };
    // name(a)
    template <expr::Operand A>
    Call<expr::leaf_t<A>> operator()(A&& a) const {
        return {{}, *this, nullptr, expr::leaf(std::forward<A>(a))};
    }
    // fn(a) for a callable held in a variable, such as a parameter.
    template <expr::Operand A>
    Call<expr::leaf_t<A>> with(PyObject* given, A&& a) const {
        return {{}, *this, given, expr::leaf(std::forward<A>(a))};
    }

    template <class A>
    friend Num value_of(const Call<A>& c) {
        Ref fn = c.given ? Ref::borrow(c.given) : global_function(c.fn.name_, c.fn.genuine_);
        decltype(auto) x = expr::value(c.a);
        if (!fn) return math1(nullptr, c.fn.genuine_, c.fn.c_, x);
        return math1(fn.get(), c.fn.genuine_, c.fn.c_, x);
    }

private:
    Global name_;
    Genuine genuine_;
    double (*c_)(double);
};

class MathFn2 {
public:
    MathFn2(const char* name, double (*c)(double, double)) : name_(name), genuine_("math", name), c_(c) {}
    const Global& name() const noexcept { return name_; }

    template <class A, class B>
    struct Call : Lazy {
        const MathFn2& fn;
        A a;
        B b;
    };
    template <expr::Operand A, expr::Operand B>
    Call<expr::leaf_t<A>, expr::leaf_t<B>> operator()(A&& a, B&& b) const {
        return {{}, *this, expr::leaf(std::forward<A>(a)), expr::leaf(std::forward<B>(b))};
    }

    template <class A, class B>
    friend Num value_of(const Call<A, B>& c) {
        Ref fn = global_function(c.fn.name_, c.fn.genuine_);
        decltype(auto) x = expr::value(c.a);
        decltype(auto) y = expr::value(c.b);
        return math2(fn.get(), c.fn.genuine_, c.fn.c_, x, y);
    }

private:
    Global name_;
    Genuine genuine_;
    double (*c_)(double, double);
};

// round(x, ndigits) through a builtin cached at exec.
template <class A, class B>
struct RoundCall : Lazy {
    const Builtin& fn;
    A a;
    B b;
};
template <expr::Operand A, expr::Operand B>
RoundCall<expr::leaf_t<A>, expr::leaf_t<B>> round(const Builtin& fn, A&& a, B&& b) {
    return {{}, fn, expr::leaf(std::forward<A>(a)), expr::leaf(std::forward<B>(b))};
}
template <class A, class B>
Num value_of(const RoundCall<A, B>& c) {
    decltype(auto) x = expr::value(c.a);
    decltype(auto) d = expr::value(c.b);
    return round_digits(c.fn.get(), x, d);
}

}  // namespace vy
