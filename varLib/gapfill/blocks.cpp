// The optimiser's Python-visible building blocks: the forced bound as a
// set, the dynamic programme's two dicts, and the rotations of a list and
// of a set; each with its function record.
#include "dp.h"

namespace gapfill {

namespace {

PyObject* bound_forced_set(vy::Call& c, vy::Args& a) {
    return set_of(forced_points(c, a.o(0), a.o(1), vy::Num::from(a.o(2)))).release();
}

// (chain, costs) as the two dicts the Python function returns.
vy::Ref dp_result(const DP& dp) {
    vy::Ref chain = vy::new_dict(), costs = vy::new_dict();
    vy::Ref minus_one = vy::int_object(-1), zero = vy::int_object(0);
    vy::dict_set(costs.get(), minus_one.get(), zero.get());
    vy::dict_set(chain.get(), minus_one.get(), Py_None);
    for (std::size_t k = 1; k < dp.costs.size(); ++k) {
        vy::Ref key = vy::int_object(Py_ssize_t(k) - 1);
        vy::dict_set(costs.get(), key.get(), vy::float_object(dp.costs[k]).get());
        vy::dict_set(chain.get(), key.get(), vy::int_object(dp.chain[k]).get());
    }
    return vy::new_tuple({chain.get(), costs.get()});
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

PyObject* rot_list(vy::Call& c, vy::Args& a) { return rotated(c, a.o(0), a.i(1)).release(); }

PyObject* rot_set(vy::Call& c, vy::Args& a) {
    PyObject* s = a.o(0);
    c.at(253);
    const Py_ssize_t n = a.i(2);
    const Py_ssize_t k = python_mod(a.i(1), n);
    c.at(254);
    if (k == 0) return Py_NewRef(s);
    c.at(256);
    vy::Ref out = vy::new_set();
    const vy::Num kk = vy::Num::integer(k), nn = vy::Num::integer(n);
    vy::Ref it = vy::iter(s);
    while (vy::Ref v = vy::next_or_end(it.get()))
        vy::set_add(out.get(), vy::num::mod(vy::Num::steal(std::move(v)) + kk, nn).object().get());
    return out.release();
}

const vy::Param forced_params[] = {{"deltas"}, {"coords"}, {"tolerance"}};
const vy::Param dp_params[] = {
    {"deltas"}, {"coords"}, {"forced", vy::Kind::Set, true}, {"tolerance", vy::Kind::Double}, {"lookback"}};
const vy::Param rot_list_params[] = {{"l", vy::Kind::List}, {"k", vy::Kind::Int}};
const vy::Param rot_set_params[] = {{"s", vy::Kind::Set}, {"k", vy::Kind::Int}, {"n", vy::Kind::Int}};
const char* const forced_locals[] = {"n", "forced", "i", "j"};
const char* const dp_locals[] = {"n", "costs", "chain", "i", "j", "best_cost", "cost"};

}  // namespace

std::vector<Py_ssize_t> forced_points(vy::Call& c, PyObject* deltas, PyObject* coords, const vy::Num& tol) {
    if (vy::debug()) {
        c.at(158);
        const Py_ssize_t nd = vy::length(deltas), nc = vy::length(coords);
        vy::assert_that(nd == nc);
    }
    c.at(160);
    const Snapshot ds(deltas), cs(coords);
    return bound_forced(ds, cs, tol, c);
}

// l[-k:] + l[:-k], in one pass; a tuple gives a tuple, anything else a list.
vy::Ref rotated(vy::Call& c, PyObject* l, Py_ssize_t by) {
    c.at(246);
    const Snapshot items(l);
    const Py_ssize_t n = items.size();
    const Py_ssize_t k = python_mod(by, n);
    c.at(247);
    if (k == 0) return vy::Ref::borrow(l);
    c.at(249);
    std::vector<PyObject*> out;
    out.reserve(std::size_t(n));
    for (Py_ssize_t i = 0; i < n; ++i) out.push_back(items[i < k ? n - k + i : i - k]);
    return PyTuple_CheckExact(l) ? vy::new_tuple(out) : vy::new_list(out);
}

double as_double(const vy::Num& v) {
    double d;
    if (v.exact_double(d)) return d;
    return vy::to_double(v.object().get());
}

vy::Ref keep_chosen(vy::Call& c, int line, PyObject* forced, PyObject* solution, PyObject* deltas, Py_ssize_t n) {
    if (vy::debug()) {
        c.at(line);
        vy::assert_that(vy::compare(forced, solution, Py_LE), [&] { return vy::new_tuple({forced, solution}); });
    }
    c.at(line + 1);
    vy::Ref out = vy::list_of_size(n);
    for (Py_ssize_t j = 0; j < n; ++j) {
        vy::Ref key = vy::int_object(j);
        vy::fill(out.get(), j, vy::contains(solution, key.get()) ? vy::item(deltas, key.get()) : vy::Ref::borrow(Py_None));
    }
    return out;
}

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

}  // namespace gapfill
