// The delta optimiser's entry points: the early returns of one contour,
// then its steps written once over how the building blocks are reached
// (policies.h); and the outline, contour by contour.
#include <cmath>

#include "policies.h"

namespace gapfill {

namespace {

// abs(complex(*d)) <= tolerance for every d, in order.
bool all_within(PyObject* deltas, const vy::Num& tol) {
    vy::Ref it = vy::iter(deltas);
    vy::Interrupts interrupts;
    while (vy::Ref d = vy::next_or_end(it.get())) {
        interrupts.step();
        const Py_complex z = vy::complex_of(d.get());
        const double length = std::hypot(z.real, z.imag);  // abs() of a complex
        if (std::isinf(length) && std::isfinite(z.real) && std::isfinite(z.imag))
            vy::raise(PyExc_OverflowError, "absolute value too large");
        if (!(vy::Num(length) <= tol)) return false;
    }
    return true;
}

vy::Ref none_list(Py_ssize_t n) {
    vy::Ref out = vy::list_of_size(n);
    for (Py_ssize_t i = 0; i < n; ++i) vy::fill(out.get(), i, vy::Ref::borrow(Py_None));
    return out;
}

// Steps from the forced bound on: the rotation that puts a forced point
// last, or the doubled contour searched for the best closing start.
template <class P>
vy::Ref solve(vy::Call& c, const P& p, Py_ssize_t n) {
    // At the statement of line 296, which the caller has entered.
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
    const Py_ssize_t n = vy::length(deltas);
    c.at(284);
    vy::Num tol = vy::Num::from(tolerance);
    if (all_within(deltas, tol)) return none_list(n).release();
    c.at(287);
    if (n == 1) return Py_NewRef(deltas);
    c.at(290);
    vy::Ref d0 = vy::item(deltas, Py_ssize_t(0));
    {
        bool all_equal = true;
        vy::Ref it = vy::iter(deltas);
        while (vy::Ref d = vy::next_or_end(it.get())) {
            if (!vy::equal(d0.get(), d.get())) {
                all_equal = false;
                break;
            }
        }
        if (all_equal) {
            c.at(292);
            vy::Ref out = none_list(n);
            vy::set_item(out.get(), 0, d0.get());
            return out.release();
        }
    }
    // Tuples take the literal path: a rotation would hand them to _rot_list,
    // which rejects them, and that error must be the real one.
    c.at(296);
    if (PyList_CheckExact(deltas) && PyList_CheckExact(coords) && c_bound_forced_set.ours() &&
        c_optimize_dp.ours() && c_rot_list.ours() && c_rot_set.ours()) {
        const vy::Ref ds = vy::tuple_of(deltas), cs = vy::tuple_of(coords);
        if (vy::length(ds.get()) == n && vy::length(cs.get()) == n) return solve(c, Held(ds, cs, tol, n), n).release();
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
    const Py_ssize_t n = vy::length(coords);
    c.at(346);
    vy::Ref ends = with_trailing_points(a.o(2), n);
    c.at(348);
    vy::Ref out = vy::new_list({});
    vy::Ref start = vy::int_object(0);
    vy::Ref one = vy::int_object(1);
    c.at(349);
    vy::Ref it = vy::iter(ends.get());
    while (vy::Ref end = vy::next_or_end(it.get())) {
        c.at(350);
        vy::Ref stop = vy::add(end.get(), one.get());
        vy::Ref fn = vy::global(n_gapfill_contour_optimize);
        vy::Ref ds = vy::slice(deltas, start.get(), stop.get());
        vy::Ref cs = vy::slice(coords, start.get(), stop.get());
        vy::Ref contour = vy::call(fn.get(), {ds.get(), cs.get(), a.o(3)});
        if (vy::debug()) {
            c.at(351);
            const vy::Num length = vy::Num::integer(vy::length(contour.get()));
            vy::assert_that(length == (vy::Num::from(end.get()) - vy::Num::from(start.get())) + 1);
        }
        c.at(352);
        vy::add_in_place(out.get(), contour.get());
        c.at(353);
        start = std::move(stop);
        c.at(349);
    }
    c.at(354);
    return out.release();
}

const vy::Param optimize_params[] = {{"deltas"}, {"coords"}, {"tolerance"}};
const vy::Param delta_optimize_params[] = {{"deltas"}, {"coords"}, {"ends"}, {"tolerance"}};
const char* const optimize_locals[] = {"n", "d0", "forced", "k", "chain", "costs", "solution", "i"};

}  // namespace

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
