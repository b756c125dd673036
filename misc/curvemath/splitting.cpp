// Splitting segments at parameter values: the general and machine runs of
// splitQuadraticAtT and splitCubicAtT and of their coefficient forms.
#include <vector>

#include "curvemath.h"

namespace curvemath {

using vy::Num;
using vy::Plain;
using vy::Ref;

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

const vy::Param quadratic_at_params[] = {{"pt1"}, {"pt2"}, {"pt3"}};
const vy::Param cubic_at_params[] = {{"pt1"}, {"pt2"}, {"pt3"}, {"pt4"}};
const vy::Param quadratic_coefficient_params[] = {{"a"}, {"b"}, {"c"}};
const vy::Param cubic_coefficient_params[] = {{"a"}, {"b"}, {"c"}, {"d"}};
const char* const at_locals[] = {"a", "b", "c", "d", "split"};
const char* const quadratic_at_locals[] = {"segments", "ax", "ay", "bx", "by", "cx", "cy", "i", "t1", "t2",
                                           "delta", "delta_2", "a1x", "a1y", "b1x", "b1y", "t1_2", "c1x",
                                           "c1y", "pt1", "pt2", "pt3"};
const char* const cubic_at_locals[] = {"segments", "ax", "ay", "bx", "by", "cx", "cy", "dx", "dy", "i",
                                       "t1", "t2", "delta", "delta_2", "delta_3", "t1_2", "t1_3", "a1x",
                                       "a1y", "b1x", "b1y", "c1x", "c1y", "d1x", "d1y", "pt1", "pt2", "pt3",
                                       "pt4"};

}  // namespace

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

}  // namespace curvemath
