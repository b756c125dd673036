// Curve-curve intersections by subdivision: halve both curves while their
// bounding boxes overlap, until both boxes are smaller than `precision`.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "curvemath.h"

namespace curvemath {

using vy::Num;
using vy::Plain;
using vy::Point;
using vy::Ref;

namespace {

const vy::Name n_calcQuadraticBounds{"calcQuadraticBounds"}, n_calcCubicBounds{"calcCubicBounds"},
    n_splitQuadraticAtT{"splitQuadraticAtT"}, n_splitCubicAtT{"splitCubicAtT"}, n_sectRect{"sectRect"},
    n_rectArea{"rectArea"}, n_curve_bounds{"_curve_bounds"}, n_split_segment_at_t{"_split_segment_at_t"},
    n_range1{"range1"}, n_range2{"range2"};

Ref whole_range() {
    Ref a = vy::float_object(0.0), b = vy::float_object(1.0);
    return vy::new_tuple({a.get(), b.get()});
}
const vy::Constant kWholeRange{whole_range};

PyObject* curveBounds(vy::Call& c, vy::Args& args) {
    PyObject* curve = args.o(0);
    c.at(1293);
    if (vy::length(curve) == 3) {
        c.at(1294);
        Ref fn = vy::global(n_calcQuadraticBounds);
        return vy::call_star(fn.get(), {}, curve).release();
    }
    c.at(1295);
    if (vy::length(curve) == 4) {
        c.at(1296);
        Ref fn = vy::global(n_calcCubicBounds);
        return vy::call_star(fn.get(), {}, curve).release();
    }
    c.at(1297);
    vy::raise(PyExc_ValueError, "Unknown curve degree");
}

PyObject* splitSegmentAtT(vy::Call& c, vy::Args& args) {
    PyObject *curve = args.o(0), *t = args.o(1);
    c.at(1301);
    if (vy::length(curve) == 2) {
        c.at(1302);
        auto [s, e] = vy::unpack<2>(curve);
        c.at(1303);
        Ref midpoint = global_call(n_linePointAtT, {s.get(), e.get(), t});
        c.at(1304);
        Ref first = vy::new_tuple({s.get(), midpoint.get()}), second = vy::new_tuple({midpoint.get(), e.get()});
        return vy::new_list({first.get(), second.get()}).release();
    }
    c.at(1305);
    if (vy::length(curve) == 3) {
        c.at(1306);
        Ref fn = vy::global(n_splitQuadraticAtT);
        return vy::call_star(fn.get(), {}, curve, {t}).release();
    }
    c.at(1307);
    if (vy::length(curve) == 4) {
        c.at(1308);
        Ref fn = vy::global(n_splitCubicAtT);
        return vy::call_star(fn.get(), {}, curve, {t}).release();
    }
    c.at(1309);
    vy::raise(PyExc_ValueError, "Unknown curve degree");
}

// The nested helpers: their bodies, run directly by the enclosing call, and
// the function objects each call creates.
Num midpoint_of(const Point& r) { return 0.5 * (r[0] + r[1]); }

Ref key_of(const Point& ts, const Num& precision) {
    return vy::tuple(vy::int_of(ts[0] / precision), vy::int_of(ts[1] / precision));
}

PyObject* midpointBody(vy::Call& c, vy::Args& args) {
    c.at(1329);
    return midpoint_of(Point(args.o(0))).object().release();
}

PyObject* uniqueKeyBody(vy::Call& c, vy::Args& args) {
    Ref precision = vy::cell_contents(c, 0);
    c.at(1365);
    return key_of(Point(args.o(0)), Num::from(precision.get())).release();
}

const vy::Param range_params[] = {{"r"}};
const vy::Param ts_params[] = {{"ts"}};

}  // namespace

vy::FunctionDef midpoint_def{
    .name = "midpoint",
    .qualname = "_curve_curve_intersections_t.<locals>.midpoint",
    .signature = "midpoint(r)",
    .line = 1328,
    .params = range_params,
    .body = midpointBody,
};

vy::FunctionDef unique_key_def{
    .name = "<lambda>",
    .qualname = "_curve_curve_intersections_t.<locals>.<lambda>",
    .signature = "<lambda>(ts)",
    .line = 1365,
    .params = ts_params,
    .body = uniqueKeyBody,
};

extern vy::FunctionDef curve_curve_intersections_t_def;

namespace {

Num midpoint(PyObject* r) {
    return vy::called(midpoint_def, [&](vy::Call& callee) {
        callee.at(1329);
        return midpoint_of(Point(r));
    });
}

Ref curve_curve_t(vy::Call& c, PyObject* curve1, PyObject* curve2, PyObject* precision_, PyObject* range1,
                  PyObject* range2);

// _curve_curve_intersections_t(a, b, precision, range1=r1, range2=r2)
Ref recurse(PyObject* a, PyObject* b, PyObject* precision, PyObject* r1, PyObject* r2) {
    return c_curve_curve_intersections_t.call(
        [&](vy::Call& callee) { return curve_curve_t(callee, a, b, precision, r1, r2); },
        [&](PyObject* fn) { return vy::call_kw(fn, {a, b, precision}, {&n_range1, &n_range2}, {r1, r2}); });
}

// c1, c2 = _split_segment_at_t(curve, 0.5), with the ranges of the halves:
// the statements from `line` on.
struct Halves {
    Ref c1, c2, r1, r2;
};
Halves halves(vy::Call& c, PyObject* curve, PyObject* range, PyObject* half, int line) {
    c.at(line);
    auto [c1, c2] = vy::unpack<2>(global_call(n_split_segment_at_t, {curve, half}).get());
    c.at(line + 1);
    Ref r0 = vy::item(range, Py_ssize_t(0));
    Num m0 = midpoint(range);
    Ref r1 = vy::tuple(Num::from(r0.get()), m0);
    c.at(line + 2);
    Num m1 = midpoint(range);
    Ref end = vy::item(range, Py_ssize_t(1));
    Ref r2 = vy::tuple(m1, Num::from(end.get()));
    return {std::move(c1), std::move(c2), std::move(r1), std::move(r2)};
}

// The pairs of `found` whose key no earlier pair had.
Ref unique_pairs(vy::Call& c, PyObject* found, const Num& precision) {
    c.at(1366);
    Ref seen = vy::new_set();
    c.at(1367);
    vy::ListBuilder unique_values;
    c.at(1369);
    Ref it = vy::iter(found);
    while (Ref ts = vy::next_or_end(it.get())) {
        c.at(1370);
        Ref key = vy::called(unique_key_def, [&](vy::Call& callee) {
            callee.at(1365);
            return key_of(Point(ts.get()), precision);
        });
        c.at(1371);
        if (vy::set_contains(seen.get(), key.get())) {
            c.at(1369);
            continue;
        }
        c.at(1373);
        vy::set_add(seen.get(), key.get());
        c.at(1374);
        unique_values.append(std::move(ts));
        c.at(1369);
    }
    return unique_values.list();
}

Ref curve_curve_t(vy::Call& c, PyObject* curve1, PyObject* curve2, PyObject* precision_, PyObject* range1_,
                  PyObject* range2_) {
    vy::Recursion guard(" while finding curve intersections");
    Num precision = Num::from(precision_);
    if (!(precision > 0)) vy::raise(PyExc_ValueError, "precision must be a positive number");
    c.at(1315);
    Ref bounds1 = global_call(n_curve_bounds, {curve1});
    c.at(1316);
    Ref bounds2 = global_call(n_curve_bounds, {curve2});
    c.at(1318);
    Ref range1 = Ref::borrow(vy::truth(range1_) ? range1_ : kWholeRange.get());
    c.at(1320);
    Ref range2 = Ref::borrow(vy::truth(range2_) ? range2_ : kWholeRange.get());
    c.at(1324);
    Ref intersects;
    {
        Ref found = global_call(n_sectRect, {bounds1.get(), bounds2.get()});
        auto [first, second] = vy::unpack<2>(found.get());
        intersects = std::move(first);
    }
    c.at(1325);
    if (!vy::truth(intersects.get())) {
        c.at(1326);
        return vy::new_list({});
    }
    c.at(1328);
    Ref cell = vy::closure_of({precision_});
    Ref midpoint_fn = vy::make_local_function(midpoint_def);
    c.at(1332);
    Ref rectArea = vy::global(n_rectArea);
    if (Num::steal(vy::call(rectArea.get(), {bounds1.get()})) < precision &&
        Num::steal(vy::call(vy::global(n_rectArea).get(), {bounds2.get()})) < precision) {
        c.at(1333);
        Num m1 = midpoint(range1.get());
        Num m2 = midpoint(range2.get());
        Ref pair = vy::tuple(m1, m2);
        return vy::new_list({pair.get()});
    }
    Ref half = vy::float_object(0.5);
    const Halves h1 = halves(c, curve1, range1.get(), half.get(), 1335);
    const Halves h2 = halves(c, curve2, range2.get(), half.get(), 1339);
    PyObject *c11 = h1.c1.get(), *c12 = h1.c2.get(), *c11_range = h1.r1.get(), *c12_range = h1.r2.get();
    PyObject *c21 = h2.c1.get(), *c22 = h2.c2.get(), *c21_range = h2.r1.get(), *c22_range = h2.r2.get();
    c.at(1343);
    Ref found = vy::new_list({});
    const struct {
        PyObject *a, *b, *ra, *rb;
        int line;
    } quadrants[] = {
        {c11, c21, c11_range, c21_range, 1344},
        {c12, c21, c12_range, c21_range, 1349},
        {c11, c22, c11_range, c22_range, 1354},
        {c12, c22, c12_range, c22_range, 1359},
    };
    for (const auto& q : quadrants) {
        c.at(q.line + 1);
        Ref part = recurse(q.a, q.b, precision_, q.ra, q.rb);
        c.at(q.line);
        vy::list_extend(found.get(), part.get());
    }
    c.at(1365);
    Ref unique_key = vy::make_local_function(unique_key_def, cell.get());
    Ref unique_values = unique_pairs(c, found.get(), precision);
    (void)midpoint_fn;
    (void)unique_key;
    return unique_values;
}

// ------------------------------------------------------------ the machine run
//
// The same subdivision on segments of plain points, taken while every name
// it calls holds the library's own code: bounds, splits, rectangles, ranges
// and parameter pairs are machine values until the result list is built.
// Each level counts against the interpreter's recursion limit as the
// general run's does, so a run that would raise bails instead.

struct Range {
    Plain lo, hi;
};
struct Ts {
    Plain t1, t2;
};

// A segment the machine run reads: an exact tuple of 3 or 4 plain points.
bool plain_segment(PyObject* o, PlainSegment& s) {
    if (!PyTuple_CheckExact(o)) return false;
    s.n = int(PyTuple_GET_SIZE(o));
    if (s.n != 3 && s.n != 4) return false;
    for (int i = 0; i < s.n; ++i) {
        PyObject* p = PyTuple_GET_ITEM(o, i);
        if (!vy::is_plain_point(p)) return false;
        s.p[i] = vy::plain_point(p);
    }
    return true;
}

// range: None, or an exact tuple of two plain numbers (true either way).
bool plain_range(PyObject* o, Range& r) {
    if (o == Py_None) {
        r = {Plain(0.0), Plain(1.0)};
        return true;
    }
    if (!PyTuple_CheckExact(o) || PyTuple_GET_SIZE(o) != 2 || !vy::is_plain_number(PyTuple_GET_ITEM(o, 0)) ||
        !vy::is_plain_number(PyTuple_GET_ITEM(o, 1)))
        return false;
    r = {Plain::of(PyTuple_GET_ITEM(o, 0)), Plain::of(PyTuple_GET_ITEM(o, 1))};
    return true;
}

bool machine_names_ok(const PlainSegment& a, const PlainSegment& b) noexcept {
    const auto bounds_named = [](const PlainSegment& s) {
        return (s.n == 3 ? c_calcQuadraticBounds : c_calcCubicBounds).ours_now() && machine_bounds_ok(s) &&
               machine_split_ok(s);
    };
    return c_curve_curve_intersections_t.ours_now() && c_curve_bounds.ours_now() && c_split_segment_at_t.ours_now() &&
           h_sectRect.ours_now() && h_rectArea.ours_now() && bounds_named(a) && bounds_named(b);
}

// Looks up every name the machine run reads, so that their memos are
// current after a change of the namespace; what a name lacks is left to the
// general run to report where it reports it.
void refresh_machine_names() noexcept {
    for (const vy::Callee* callee :
         {&c_curve_curve_intersections_t, &c_curve_bounds, &c_split_segment_at_t, &c_calcQuadraticBounds,
          &c_calcCubicBounds, &c_calcQuadraticParameters, &c_calcCubicParameters, &c_solveQuadratic,
          &c_splitQuadraticAtT, &c_splitCubicAtT, &c_splitQuadraticAtT_, &c_splitCubicAtT_, &c_calcQuadraticPoints,
          &c_calcCubicPoints}) {
        try {
            Ref other;
            callee->lookup(other);
        } catch (const vy::PyError&) {
            PyErr_Clear();
        }
    }
    for (const vy::Helper* helper : {&h_calcBounds, &h_sectRect, &h_rectArea}) {
        try {
            Ref holder;
            helper->lookup(holder);
        } catch (const vy::PyError&) {
            PyErr_Clear();
        }
    }
    try {
        vy::global_value(epsilon);
    } catch (const vy::PyError&) {
        PyErr_Clear();
    }
}

// sectRect(r1, r2)[0] of boxmath
bool rects_meet(const PlainRect& r1, const PlainRect& r2) {
    const auto& [xMin1, yMin1, xMax1, yMax1] = r1;
    const auto& [xMin2, yMin2, xMax2, yMax2] = r2;
    Plain xMin = vy::max(xMin1, xMin2), yMin = vy::max(yMin1, yMin2);
    Plain xMax = vy::min(xMax1, xMax2), yMax = vy::min(yMax1, yMax2);
    return !(xMin > xMax || yMin > yMax);
}

// rectArea(r) of boxmath
Plain rect_area(const PlainRect& r) {
    const auto& [xMin, yMin, xMax, yMax] = r;
    return (xMax - xMin) * (yMax - yMin);
}

Plain plain_midpoint(const Range& r) { return 0.5 * (r.lo + r.hi); }

// int(x) of a float, where it is a machine integer
std::int64_t plain_int(Plain x) {
    if (x.is_int()) return x.i();
    if (!(std::fabs(x.f()) < 0x1p63)) throw vy::Bail{};  // a long, or an error
    return std::int64_t(x.f());
}

// One level of the recursion, counted as the general run counts it; the
// general run's deepest level also calls into the helpers (two more levels),
// so the machine run bails unless those would be available too.
struct Depth {
    Depth() {
        if (vy::stack_nearly_exhausted()) throw vy::Bail{};
        if (Py_EnterRecursiveCall("")) bail(0);
        for (int extra = 1; extra <= 2; ++extra)
            if (Py_EnterRecursiveCall("")) bail(extra);
        for (int extra = 1; extra <= 2; ++extra) Py_LeaveRecursiveCall();
    }
    ~Depth() { Py_LeaveRecursiveCall(); }
    Depth(const Depth&) = delete;

private:
    [[noreturn]] static void bail(int entered) {
        PyErr_Clear();  // the general run raises it, with its message
        for (int i = 0; i < entered; ++i) Py_LeaveRecursiveCall();
        throw vy::Bail{};
    }
};

std::vector<Ts> machine_t(const PlainSegment& curve1, const PlainSegment& curve2, Plain precision, Range range1,
                          Range range2) {
    Depth depth;
    if (!(precision > 0)) throw vy::Bail{};
    const PlainRect bounds1 = machine_bounds(curve1);
    const PlainRect bounds2 = machine_bounds(curve2);
    if (!rects_meet(bounds1, bounds2)) return {};
    if (rect_area(bounds1) < precision && rect_area(bounds2) < precision)
        return {Ts{plain_midpoint(range1), plain_midpoint(range2)}};
    const std::vector<PlainSegment> c1 = machine_split(curve1, 0.5);
    const Range c11_range{range1.lo, plain_midpoint(range1)}, c12_range{plain_midpoint(range1), range1.hi};
    const std::vector<PlainSegment> c2 = machine_split(curve2, 0.5);
    const Range c21_range{range2.lo, plain_midpoint(range2)}, c22_range{plain_midpoint(range2), range2.hi};
    std::vector<Ts> found;
    const struct {
        const PlainSegment &a, &b;
        const Range &ra, &rb;
    } quadrants[] = {
        {c1[0], c2[0], c11_range, c21_range},
        {c1[1], c2[0], c12_range, c21_range},
        {c1[0], c2[1], c11_range, c22_range},
        {c1[1], c2[1], c12_range, c22_range},
    };
    for (const auto& q : quadrants) {
        std::vector<Ts> part = machine_t(q.a, q.b, precision, q.ra, q.rb);
        found.insert(found.end(), part.begin(), part.end());
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> seen;
    std::vector<Ts> unique_values;
    for (const Ts& ts : found) {
        const std::pair key{plain_int(ts.t1 / precision), plain_int(ts.t2 / precision)};
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(key);
        unique_values.push_back(ts);
    }
    return unique_values;
}

PyObject* curveCurveIntersectionsT(vy::Call& c, vy::Args& args) {
    PlainSegment a, b;
    Range r1, r2;
    if (plain_segment(args.o(0), a) && plain_segment(args.o(1), b) && vy::is_plain_number(args.o(2)) &&
        plain_range(args.o(3), r1) && plain_range(args.o(4), r2) &&
        (machine_names_ok(a, b) || (refresh_machine_names(), machine_names_ok(a, b)))) {
        try {
            const std::vector<Ts> found = machine_t(a, b, Plain::of(args.o(2)), r1, r2);
            vy::ListBuilder list;
            for (const Ts& ts : found) list.append(vy::tuple(ts.t1, ts.t2));
            return list.list().release();
        } catch (vy::Bail) {
        }
    }
    return curve_curve_t(c, args.o(0), args.o(1), args.o(2), args.o(3), args.o(4)).release();
}

const vy::Param c_params[] = {{"c"}};
const vy::Param split_params[] = {{"c"}, {"t"}};
const vy::Param curve_curve_t_params[] = {{"curve1"}, {"curve2"}, {"precision"}, {"range1"}, {"range2"}};
const char* const split_locals[] = {"s", "e", "midpoint"};
const char* const curve_curve_t_locals[] = {"bounds1", "bounds2", "intersects", "_", "midpoint", "c11", "c12",
                                            "c11_range", "c12_range", "c21", "c22", "c21_range", "c22_range",
                                            "found", "unique_key", "seen", "unique_values", "ts", "key"};

}  // namespace

vy::FunctionDef curve_bounds_def{
    .name = "_curve_bounds",
    .signature = "_curve_bounds(c)",
    .line = 1292,
    .params = c_params,
    .body = curveBounds,
};

vy::FunctionDef split_segment_at_t_def{
    .name = "_split_segment_at_t",
    .signature = "_split_segment_at_t(c, t)",
    .line = 1300,
    .params = split_params,
    .locals = split_locals,
    .body = splitSegmentAtT,
};

vy::FunctionDef* const curve_curve_t_nested[] = {&midpoint_def, &unique_key_def};

vy::FunctionDef curve_curve_intersections_t_def{
    .name = "_curve_curve_intersections_t",
    .signature = "_curve_curve_intersections_t(curve1, curve2, precision=1e-3, range1=None, range2=None)",
    .line = 1312,
    .params = curve_curve_t_params,
    .locals = curve_curve_t_locals,
    .nested = curve_curve_t_nested,
    .body = curveCurveIntersectionsT,
};

}  // namespace curvemath
