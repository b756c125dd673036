// The optimiser's steps after its early returns, written once (solve) over
// how the building blocks are reached: while the module-level names hold
// this module's own functions and the contour is held in lists, they run
// directly on values held in C++ (Held); a rebound name or another sequence
// type sees every call with Python objects (Calls).
#pragma once

#include "dp.h"

namespace gapfill {

// The building blocks as the module namespace has them, called with Python
// objects, with Python's arithmetic on what they return.
class Calls {
public:
    using Set = vy::Ref;
    using Index = vy::Num;
    using Cost = vy::Num;
    struct Solve {
        vy::Ref chain, costs;
    };

    Calls(PyObject* deltas, PyObject* coords, PyObject* tolerance, Py_ssize_t n)
        : deltas_(deltas), coords_(coords), tolerance_(tolerance), n_(vy::Num::integer(n)) {}

    vy::Ref deltas() const { return vy::Ref::borrow(deltas_); }
    vy::Ref coords() const { return vy::Ref::borrow(coords_); }
    Set bound_forced() const { return call(c_bound_forced_set, {deltas_, coords_, tolerance_}); }
    bool any(const Set& s) const { return vy::truth(s.get()); }
    // (n - 1) - max(forced)
    Index rotation(const Set& forced) const {
        const vy::Num top = vy::Num::steal(vy::call(b_max.get(), {forced.get()}));
        return (n_ - 1) - top;
    }
    bool non_negative(const Index& k) const { return k >= 0; }
    Index negative(const Index& k) const { return -k; }
    vy::Ref rot_list(const vy::Ref& l, const Index& k) const { return call(c_rot_list, {l.get(), k.object().get()}); }
    Set rot_set(const Set& s, const Index& k) const {
        return call(c_rot_set, {s.get(), k.object().get(), n_.object().get()});
    }
    vy::Ref doubled(const vy::Ref& l) const { return vy::add(l.get(), l.get()); }
    // _optimize_dp(deltas, coords, forced, tolerance[, n])
    Solve optimize_dp(const vy::Ref& deltas, const vy::Ref& coords, const Set& forced, bool lookback_n) const {
        vy::Ref result = lookback_n
                             ? call(c_optimize_dp, {deltas.get(), coords.get(), forced.get(), tolerance_, n_.object().get()})
                             : call(c_optimize_dp, {deltas.get(), coords.get(), forced.get(), tolerance_});
        auto [chain, costs] = vy::unpack<2>(result.get());
        return {std::move(chain), std::move(costs)};
    }
    Py_ssize_t size(const Solve& s) const { return vy::length(s.costs.get()); }
    Index index(Py_ssize_t i) const { return vy::Num::integer(i); }
    Index chain(const Solve& s, const Index& i) const { return vy::Num::steal(vy::item(s.chain.get(), i.object().get())); }
    bool is_none(const Index& i) const { return i.kind() == vy::Num::Obj && i.o() == Py_None; }
    bool greater(const Index& a, const Index& b) const { return a > b; }
    bool same(const Index& a, const Index& b) const { return a == b; }
    Set new_set() const { return vy::new_set(); }
    Set no_set() const { return vy::Ref::borrow(Py_None); }
    void add(const Set& s, const Index& i) const { vy::set_add(s.get(), i.object().get()); }
    // solution.add(i % n)
    void add_mod(const Set& s, const Index& i) const { vy::set_add(s.get(), vy::num::mod(i, n_).object().get()); }
    void remove_minus_one(const Set& s) const { vy::call_method(s.get(), n_remove, vy::int_object(-1).get()); }
    Cost cost_of(Py_ssize_t v) const { return vy::Num::integer(v); }
    // v + 1
    Cost cost_past(Py_ssize_t v) const { return vy::Num::integer(v) + 1; }
    // costs[a] - costs[b]
    Cost cost(const Solve& s, const Index& a, const Index& b) const {
        const vy::Num x = vy::Num::steal(vy::item(s.costs.get(), a.object().get()));
        const vy::Num y = vy::Num::steal(vy::item(s.costs.get(), b.object().get()));
        return x - y;
    }
    bool at_most(const Cost& a, const Cost& b) const { return a <= b; }
    vy::Ref keep(vy::Call& c, int line, const Set& forced, const Set& solution, const vy::Ref& deltas,
                 Py_ssize_t n) const {
        return keep_chosen(c, line, forced.get(), solution.get(), deltas.get(), n);
    }

private:
    static vy::Ref call(const vy::Callee& callee, std::initializer_list<PyObject*> args) {
        vy::Ref fn = vy::global(callee.name());
        return vy::call(fn.get(), args);
    }

    PyObject* deltas_;
    PyObject* coords_;
    PyObject* tolerance_;
    vy::Num n_;
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
        // With the traceback entry of the Python-visible function.
        const std::vector<Py_ssize_t> forced = vy::called(bound_forced_set_def, [&](vy::Call& inner) {
            return forced_points(inner, deltas_.get(), coords_.get(), tol_);
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
        std::vector<PyObject*> twice;
        twice.reserve(std::size_t(2 * n_));
        for (Py_ssize_t i = 0; i < 2 * n_; ++i) twice.push_back(items[i % n_]);
        return vy::new_tuple(twice);
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
            vy::assert_that(covered, [&] { return vy::new_tuple({object(forced).get(), object(solution).get()}); });
        }
        c.at(line + 1);
        const Snapshot items(deltas.get());
        std::vector<PyObject*> kept;
        kept.reserve(std::size_t(n));
        for (Py_ssize_t i = 0; i < n; ++i) kept.push_back(solution.has(i) ? items[i] : Py_None);
        return vy::new_list(kept);
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

}  // namespace gapfill
