// The Python-facing intersections of segments: _is_linelike,
// curveCurveIntersections and segmentSegmentIntersections, which pick the
// line or curve intersector for the segments they are given.
#include "curvemath.h"

namespace curvemath {

using vy::Num;
using vy::Point;
using vy::Ref;

namespace {

const vy::Name n_curve_curve_intersections_t{"_curve_curve_intersections_t"}, n_is_linelike{"_is_linelike"},
    n_curveCurveIntersections{"curveCurveIntersections"}, n_segmentPointAtT{"segmentPointAtT"},
    n_transformPoints{"transformPoints"}, n_pt{"pt"}, n_t1{"t1"}, n_t2{"t2"};

bool is_linelike(PyObject* segment) { return vy::truth(global_call(n_is_linelike, {segment}).get()); }

PyObject* isLinelike(vy::Call& c, vy::Args& args) {
    PyObject* segment = args.o(0);
    c.at(1380);
    Ref maybeline;
    {
        Ref transform = global_call(n_alignment_transformation, {segment});
        Ref method = vy::getattr(transform.get(), n_transformPoints);
        maybeline = vy::call(method.get(), {segment});
    }
    c.at(1381);
    Ref it = vy::iter(maybeline.get());
    while (Ref p = vy::next_or_end(it.get())) {
        Num y = Point(p.get())[1];
        if (!isclose(y, 0.0)) return Py_NewRef(Py_False);
    }
    return Py_NewRef(Py_True);
}

// [Intersection(pt=i.pt, t1=i.t2, t2=i.t1) for i in intersections]
Ref swapped(PyObject* intersections) {
    vy::ListBuilder out;
    Ref it = vy::iter(intersections);
    while (Ref i = vy::next_or_end(it.get())) {
        Ref cls = vy::global(n_Intersection);
        Ref pt = vy::getattr(i.get(), n_pt), t2 = vy::getattr(i.get(), n_t2), t1 = vy::getattr(i.get(), n_t1);
        out.append(intersection(cls.get(), pt.get(), t2.get(), t1.get()));
    }
    return out.list();
}

// (segment[0], segment[-1])
Ref chord(PyObject* segment) {
    Ref first = vy::item(segment, Py_ssize_t(0)), last = vy::item(segment, Py_ssize_t(-1));
    return vy::new_tuple({first.get(), last.get()});
}

PyObject* curveCurveIntersections(vy::Call& c, vy::Args& args) {
    PyObject *curve1 = args.o(0), *curve2 = args.o(1);
    c.at(1405);
    if (is_linelike(curve1)) {
        c.at(1406);
        Ref line1 = chord(curve1);
        c.at(1407);
        if (is_linelike(curve2)) {
            c.at(1408);
            Ref line2 = chord(curve2);
            c.at(1409);
            Ref fn = vy::global(n_lineLineIntersections);
            const vy::Snapshot l1(line1.get()), l2(line2.get());
            return vy::call(fn.get(), {l1[0], l1[1], l2[0], l2[1]}).release();
        }
        c.at(1411);
        Ref intersections = global_call(n_curveLineIntersections, {curve2, line1.get()});
        c.at(1414);
        return swapped(intersections.get()).release();
    }
    c.at(1415);
    if (is_linelike(curve2)) {
        c.at(1416);
        Ref line2 = chord(curve2);
        c.at(1417);
        return global_call(n_curveLineIntersections, {curve1, line2.get()}).release();
    }
    c.at(1419);
    Ref intersection_ts = global_call(n_curve_curve_intersections_t, {curve1, curve2});
    vy::ListBuilder out;
    c.at(1422);
    Ref it = vy::iter(intersection_ts.get());
    while (Ref ts = vy::next_or_end(it.get())) {
        c.at(1421);
        Ref cls = vy::global(n_Intersection);
        Ref t1 = vy::item(ts.get(), Py_ssize_t(0));
        Ref pt = global_call(n_segmentPointAtT, {curve1, t1.get()});
        Ref t1_ = vy::item(ts.get(), Py_ssize_t(0)), t2 = vy::item(ts.get(), Py_ssize_t(1));
        out.append(intersection(cls.get(), pt.get(), t1_.get(), t2.get()));
        c.at(1422);
    }
    return out.list().release();
}

PyObject* segmentSegmentIntersections(vy::Call& c, vy::Args& args) {
    Ref seg1 = Ref::borrow(args.o(0)), seg2 = Ref::borrow(args.o(1));
    bool is_swapped = false;
    c.at(1457);
    if (vy::length(seg2.get()) > vy::length(seg1.get())) {
        std::swap(seg1, seg2);
        is_swapped = true;
    }
    Ref intersections;
    c.at(1460);
    if (vy::length(seg1.get()) > 2) {
        c.at(1461);
        if (vy::length(seg2.get()) > 2) {
            c.at(1462);
            intersections = global_call(n_curveCurveIntersections, {seg1.get(), seg2.get()});
        } else {
            c.at(1464);
            intersections = global_call(n_curveLineIntersections, {seg1.get(), seg2.get()});
        }
    } else if (c.at(1465), vy::length(seg1.get()) == 2 && vy::length(seg2.get()) == 2) {
        c.at(1466);
        Ref fn = vy::global(n_lineLineIntersections);
        Ref points = vy::star_tuple({}, seg1.get());
        Ref more = vy::star_tuple({}, seg2.get());
        Ref all = vy::add(points.get(), more.get());
        intersections = vy::call_star(fn.get(), {}, all.get());
    } else {
        c.at(1468);
        vy::raise(PyExc_ValueError, "Couldn't work out which intersection function to use");
    }
    c.at(1469);
    if (!is_swapped) return intersections.release();
    c.at(1471);
    return swapped(intersections.get()).release();
}

const vy::Param segment_params[] = {{"segment"}};
const vy::Param curves_params[] = {{"curve1"}, {"curve2"}};
const vy::Param segments_params[] = {{"seg1"}, {"seg2"}};
const char* const linelike_locals[] = {"maybeline"};
const char* const curves_locals[] = {"line1", "line2", "intersections", "intersection_ts"};
const char* const segments_locals[] = {"swapped", "intersections"};

}  // namespace

vy::FunctionDef is_linelike_def{
    .name = "_is_linelike",
    .signature = "_is_linelike(segment)",
    .line = 1379,
    .params = segment_params,
    .locals = linelike_locals,
    .body = isLinelike,
};

vy::FunctionDef curveCurveIntersections_def{
    .name = "curveCurveIntersections",
    .signature = "curveCurveIntersections(curve1, curve2)",
    .doc = R"(Finds intersections between a curve and a curve.

    Args:
        curve1: A list of three or four points, as (x, y) pairs: a quadratic
            or cubic Bezier curve.
        curve2: Another curve, given the same way.

    Returns:
        A list of ``Intersection`` objects, each with ``pt``, ``t1`` and ``t2``
        attributes holding the intersection point, the time on the first
        segment and the time on the second segment.

    Examples::

        >>> curve1 = [ (10,100), (90,30), (40,140), (220,220) ]
        >>> curve2 = [ (5,150), (180,20), (80,250), (210,190) ]
        >>> intersections = curveCurveIntersections(curve1, curve2)
        >>> len(intersections)
        3
        >>> intersections[0].pt
        (81.7831487395506, 109.88904552375288)
    )",
    .doctest = true,
    .line = 1384,
    .params = curves_params,
    .locals = curves_locals,
    .body = curveCurveIntersections,
};

vy::FunctionDef segmentSegmentIntersections_def{
    .name = "segmentSegmentIntersections",
    .signature = "segmentSegmentIntersections(seg1, seg2)",
    .doc = R"(Finds intersections between two segments.

    Args:
        seg1: A list of two, three or four points, as (x, y) pairs: a line or
            a quadratic or cubic Bezier curve.
        seg2: Another segment, given the same way.

    Returns:
        A list of ``Intersection`` objects, each with ``pt``, ``t1`` and ``t2``
        attributes holding the intersection point, the time on the first
        segment and the time on the second segment.

    Examples::

        >>> curve1 = [ (10,100), (90,30), (40,140), (220,220) ]
        >>> curve2 = [ (5,150), (180,20), (80,250), (210,190) ]
        >>> intersections = segmentSegmentIntersections(curve1, curve2)
        >>> len(intersections)
        3
        >>> intersections[0].pt
        (81.7831487395506, 109.88904552375288)
        >>> curve3 = [ (100, 240), (30, 60), (210, 230), (160, 30) ]
        >>> line  = [ (25, 260), (230, 20) ]
        >>> intersections = segmentSegmentIntersections(curve3, line)
        >>> len(intersections)
        3
        >>> intersections[0].pt
        (84.9000930760723, 189.87306176459828)
    )",
    .doctest = true,
    .line = 1426,
    .params = segments_params,
    .locals = segments_locals,
    .body = segmentSegmentIntersections,
};

}  // namespace curvemath
