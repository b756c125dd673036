// The delta optimiser's core over contours held in snapshots: the bound on
// the forced points and the dynamic programme over the choice of explicit
// points; and the pieces of the Python-visible building blocks that the
// optimiser also runs directly.
#pragma once

#include "gapfill.h"

namespace gapfill {

// Membership in the `forced` argument: exact ints are read once into a
// bitmap; any other element keeps the set's own lookup.
class Forced {
public:
    Forced(PyObject* set, Py_ssize_t n);
    // From the C++ bound: indices known to be forced.
    Forced(const std::vector<Py_ssize_t>& indices, Py_ssize_t n);
    bool contains(Py_ssize_t i) const;

private:
    PyObject* set_;
    std::vector<char> bits_;
    bool generic_ = false;
};

// costs[i + 1] and chain[i + 1] for i = -1 .. n - 1.
struct DP {
    std::vector<double> costs;
    std::vector<Py_ssize_t> chain;
    double cost(Py_ssize_t i) const { return costs[std::size_t(i + 1)]; }
    Py_ssize_t prev(Py_ssize_t i) const { return chain[std::size_t(i + 1)]; }
};

// The forced points, in the order they are found (n - 1 down to 0).
std::vector<Py_ssize_t> bound_forced(const Snapshot& deltas, const Snapshot& coords, const vy::Num& tol,
                                     vy::Call& c);
// The lookback after `lookback = MAX_LOOKBACK if MAX_LOOKBACK < lookback else lookback`.
vy::Num effective_lookback(PyObject* lookback, Py_ssize_t n);
DP optimize_dp(const Snapshot& deltas, const Snapshot& coords, const Forced& forced, double tolerance,
               const vy::Num& lookback, vy::Call& c);

// k % n as Python computes it for ints.
Py_ssize_t python_mod(Py_ssize_t k, Py_ssize_t n);
// A new set of the given ints.
vy::Ref set_of(const std::vector<Py_ssize_t>& items);
// The body of _gapfill_contour_bound_forced_set, to its set.
std::vector<Py_ssize_t> forced_points(vy::Call& c, PyObject* deltas, PyObject* coords, const vy::Num& tol);
// The body of _rot_list.
vy::Ref rotated(vy::Call& c, PyObject* l, Py_ssize_t by);
// float(tolerance), as the DP's `double` parameter converts it.
double as_double(const vy::Num& v);
// assert forced <= solution, (forced, solution); then the new list
// [deltas[i] if i in solution else None for i in range(n)] (the next line).
vy::Ref keep_chosen(vy::Call& c, int line, PyObject* forced, PyObject* solution, PyObject* deltas, Py_ssize_t n);

}  // namespace gapfill
