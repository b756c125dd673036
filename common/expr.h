// Formulas with Python semantics, written as they read.
//
//     Num x = pt1[0] * (1 - t) + pt2[0] * t;
//
// C++ leaves the order of an operator's operands unspecified, and with the
// caller's own number types the order is observable (which method runs
// first, which exception the caller sees).  So the operators here evaluate
// nothing: they build a small tree, and a Num made from the tree evaluates
// it operand by operand, left to right, exactly as the interpreter would.
// Integer literals stay ints, `!=` is Python's `!=`, module-level names
// (globals.h) are looked up where they stand, and values read from the caller's objects hand
// those objects back while unchanged.  Trees hold the values they name by
// reference: evaluate a tree within the statement that builds it.
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cmath>
#include <utility>

#include "globals.h"
#include "num.h"

namespace vy {

namespace expr {

template <class T>
using bare = std::remove_cvref_t<T>;

template <class T>
concept Literal = std::same_as<bare<T>, int> || std::same_as<bare<T>, long> || std::same_as<bare<T>, long long> ||
                  std::same_as<bare<T>, double>;
template <class T>
concept Value = std::same_as<bare<T>, Num>;
template <class T>
concept Formula = LazyNode<T> || Value<T>;
template <class T>
concept Operand = Formula<T> || Literal<T>;

// Leaves: a named value (held by reference), a temporary or literal (held by
// value), a module-level name.  Inner nodes are held by reference: they are
// temporaries of the same statement.
struct Named : Lazy {
    const Num& v;
};
struct Held : Lazy {
    Num v;
};
struct Lookup : Lazy {
    const Global& name;
};

inline Named leaf(const Num& v) { return {{}, v}; }
inline Held leaf(Num&& v) { return {{}, std::move(v)}; }
inline Lookup leaf(const Global& g) { return {{}, g}; }
inline Held leaf(int v) { return {{}, Num(v)}; }
inline Held leaf(long v) { return {{}, Num::integer(v)}; }
inline Held leaf(long long v) { return {{}, Num::integer(v)}; }
inline Held leaf(double v) { return {{}, Num(v)}; }
template <LazyNode N>
    requires(!std::derived_from<bare<N>, Global>)
const bare<N>& leaf(N&& n) {
    return n;
}

template <class T>
using leaf_t = decltype(leaf(std::declval<T>()));

// value(leaf or node): a reference to a held value, or the evaluated node.
inline const Num& value(const Named& l) { return l.v; }
inline const Num& value(const Held& l) { return l.v; }
inline Num value(const Lookup& l) { return global_value(l.name); }
// Nodes defined outside this namespace evaluate through value_of (found by
// argument-dependent lookup when the node's type is complete).
template <class N>
    requires requires(const N& n) { value_of(n); }
Num value(const N& n) {
    return value_of(n);
}

template <class Op, class L, class R>
struct Binary : Lazy {
    L l;
    R r;
};
template <class Op, class A>
struct Unary : Lazy {
    A a;
};

template <class Op, class L, class R>
Num value(const Binary<Op, L, R>& n) {
    decltype(auto) a = value(n.l);
    decltype(auto) b = value(n.r);
    return Op::apply(a, b);
}
template <class Op, class A>
Num value(const Unary<Op, A>& n) {
    decltype(auto) a = value(n.a);
    return Op::apply(a);
}

struct Add { static Num apply(const Num& a, const Num& b) { return num::add(a, b); } };
struct Sub { static Num apply(const Num& a, const Num& b) { return num::sub(a, b); } };
struct Mul { static Num apply(const Num& a, const Num& b) { return num::mul(a, b); } };
struct Div { static Num apply(const Num& a, const Num& b) { return num::truediv(a, b); } };
struct FloorDiv { static Num apply(const Num& a, const Num& b) { return num::floordiv(a, b); } };
struct Mod { static Num apply(const Num& a, const Num& b) { return num::mod(a, b); } };
struct Pow { static Num apply(const Num& a, const Num& b) { return num::power(a, b); } };
struct Neg { static Num apply(const Num& a) { return num::neg(a); } };
struct Pos { static Num apply(const Num& a) { return num::pos(a); } };
struct Abs { static Num apply(const Num& a) { return num::absolute(a); } };
struct ToFloat { static Num apply(const Num& a) { return num::float_of(a); } };
struct ToInt { static Num apply(const Num& a) { return num::int_of(a); } };

template <class Op, class A, class B>
Binary<Op, leaf_t<A>, leaf_t<B>> binary(A&& a, B&& b) {
    return {{}, leaf(std::forward<A>(a)), leaf(std::forward<B>(b))};
}
template <class Op, class A>
Unary<Op, leaf_t<A>> unary(A&& a) {
    return {{}, leaf(std::forward<A>(a))};
}

// Evaluates both operands, left first, then compares them.
template <class A, class B>
bool compare(int op, A&& a, B&& b) {
    decltype(auto) la = leaf(std::forward<A>(a));
    decltype(auto) lb = leaf(std::forward<B>(b));
    decltype(auto) x = value(la);
    decltype(auto) y = value(lb);
    return num::compare(op, x, y);
}

}  // namespace expr

template <LazyNode N>
Num::Num(N&& node) : Num(expr::value(expr::leaf(std::forward<N>(node)))) {}

// Evaluates an operand now.
template <expr::Operand A>
Num eval(A&& a) {
    decltype(auto) l = expr::leaf(std::forward<A>(a));
    return Num(expr::value(l));
}

// ---------------------------------------------------------------- operators
//
// At least one side is a Num or a formula; the other may be a literal.

template <class A, class B>
concept Operands = expr::Operand<A> && expr::Operand<B> && (expr::Formula<A> || expr::Formula<B>);

template <class A, class B>
    requires Operands<A, B>
auto operator+(A&& a, B&& b) {
    return expr::binary<expr::Add>(std::forward<A>(a), std::forward<B>(b));
}
template <class A, class B>
    requires Operands<A, B>
auto operator-(A&& a, B&& b) {
    return expr::binary<expr::Sub>(std::forward<A>(a), std::forward<B>(b));
}
template <class A, class B>
    requires Operands<A, B>
auto operator*(A&& a, B&& b) {
    return expr::binary<expr::Mul>(std::forward<A>(a), std::forward<B>(b));
}
template <class A, class B>
    requires Operands<A, B>
auto operator/(A&& a, B&& b) {
    return expr::binary<expr::Div>(std::forward<A>(a), std::forward<B>(b));
}
// a // b, a % b, a ** b
template <class A, class B>
    requires Operands<A, B>
auto floordiv(A&& a, B&& b) {
    return expr::binary<expr::FloorDiv>(std::forward<A>(a), std::forward<B>(b));
}
template <class A, class B>
    requires Operands<A, B>
auto mod(A&& a, B&& b) {
    return expr::binary<expr::Mod>(std::forward<A>(a), std::forward<B>(b));
}
template <class A, class B>
    requires Operands<A, B>
auto pow(A&& a, B&& b) {
    return expr::binary<expr::Pow>(std::forward<A>(a), std::forward<B>(b));
}
template <expr::Formula A>
auto operator-(A&& a) {
    return expr::unary<expr::Neg>(std::forward<A>(a));
}
template <expr::Formula A>
auto operator+(A&& a) {
    return expr::unary<expr::Pos>(std::forward<A>(a));
}
template <expr::Formula A>
auto abs(A&& a) {
    return expr::unary<expr::Abs>(std::forward<A>(a));
}
// The builtins float() and int() (which truncates a float).
template <expr::Formula A>
auto float_of(A&& a) {
    return expr::unary<expr::ToFloat>(std::forward<A>(a));
}
template <expr::Formula A>
auto int_of(A&& a) {
    return expr::unary<expr::ToInt>(std::forward<A>(a));
}

// Comparisons give the truth value of Python's rich comparison, as an `if`
// or a boolean operator takes it.
template <class A, class B>
    requires Operands<A, B>
bool operator<(A&& a, B&& b) {
    return expr::compare(Py_LT, std::forward<A>(a), std::forward<B>(b));
}
template <class A, class B>
    requires Operands<A, B>
bool operator<=(A&& a, B&& b) {
    return expr::compare(Py_LE, std::forward<A>(a), std::forward<B>(b));
}
template <class A, class B>
    requires Operands<A, B>
bool operator>(A&& a, B&& b) {
    return expr::compare(Py_GT, std::forward<A>(a), std::forward<B>(b));
}
template <class A, class B>
    requires Operands<A, B>
bool operator>=(A&& a, B&& b) {
    return expr::compare(Py_GE, std::forward<A>(a), std::forward<B>(b));
}
template <class A, class B>
    requires Operands<A, B>
bool operator==(A&& a, B&& b) {
    return expr::compare(Py_EQ, std::forward<A>(a), std::forward<B>(b));
}
// Declared, so C++ does not rewrite it as !(a == b): Python calls __ne__.
template <class A, class B>
    requires Operands<A, B>
bool operator!=(A&& a, B&& b) {
    return expr::compare(Py_NE, std::forward<A>(a), std::forward<B>(b));
}

// The builtins min(a, b) and max(a, b): the first operand is kept unless the
// second is strictly smaller (larger).
namespace expr {
struct Min {
    static Num apply(const Num& a, const Num& b) { return num::compare(Py_LT, b, a) ? b : a; }
};
struct Max {
    static Num apply(const Num& a, const Num& b) { return num::compare(Py_GT, b, a) ? b : a; }
};
}  // namespace expr
template <class A, class B>
    requires Operands<A, B>
auto min(A&& a, B&& b) {
    return expr::binary<expr::Min>(std::forward<A>(a), std::forward<B>(b));
}
template <class A, class B>
    requires Operands<A, B>
auto max(A&& a, B&& b) {
    return expr::binary<expr::Max>(std::forward<A>(a), std::forward<B>(b));
}

// An operand evaluated now and boxed, so that every copy hands back one
// object (`x0 = x1 = x2 = ...`).
template <expr::Operand A>
Num boxed(A&& a) {
    return eval(std::forward<A>(a)).boxed();
}

// `if x:`
template <expr::Operand A>
bool truth(A&& a) {
    decltype(auto) l = expr::leaf(std::forward<A>(a));
    decltype(auto) v = expr::value(l);
    return num::truth(v);
}

// Items of a point (or any sequence) read by index: pt[0].
struct Item : Lazy {
    PyObject* seq;
    Py_ssize_t index;
};
// seq[index], as the interpreter's subscript reads it.
Num item_value(PyObject* seq, Py_ssize_t index);
inline Num value_of(const Item& i) { return item_value(i.seq, i.index); }

// ---------------------------------------------------------------- points

// A point as the module's code sees it: an untyped object read by index
// (`pt[0]`, the interpreter's indexing errors) or by unpacking (`x, y = pt`,
// the unpacking messages).
class Point {
public:
    Point(PyObject* o) noexcept : o_(o) {}
    PyObject* get() const noexcept { return o_; }
    Item operator[](Py_ssize_t i) const { return {{}, o_, i}; }
    template <std::size_t N = 2>
    std::array<Num, N> unpack() const {
        std::array<Ref, N> refs = vy::unpack<N>(o_);
        return to_nums(refs, std::make_index_sequence<N>{});
    }

private:
    template <std::size_t N, std::size_t... I>
    static std::array<Num, N> to_nums(std::array<Ref, N>& refs, std::index_sequence<I...>) {
        return {Num::steal(std::move(refs[I]))...};
    }
    PyObject* o_;
};

// ---------------------------------------------------------------- results

// A tuple or list display: items evaluated left to right, each value handed
// back as the object it was read from where there is one.
template <class... A>
    requires(expr::Operand<A> && ...)
Ref tuple(A&&... items) {
    Ref t = own(PyTuple_New(sizeof...(A)));
    Py_ssize_t i = 0;
    (PyTuple_SET_ITEM(t.get(), i++, eval(std::forward<A>(items)).object().release()), ...);
    return t;
}
template <class... A>
    requires(expr::Operand<A> && ...)
Ref list(A&&... items) {
    Ref l = own(PyList_New(sizeof...(A)));
    Py_ssize_t i = 0;
    (PyList_SET_ITEM(l.get(), i++, eval(std::forward<A>(items)).object().release()), ...);
    return l;
}

}  // namespace vy
