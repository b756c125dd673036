// Delta optimisation: the fewest explicit deltas from which interpolation
// reproduces every delta within a tolerance, by dynamic programming over the
// choice of explicit points.
//
// The public optimiser reaches its building blocks through the module
// namespace.  Its steps are written once (solve), over how the building
// blocks are reached: while those names are bound to this module's own
// functions and the contour is held in lists, they run directly on values
// held in C++ (Held); a rebound name or another sequence type sees every
// call with Python objects (Calls).
#include <cmath>

#include "gapfill.h"

namespace gapfill {

namespace {

const vy::Internal can_gapfill_fn{"can_gapfill_in_between"};

// ------------------------------------------------------------- the core

// Membership in the `forced` argument: exact ints are read once into a
// bitmap; any other element keeps the set's own lookup.
class Forced {
public:
    Forced(PyObject* set, Py_ssize_t n) : set_(set), bits_(std::size_t(n + 1), 0) {
        if (set == Py_None) return;
        vy::Ref it = vy::own(PyObject_GetIter(set));
        while (PyObject* item = PyIter_Next(it.get())) {
            vy::Ref key = vy::Ref::steal(item);
            if (!PyLong_CheckExact(key.get())) {
                generic_ = true;
                continue;
            }
            int overflow = 0;
            const long long v = PyLong_AsLongLongAndOverflow(key.get(), &overflow);
            if (!overflow && v >= -1 && v < n) bits_[std::size_t(v + 1)] = 1;
        }
        if (PyErr_Occurred()) vy::raise();
    }
    // From the C++ bound: indices known to be forced.
    Forced(const std::vector<Py_ssize_t>& indices, Py_ssize_t n) : set_(nullptr), bits_(std::size_t(n + 1), 0) {
        for (Py_ssize_t i : indices) bits_[std::size_t(i + 1)] = 1;
    }
    bool contains(Py_ssize_t i) const {
        if (set_ == Py_None) vy::raise(PyExc_TypeError, "'NoneType' object is not iterable");
        if (bits_[std::size_t(i + 1)]) return true;
        if (!generic_) return false;
        vy::Ref key = vy::own(PyLong_FromSsize_t(i));
        return vy::check(PySet_Contains(set_, key.get())) != 0;
    }

private:
    PyObject* set_;
    std::vector<char> bits_;
    bool generic_ = false;
};

// An explicit delta unpacked into two doubles.
void read_pair(PyObject* d, double& x, double& y) {
    if (PyTuple_CheckExact(d) && PyTuple_GET_SIZE(d) == 2) {
        x = component(d, 0);
        y = component(d, 1);
        return;
    }
    auto [a, b] = vy::unpack<2>(d);
    x = vy::to_double(a.get());
    y = vy::to_double(b.get());
}

bool can_gapfill_in_between(const Snapshot& deltas, const Snapshot& coords, Py_ssize_t i, Py_ssize_t j,
                            double tolerance, Segment& seg) {
    vy::Frame f{can_gapfill_fn, 130};
    if (vy::debug()) {
        f.at(132);
        vy::assert_that(j - i >= 2);
    }
    f.at(134);
    const Span run = coords.slice(i + 1, j);
    PyObject* c1 = coords.at(i);
    PyObject* d1 = deltas.at(i);
    PyObject* c2 = coords.at(j);
    PyObject* d2 = deltas.at(j);
    gapfill_segment(run, c1, d1, c2, d2, seg);
    const Span explicit_deltas = deltas.slice(i + 1, j);
    const std::size_t m = std::min<std::size_t>(std::size_t(explicit_deltas.n), seg.x.size());
    for (std::size_t k = 0; k < m; ++k) {
        f.at(135);
        double x, y;
        read_pair(explicit_deltas[Py_ssize_t(k)], x, y);
        const double p = seg.x[k].int_zero ? 0.0 : seg.x[k].v;
        const double q = seg.y[k].int_zero ? 0.0 : seg.y[k].v;
        f.at(137);
        if (std::hypot(x - p, y - q) > tolerance) return false;
    }
    return true;
}

// The forced points, in the order they are found (n - 1 down to 0).
std::vector<Py_ssize_t> bound_forced(const Snapshot& deltas, const Snapshot& coords, const vy::Num& tol,
                                     vy::Call& c) {
    using vy::Num;
    const Py_ssize_t n = deltas.size();
    std::vector<Py_ssize_t> forced;
    vy::Interrupts interrupts;
    for (Py_ssize_t i = n - 1; i >= 0; --i) {
        interrupts.step();
        c.at(162);
        PyObject* ld = deltas.at(i - 1);
        PyObject* lc = coords.at(i - 1);
        PyObject* d = deltas.at(i);
        PyObject* cc = coords.at(i);
        PyObject* nd = deltas.at(i - n + 1);
        PyObject* nc = coords.at(i - n + 1);
        for (int j = 0; j < 2; ++j) {
            c.at(166);
            const double cj = component(cc, j), dj = component(d, j);
            const double lcj = component(lc, j), ldj = component(ld, j);
            const double ncj = component(nc, j), ndj = component(nd, j);
            double c1, c2, d1, d2;
            if (lcj <= ncj) {
                c1 = lcj, c2 = ncj, d1 = ldj, d2 = ndj;
            } else {
                c1 = ncj, c2 = lcj, d1 = ndj, d2 = ldj;
            }
            bool force = false;
            if (c1 == c2) {
                c.at(174);
                force = Num(std::fabs(d1 - d2)) > tol && Num(std::fabs(dj)) > tol;
            } else if (c1 <= cj && cj <= c2) {
                c.at(177);
                const double lo = d2 < d1 ? d2 : d1;  // min and max keep the first when equal
                const double hi = d2 > d1 ? d2 : d1;
                force = !(Num(lo) - tol <= Num(dj) && Num(dj) <= Num(hi) + tol);
            } else if (d1 != d2) {
                if (cj < c1) {
                    c.at(181);
                    force = Num(std::fabs(dj)) > tol && Num(std::fabs(dj - d1)) > tol &&
                            ((Num(dj) - tol < Num(d1)) != (d1 < d2));
                } else {
                    c.at(185);
                    force = Num(std::fabs(dj)) > tol && Num(std::fabs(dj - d2)) > tol &&
                            ((Num(d2) < Num(dj) + tol) != (d1 < d2));
                }
            }
            if (force) {
                forced.push_back(i);
                break;
            }
        }
    }
    return forced;
}

// costs[i + 1] and chain[i + 1] for i = -1 .. n - 1.
struct DP {
    std::vector<double> costs;
    std::vector<Py_ssize_t> chain;
    double cost(Py_ssize_t i) const { return costs[std::size_t(i + 1)]; }
    Py_ssize_t prev(Py_ssize_t i) const { return chain[std::size_t(i + 1)]; }
};

// The lookback after `lookback = MAX_LOOKBACK if MAX_LOOKBACK < lookback else lookback`.
vy::Num effective_lookback(PyObject* lookback, Py_ssize_t n) {
    vy::Num lb = lookback == Py_None ? vy::Num::integer(n) : vy::Num::from(lookback);
    if (vy::global_num(n_MAX_LOOKBACK) < lb) lb = vy::global_num(n_MAX_LOOKBACK);
    return lb;
}

Py_ssize_t as_index(const vy::Num& v) {
    if (v.kind() == vy::Num::Int) return Py_ssize_t(v.i());
    vy::Ref o = v.object();
    vy::Ref index = vy::own(PyNumber_Index(o.get()));
    const Py_ssize_t r = PyLong_AsSsize_t(index.get());
    if (r == -1 && PyErr_Occurred()) vy::raise();
    return r;
}

DP optimize_dp(const Snapshot& deltas, const Snapshot& coords, const Forced& forced, double tolerance,
               const vy::Num& lookback, vy::Call& c) {
    const Py_ssize_t n = deltas.size();
    DP dp;
    dp.costs.assign(std::size_t(n + 1), 0.0);
    dp.chain.assign(std::size_t(n + 1), -2);
    Segment seg;
    vy::Interrupts interrupts;
    for (Py_ssize_t i = 0; i < n; ++i) {
        interrupts.step();
        c.at(218);
        double best = dp.cost(i - 1) + 1.0;
        dp.costs[std::size_t(i + 1)] = best;
        dp.chain[std::size_t(i + 1)] = i - 1;
        c.at(221);
        if (forced.contains(i - 1)) continue;
        c.at(224);
        vy::Num t = vy::Num::integer(i) - lookback;
        const vy::Num floor = vy::Num::integer(-2);
        const Py_ssize_t stop = as_index(floor > t ? floor : t);
        for (Py_ssize_t j = i - 2; j > stop; --j) {
            interrupts.step(i - j);
            c.at(225);
            const double cost = dp.cost(j) + 1.0;
            c.at(226);
            if (cost < best && can_gapfill_in_between(deltas, coords, j, i, tolerance, seg)) {
                c.at(227);
                best = cost;
                dp.costs[std::size_t(i + 1)] = cost;
                dp.chain[std::size_t(i + 1)] = j;
            }
            c.at(229);
            if (forced.contains(j)) break;
        }
    }
    return dp;
}

vy::Ref dp_result(const DP& dp) {
    vy::Ref chain = vy::own(PyDict_New()), costs = vy::own(PyDict_New());
    vy::Ref minus_one = vy::int_object(-1), zero = vy::int_object(0);
    vy::check(PyDict_SetItem(costs.get(), minus_one.get(), zero.get()));
    vy::check(PyDict_SetItem(chain.get(), minus_one.get(), Py_None));
    for (std::size_t k = 1; k < dp.costs.size(); ++k) {
        vy::Ref key = vy::own(PyLong_FromSsize_t(Py_ssize_t(k) - 1));
        vy::Ref cost = vy::float_object(dp.costs[k]);
        vy::Ref prev = vy::own(PyLong_FromSsize_t(dp.chain[k]));
        vy::check(PyDict_SetItem(costs.get(), key.get(), cost.get()));
        vy::check(PyDict_SetItem(chain.get(), key.get(), prev.get()));
    }
    return vy::own(PyTuple_Pack(2, chain.get(), costs.get()));
}

Py_ssize_t python_mod(Py_ssize_t k, Py_ssize_t n) {
    if (n == 0) vy::raise(PyExc_ZeroDivisionError, "integer modulo by zero");
    Py_ssize_t r = k % n;
    if (r != 0 && ((r < 0) != (n < 0))) r += n;
    return r;
}

vy::Ref set_of(const std::vector<Py_ssize_t>& items) {
    vy::Ref set = vy::own(PySet_New(nullptr));
    for (Py_ssize_t v : items) {
        vy::Ref o = vy::own(PyLong_FromSsize_t(v));
        vy::check(PySet_Add(set.get(), o.get()));
    }
    return set;
}

vy::Ref pair_of(PyObject* a, PyObject* b) { return vy::own(PyTuple_Pack(2, a, b)); }

// ------------------------------------------------------------- Python-visible building blocks

PyObject* bound_forced_set(vy::Call& c, vy::Args& a) {
    if (vy::debug()) {
        c.at(158);
        const Py_ssize_t nd = vy::length(a.o(0)), nc = vy::length(a.o(1));
        vy::assert_that(nd == nc);
    }
    c.at(160);
    Snapshot deltas(a.o(0)), coords(a.o(1));
    return set_of(bound_forced(deltas, coords, vy::Num::from(a.o(2)), c)).release();
}

PyObject* optimize_dp_body(vy::Call& c, vy::Args& a) {
    c.at(213);
    Snapshot deltas(a.o(0)), coords(a.o(1));
    const Py_ssize_t n = deltas.size();
    c.at(214);
    vy::Num lookback = effective_lookback(a.o(4), n);
    Forced forced(a.o(2), n);
    return dp_result(optimize_dp(deltas, coords, forced, a.d(3), lookback, c)).release();
}

// The body of _rot_list, l[-k:] + l[:-k], in one pass; a tuple gives a
// tuple, anything else a list.
vy::Ref rotated(vy::Call& c, PyObject* l, Py_ssize_t by) {
    c.at(246);
    const Snapshot items(l);
    const Py_ssize_t n = items.size();
    const Py_ssize_t k = python_mod(by, n);
    c.at(247);
    if (k == 0) return vy::Ref::borrow(l);
    c.at(249);
    const bool tuple = PyTuple_CheckExact(l);
    vy::Ref out = vy::own(tuple ? PyTuple_New(n) : PyList_New(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = Py_NewRef(items[i < k ? n - k + i : i - k]);
        if (tuple)
            PyTuple_SET_ITEM(out.get(), i, item);
        else
            PyList_SET_ITEM(out.get(), i, item);
    }
    return out;
}

PyObject* rot_list(vy::Call& c, vy::Args& a) { return rotated(c, a.o(0), a.i(1)).release(); }

PyObject* rot_set(vy::Call& c, vy::Args& a) {
    PyObject* s = a.o(0);
    c.at(253);
    const Py_ssize_t n = a.i(2);
    const Py_ssize_t k = python_mod(a.i(1), n);
    c.at(254);
    if (k == 0) return Py_NewRef(s);
    c.at(256);
    vy::Ref out = vy::own(PySet_New(nullptr));
    vy::Ref kk = vy::own(PyLong_FromSsize_t(k)), nn = vy::own(PyLong_FromSsize_t(n));
    vy::Ref it = vy::own(PyObject_GetIter(s));
    while (PyObject* item = PyIter_Next(it.get())) {
        vy::Ref v = vy::Ref::steal(item);
        vy::Ref sum = vy::own(PyNumber_Add(v.get(), kk.get()));
        vy::Ref r = vy::own(PyNumber_Remainder(sum.get(), nn.get()));
        vy::check(PySet_Add(out.get(), r.get()));
    }
    if (PyErr_Occurred()) vy::raise();
    return out.release();
}

// ------------------------------------------------------------- the optimiser

// abs(complex(*d)) <= tolerance for every d, in order.
bool all_within(PyObject* deltas, const vy::Num& tol) {
    vy::Ref it = vy::own(PyObject_GetIter(deltas));
    vy::Interrupts interrupts;
    while (PyObject* item = PyIter_Next(it.get())) {
        vy::Ref d = vy::Ref::steal(item);
        interrupts.step();
        const Py_complex z = vy::complex_of(d.get());
        const double length = std::hypot(z.real, z.imag);  // abs() of a complex
        if (std::isinf(length) && std::isfinite(z.real) && std::isfinite(z.imag))
            vy::raise(PyExc_OverflowError, "absolute value too large");
        if (!(vy::Num(length) <= tol)) return false;
    }
    if (PyErr_Occurred()) vy::raise();
    return true;
}

vy::Ref none_list(Py_ssize_t n) {
    vy::Ref out = vy::list_of_size(n);
    for (Py_ssize_t i = 0; i < n; ++i) PyList_SET_ITEM(out.get(), i, Py_NewRef(Py_None));
    return out;
}

// float(tolerance), as the DP's `double` parameter converts it.
double as_double(const vy::Num& v) {
    double d;
    if (v.exact_double(d)) return d;
    return vy::to_double(v.object().get());
}

// assert forced <= solution, (forced, solution); then the new list
// [deltas[i] if i in solution else None for i in range(n)] (the next line).
vy::Ref keep_chosen(vy::Call& c, int line, PyObject* forced, PyObject* solution, PyObject* deltas, Py_ssize_t n) {
    if (vy::debug()) {
        c.at(line);
        vy::Ref le = vy::own(PyObject_RichCompare(forced, solution, Py_LE));
        vy::assert_that(vy::to_bool(le.get()), [&] { return pair_of(forced, solution); });
    }
    c.at(line + 1);
    vy::Ref out = vy::list_of_size(n);
    for (Py_ssize_t j = 0; j < n; ++j) {
        vy::Ref key = vy::own(PyLong_FromSsize_t(j));
        vy::Ref item;
        if (vy::check(PySequence_Contains(solution, key.get()))) item = vy::own(PyObject_GetItem(deltas, key.get()));
        PyList_SET_ITEM(out.get(), j, Py_NewRef(item ? item.get() : Py_None));
    }
    return out;
}

// The building blocks as the module namespace has them, called with Python
// objects: a rebound name or another sequence type sees every call.
class Calls {
public:
    using Set = vy::Ref;
    using Index = vy::Ref;
    using Cost = vy::Ref;
    struct Solve {
        vy::Ref chain, costs;
    };

    Calls(PyObject* deltas, PyObject* coords, PyObject* tolerance, Py_ssize_t n)
        : deltas_(deltas), coords_(coords), tolerance_(tolerance), n_(vy::own(PyLong_FromSsize_t(n))) {}

    vy::Ref deltas() const { return vy::Ref::borrow(deltas_); }
    vy::Ref coords() const { return vy::Ref::borrow(coords_); }
    Set bound_forced() const {
        vy::Ref fn = vy::global(n_bound_forced_set);
        return vy::call(fn.get(), {deltas_, coords_, tolerance_});
    }
    bool any(const Set& s) const { return vy::to_bool(s.get()); }
    // (n - 1) - max(forced)
    Index rotation(const Set& forced) const {
        vy::Ref top = vy::call(b_max.get(), {forced.get()});
        vy::Ref last = vy::own(PyNumber_Subtract(n_.get(), vy::int_object(1).get()));
        return vy::own(PyNumber_Subtract(last.get(), top.get()));
    }
    bool non_negative(const Index& k) const {
        return vy::check(PyObject_RichCompareBool(k.get(), vy::int_object(0).get(), Py_GE));
    }
    Index negative(const Index& k) const { return vy::own(PyNumber_Negative(k.get())); }
    vy::Ref rot_list(const vy::Ref& l, const Index& k) const {
        vy::Ref fn = vy::global(n_rot_list);
        return vy::call(fn.get(), {l.get(), k.get()});
    }
    Set rot_set(const Set& s, const Index& k) const {
        vy::Ref fn = vy::global(n_rot_set);
        return vy::call(fn.get(), {s.get(), k.get(), n_.get()});
    }
    vy::Ref doubled(const vy::Ref& l) const { return vy::own(PyNumber_Add(l.get(), l.get())); }
    // _optimize_dp(deltas, coords, forced, tolerance[, n])
    Solve optimize_dp(const vy::Ref& deltas, const vy::Ref& coords, const Set& forced, bool lookback_n) const {
        vy::Ref fn = vy::global(n_optimize_dp);
        vy::Ref result = lookback_n ? vy::call(fn.get(), {deltas.get(), coords.get(), forced.get(), tolerance_, n_.get()})
                                    : vy::call(fn.get(), {deltas.get(), coords.get(), forced.get(), tolerance_});
        auto [chain, costs] = vy::unpack<2>(result.get());
        return {std::move(chain), std::move(costs)};
    }
    Py_ssize_t size(const Solve& s) const {
        const Py_ssize_t size = PyObject_Size(s.costs.get());
        if (size < 0) vy::raise();
        return size;
    }
    Index index(Py_ssize_t i) const { return vy::own(PyLong_FromSsize_t(i)); }
    Index chain(const Solve& s, const Index& i) const { return vy::own(PyObject_GetItem(s.chain.get(), i.get())); }
    bool is_none(const Index& i) const { return i.get() == Py_None; }
    bool greater(const Index& a, const Index& b) const {
        return vy::check(PyObject_RichCompareBool(a.get(), b.get(), Py_GT));
    }
    bool same(const Index& a, const Index& b) const {
        return vy::check(PyObject_RichCompareBool(a.get(), b.get(), Py_EQ));
    }
    Set new_set() const { return vy::own(PySet_New(nullptr)); }
    Set no_set() const { return vy::Ref::borrow(Py_None); }
    void add(const Set& s, const Index& i) const { vy::check(PySet_Add(s.get(), i.get())); }
    // solution.add(i % n)
    void add_mod(const Set& s, const Index& i) const {
        vy::Ref m = vy::own(PyNumber_Remainder(i.get(), n_.get()));
        vy::check(PySet_Add(s.get(), m.get()));
    }
    void remove_minus_one(const Set& s) const {
        vy::Ref minus_one = vy::int_object(-1);
        vy::Ref removed = vy::own(PyObject_CallMethod(s.get(), "remove", "O", minus_one.get()));
    }
    Cost cost_of(Py_ssize_t v) const { return vy::own(PyLong_FromSsize_t(v)); }
    // v + 1
    Cost cost_past(Py_ssize_t v) const {
        return vy::own(PyNumber_Add(cost_of(v).get(), vy::int_object(1).get()));
    }
    // costs[a] - costs[b]
    Cost cost(const Solve& s, const Index& a, const Index& b) const {
        vy::Ref x = vy::own(PyObject_GetItem(s.costs.get(), a.get()));
        vy::Ref y = vy::own(PyObject_GetItem(s.costs.get(), b.get()));
        return vy::own(PyNumber_Subtract(x.get(), y.get()));
    }
    bool at_most(const Cost& a, const Cost& b) const {
        return vy::check(PyObject_RichCompareBool(a.get(), b.get(), Py_LE));
    }
    vy::Ref keep(vy::Call& c, int line, const Set& forced, const Set& solution, const vy::Ref& deltas,
                 Py_ssize_t n) const {
        return keep_chosen(c, line, forced.get(), solution.get(), deltas.get(), n);
    }

private:
    PyObject* deltas_;
    PyObject* coords_;
    PyObject* tolerance_;
    vy::Ref n_;
};

// The building blocks are this module's own and the contour is held in
// lists: each is run directly, its sets and results held in C++ (indices
// from -1 on, by bits; a chain ends in -2 for None).
class Held {
public:
    struct Set {
        std::vector<char> bits;  // bits[i + 1]: i is in the set; empty: None
        bool has(Py_ssize_t i) const { return bits[std::size_t(i + 1)] != 0; }
    };
    using Index = Py_ssize_t;
    using Cost = double;
    using Solve = DP;

    Held(const vy::Ref& deltas, const vy::Ref& coords, const vy::Num& tol, Py_ssize_t n)
        : deltas_(deltas), coords_(coords), tol_(tol), n_(n) {}

    vy::Ref deltas() const { return deltas_.copy(); }
    vy::Ref coords() const { return coords_.copy(); }
    Set bound_forced() const {
        const Snapshot deltas(deltas_.get()), coords(coords_.get());
        // With the traceback entry of the Python-visible function.
        const std::vector<Py_ssize_t> forced = vy::called(bound_forced_set_def, [&](vy::Call& inner) {
            if (vy::debug()) {
                inner.at(158);
                vy::assert_that(deltas.size() == coords.size());
            }
            inner.at(160);
            return gapfill::bound_forced(deltas, coords, tol_, inner);
        });
        Set s = new_set();
        for (Py_ssize_t v : forced) s.bits[std::size_t(v + 1)] = 1;
        return s;
    }
    bool any(const Set& s) const {
        for (char b : s.bits)
            if (b) return true;
        return false;
    }
    Index rotation(const Set& forced) const {
        Py_ssize_t top = n_ - 1;
        while (!forced.has(top)) --top;
        return (n_ - 1) - top;
    }
    bool non_negative(Index k) const { return k >= 0; }
    Index negative(Index k) const { return -k; }
    vy::Ref rot_list(const vy::Ref& l, Index k) const {
        return vy::called(rot_list_def, [&](vy::Call& inner) { return rotated(inner, l.get(), k); });
    }
    Set rot_set(const Set& s, Index k) const {
        Set out = new_set();
        for (Py_ssize_t v = 0; v < n_; ++v)
            if (s.has(v)) out.bits[std::size_t(python_mod(v + k, n_) + 1)] = 1;
        return out;
    }
    vy::Ref doubled(const vy::Ref& l) const {
        const Snapshot items(l.get());
        vy::Ref out = vy::own(PyTuple_New(2 * n_));
        for (Py_ssize_t i = 0; i < 2 * n_; ++i) PyTuple_SET_ITEM(out.get(), i, Py_NewRef(items[i % n_]));
        return out;
    }
    Solve optimize_dp(const vy::Ref& deltas, const vy::Ref& coords, const Set& forced, bool lookback_n) const {
        const Snapshot sd(deltas.get()), sc(coords.get());
        const Py_ssize_t m = sd.size();
        std::vector<Py_ssize_t> indices;
        for (Py_ssize_t v = 0; v < n_; ++v)
            if (forced.has(v)) indices.push_back(v);
        vy::Num lookback = effective_lookback(lookback_n ? vy::int_object(n_).get() : Py_None, m);
        return vy::called(optimize_dp_def, [&](vy::Call& inner) {
            return gapfill::optimize_dp(sd, sc, Forced(indices, m), as_double(tol_), lookback, inner);
        });
    }
    Py_ssize_t size(const Solve& s) const { return Py_ssize_t(s.costs.size()); }
    Index index(Py_ssize_t i) const { return i; }
    Index chain(const Solve& s, Index i) const { return s.prev(i); }
    bool is_none(Index i) const { return i == -2; }
    bool greater(Index a, Index b) const { return a > b; }
    bool same(Index a, Index b) const { return a == b; }
    Set new_set() const { return Set{std::vector<char>(std::size_t(n_ + 1), 0)}; }
    Set no_set() const { return Set{}; }
    void add(Set& s, Index i) const { s.bits[std::size_t(i + 1)] = 1; }
    void add_mod(Set& s, Index i) const { s.bits[std::size_t(python_mod(i, n_) + 1)] = 1; }
    void remove_minus_one(Set& s) const { s.bits[0] = 0; }  // always there: every chain ends at -1
    Cost cost_of(Py_ssize_t v) const { return double(v); }
    Cost cost_past(Py_ssize_t v) const { return double(v) + 1.0; }
    Cost cost(const Solve& s, Index a, Index b) const { return s.cost(a) - s.cost(b); }
    bool at_most(Cost a, Cost b) const { return a <= b; }
    vy::Ref keep(vy::Call& c, int line, const Set& forced, const Set& solution, const vy::Ref& deltas,
                 Py_ssize_t n) const {
        if (solution.bits.empty()) return keep_chosen(c, line, object(forced).get(), Py_None, deltas.get(), n);
        if (vy::debug()) {
            c.at(line);
            bool covered = true;
            for (Py_ssize_t v = 0; v < n; ++v) covered = covered && (!forced.has(v) || solution.has(v));
            vy::assert_that(covered, [&] { return pair_of(object(forced).get(), object(solution).get()); });
        }
        c.at(line + 1);
        const Snapshot items(deltas.get());
        vy::Ref out = vy::own(PyList_New(n));
        for (Py_ssize_t i = 0; i < n; ++i)
            PyList_SET_ITEM(out.get(), i, Py_NewRef(solution.has(i) ? items[i] : Py_None));
        return out;
    }

private:
    static vy::Ref object(const Set& s) {
        std::vector<Py_ssize_t> items;
        for (std::size_t k = 0; k < s.bits.size(); ++k)
            if (s.bits[k]) items.push_back(Py_ssize_t(k) - 1);
        return set_of(items);
    }

    const vy::Ref& deltas_;
    const vy::Ref& coords_;
    const vy::Num& tol_;
    Py_ssize_t n_;
};

// Steps from the forced bound on: the rotation that puts a forced point
// last, or the doubled contour searched for the best closing start.
template <class P>
vy::Ref solve(vy::Call& c, const P& p, Py_ssize_t n) {
    c.at(296);
    typename P::Set forced = p.bound_forced();
    if (p.any(forced)) {
        c.at(299);
        const typename P::Index k = p.rotation(forced);
        if (vy::debug()) {
            c.at(300);
            vy::assert_that(p.non_negative(k));
        }
        c.at(302);
        const vy::Ref deltas = p.rot_list(p.deltas(), k);
        c.at(303);
        const vy::Ref coords = p.rot_list(p.coords(), k);
        c.at(304);
        forced = p.rot_set(forced, k);
        c.at(305);
        const typename P::Solve dp = p.optimize_dp(deltas, coords, forced, false);
        c.at(307);
        typename P::Set solution = p.new_set();
        typename P::Index i = p.index(n - 1);
        while (!p.is_none(i)) {
            c.at(309);
            p.add(solution, i);
            c.at(310);
            i = p.chain(dp, i);
        }
        c.at(311);
        p.remove_minus_one(solution);
        vy::Ref out = p.keep(c, 312, forced, solution, deltas, n);
        c.at(314);
        return p.rot_list(out, p.negative(k));
    }
    c.at(318);
    const vy::Ref deltas = p.doubled(p.deltas());
    const vy::Ref coords = p.doubled(p.coords());
    const typename P::Solve dp = p.optimize_dp(deltas, coords, forced, true);
    c.at(320);
    typename P::Set best = p.no_set();
    typename P::Cost best_cost = p.cost_past(n);  // n from a __len__ may be sys.maxsize
    c.at(321);
    const Py_ssize_t stop = p.size(dp);
    vy::Interrupts interrupts;
    for (Py_ssize_t start = n - 1; start < stop - 1; ++start) {
        c.at(322);
        typename P::Set solution = p.new_set();
        typename P::Index i = p.index(start);
        const typename P::Index limit = p.index(start - n);
        c.at(323);
        while (p.greater(i, limit)) {
            interrupts.step();
            c.at(324);
            p.add_mod(solution, i);
            c.at(325);
            i = p.chain(dp, i);
            c.at(323);
        }
        c.at(326);
        if (p.same(i, limit)) {
            c.at(327);
            typename P::Cost cost = p.cost(dp, p.index(start), limit);
            c.at(328);
            if (p.at_most(cost, best_cost)) {
                best = std::move(solution);
                best_cost = std::move(cost);
            }
        }
    }
    return p.keep(c, 329, forced, best, p.deltas(), n);
}

PyObject* gapfill_contour_optimize(vy::Call& c, vy::Args& a) {
    PyObject* deltas = a.o(0);
    PyObject* coords = a.o(1);
    PyObject* tolerance = a.o(2);
    c.at(281);
    const Py_ssize_t n = PyObject_Size(deltas);
    if (n < 0) vy::raise();
    c.at(284);
    vy::Num tol = vy::Num::from(tolerance);
    if (all_within(deltas, tol)) return none_list(n).release();
    c.at(287);
    if (n == 1) return Py_NewRef(deltas);
    c.at(290);
    vy::Ref zero = vy::int_object(0);
    vy::Ref d0 = vy::own(PyObject_GetItem(deltas, zero.get()));
    {
        bool all_equal = true;
        vy::Ref it = vy::own(PyObject_GetIter(deltas));
        while (PyObject* item = PyIter_Next(it.get())) {
            vy::Ref d = vy::Ref::steal(item);
            vy::Ref eq = vy::own(PyObject_RichCompare(d0.get(), d.get(), Py_EQ));
            if (!vy::to_bool(eq.get())) {
                all_equal = false;
                break;
            }
        }
        if (PyErr_Occurred()) vy::raise();
        if (all_equal) {
            c.at(292);
            vy::Ref out = none_list(n);
            Py_SETREF(PyList_GET_ITEM(out.get(), 0), Py_NewRef(d0.get()));
            return out.release();
        }
    }
    // Tuples take the literal path: a rotation would hand them to _rot_list,
    // which rejects them, and that error must be the real one.
    c.at(296);
    if (PyList_CheckExact(deltas) && PyList_CheckExact(coords) && vy::is_own(n_bound_forced_set, bound_forced_set_def) &&
        vy::is_own(n_optimize_dp, optimize_dp_def) && vy::is_own(n_rot_list, rot_list_def) &&
        vy::is_own(n_rot_set, rot_set_def)) {
        const vy::Ref ds = vy::own(PySequence_Tuple(deltas)), cs = vy::own(PySequence_Tuple(coords));
        if (PyTuple_GET_SIZE(ds.get()) == n && PyTuple_GET_SIZE(cs.get()) == n)
            return solve(c, Held(ds, cs, tol, n), n).release();
    }
    return solve(c, Calls(deltas, coords, tolerance, n), n).release();
}

PyObject* gapfill_delta_optimize(vy::Call& c, vy::Args& a) {
    PyObject* deltas = a.o(0);
    PyObject* coords = a.o(1);
    if (vy::debug()) {
        c.at(343);
        vy::assert_that(ends_are_valid(coords, a.o(2)));
    }
    c.at(345);
    const Py_ssize_t n = PyObject_Size(coords);
    if (n < 0) vy::raise();
    c.at(346);
    vy::Ref ends = with_trailing_points(a.o(2), n);
    c.at(348);
    vy::Ref out = vy::own(PyList_New(0));
    vy::Ref start = vy::int_object(0);
    vy::Ref one = vy::int_object(1);
    c.at(349);
    vy::Ref it = vy::own(PyObject_GetIter(ends.get()));
    while (PyObject* item = PyIter_Next(it.get())) {
        vy::Ref end = vy::Ref::steal(item);
        c.at(350);
        vy::Ref stop = vy::own(PyNumber_Add(end.get(), one.get()));
        vy::Ref fn = vy::global(n_gapfill_contour_optimize);
        vy::Ref range = vy::own(PySlice_New(start.get(), stop.get(), nullptr));
        vy::Ref ds = vy::own(PyObject_GetItem(deltas, range.get()));
        vy::Ref cs = vy::own(PyObject_GetItem(coords, range.get()));
        vy::Ref contour = vy::call(fn.get(), {ds.get(), cs.get(), a.o(3)});
        if (vy::debug()) {
            c.at(351);
            const Py_ssize_t len = PyObject_Size(contour.get());
            if (len < 0) vy::raise();
            vy::Ref length = vy::own(PyLong_FromSsize_t(len));
            vy::Ref diff = vy::own(PyNumber_Subtract(end.get(), start.get()));
            vy::Ref expected = vy::own(PyNumber_Add(diff.get(), one.get()));
            vy::assert_that(vy::check(PyObject_RichCompareBool(length.get(), expected.get(), Py_EQ)));
        }
        c.at(352);
        Py_DECREF(vy::own(PySequence_InPlaceConcat(out.get(), contour.get())).release());
        c.at(353);
        start = std::move(stop);
        c.at(349);
    }
    if (PyErr_Occurred()) vy::raise();
    c.at(354);
    return out.release();
}

const vy::Param forced_params[] = {{"deltas"}, {"coords"}, {"tolerance"}};
const vy::Param dp_params[] = {
    {"deltas"}, {"coords"}, {"forced", vy::Kind::Set, true}, {"tolerance", vy::Kind::Double}, {"lookback"}};
const vy::Param rot_list_params[] = {{"l", vy::Kind::List}, {"k", vy::Kind::Int}};
const vy::Param rot_set_params[] = {{"s", vy::Kind::Set}, {"k", vy::Kind::Int}, {"n", vy::Kind::Int}};
const vy::Param optimize_params[] = {{"deltas"}, {"coords"}, {"tolerance"}};
const vy::Param delta_optimize_params[] = {{"deltas"}, {"coords"}, {"ends"}, {"tolerance"}};
const char* const forced_locals[] = {"n", "forced", "i", "j"};
const char* const dp_locals[] = {"n", "costs", "chain", "i", "j", "best_cost", "cost"};
const char* const optimize_locals[] = {"n", "d0", "forced", "k", "chain", "costs", "solution", "i"};

}  // namespace

vy::FunctionDef bound_forced_set_def{
    .name = "_gapfill_contour_bound_forced_set",
    .signature = "_gapfill_contour_bound_forced_set(deltas: _DeltaSegment, coords: _PointSegment, tolerance: Real = 0) -> set",
    .doc = R"(Compute a conservative set of the points that must be encoded
    explicitly: no choice of explicit neighbours can reproduce their deltas
    by interpolation.  Knowing them speeds up the dynamic programming and
    resolves its circularity; the set is precise, in that a point in it can
    never be interpolated.
    )",
    .line = 145,
    .params = forced_params,
    .locals = forced_locals,
    .body = bound_forced_set,
};

vy::FunctionDef optimize_dp_def{
    .name = "_gapfill_contour_optimize_dp",
    .signature = "_gapfill_contour_optimize_dp(deltas: _DeltaSegment, coords: _PointSegment, set forced=set(), double tolerance: Real = 0, lookback: Integral = None)",
    .doc = R"(For each index i, find the least costly encoding of points 0 to i
    in which point i is explicit.  The solution therefore always encodes the
    last point explicitly (the caller removes that restriction), and the
    search backwards from a point stops at a forced point.
    )",
    .line = 200,
    .params = dp_params,
    .locals = dp_locals,
    .body = optimize_dp_body,
};

vy::FunctionDef rot_list_def{
    .name = "_rot_list",
    .signature = "_rot_list(list l: list, int k: int)",
    .doc = R"(Rotate the list forward by k items: item 0 ends at position k.  k may be
    negative.
    )",
    .line = 240,
    .params = rot_list_params,
    .body = rot_list,
};

vy::FunctionDef rot_set_def{
    .name = "_rot_set",
    .signature = "_rot_set(set s: set, int k: int, int n: int)",
    .line = 251,
    .params = rot_set_params,
    .body = rot_set,
};

vy::FunctionDef gapfill_contour_optimize_def{
    .name = "gapfill_contour_optimize",
    .signature = "gapfill_contour_optimize(deltas: _DeltaSegment, coords: _PointSegment, tolerance: Real = 0.0) -> _DeltaOrNoneSegment",
    .doc = R"(For the contour given in `coords`, return the delta vector with the
    most None items such that interpolating the remaining explicit deltas
    reproduces every input delta within `tolerance`.
    )",
    .line = 260,
    .params = optimize_params,
    .locals = optimize_locals,
    .body = gapfill_contour_optimize,
};

vy::FunctionDef gapfill_delta_optimize_def{
    .name = "gapfill_delta_optimize",
    .signature = "gapfill_delta_optimize(deltas: _DeltaSegment, coords: _PointSegment, ends: _Endpoints, tolerance: Real = 0.0) -> _DeltaOrNoneSegment",
    .doc = R"(For the outline given in `coords`, with the contour end indices in
    sorted increasing order in `ends`, return the delta vector with the most
    None items such that interpolation reproduces every input delta within
    `tolerance`.
    )",
    .line = 335,
    .params = delta_optimize_params,
    .locals = optimize_locals,
    .body = gapfill_delta_optimize,
};

}  // namespace gapfill
