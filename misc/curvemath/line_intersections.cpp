// Where two lines cross, and where a curve crosses a line: the plane is moved
// so that the line becomes the x axis, and the curve's y polynomial is solved.
#include "curvemath.h"

namespace curvemath {

using vy::Num;
using vy::Point;
using vy::Ref;

const vy::Name n_Intersection{"Intersection"}, n_line_t_of_pt{"_line_t_of_pt"},
    n_same_side{"_both_points_are_on_same_side_of_origin"}, n_alignment_transformation{"_alignment_transformation"},
    n_curve_line_intersections_t{"_curve_line_intersections_t"}, n_lineLineIntersections{"lineLineIntersections"},
    n_curveLineIntersections{"curveLineIntersections"}, n_isclose{"isclose"}, n_pt{"pt"}, n_t1{"t1"}, n_t2{"t2"};

namespace {

const vy::Name n_math{"math"}, n_atan2{"atan2"}, n_Identity{"Identity"}, n_rotate{"rotate"},
    n_translate{"translate"}, n_transformPoints{"transformPoints"};

}  // namespace

bool isclose(const Num& a, const Num& b) {
    Ref math = vy::global(n_math);
    Ref fn = vy::getattr(math.get(), n_isclose);
    Ref r = vy::call(fn.get(), {a.object().get(), b.object().get()});
    return vy::truth(r.get());
}

Ref intersection(PyObject* cls, PyObject* pt, PyObject* t1, PyObject* t2) {
    return vy::call_kw(cls, {}, {&n_pt, &n_t1, &n_t2}, {pt, t1, t2});
}

namespace {

// _line_t_of_pt(s, e, pt), through the module namespace
Num line_t_of_pt(PyObject* s, PyObject* e, PyObject* pt) {
    Ref fn = vy::global(n_line_t_of_pt);
    return Num::steal(vy::call(fn.get(), {s, e, pt}));
}

bool same_side(PyObject* a, PyObject* b, PyObject* origin) {
    Ref fn = vy::global(n_same_side);
    return vy::truth(vy::call(fn.get(), {a, b, origin}).get());
}

PyObject* lineTOfPt(vy::Call& c, vy::Args& args) {
    c.at(1134);
    auto [sx, sy] = Point(args.o(0)).unpack();
    c.at(1135);
    auto [ex, ey] = Point(args.o(1)).unpack();
    c.at(1136);
    auto [px, py] = Point(args.o(2)).unpack();
    c.at(1137);
    if (abs(sx - ex) < epsilon && abs(sy - ey) < epsilon) return vy::int_object(-1).release();
    c.at(1141);
    if (abs(sx - ex) > abs(sy - ey)) {
        c.at(1142);
        return Num((px - sx) / (ex - sx)).object().release();
    }
    c.at(1144);
    return Num((py - sy) / (ey - sy)).object().release();
}

PyObject* sameSide(vy::Call& c, vy::Args& args) {
    Point a = args.o(0), b = args.o(1), origin = args.o(2);
    c.at(1148);
    Num xDiff = (a[0] - origin[0]) * (b[0] - origin[0]);
    c.at(1149);
    Num yDiff = (a[1] - origin[1]) * (b[1] - origin[1]);
    c.at(1150);
    return Py_NewRef(xDiff <= 0.0 && yDiff <= 0.0 ? Py_False : Py_True);
}

// [Intersection(pt=pt, t1=_line_t_of_pt(s1, e1, pt), t2=_line_t_of_pt(s2, e2, pt))]
PyObject* one_intersection(vy::Call& c, int line, PyObject* s1, PyObject* e1, PyObject* s2, PyObject* e2,
                           const Num& pt) {
    c.at(line);
    Ref cls = vy::global(n_Intersection);
    Ref p = pt.object();
    c.at(line + 1);
    Num t1 = line_t_of_pt(s1, e1, p.get());
    c.at(line + 2);
    Num t2 = line_t_of_pt(s2, e2, p.get());
    c.at(line);
    Ref found = intersection(cls.get(), p.get(), t1.object().get(), t2.object().get());
    return vy::new_list({found.get()}).release();
}

PyObject* lineLineIntersections(vy::Call& c, vy::Args& args) {
    PyObject *s1 = args.o(0), *e1 = args.o(1), *s2 = args.o(2), *e2 = args.o(3);
    c.at(1176);
    auto [s1x, s1y] = Point(s1).unpack();
    c.at(1177);
    auto [e1x, e1y] = Point(e1).unpack();
    c.at(1178);
    auto [s2x, s2y] = Point(s2).unpack();
    c.at(1179);
    auto [e2x, e2y] = Point(e2).unpack();
    c.at(1181);
    if (isclose(s2x, e2x) && isclose(s1x, e1x) && !isclose(s1x, s2x)) {
        c.at(1183);
        return vy::empty_list().release();
    }
    c.at(1185);
    if (isclose(s2y, e2y) && isclose(s1y, e1y) && !isclose(s1y, s2y)) {
        c.at(1187);
        return vy::empty_list().release();
    }
    c.at(1188);
    if (isclose(s2x, e2x) && isclose(s2y, e2y)) {
        c.at(1189);
        return vy::empty_list().release();
    }
    c.at(1190);
    if (isclose(s1x, e1x) && isclose(s1y, e1y)) {
        c.at(1191);
        return vy::empty_list().release();
    }
    c.at(1192);
    if (isclose(e1x, s1x)) {
        const Num& x = s1x;
        c.at(1194);
        Num slope34 = (e2y - s2y) / (e2x - s2x);
        c.at(1195);
        Num y = slope34 * (x - s2x) + s2y;
        c.at(1196);
        Num pt = point(x, y);
        return one_intersection(c, 1197, s1, e1, s2, e2, pt);
    }
    c.at(1202);
    if (isclose(s2x, e2x)) {
        const Num& x = s2x;
        c.at(1204);
        Num slope12 = (e1y - s1y) / (e1x - s1x);
        c.at(1205);
        Num y = slope12 * (x - s1x) + s1y;
        c.at(1206);
        Num pt = point(x, y);
        return one_intersection(c, 1207, s1, e1, s2, e2, pt);
    }
    c.at(1213);
    Num slope12 = (e1y - s1y) / (e1x - s1x);
    c.at(1214);
    Num slope34 = (e2y - s2y) / (e2x - s2x);
    c.at(1215);
    if (isclose(slope12, slope34)) {
        c.at(1216);
        return vy::empty_list().release();
    }
    c.at(1217);
    Num x = (slope12 * s1x - s1y - slope34 * s2x + s2y) / (slope12 - slope34);
    c.at(1218);
    Num y = slope12 * (x - s1x) + s1y;
    c.at(1219);
    Num pt = point(x, y);
    Ref p = pt.object();
    c.at(1220);
    if (same_side(p.get(), e1, s1) && (c.at(1222), same_side(p.get(), s2, e2)))
        return one_intersection(c, 1223, s1, e1, s2, e2, pt);
    c.at(1228);
    return vy::empty_list().release();
}

PyObject* alignmentTransformation(vy::Call& c, vy::Args& args) {
    PyObject* segment = args.o(0);
    c.at(1235);
    Ref start_ = vy::item(segment, Py_ssize_t(0));
    c.at(1236);
    Ref end_ = vy::item(segment, Py_ssize_t(-1));
    Point start = start_.get(), end = end_.get();
    c.at(1237);
    Ref math = vy::global(n_math);
    Ref atan2 = vy::getattr(math.get(), n_atan2);
    Num dy = end[1] - start[1];
    Num dx = end[0] - start[0];
    Num angle = Num::steal(vy::call(atan2.get(), {dy.object().get(), dx.object().get()}));
    c.at(1238);
    Ref identity = vy::global(n_Identity);
    Ref rotate = vy::getattr(identity.get(), n_rotate);
    Num minus_angle = -angle;
    Ref rotated = vy::call(rotate.get(), {minus_angle.object().get()});
    Ref translate = vy::getattr(rotated.get(), n_translate);
    Num minus_x = -start[0];
    Num minus_y = -start[1];
    return vy::call(translate.get(), {minus_x.object().get(), minus_y.object().get()}).release();
}

// The coefficients of the moved curve: `names` receives the tuple's items
// when it has the curve's length, else the call raises as Python's would.
template <std::size_t N>
std::array<Ref, N> coefficients(PyObject* aligned) {
    Ref points = vy::star_tuple({}, aligned);
    const vy::Snapshot p(points.get());
    if (p.size() == Py_ssize_t(N)) {
        std::array<Ref, N> out;
        if constexpr (N == 3) {
            auto abc = quadratic_parameters(p[0], p[1], p[2]);
            for (std::size_t i = 0; i < N; ++i) out[i] = Ref::borrow(abc[i].object());
        } else {
            auto abcd = cubic_parameters(p[0], p[1], p[2], p[3]);
            for (std::size_t i = 0; i < N; ++i) out[i] = Ref::borrow(abcd[i].object());
        }
        return out;
    }
    Ref fn = vy::global(N == 3 ? n_calcQuadraticParameters : n_calcCubicParameters);
    Ref found = vy::call_star(fn.get(), {}, points.get());
    return vy::unpack<N>(found.get());
}

PyObject* curveLineIntersectionsT(vy::Call& c, vy::Args& args) {
    PyObject *curve = args.o(0), *line = args.o(1);
    c.at(1242);
    Ref aligned;
    {
        Ref fn = vy::global(n_alignment_transformation);
        Ref transform = vy::call(fn.get(), {line});
        Ref method = vy::getattr(transform.get(), n_transformPoints);
        aligned = vy::call(method.get(), {curve});
    }
    Ref intersections;
    c.at(1243);
    if (vy::length(curve) == 3) {
        c.at(1244);
        auto [a, b, cc] = coefficients<3>(aligned.get());
        c.at(1245);
        Ref solver = vy::global(n_solveQuadratic);
        Ref ay = vy::item(a.get(), Py_ssize_t(1)), by = vy::item(b.get(), Py_ssize_t(1)),
            cy = vy::item(cc.get(), Py_ssize_t(1));
        intersections = vy::call(solver.get(), {ay.get(), by.get(), cy.get()});
    } else if (c.at(1246), vy::length(curve) == 4) {
        c.at(1247);
        auto [a, b, cc, d] = coefficients<4>(aligned.get());
        c.at(1248);
        Ref solver = vy::global(n_solveCubic);
        Ref ay = vy::item(a.get(), Py_ssize_t(1)), by = vy::item(b.get(), Py_ssize_t(1)),
            cy = vy::item(cc.get(), Py_ssize_t(1)), dy = vy::item(d.get(), Py_ssize_t(1));
        intersections = vy::call(solver.get(), {ay.get(), by.get(), cy.get(), dy.get()});
    } else {
        c.at(1250);
        vy::raise(PyExc_ValueError, "Unknown curve degree");
    }
    c.at(1251);
    Ref it = vy::iter(intersections.get());
    vy::ListBuilder kept;
    while (Ref item = vy::next_or_end(it.get())) {
        Num i = Num::from(item.get());
        if (0.0 <= i && i <= 1) kept.append(std::move(item));
    }
    Ref list = kept.list();
    vy::sort(list.get());
    return list.release();
}

PyObject* curveLineIntersections(vy::Call& c, vy::Args& args) {
    PyObject *curve = args.o(0), *line = args.o(1);
    Ref pointFinder;
    c.at(1275);
    if (vy::length(curve) == 3) {
        c.at(1276);
        pointFinder = vy::global(n_quadraticPointAtT);
    } else if (c.at(1277), vy::length(curve) == 4) {
        c.at(1278);
        pointFinder = vy::global(n_cubicPointAtT);
    } else {
        c.at(1280);
        vy::raise(PyExc_ValueError, "Unknown curve degree");
    }
    c.at(1281);
    vy::ListBuilder intersections;
    c.at(1282);
    Ref ts;
    {
        Ref fn = vy::global(n_curve_line_intersections_t);
        ts = vy::call(fn.get(), {curve, line});
    }
    Ref it = vy::iter(ts.get());
    while (Ref t = vy::next_or_end(it.get())) {
        c.at(1283);
        Ref pt = vy::call_star(pointFinder.get(), {}, curve, {t.get()});
        c.at(1286);
        Ref line_t;
        {
            Ref fn = vy::global(n_line_t_of_pt);
            line_t = vy::call_star(fn.get(), {}, line, {pt.get()});
        }
        c.at(1287);
        {
            Ref fn = vy::global(n_linePointAtT);
            pt = vy::call_star(fn.get(), {}, line, {line_t.get()});
        }
        c.at(1288);
        Ref cls = vy::global(n_Intersection);
        intersections.append(intersection(cls.get(), pt.get(), t.get(), line_t.get()));
        c.at(1282);
    }
    return intersections.list().release();
}

const vy::Param line_t_params[] = {{"s"}, {"e"}, {"pt"}};
const vy::Param same_side_params[] = {{"a"}, {"b"}, {"origin"}};
const vy::Param line_line_params[] = {{"s1"}, {"e1"}, {"s2"}, {"e2"}};
const vy::Param segment_params[] = {{"segment"}};
const vy::Param curve_line_params[] = {{"curve"}, {"line"}};
const char* const line_t_locals[] = {"sx", "sy", "ex", "ey", "px", "py"};
const char* const same_side_locals[] = {"xDiff", "yDiff"};
const char* const line_line_locals[] = {"s1x", "s1y", "e1x", "e1y", "s2x", "s2y", "e2x", "e2y",
                                        "x", "slope34", "y", "pt", "slope12"};
const char* const alignment_locals[] = {"start", "end", "angle"};
const char* const curve_line_t_locals[] = {"aligned_curve", "a", "b", "c", "intersections", "d"};
const char* const curve_line_locals[] = {"pointFinder", "intersections", "t", "pt", "line_t"};

}  // namespace

vy::FunctionDef line_t_of_pt_def{
    .name = "_line_t_of_pt",
    .signature = "_line_t_of_pt(s, e, pt)",
    .line = 1133,
    .params = line_t_params,
    .locals = line_t_locals,
    .body = lineTOfPt,
};

vy::FunctionDef same_side_def{
    .name = "_both_points_are_on_same_side_of_origin",
    .signature = "_both_points_are_on_same_side_of_origin(a, b, origin)",
    .line = 1147,
    .params = same_side_params,
    .locals = same_side_locals,
    .body = sameSide,
};

vy::FunctionDef lineLineIntersections_def{
    .name = "lineLineIntersections",
    .signature = "lineLineIntersections(s1, e1, s2, e2)",
    .doc = R"(Finds intersections between two line segments.

    Args:
        s1, e1: The start and end points of the first line, as (x, y) pairs.
        s2, e2: The start and end points of the second line, as (x, y) pairs.

    Returns:
        A list of ``Intersection`` objects, each with ``pt``, ``t1`` and ``t2``
        attributes holding the intersection point, the time on the first
        segment and the time on the second segment.

    Examples::

        >>> a = lineLineIntersections((310, 389), (453, 222), (289, 251), (447, 367))
        >>> len(a)
        1
        >>> intersection = a[0]
        >>> intersection.pt
        (374.44882952482897, 313.73458370177315)
        >>> (intersection.t1, intersection.t2)
        (0.45069111555824465, 0.5408153767394238)
    )",
    .doctest = true,
    .line = 1153,
    .params = line_line_params,
    .locals = line_line_locals,
    .body = lineLineIntersections,
};

vy::FunctionDef alignment_transformation_def{
    .name = "_alignment_transformation",
    .signature = "_alignment_transformation(segment)",
    .line = 1231,
    .params = segment_params,
    .locals = alignment_locals,
    .body = alignmentTransformation,
};

vy::FunctionDef curve_line_intersections_t_def{
    .name = "_curve_line_intersections_t",
    .signature = "_curve_line_intersections_t(curve, line)",
    .line = 1241,
    .params = curve_line_params,
    .locals = curve_line_t_locals,
    .body = curveLineIntersectionsT,
};

vy::FunctionDef curveLineIntersections_def{
    .name = "curveLineIntersections",
    .signature = "curveLineIntersections(curve, line)",
    .doc = R"(Finds intersections between a curve and a line.

    Args:
        curve: A list of three or four points, as (x, y) pairs: a quadratic
            or cubic Bezier curve.
        line: A list of two points, as (x, y) pairs.

    Returns:
        A list of ``Intersection`` objects, each with ``pt``, ``t1`` and ``t2``
        attributes holding the intersection point, the time on the first
        segment and the time on the second segment.

    Examples::

        >>> curve = [ (100, 240), (30, 60), (210, 230), (160, 30) ]
        >>> line  = [ (25, 260), (230, 20) ]
        >>> intersections = curveLineIntersections(curve, line)
        >>> len(intersections)
        3
        >>> intersections[0].pt
        (84.9000930760723, 189.87306176459828)
    )",
    .doctest = true,
    .line = 1254,
    .params = curve_line_params,
    .locals = curve_line_locals,
    .body = curveLineIntersections,
};

}  // namespace curvemath
