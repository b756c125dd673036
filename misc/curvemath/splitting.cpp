// Splitting segments where they cross a horizontal or vertical line, and at
// parameter values.
#include <vector>

#include "curvemath.h"
#include "generator.h"

namespace curvemath {

using vy::Complex;
using vy::Num;
using vy::Plain;
using vy::Point;
using vy::Ref;


// Calls of module-level functions: the module's own body while the name is
// bound to it, else whatever the name holds.

// a, b, c = calcQuadraticParameters(pt1, pt2, pt3)
std::array<Coefficient, 3> quadratic_parameters(PyObject* pt1, PyObject* pt2, PyObject* pt3) {
    return c_calcQuadraticParameters.call(
        [&](vy::Call& callee) -> std::array<Coefficient, 3> {
            auto [a, b, c] = calc_quadratic_parameters<Num>(callee, pt1, pt2, pt3);
            return {Coefficient(std::move(a)), Coefficient(std::move(b)), Coefficient(std::move(c))};
        },
        [&](PyObject* fn) -> std::array<Coefficient, 3> {
            Ref abc = vy::call(fn, {pt1, pt2, pt3});
            auto [a, b, c] = vy::unpack<3>(abc.get());
            return {Coefficient(std::move(a)), Coefficient(std::move(b)), Coefficient(std::move(c))};
        });
}

// a, b, c, d = calcCubicParameters(pt1, pt2, pt3, pt4)
std::array<Coefficient, 4> cubic_parameters(PyObject* pt1, PyObject* pt2, PyObject* pt3, PyObject* pt4) {
    return c_calcCubicParameters.call(
        [&](vy::Call& callee) -> std::array<Coefficient, 4> {
            auto [a, b, c, d] = calc_cubic_parameters<Num>(callee, pt1, pt2, pt3, pt4);
            return {Coefficient(std::move(a)), Coefficient(std::move(b)), Coefficient(std::move(c)),
                    Coefficient(std::move(d))};
        },
        [&](PyObject* fn) -> std::array<Coefficient, 4> {
            Ref abcd = vy::call(fn, {pt1, pt2, pt3, pt4});
            auto [a, b, c, d] = vy::unpack<4>(abcd.get());
            return {Coefficient(std::move(a)), Coefficient(std::move(b)), Coefficient(std::move(c)),
                    Coefficient(std::move(d))};
        });
}

namespace {

// The module's own body gives a new tuple of the points, as good as the
// tuple that `pt1, pt2, pt3 = ...` and `(pt1, pt2, pt3)` would rebuild.
Ref quadratic_points(const Pair& a, const Pair& b, const Pair& c) {
    return c_calcQuadraticPoints.call(
        [&](vy::Call& callee) { return tuple_of(calc_quadratic_points(callee, a, b, c)); },
        [&](PyObject* fn) {
            Ref ta = vy::tuple(a[0], a[1]), tb = vy::tuple(b[0], b[1]), tc = vy::tuple(c[0], c[1]);
            Ref points = vy::call(fn, {ta.get(), tb.get(), tc.get()});
            auto [pt1, pt2, pt3] = vy::unpack<3>(points.get());
            return vy::new_tuple({pt1.get(), pt2.get(), pt3.get()});
        });
}

Ref cubic_points(const Pair& a, const Pair& b, const Pair& c, const Pair& d) {
    return c_calcCubicPoints.call(
        [&](vy::Call& callee) { return tuple_of(calc_cubic_points(callee, a, b, c, d)); },
        [&](PyObject* fn) {
            Ref ta = vy::tuple(a[0], a[1]), tb = vy::tuple(b[0], b[1]), tc = vy::tuple(c[0], c[1]),
                td = vy::tuple(d[0], d[1]);
            Ref points = vy::call(fn, {ta.get(), tb.get(), tc.get(), td.get()});
            auto [pt1, pt2, pt3, pt4] = vy::unpack<4>(points.get());
            return vy::new_tuple({pt1.get(), pt2.get(), pt3.get(), pt4.get()});
        });
}

// [0.0, *ts, 1.0]
std::vector<Num> with_ends(PyObject* ts) {
    vy::Snapshot given(ts);
    std::vector<Num> all;
    all.reserve(size_t(given.size()) + 2);
    all.emplace_back(0.0);
    for (Py_ssize_t i = 0; i < given.size(); ++i) all.push_back(Num::from(given[i]));
    all.emplace_back(1.0);
    return all;
}

// The calls of the parameter splitters on each run: the general run looks
// each name up and calls what it holds; the machine run, taken while every
// name holds the module's own function, runs their bodies on machine values.
struct General {
    using V = Num;
    static const Pair& xy(Coefficient& c) { return c.xy(); }
    static std::vector<Num> ts(PyObject* given) { return with_ends(given); }
    static Ref points(const Pair& a, const Pair& b, const Pair& c) { return quadratic_points(a, b, c); }
    static Ref points(const Pair& a, const Pair& b, const Pair& c, const Pair& d) { return cubic_points(a, b, c, d); }
    using Segments = vy::ListBuilder;
    static Segments segments() { return {}; }
    static void add(Segments& s, Ref piece) { s.append(std::move(piece)); }
    static Ref finish(Segments& s) { return s.list(); }
};

struct Machine {
    using V = Plain;
    static const PairOf<Plain>& xy(const PairOf<Plain>& c) { return c; }
    // `given`: a tuple of plain numbers
    static std::vector<Plain> ts(PyObject* given) {
        std::vector<Plain> all;
        all.reserve(size_t(PyTuple_GET_SIZE(given)) + 2);
        all.emplace_back(0.0);
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(given); ++i) all.push_back(Plain::of(PyTuple_GET_ITEM(given, i)));
        all.emplace_back(1.0);
        return all;
    }
    static Ref points(const PairOf<Plain>& a, const PairOf<Plain>& b, const PairOf<Plain>& c) {
        vy::Call callee{nullptr, &calcQuadraticPoints_def, 0};
        return tuple_of(calc_quadratic_points(callee, a, b, c));
    }
    static Ref points(const PairOf<Plain>& a, const PairOf<Plain>& b, const PairOf<Plain>& c,
                      const PairOf<Plain>& d) {
        vy::Call callee{nullptr, &calcCubicPoints_def, 0};
        return tuple_of(calc_cubic_points(callee, a, b, c, d));
    }

    using Segments = vy::ListBuilder;
    static Segments segments() { return {}; }
    static void add(Segments& s, Ref piece) { s.append(std::move(piece)); }
    static Ref finish(Segments& s) { return s.list(); }

    static bool quadratic_ok(const vy::Args& args) noexcept {
        return vy::plain_arguments(args, 3) && plain_ts(args.varargs) && c_calcQuadraticParameters.ours_now() &&
               c_splitQuadraticAtT_.ours_now() && c_calcQuadraticPoints.ours_now();
    }
    static bool cubic_ok(const vy::Args& args) noexcept {
        return vy::plain_arguments(args, 4) && plain_ts(args.varargs) && c_calcCubicParameters.ours_now() &&
               c_splitCubicAtT_.ours_now() && c_calcCubicPoints.ours_now();
    }
    static bool plain_ts(PyObject* ts) noexcept {
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(ts); ++i)
            if (!vy::is_plain_number(PyTuple_GET_ITEM(ts, i))) return false;
        return true;
    }
};

// The machine run for callers that keep the pieces as values (the
// subdivision of curve-curve intersections): segments of plain points.
struct Values : Machine {
    static std::vector<Plain> ts(const Plain& t) { return {Plain(0.0), t, Plain(1.0)}; }
    static PlainSegment points(const PairOf<Plain>& a, const PairOf<Plain>& b, const PairOf<Plain>& c) {
        vy::Call callee{nullptr, &calcQuadraticPoints_def, 0};
        auto p = calc_quadratic_points(callee, a, b, c);
        return {3, {p[0], p[1], p[2], p[2]}};
    }
    static PlainSegment points(const PairOf<Plain>& a, const PairOf<Plain>& b, const PairOf<Plain>& c,
                               const PairOf<Plain>& d) {
        vy::Call callee{nullptr, &calcCubicPoints_def, 0};
        auto p = calc_cubic_points(callee, a, b, c, d);
        return {4, {p[0], p[1], p[2], p[3]}};
    }
    using Segments = std::vector<PlainSegment>;
    static Segments segments() { return {}; }
    static void add(Segments& s, PlainSegment piece) { s.push_back(piece); }
    static Segments finish(Segments& s) { return std::move(s); }
};

template <class Run, class Abc, class Given>
auto split_quadratic_at_t(vy::Call& c, Run& run, Abc& abc, const Given& given)
    -> decltype(Run::finish(std::declval<typename Run::Segments&>()));
template <class Run, class Abcd, class Given>
auto split_cubic_at_t(vy::Call& c, Run& run, Abcd& abcd, const Given& given)
    -> decltype(Run::finish(std::declval<typename Run::Segments&>()));


// _splitQuadraticAtT(a, b, c, *ts) and _splitCubicAtT(a, b, c, d, *ts);
// `ts` is any iterable.
Ref split_quadratic_at(std::array<Coefficient, 3>& abc, PyObject* ts) {
    Ref other;
    if (c_splitQuadraticAtT_.lookup(other) && (PyTuple_CheckExact(ts) || PyList_CheckExact(ts)))
        return vy::called(splitQuadraticAtT__def, [&](vy::Call& callee) {
            General run;
            return split_quadratic_at_t(callee, run, abc, ts);
        });
    if (!other) other = vy::global(c_splitQuadraticAtT_.name());
    return vy::call_star(other.get(), {abc[0].object(), abc[1].object(), abc[2].object()}, ts);
}

Ref split_cubic_at(std::array<Coefficient, 4>& abcd, PyObject* ts) {
    Ref other;
    if (c_splitCubicAtT_.lookup(other) && (PyTuple_CheckExact(ts) || PyList_CheckExact(ts)))
        return vy::called(splitCubicAtT__def, [&](vy::Call& callee) {
            General run;
            return split_cubic_at_t(callee, run, abcd, ts);
        });
    if (!other) other = vy::global(c_splitCubicAtT_.name());
    return vy::call_star(other.get(), {abcd[0].object(), abcd[1].object(), abcd[2].object(), abcd[3].object()}, ts);
}

// A cubic segment of the complex family: four new complex objects.
Ref segment_c(const Cubic& p) {
    Ref p1 = vy::complex_object(p[0]), p2 = vy::complex_object(p[1]), p3 = vy::complex_object(p[2]),
        p4 = vy::complex_object(p[3]);
    return vy::new_tuple({p1.get(), p2.get(), p3.get(), p4.get()});
}


// sorted(t for t in solutions if 0 <= t < 1)
Ref in_unit_interval(PyObject* solutions) {
    Ref it = vy::iter(solutions);
    vy::ListBuilder kept;
    while (Ref item = vy::next_or_end(it.get())) {
        Num t = Num::from(item.get());
        if (0 <= t && t < 1) kept.append(std::move(item));
    }
    Ref list = kept.list();
    vy::sort(list.get());
    return list;
}

PyObject* splitLine(vy::Call& c, vy::Args& args) {
    Num pt1 = Num::from(args.o(0)), pt2 = Num::from(args.o(1)), where = Num::from(args.o(2));
    PyObject* isHorizontal = args.o(3);
    c.at(485);
    auto [pt1x, pt1y] = Point(args.o(0)).unpack();
    c.at(486);
    auto [pt2x, pt2y] = Point(args.o(1)).unpack();
    c.at(488);
    Num ax = pt2x - pt1x;
    c.at(489);
    Num ay = pt2y - pt1y;
    Num bx = pt1x, by = pt1y;
    c.at(494);
    Num a = Num::steal(vy::item(vy::tuple(ax, ay).get(), isHorizontal));
    c.at(496);
    if (a == 0) {
        c.at(497);
        return vy::list(point(pt1, pt2)).release();
    }
    c.at(498);
    Num t = (where - Num::steal(vy::item(vy::tuple(bx, by).get(), isHorizontal))) / a;
    c.at(499);
    if (0 <= t && t < 1) {
        c.at(500);
        Num midPt = point(ax * t + bx, ay * t + by);
        c.at(501);
        return vy::list(point(pt1, midPt), point(midPt, pt2)).release();
    }
    c.at(503);
    return vy::list(point(pt1, pt2)).release();
}

PyObject* splitQuadratic(vy::Call& c, vy::Args& args) {
    PyObject *pt1 = args.o(0), *pt2 = args.o(1), *pt3 = args.o(2);
    Num where = Num::from(args.o(3));
    PyObject* isHorizontal = args.o(4);
    c.at(541);
    std::array<Coefficient, 3> abc = quadratic_parameters(pt1, pt2, pt3);
    c.at(542);
    Ref solver = vy::global(n_solveQuadratic);
    c.at(543);
    Ref a_ = vy::item(abc[0].object(), isHorizontal), b_ = vy::item(abc[1].object(), isHorizontal);
    Num c_ = Num::steal(vy::item(abc[2].object(), isHorizontal)) - where;
    Ref found = vy::call(solver.get(), {a_.get(), b_.get(), c_.object().get()});
    c.at(545);
    Ref solutions = in_unit_interval(found.get());
    c.at(546);
    if (PyList_GET_SIZE(solutions.get()) == 0) {
        c.at(547);
        return vy::new_list({vy::new_tuple({pt1, pt2, pt3}).get()}).release();
    }
    c.at(548);
    return split_quadratic_at(abc, solutions.get()).release();
}

PyObject* splitCubic(vy::Call& c, vy::Args& args) {
    PyObject *pt1 = args.o(0), *pt2 = args.o(1), *pt3 = args.o(2), *pt4 = args.o(3);
    Num where = Num::from(args.o(4));
    PyObject* isHorizontal = args.o(5);
    c.at(578);
    std::array<Coefficient, 4> abcd = cubic_parameters(pt1, pt2, pt3, pt4);
    c.at(579);
    Ref solver = vy::global(n_solveCubic);
    c.at(580);
    Ref a_ = vy::item(abcd[0].object(), isHorizontal), b_ = vy::item(abcd[1].object(), isHorizontal),
        c_ = vy::item(abcd[2].object(), isHorizontal);
    Num d_ = Num::steal(vy::item(abcd[3].object(), isHorizontal)) - where;
    Ref found = vy::call(solver.get(), {a_.get(), b_.get(), c_.get(), d_.object().get()});
    c.at(582);
    Ref solutions = in_unit_interval(found.get());
    c.at(583);
    if (PyList_GET_SIZE(solutions.get()) == 0) {
        c.at(584);
        return vy::new_list({vy::new_tuple({pt1, pt2, pt3, pt4}).get()}).release();
    }
    c.at(585);
    return split_cubic_at(abcd, solutions.get()).release();
}

PyObject* splitQuadraticAtT(vy::Call& c, vy::Args& args) {
    if (Machine::quadratic_ok(args)) {
        try {
            vy::Call callee{nullptr, &calcQuadraticParameters_def, 0};
            c.at(608);
            auto abc = calc_quadratic_parameters<Plain>(callee, args.o(0), args.o(1), args.o(2));
            c.at(609);
            vy::Call split{nullptr, &splitQuadraticAtT__def, 0};
            Machine run;
            return split_quadratic_at_t(split, run, abc, args.varargs).release();
        } catch (vy::Bail) {
        }
    }
    c.at(608);
    std::array<Coefficient, 3> abc = quadratic_parameters(args.o(0), args.o(1), args.o(2));
    c.at(609);
    return split_quadratic_at(abc, args.varargs).release();
}

// split[0] = (pt1, *split[0][1:]); split[-1] = (*split[-1][:-1], pt4), on a
// list of new 4-tuples that only this call holds.
void replace_ends(PyObject* split, PyObject* pt1, PyObject* pt4) {
    const Py_ssize_t n = PyList_GET_SIZE(split);
    for (Py_ssize_t k : {Py_ssize_t(0), n - 1}) {
        PyObject* old = PyList_GET_ITEM(split, k);
        PyObject* items[4];
        for (Py_ssize_t i = 0; i < 4; ++i) items[i] = PyTuple_GET_ITEM(old, i);
        if (k == 0) items[0] = pt1;
        if (k == n - 1) items[3] = pt4;
        Ref replaced = vy::new_tuple({items[0], items[1], items[2], items[3]});
        PyList_SET_ITEM(split, k, replaced.release());
        Py_DECREF(old);
        if (n == 1) break;
    }
}

PyObject* splitCubicAtT(vy::Call& c, vy::Args& args) {
    PyObject *pt1 = args.o(0), *pt4 = args.o(3);
    if (Machine::cubic_ok(args)) {
        try {
            vy::Call callee{nullptr, &calcCubicParameters_def, 0};
            c.at(632);
            auto abcd = calc_cubic_parameters<Plain>(callee, pt1, args.o(1), args.o(2), pt4);
            c.at(633);
            vy::Call split_call{nullptr, &splitCubicAtT__def, 0};
            Machine run;
            Ref split = split_cubic_at_t(split_call, run, abcd, args.varargs);
            c.at(638);
            replace_ends(split.get(), pt1, pt4);
            return split.release();
        } catch (vy::Bail) {
        }
    }
    c.at(632);
    std::array<Coefficient, 4> abcd = cubic_parameters(pt1, args.o(1), args.o(2), pt4);
    c.at(633);
    Ref split = split_cubic_at(abcd, args.varargs);
    // The caller's own end points replace the recomputed ones.
    c.at(638);
    {
        Ref first = vy::item(split.get(), Py_ssize_t(0));
        Ref start = vy::int_object(1);
        Ref rest = vy::slice(first.get(), start.get(), Py_None);
        vy::set_item(split.get(), 0, vy::star_tuple({pt1}, rest.get()).get());
    }
    c.at(639);
    {
        Ref last = vy::item(split.get(), Py_ssize_t(-1));
        Ref stop = vy::int_object(-1);
        Ref rest = vy::slice(last.get(), Py_None, stop.get());
        vy::set_item(split.get(), -1, vy::star_tuple({}, rest.get(), {pt4}).get());
    }
    return split.release();
}

vy::Gen splitCubicAtTC(vy::Args args) {
    vy::GenPromise& g = co_await vy::this_gen;
    g.at(663);
    auto [a, b, c, d] = calcCubicParametersC(args.z(0), args.z(1), args.z(2), args.z(3));
    g.at(664);
    {
        Ref fn, inner;
        if (c_splitCubicAtTC_.lookup(fn)) {
            vy::Args bound;
            bound.v[0].z = a.py(), bound.v[1].z = b.py(), bound.v[2].z = c.py(), bound.v[3].z = d.py();
            bound.varargs = args.varargs;
            inner = vy::make_generator(splitCubicAtTC__def, bound);
        } else {
            Ref za = vy::complex_object(a), zb = vy::complex_object(b), zc = vy::complex_object(c),
                zd = vy::complex_object(d);
            inner = vy::call_star(fn.get(), {za.get(), zb.get(), zc.get(), zd.get()}, args.varargs);
        }
        co_await vy::yield_from(inner.get());
    }
    co_return Ref::borrow(Py_None);
}

PyObject* splitCubicIntoTwoAtTC(vy::Call& c, vy::Args& args) {
    Complex pt1 = args.z(0), pt2 = args.z(1), pt3 = args.z(2), pt4 = args.z(3);
    const double t = args.d(4);
    const double t2 = t * t;
    const double _1_t = 1 - t;
    const double _1_t_2 = _1_t * _1_t;
    const double _2_t_1_t = 2 * t * _1_t;
    Complex pointAtT = _1_t_2 * _1_t * pt1 + 3.0 * (_1_t_2 * t * pt2 + _1_t * t2 * pt3) + t2 * t * pt4;
    Complex off1 = _1_t_2 * pt1 + _2_t_1_t * pt2 + t2 * pt3;
    Complex off2 = _1_t_2 * pt2 + _2_t_1_t * pt3 + t2 * pt4;
    pt2 = pt1 + (pt2 - pt1) * t;
    pt3 = pt4 + (pt3 - pt4) * _1_t;
    c.at(704);
    return vy::new_tuple({segment_c({pt1, pt2, off1, pointAtT}).get(), segment_c({pointAtT, off2, pt3, pt4}).get()})
        .release();
}

template <class Run, class Abc, class Given>
auto split_quadratic_at_t(vy::Call& c, Run& run, Abc& abc, const Given& given)
    -> decltype(Run::finish(std::declval<typename Run::Segments&>())) {
    using V = typename Run::V;
    c.at(708);
    std::vector<V> ts = run.ts(given);
    auto segments = run.segments();
    c.at(712);
    const auto& [ax, ay] = run.xy(abc[0]);
    c.at(713);
    const auto& [bx, by] = run.xy(abc[1]);
    c.at(714);
    const auto& [cx, cy] = run.xy(abc[2]);
    for (size_t i = 0; i + 1 < ts.size(); ++i) {
        const V& t1 = ts[i];
        const V& t2 = ts[i + 1];
        c.at(718);
        V delta = t2 - t1;
        c.at(720);
        V delta_2 = delta * delta;
        c.at(721);
        V a1x = ax * delta_2;
        c.at(722);
        V a1y = ay * delta_2;
        c.at(723);
        V b1x = (2 * ax * t1 + bx) * delta;
        c.at(724);
        V b1y = (2 * ay * t1 + by) * delta;
        c.at(725);
        V t1_2 = t1 * t1;
        c.at(726);
        V c1x = ax * t1_2 + bx * t1 + cx;
        c.at(727);
        V c1y = ay * t1_2 + by * t1 + cy;
        c.at(729);
        run.add(segments, run.points({a1x, a1y}, {b1x, b1y}, {c1x, c1y}));
    }
    return run.finish(segments);
}

template <class Run, class Abcd, class Given>
auto split_cubic_at_t(vy::Call& c, Run& run, Abcd& abcd, const Given& given)
    -> decltype(Run::finish(std::declval<typename Run::Segments&>())) {
    using V = typename Run::V;
    c.at(735);
    std::vector<V> ts = run.ts(given);
    auto segments = run.segments();
    c.at(739);
    const auto& [ax, ay] = run.xy(abcd[0]);
    c.at(740);
    const auto& [bx, by] = run.xy(abcd[1]);
    c.at(741);
    const auto& [cx, cy] = run.xy(abcd[2]);
    c.at(742);
    const auto& [dx, dy] = run.xy(abcd[3]);
    for (size_t i = 0; i + 1 < ts.size(); ++i) {
        const V& t1 = ts[i];
        const V& t2 = ts[i + 1];
        c.at(746);
        V delta = t2 - t1;
        c.at(748);
        V delta_2 = delta * delta;
        c.at(749);
        V delta_3 = delta * delta_2;
        c.at(750);
        V t1_2 = t1 * t1;
        c.at(751);
        V t1_3 = t1 * t1_2;
        c.at(754);
        V a1x = ax * delta_3;
        c.at(755);
        V a1y = ay * delta_3;
        c.at(756);
        V b1x = (3 * ax * t1 + bx) * delta_2;
        c.at(757);
        V b1y = (3 * ay * t1 + by) * delta_2;
        c.at(758);
        V c1x = (2 * bx * t1 + cx + 3 * ax * t1_2) * delta;
        c.at(759);
        V c1y = (2 * by * t1 + cy + 3 * ay * t1_2) * delta;
        c.at(760);
        V d1x = ax * t1_3 + bx * t1_2 + cx * t1 + dx;
        c.at(761);
        V d1y = ay * t1_3 + by * t1_2 + cy * t1 + dy;
        c.at(762);
        run.add(segments, run.points({a1x, a1y}, {b1x, b1y}, {c1x, c1y}, {d1x, d1y}));
    }
    return run.finish(segments);
}

}  // namespace

bool machine_split_ok(const PlainSegment& s) noexcept {
    if (s.n == 3)
        return c_splitQuadraticAtT.ours_now() && c_calcQuadraticParameters.ours_now() &&
               c_splitQuadraticAtT_.ours_now() && c_calcQuadraticPoints.ours_now();
    return c_splitCubicAtT.ours_now() && c_calcCubicParameters.ours_now() && c_splitCubicAtT_.ours_now() &&
           c_calcCubicPoints.ours_now();
}

std::vector<PlainSegment> machine_split(const PlainSegment& s, Plain t) {
    Values run;
    vy::Call split{nullptr, &splitCubicAtT__def, 0};
    if (s.n == 3) {
        vy::Call callee{nullptr, &calcQuadraticParameters_def, 0};
        auto abc = calc_quadratic_parameters<Plain>(callee, s.p[0], s.p[1], s.p[2]);
        return split_quadratic_at_t(split, run, abc, t);
    }
    vy::Call callee{nullptr, &calcCubicParameters_def, 0};
    auto abcd = calc_cubic_parameters<Plain>(callee, s.p[0], s.p[1], s.p[2], s.p[3]);
    std::vector<PlainSegment> pieces = split_cubic_at_t(split, run, abcd, t);
    // splitCubicAtT's end points are the caller's
    pieces.front().p[0] = s.p[0];
    pieces.back().p[3] = s.p[3];
    return pieces;
}

namespace {

PyObject* splitQuadraticAtT_(vy::Call& c, vy::Args& args) {
    if (vy::plain_arguments(args, 3) && Machine::plain_ts(args.varargs) && c_calcQuadraticPoints.ours_now()) {
        try {
            std::array<PairOf<Plain>, 3> abc{vy::plain_point(args.o(0)), vy::plain_point(args.o(1)),
                                             vy::plain_point(args.o(2))};
            Machine run;
            return split_quadratic_at_t(c, run, abc, args.varargs).release();
        } catch (vy::Bail) {
        }
    }
    std::array<Coefficient, 3> abc{Coefficient(Ref::borrow(args.o(0))), Coefficient(Ref::borrow(args.o(1))),
                                   Coefficient(Ref::borrow(args.o(2)))};
    General run;
    return split_quadratic_at_t(c, run, abc, args.varargs).release();
}

PyObject* splitCubicAtT_(vy::Call& c, vy::Args& args) {
    if (vy::plain_arguments(args, 4) && Machine::plain_ts(args.varargs) && c_calcCubicPoints.ours_now()) {
        try {
            std::array<PairOf<Plain>, 4> abcd{vy::plain_point(args.o(0)), vy::plain_point(args.o(1)),
                                              vy::plain_point(args.o(2)), vy::plain_point(args.o(3))};
            Machine run;
            return split_cubic_at_t(c, run, abcd, args.varargs).release();
        } catch (vy::Bail) {
        }
    }
    std::array<Coefficient, 4> abcd{Coefficient(Ref::borrow(args.o(0))), Coefficient(Ref::borrow(args.o(1))),
                                    Coefficient(Ref::borrow(args.o(2))), Coefficient(Ref::borrow(args.o(3)))};
    General run;
    return split_cubic_at_t(c, run, abcd, args.varargs).release();
}

vy::Gen splitCubicAtTC_(vy::Args args) {
    vy::GenPromise& g = co_await vy::this_gen;
    const Complex a = args.z(0), b = args.z(1), c = args.z(2), d = args.z(3);
    PyObject* given = args.varargs;  // a tuple the generator keeps alive
    const Py_ssize_t n = PyTuple_GET_SIZE(given) + 2;
    // ts[i] of [0.0, *ts, 1.0], converted when read
    auto ts = [&](Py_ssize_t i) {
        return i == 0 ? 0.0 : i == n - 1 ? 1.0 : vy::to_double(PyTuple_GET_ITEM(given, i - 1));
    };
    for (Py_ssize_t i = 0; i < n - 1; ++i) {
        g.at(789);
        const double t1 = ts(i);
        g.at(790);
        const double t2 = ts(i + 1);
        const double delta = t2 - t1;
        const double delta_2 = delta * delta;
        const double delta_3 = delta * delta_2;
        const double t1_2 = t1 * t1;
        const double t1_3 = t1 * t1_2;
        Complex a1 = a * delta_3;
        Complex b1 = (3.0 * a * t1 + b) * delta_2;
        Complex c1 = (2.0 * b * t1 + c + 3.0 * a * t1_2) * delta;
        Complex d1 = a * t1_3 + b * t1_2 + c * t1 + d;
        g.at(803);
        Ref segment = segment_c(calcCubicPointsC(a1, b1, c1, d1));
        g.at(804);
        co_yield std::move(segment);
    }
    co_return Ref::borrow(Py_None);
}

const vy::Param line_params[] = {{"pt1"}, {"pt2"}, {"where"}, {"isHorizontal"}};
const vy::Param quadratic_params[] = {{"pt1"}, {"pt2"}, {"pt3"}, {"where"}, {"isHorizontal"}};
const vy::Param cubic_params[] = {{"pt1"}, {"pt2"}, {"pt3"}, {"pt4"}, {"where"}, {"isHorizontal"}};
const vy::Param quadratic_at_params[] = {{"pt1"}, {"pt2"}, {"pt3"}};
const vy::Param cubic_at_params[] = {{"pt1"}, {"pt2"}, {"pt3"}, {"pt4"}};
const vy::Param cubic_at_c_params[] = {{"pt1", vy::Kind::Complex}, {"pt2", vy::Kind::Complex},
                                       {"pt3", vy::Kind::Complex}, {"pt4", vy::Kind::Complex}};
const vy::Param cubic_two_c_params[] = {{"pt1", vy::Kind::Complex}, {"pt2", vy::Kind::Complex},
                                        {"pt3", vy::Kind::Complex}, {"pt4", vy::Kind::Complex},
                                        {"t", vy::Kind::Double}};
const vy::Param quadratic_coefficient_params[] = {{"a"}, {"b"}, {"c"}};
const vy::Param cubic_coefficient_params[] = {{"a"}, {"b"}, {"c"}, {"d"}};
const vy::Param cubic_coefficient_c_params[] = {{"a", vy::Kind::Complex}, {"b", vy::Kind::Complex},
                                                {"c", vy::Kind::Complex}, {"d", vy::Kind::Complex}};
const char* const line_locals[] = {"pt1x", "pt1y", "pt2x", "pt2y", "ax", "ay", "bx", "by", "a", "t", "midPt"};
const char* const curve_locals[] = {"a", "b", "c", "d", "solutions"};
const char* const at_locals[] = {"a", "b", "c", "d", "split"};
const char* const two_locals[] = {"t2", "_1_t", "_1_t_2", "_2_t_1_t", "pointAtT", "off1", "off2"};
const char* const quadratic_at_locals[] = {"segments", "ax", "ay", "bx", "by", "cx", "cy", "i", "t1", "t2",
                                           "delta", "delta_2", "a1x", "a1y", "b1x", "b1y", "t1_2", "c1x",
                                           "c1y", "pt1", "pt2", "pt3"};
const char* const cubic_at_locals[] = {"segments", "ax", "ay", "bx", "by", "cx", "cy", "dx", "dy", "i",
                                       "t1", "t2", "delta", "delta_2", "delta_3", "t1_2", "t1_3", "a1x",
                                       "a1y", "b1x", "b1y", "c1x", "c1y", "d1x", "d1y", "pt1", "pt2", "pt3",
                                       "pt4"};
const char* const cubic_at_c_locals[] = {"i", "t1", "t2", "delta", "delta_2", "delta_3", "t1_2", "t1_3",
                                         "a1", "b1", "c1", "d1", "pt1", "pt2", "pt3", "pt4"};

}  // namespace

vy::FunctionDef splitLine_def{
    .name = "splitLine",
    .signature = "splitLine(pt1, pt2, where, isHorizontal)",
    .doc = R"(Split a line at a given coordinate.

    Args:
        pt1, pt2: The end points, as (x, y) pairs.
        where: The coordinate of the cutting line.
        isHorizontal: True to cut along the horizontal line y = ``where``,
            false to cut along the vertical line x = ``where``.

    Returns:
        A list of the two pieces (each a tuple of two points) when the line
        crosses the cutting line at 0 <= t < 1, else a list holding the
        line itself.

    Example::

        >>> printSegments(splitLine((0, 0), (100, 100), 50, True))
        ((0, 0), (50, 50))
        ((50, 50), (100, 100))
        >>> printSegments(splitLine((0, 0), (100, 100), 100, True))
        ((0, 0), (100, 100))
        >>> printSegments(splitLine((0, 0), (100, 100), 0, True))
        ((0, 0), (0, 0))
        ((0, 0), (100, 100))
        >>> printSegments(splitLine((0, 0), (100, 100), 0, False))
        ((0, 0), (0, 0))
        ((0, 0), (100, 100))
        >>> printSegments(splitLine((100, 0), (0, 0), 50, False))
        ((100, 0), (50, 0))
        ((50, 0), (0, 0))
        >>> printSegments(splitLine((0, 100), (0, 0), 50, True))
        ((0, 100), (0, 50))
        ((0, 50), (0, 0))
    )",
    .doctest = true,
    .line = 449,
    .params = line_params,
    .locals = line_locals,
    .body = splitLine,
};

vy::FunctionDef splitQuadratic_def{
    .name = "splitQuadratic",
    .signature = "splitQuadratic(pt1, pt2, pt3, where, isHorizontal)",
    .doc = R"(Split a quadratic Bezier curve at a given coordinate.

    Args:
        pt1, pt2, pt3: The control points, as (x, y) pairs.
        where: The coordinate of the cutting line.
        isHorizontal: True to cut along the horizontal line y = ``where``,
            false to cut along the vertical line x = ``where``.

    Returns:
        A list of the pieces (each a tuple of three points), one more than the
        crossings at 0 <= t < 1; the curve itself when there are none.

    Example::

        >>> printSegments(splitQuadratic((0, 0), (50, 100), (100, 0), 150, False))
        ((0, 0), (50, 100), (100, 0))
        >>> printSegments(splitQuadratic((0, 0), (50, 100), (100, 0), 50, False))
        ((0, 0), (25, 50), (50, 50))
        ((50, 50), (75, 50), (100, 0))
        >>> printSegments(splitQuadratic((0, 0), (50, 100), (100, 0), 25, False))
        ((0, 0), (12.5, 25), (25, 37.5))
        ((25, 37.5), (62.5, 75), (100, 0))
        >>> printSegments(splitQuadratic((0, 0), (50, 100), (100, 0), 25, True))
        ((0, 0), (7.32233, 14.6447), (14.6447, 25))
        ((14.6447, 25), (50, 75), (85.3553, 25))
        ((85.3553, 25), (92.6777, 14.6447), (100, -7.10543e-15))
        >>> # a tangent cutting line: the double root gives a degenerate piece
        >>> printSegments(splitQuadratic((0, 0), (50, 100), (100, 0), 50, True))
        ((0, 0), (25, 50), (50, 50))
        ((50, 50), (50, 50), (50, 50))
        ((50, 50), (75, 50), (100, 0))
    )",
    .doctest = true,
    .line = 506,
    .params = quadratic_params,
    .locals = curve_locals,
    .body = splitQuadratic,
};

vy::FunctionDef splitCubic_def{
    .name = "splitCubic",
    .signature = "splitCubic(pt1, pt2, pt3, pt4, where, isHorizontal)",
    .doc = R"(Split a cubic Bezier curve at a given coordinate.

    Args:
        pt1, pt2, pt3, pt4: The control points, as (x, y) pairs.
        where: The coordinate of the cutting line.
        isHorizontal: True to cut along the horizontal line y = ``where``,
            false to cut along the vertical line x = ``where``.

    Returns:
        A list of the pieces (each a tuple of four points), one more than the
        crossings at 0 <= t < 1; the curve itself when there are none.

    Example::

        >>> printSegments(splitCubic((0, 0), (25, 100), (75, 100), (100, 0), 150, False))
        ((0, 0), (25, 100), (75, 100), (100, 0))
        >>> printSegments(splitCubic((0, 0), (25, 100), (75, 100), (100, 0), 50, False))
        ((0, 0), (12.5, 50), (31.25, 75), (50, 75))
        ((50, 75), (68.75, 75), (87.5, 50), (100, 0))
        >>> printSegments(splitCubic((0, 0), (25, 100), (75, 100), (100, 0), 25, True))
        ((0, 0), (2.29379, 9.17517), (4.79804, 17.5085), (7.47414, 25))
        ((7.47414, 25), (31.2886, 91.6667), (68.7114, 91.6667), (92.5259, 25))
        ((92.5259, 25), (95.202, 17.5085), (97.7062, 9.17517), (100, 1.77636e-15))
    )",
    .doctest = true,
    .line = 551,
    .params = cubic_params,
    .locals = curve_locals,
    .body = splitCubic,
};

vy::FunctionDef splitQuadraticAtT_def{
    .name = "splitQuadraticAtT",
    .signature = "splitQuadraticAtT(pt1, pt2, pt3, *ts)",
    .doc = R"(Split a quadratic Bezier curve at one or more values of t.

    Args:
        pt1, pt2, pt3: The control points, as (x, y) pairs.
        *ts: The parameter values to cut at, used in the order given.

    Returns:
        A list of len(ts) + 1 pieces, each a tuple of three points.

    Examples::

        >>> printSegments(splitQuadraticAtT((0, 0), (50, 100), (100, 0), 0.5))
        ((0, 0), (25, 50), (50, 50))
        ((50, 50), (75, 50), (100, 0))
        >>> printSegments(splitQuadraticAtT((0, 0), (50, 100), (100, 0), 0.5, 0.75))
        ((0, 0), (25, 50), (50, 50))
        ((50, 50), (62.5, 50), (75, 37.5))
        ((75, 37.5), (87.5, 25), (100, 0))
    )",
    .doctest = true,
    .line = 588,
    .params = quadratic_at_params,
    .varargs = "ts",
    .locals = curve_locals,
    .body = splitQuadraticAtT,
};

vy::FunctionDef splitCubicAtT_def{
    .name = "splitCubicAtT",
    .signature = "splitCubicAtT(pt1, pt2, pt3, pt4, *ts)",
    .doc = R"(Split a cubic Bezier curve at one or more values of t.

    Args:
        pt1, pt2, pt3, pt4: The control points, as (x, y) pairs.
        *ts: The parameter values to cut at, used in the order given.

    Returns:
        A list of len(ts) + 1 pieces, each a tuple of four points; the
        first and last points are the very pt1 and pt4 given.

    Examples::

        >>> printSegments(splitCubicAtT((0, 0), (25, 100), (75, 100), (100, 0), 0.5))
        ((0, 0), (12.5, 50), (31.25, 75), (50, 75))
        ((50, 75), (68.75, 75), (87.5, 50), (100, 0))
        >>> printSegments(splitCubicAtT((0, 0), (25, 100), (75, 100), (100, 0), 0.5, 0.75))
        ((0, 0), (12.5, 50), (31.25, 75), (50, 75))
        ((50, 75), (59.375, 75), (68.75, 68.75), (77.3438, 56.25))
        ((77.3438, 56.25), (85.9375, 43.75), (93.75, 25), (100, 0))
    )",
    .doctest = true,
    .line = 612,
    .params = cubic_at_params,
    .varargs = "ts",
    .locals = at_locals,
    .body = splitCubicAtT,
};

vy::FunctionDef splitCubicAtTC_def{
    .name = "splitCubicAtTC",
    .signature = "splitCubicAtTC(double complex pt1, double complex pt2, double complex pt3, double complex pt4, "
                 "*ts)",
    .doc = R"(Split a cubic Bezier curve at one or more values of t.

    Args:
        pt1, pt2, pt3, pt4: The control points, as complex numbers.
        *ts: The parameter values to cut at, used in the order given.

    Yields:
        len(ts) + 1 pieces, each a tuple of four complex numbers.
    )",
    .line = 643,
    .conversion_line = 653,
    .params = cubic_at_c_params,
    .varargs = "ts",
    .locals = curve_locals,
    .generator = splitCubicAtTC,
};

vy::FunctionDef splitCubicIntoTwoAtTC_def{
    .name = "splitCubicIntoTwoAtTC",
    .signature = "splitCubicIntoTwoAtTC(double complex pt1, double complex pt2, double complex pt3, "
                 "double complex pt4, double t)",
    .doc = R"(Split a cubic Bezier curve at t.

    Args:
        pt1, pt2, pt3, pt4: The control points, as complex numbers.
        t: The parameter value to cut at.

    Returns:
        The two halves, each a tuple of four complex numbers.
    )",
    .line = 667,
    .conversion_line = 681,
    .params = cubic_two_c_params,
    .locals = two_locals,
    .body = splitCubicIntoTwoAtTC,
};

vy::FunctionDef splitQuadraticAtT__def{
    .name = "_splitQuadraticAtT",
    .signature = "_splitQuadraticAtT(a, b, c, *ts)",
    .line = 707,
    .params = quadratic_coefficient_params,
    .varargs = "ts",
    .locals = quadratic_at_locals,
    .body = splitQuadraticAtT_,
};

vy::FunctionDef splitCubicAtT__def{
    .name = "_splitCubicAtT",
    .signature = "_splitCubicAtT(a, b, c, d, *ts)",
    .line = 734,
    .params = cubic_coefficient_params,
    .varargs = "ts",
    .locals = cubic_at_locals,
    .body = splitCubicAtT_,
};

vy::FunctionDef splitCubicAtTC__def{
    .name = "_splitCubicAtTC",
    .signature = "_splitCubicAtTC(double complex a, double complex b, double complex c, double complex d, *ts)",
    .line = 769,
    .conversion_line = 784,
    .params = cubic_coefficient_c_params,
    .varargs = "ts",
    .locals = cubic_at_c_locals,
    .generator = splitCubicAtTC_,
};

}  // namespace curvemath
