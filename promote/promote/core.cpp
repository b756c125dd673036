// The merging core: degree elevation, the merge of a run of segments into one
// cubic, and the dynamic programme that chooses the runs.
#include <climits>

#include "interrupts.h"
#include "promote.h"

namespace promote {

namespace {

vy::Ref tuple_of(const Cubic& c) {
    return vy::new_tuple({object_of(c.p[0]).get(), object_of(c.p[1]).get(), object_of(c.p[2]).get(),
                          object_of(c.p[3]).get()});
}

// Any object's four items, as the points of a cubic.
Cubic cubic_of(PyObject* o) {
    Cubic c;
    for (int k = 0; k < 4; ++k) c.p[k] = z_of(vy::item(o, Py_ssize_t(k)).get());
    return c;
}

const vy::Internal merge_curves_fn{"merge_curves"};

// merge_curves(curves, pos, n).  A degenerate merge (a zero-length handle at
// a join) raises ZeroDivisionError in its arithmetic, which the only caller
// catches: here it is the false result, with nothing raised.
bool merge_curves(const std::vector<Cubic>& curves, int pos, int n, Cubic& out, std::vector<double>& ts) {
    ts.clear();
    double t = 1.0, total = 1.0;
    for (int k = 1; k < n; ++k) {
        const Cubic& c = curves[std::size_t(pos + k - 1)];
        const Cubic& ck = curves[std::size_t(pos + k)];
        if (vy::debug() && !(ck.p[0] == c.p[3])) {
            vy::Frame f{merge_curves_fn, 129};
            vy::assert_that(false);
        }
        const double den = modulus(c.p[3] - c.p[2]);
        if (den == 0.0) return false;
        const double ratio = modulus(ck.p[1] - ck.p[0]) / den;
        t = t * ratio;
        total = total + t;
        ts.push_back(total);
    }
    // ts held 1, then the running totals; the last total goes.
    if (n > 1) {
        ts.pop_back();
        ts.insert(ts.begin(), 1.0);
        for (double& x : ts) x = x / total;
    }
    const Z p0 = curves[std::size_t(pos)].p[0];
    Z p1 = curves[std::size_t(pos)].p[1];
    Z p2 = curves[std::size_t(pos + n - 1)].p[2];
    const Z p3 = curves[std::size_t(pos + n - 1)].p[3];
    const double d1 = ts.empty() ? 1.0 : ts.front();
    if (d1 == 0.0) return false;
    const Z h1 = p1 - p0;
    p1 = p0 + Z{h1.re / d1, h1.im / d1};
    const double d2 = ts.empty() ? 1.0 : 1 - ts.back();
    if (d2 == 0.0) return false;
    const Z h2 = p2 - p3;
    p2 = p3 + Z{h2.re / d2, h2.im / d2};
    out = Cubic{{p0, p1, p2, p3}};
    return true;
}

// A Solution as the programme compares them: as tuples, field by field.
struct Solution {
    vy::Num num_points;
    double error;
    int start_index;
    bool is_cubic;
};

bool operator<(const Solution& a, const Solution& b) {
    if (!(a.num_points == b.num_points)) return a.num_points < b.num_points;
    if (!(a.error == b.error)) return a.error < b.error;
    if (a.start_index != b.start_index) return a.start_index < b.start_index;
    return a.is_cubic < b.is_cubic;
}

// A field read back as a C int, as a typed local would take it.
int as_int(const vy::Num& n) {
    if (n.is_int() && n.i() >= INT_MIN && n.i() <= INT_MAX) return int(n.i());
    return vy::to_int(n.object().get());
}

Cubic elevated_quadratic(PyObject* a, PyObject* b, PyObject* c) {
    return c_elevate_quadratic.call(
        [&](vy::Call&) {
            const Z p0 = z_of(a), p1 = z_of(b), p2 = z_of(c);
            return elevate(p0, p1, p2);
        },
        [&](PyObject* fn) { return cubic_of(vy::call(fn, {a, b, c}).get()); });
}

// The pieces of splitCubicAtTC(*curve, *ts), as the module-level name gives
// them.
vy::Ref split_pieces(const Cubic& curve, const std::vector<double>& ts) {
    vy::Ref fn = vy::global(n_splitCubicAtTC);
    std::vector<vy::Ref> held;
    held.reserve(4 + ts.size());
    for (const Z& z : curve.p) held.push_back(object_of(z));
    for (double t : ts) held.push_back(vy::float_object(t));
    std::vector<PyObject*> args;
    args.reserve(held.size());
    for (const vy::Ref& r : held) args.push_back(r.get());
    vy::Ref gen = vy::own(PyObject_Vectorcall(fn.get(), args.data(), args.size(), nullptr));
    return vy::iter(gen.get());
}

const Cubic& original(const std::vector<Cubic>& elevated, std::size_t k) {
    if (k >= elevated.size()) vy::raise(PyExc_IndexError, "list index out of range");
    return elevated[k];
}

// The largest knot error of the cubic over segments j.., or a value above
// the tolerance when a knot or an interior point leaves it.
double cubic_error(const std::vector<Cubic>& elevated, std::size_t j, const Cubic& curve,
                   const std::vector<double>& ts, double tolerance, vy::Call& c) {
    c.at(265);
    double error = 0.0;
    std::vector<vy::Ref> reconstructed;
    vy::Ref pieces = split_pieces(curve, ts);
    for (std::size_t k = 0;; ++k) {
        vy::Ref piece = vy::next_or_end(pieces.get());
        if (!piece) break;
        c.at(268);
        const Cubic& orig = original(elevated, j + k);
        c.at(269);
        const double err = modulus(z_of(vy::item(piece.get(), Py_ssize_t(3)).get()) - orig.p[3]);
        error = err > error ? err : error;
        if (error > tolerance) break;
        reconstructed.push_back(std::move(piece));
    }
    if (error > tolerance) return error;
    c.at(278);
    for (std::size_t k = 0; k < reconstructed.size(); ++k) {
        const Cubic& orig = elevated[j + k];
        const Cubic p = cubic_of(reconstructed[k].get());
        if (!vy::bezier::cubic_within_tolerance(p.p[0] - orig.p[0], p.p[1] - orig.p[1], p.p[2] - orig.p[2],
                                                p.p[3] - orig.p[3], tolerance))
            return tolerance + 1;
    }
    return error;
}

}  // namespace

Cubic elevate(Z p0, Z p1, Z p2) {
    const Z p1_2_3 = p1 * 0.6666666666666666;
    return Cubic{{p0, p0 * 0.3333333333333333 + p1_2_3, p2 * 0.3333333333333333 + p1_2_3, p2}};
}

namespace {

// The spline's quadratic segments, elevated to cubics.
std::vector<Cubic> elevated_segments(vy::Call& c, PyObject* q) {
    c.at(220);
    const Py_ssize_t len = vy::length(q);
    if (vy::debug()) {
        vy::assert_that(len >= 3, [] { return vy::str_object("quadratic spline requires at least 3 points"); });
    }
    c.at(222);
    vy::Snapshot qs(q);
    std::vector<Cubic> elevated;
    for (Py_ssize_t i = 0; i < qs.size() - 2; i += 2)
        elevated.push_back(elevated_quadratic(qs[i], qs[i + 1], qs[i + 2]));
    return elevated;
}

// Which joints are corners no merged curve may smooth over.
std::vector<char> forced_joints(vy::Call& c, const std::vector<Cubic>& elevated, double tolerance) {
    c.at(227);
    const std::size_t m = elevated.size();
    std::vector<char> forced(m + 1, 0);
    for (std::size_t i = 1; i < m; ++i) {
        const Z p0 = elevated[i - 1].p[2], p1 = elevated[i].p[0], p2 = elevated[i].p[1];
        forced[i] = (modulus(p2 - p1) + modulus(p1 - p0)) > (modulus(p2 - p0) + tolerance);
    }
    return forced;
}

// The curves of the best solution, walked back from its end.
vy::Ref solution_curves(vy::Call& c, PyObject* q, const std::vector<Cubic>& elevated,
                        const std::vector<Solution>& sols) {
    const int m = int(elevated.size());
    c.at(298);
    std::vector<std::pair<int, bool>> splits;
    for (int i = m; i != 0; i -= sols[std::size_t(i)].start_index) splits.emplace_back(i, sols[std::size_t(i)].is_cubic);

    c.at(305);
    vy::ListBuilder curves;
    Cubic curve;
    std::vector<double> ts;
    int j = 0;
    for (auto it = splits.rbegin(); it != splits.rend(); ++it) {
        const auto [i, is_cubic] = *it;
        if (is_cubic) {
            c.at(308);
            merge_curves(elevated, j, i - j, curve, ts);
            curves.append(tuple_of(curve));
        } else {
            c.at(311);
            for (int k = j; k < i; ++k) {
                vy::Ref from = vy::int_object(2 * k), to = vy::int_object(2 * k + 3);
                curves.append(vy::slice(q, from.get(), to.get()));
            }
        }
        j = i;
    }
    c.at(315);
    return curves.list();
}

}  // namespace

template <class Costs>
vy::Ref spline_to_curves(vy::Call& c, PyObject* q, const Costs& costs, double tolerance, bool all_cubic) {
    const std::vector<Cubic> elevated = elevated_segments(c, q);
    const int m = int(elevated.size());
    const std::vector<char> forced = forced_joints(c, elevated, tolerance);

    c.at(236);
    std::vector<Solution> sols;
    sols.reserve(std::size_t(m) + 1);
    sols.push_back(Solution{vy::Num(0), 0.0, 0, false});
    const Solution impossible{vy::Num::integer(3 * std::int64_t(m) + 1), 0.0, 1, false};
    int start = 0;
    std::vector<double> ts;
    Cubic curve;
    vy::Interrupts interrupts;
    for (int i = 1; i <= m; ++i) {
        Solution best_sol = impossible;
        for (int j = start; j < i; ++j) {
            interrupts.step(i - j);
            const int j_sol_count = as_int(sols[std::size_t(j)].num_points);
            const double j_sol_error = sols[std::size_t(j)].error;
            if (!all_cubic) {
                c.at(254);
                const vy::Num last = costs.at(2 * Py_ssize_t(i) - 1);
                const vy::Num first = costs.at(2 * Py_ssize_t(j));
                const vy::Num this_count = last - first + 1;
                c.at(255);
                Solution candidate{vy::Num(j_sol_count) + this_count, j_sol_error, i - j, false};
                if (candidate < best_sol) best_sol = std::move(candidate);
                if (this_count <= 3) continue;
            }
            c.at(262);
            if (!merge_curves(elevated, j, i - j, curve, ts)) continue;
            const double error = cubic_error(elevated, std::size_t(j), curve, ts, tolerance, c);
            if (error > tolerance) continue;
            c.at(289);
            Solution candidate{vy::Num::integer(std::int64_t(j_sol_count) + 3),
                               error > j_sol_error ? error : j_sol_error, i - j, true};
            if (candidate < best_sol) best_sol = std::move(candidate);
            if (std::int64_t(j_sol_count) + 3 == 3) break;
        }
        sols.push_back(std::move(best_sol));
        if (forced[std::size_t(i)]) start = i;
    }
    return solution_curves(c, q, elevated, sols);
}

template vy::Ref spline_to_curves(vy::Call&, PyObject*, const ObjectCosts&, double, bool);
template vy::Ref spline_to_curves(vy::Call&, PyObject*, const CountedCosts&, double, bool);

}  // namespace promote
