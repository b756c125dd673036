// Formulas with Python semantics, written as they read.
//
//     Num x = pt1[0] * (1 - t) + pt2[0] * t;
//
// C++ leaves the order of an operator's operands unspecified, and with the
// caller's own number types the order is observable (which method runs
// first, which exception the caller sees).  So the operators here evaluate
// nothing: they build a small tree, and a Num made from the tree evaluates
// it operand by operand, left to right, exactly as the interpreter would.
// Integer literals stay ints, `!=` is Python's `!=`, module-level names are
// looked up where they stand, and values read from the caller's objects hand
// those objects back while unchanged.  Trees hold the values they name by
// reference: evaluate a tree within the statement that builds it.
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cmath>
#include <utility>

#include "num.h"

namespace vy {

// A module-level name used as a value: looked up at the moment of use
// (module dict, then builtins, else NameError).
//
// While the module dict is unchanged, a plain number or the interpreter's
// own function that the name holds is read from a memo kept with the name,
// so the common case needs no dict look-up and touches no shared reference
// count.  The memo is a sequence lock: after the first reads it is only
// read, and a reader that meets a writer looks the name up.  A number read
// from the memo is that number, not the very object the dict holds.
class Global : public Name, public Lazy {
public:
    using Name::Name;
    Global(const Global&) = delete;

    // What the memo holds: a number's kind, or the Genuine the name holds.
    static constexpr std::uintptr_t kFloat = 1, kInt = 2;  // a Genuine* is never 1 or 2

    // The memo, if it was taken at the module dict's current version.
    bool memo(std::uintptr_t& what, std::uint64_t& bits) const noexcept {
        const std::uint32_t s1 = seq_.load(std::memory_order_acquire);
        if (s1 & 1) return false;
        const std::uint64_t version = version_.load(std::memory_order_relaxed);
        bits = bits_.load(std::memory_order_relaxed);
        what = what_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        return seq_.load(std::memory_order_relaxed) == s1 && version &&
               version == module_state().ns_version->load(std::memory_order_acquire);
    }
    // Whether the memo, current, says the name holds `genuine`.
    bool holds(const Genuine& genuine) const noexcept {
        std::uintptr_t what;
        std::uint64_t bits;
        return memo(what, bits) && what == reinterpret_cast<std::uintptr_t>(&genuine);
    }
    // Takes the memo unless another thread is taking it.
    void remember(std::uint64_t version, std::uintptr_t what, std::uint64_t bits) const noexcept;

private:
    mutable std::atomic<std::uint32_t> seq_{0};
    mutable std::atomic<std::uint64_t> version_{0};
    mutable std::atomic<std::uint64_t> bits_{0};
    mutable std::atomic<std::uintptr_t> what_{0};
};

// The name's value from the module dict, with the dict's version it holds
// at (0 when the dict changed meanwhile); NULL when the dict lacks it.
Ref module_value(const Name& name, std::uint64_t& version);
Num global_value_looked_up(const Global& name);
Ref global_function_looked_up(const Global& name, const Genuine& genuine);

inline Num global_value(const Global& name) {
    std::uintptr_t what;
    std::uint64_t bits;
    if (name.memo(what, bits)) {
        if (what == Global::kFloat) return Num(std::bit_cast<double>(bits));
        if (what == Global::kInt) return Num::integer(std::bit_cast<std::int64_t>(bits));
    }
    return global_value_looked_up(name);
}

// A module-level name that should hold `genuine`: empty while it does (the
// caller may compute in C), else the object it holds.
inline Ref global_function(const Global& name, const Genuine& genuine) {
    if (name.holds(genuine)) return {};
    return global_function_looked_up(name, genuine);
}

// `module.name` where `module` is a module-level name: a function of an
// imported module, such as `math.isnan`, looked up at the moment of use.
// While neither the module dict nor the imported module's dict has changed
// and the attribute is the interpreter's own function, the look-up is a memo
// read that touches no shared reference count.
class ModuleFunction {
public:
    ModuleFunction(const char* module, const char* name) : module_(module), name_(name), genuine_(module, name) {}
    // Empty while the attribute is the interpreter's own function (the
    // caller may compute in C), else the object it is.
    Ref get() const {
        if (module_.holds(genuine_)) return {};
        return looked_up();
    }

private:
    Ref looked_up() const;
    Global module_;  // its memo is this attribute's
    Name name_;
    Genuine genuine_;
};

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

// ---------------------------------------------------------------- calls

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
