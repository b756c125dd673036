// Delta optimisation: the fewest explicit deltas from which interpolation
// reproduces every delta within a tolerance, by dynamic programming over the
// choice of explicit points.  This is the core, on snapshots of the
// contour; the building blocks (blocks.cpp) and the optimiser
// (optimize.cpp) reach it.
#include <cmath>

#include "dp.h"

namespace gapfill {

namespace {

const vy::Internal can_gapfill_fn{"can_gapfill_in_between"};

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

Py_ssize_t as_index(const vy::Num& v) {
    if (v.kind() == vy::Num::Int) return Py_ssize_t(v.i());
    return vy::index_of(v.object().get());
}

}  // namespace

Forced::Forced(PyObject* set, Py_ssize_t n) : set_(set), bits_(std::size_t(n + 1), 0) {
    if (set == Py_None) return;
    vy::Ref it = vy::iter(set);
    while (vy::Ref key = vy::next_or_end(it.get())) {
        long long v;
        if (!vy::exact_int_value(key.get(), v)) {
            generic_ = generic_ || !PyLong_CheckExact(key.get());
            continue;
        }
        if (v >= -1 && v < n) bits_[std::size_t(v + 1)] = 1;
    }
}

Forced::Forced(const std::vector<Py_ssize_t>& indices, Py_ssize_t n) : set_(nullptr), bits_(std::size_t(n + 1), 0) {
    for (Py_ssize_t i : indices) bits_[std::size_t(i + 1)] = 1;
}

bool Forced::contains(Py_ssize_t i) const {
    if (set_ == Py_None) vy::raise(PyExc_TypeError, "'NoneType' object is not iterable");
    if (bits_[std::size_t(i + 1)]) return true;
    if (!generic_) return false;
    return vy::set_contains(set_, vy::int_object(i).get());
}

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

vy::Num effective_lookback(PyObject* lookback, Py_ssize_t n) {
    vy::Num lb = lookback == Py_None ? vy::Num::integer(n) : vy::Num::from(lookback);
    if (vy::global_num(n_MAX_LOOKBACK) < lb) lb = vy::global_num(n_MAX_LOOKBACK);
    return lb;
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

Py_ssize_t python_mod(Py_ssize_t k, Py_ssize_t n) {
    if (n == 0) vy::raise(PyExc_ZeroDivisionError, "integer modulo by zero");
    Py_ssize_t r = k % n;
    if (r != 0 && ((r < 0) != (n < 0))) r += n;
    return r;
}

vy::Ref set_of(const std::vector<Py_ssize_t>& items) {
    vy::Ref set = vy::new_set();
    for (Py_ssize_t v : items) vy::set_add(set.get(), vy::int_object(v).get());
    return set;
}

}  // namespace gapfill
