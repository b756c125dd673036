// Control points and polynomial coefficients of segments, and points at a
// parameter value.
#include "curvemath.h"

namespace curvemath {

using vy::Complex;
using vy::Num;
using vy::Plain;

template <class V, class P>
std::array<PairOf<V>, 3> calc_quadratic_parameters(vy::Call& c, const P& pt1, const P& pt2, const P& pt3) {
    c.at(945);
    auto [x2, y2] = vy::unpack_point<V>(pt2);
    c.at(946);
    auto [x3, y3] = vy::unpack_point<V>(pt3);
    c.at(947);
    auto [cx, cy] = vy::unpack_point<V>(pt1);
    c.at(948);
    V bx = (x2 - cx) * 2.0;
    c.at(949);
    V by = (y2 - cy) * 2.0;
    c.at(950);
    V ax = (x3 - cx) - bx;
    c.at(951);
    V ay = (y3 - cy) - by;
    return {PairOf<V>{ax, ay}, PairOf<V>{bx, by}, PairOf<V>{cx, cy}};
}

template <class V, class P>
std::array<PairOf<V>, 4> calc_cubic_parameters(vy::Call& c, const P& pt1, const P& pt2, const P& pt3, const P& pt4) {
    c.at(956);
    auto [x2, y2] = vy::unpack_point<V>(pt2);
    c.at(957);
    auto [x3, y3] = vy::unpack_point<V>(pt3);
    c.at(958);
    auto [x4, y4] = vy::unpack_point<V>(pt4);
    c.at(959);
    auto [dx, dy] = vy::unpack_point<V>(pt1);
    c.at(960);
    V cx = (x2 - dx) * 3.0;
    c.at(961);
    V cy = (y2 - dy) * 3.0;
    c.at(962);
    V bx = (x3 - x2) * 3.0 - cx;
    c.at(963);
    V by = (y3 - y2) * 3.0 - cy;
    c.at(964);
    V ax = ((x4 - dx) - cx) - bx;
    c.at(965);
    V ay = ((y4 - dy) - cy) - by;
    return {PairOf<V>{ax, ay}, PairOf<V>{bx, by}, PairOf<V>{cx, cy}, PairOf<V>{dx, dy}};
}

template <class V>
std::array<PairOf<V>, 3> calc_quadratic_points(vy::Call& c, const PairOf<V>& a, const PairOf<V>& b,
                                               const PairOf<V>& cc) {
    const auto& [ax, ay] = a;
    const auto& [bx, by] = b;
    const auto& [cx, cy] = cc;
    c.at(993);
    V x2 = bx * 0.5 + cx;
    c.at(994);
    V y2 = by * 0.5 + cy;
    c.at(995);
    V x3 = (ax + bx) + cx;
    c.at(996);
    V y3 = (ay + by) + cy;
    c.at(997);
    return {PairOf<V>{cx, cy}, PairOf<V>{x2, y2}, PairOf<V>{x3, y3}};
}

template <class V>
std::array<PairOf<V>, 4> calc_cubic_points(vy::Call& c, const PairOf<V>& a, const PairOf<V>& b, const PairOf<V>& cc,
                                           const PairOf<V>& d) {
    const auto& [ax, ay] = a;
    const auto& [bx, by] = b;
    const auto& [cx, cy] = cc;
    const auto& [dx, dy] = d;
    c.at(1007);
    V x2 = cx / 3.0 + dx;
    c.at(1008);
    V y2 = cy / 3.0 + dy;
    c.at(1009);
    V x3 = (bx + cx) / 3.0 + x2;
    c.at(1010);
    V y3 = (by + cy) / 3.0 + y2;
    c.at(1011);
    V x4 = ((ax + dx) + cx) + bx;
    c.at(1012);
    V y4 = ((ay + dy) + cy) + by;
    c.at(1013);
    return {PairOf<V>{dx, dy}, PairOf<V>{x2, y2}, PairOf<V>{x3, y3}, PairOf<V>{x4, y4}};
}

using Obj = PyObject*;
using PlainPair = PairOf<Plain>;
template std::array<PairOf<Num>, 3> calc_quadratic_parameters(vy::Call&, const Obj&, const Obj&, const Obj&);
template std::array<PairOf<Plain>, 3> calc_quadratic_parameters(vy::Call&, const Obj&, const Obj&, const Obj&);
template std::array<PairOf<Plain>, 3> calc_quadratic_parameters(vy::Call&, const PlainPair&, const PlainPair&,
                                                                const PlainPair&);
template std::array<PairOf<Num>, 4> calc_cubic_parameters(vy::Call&, const Obj&, const Obj&, const Obj&, const Obj&);
template std::array<PairOf<Plain>, 4> calc_cubic_parameters(vy::Call&, const Obj&, const Obj&, const Obj&,
                                                            const Obj&);
template std::array<PairOf<Plain>, 4> calc_cubic_parameters(vy::Call&, const PlainPair&, const PlainPair&,
                                                            const PlainPair&, const PlainPair&);
template std::array<PairOf<Num>, 3> calc_quadratic_points(vy::Call&, const PairOf<Num>&, const PairOf<Num>&,
                                                          const PairOf<Num>&);
template std::array<PairOf<Plain>, 3> calc_quadratic_points(vy::Call&, const PairOf<Plain>&, const PairOf<Plain>&,
                                                            const PairOf<Plain>&);
template std::array<PairOf<Num>, 4> calc_cubic_points(vy::Call&, const PairOf<Num>&, const PairOf<Num>&,
                                                      const PairOf<Num>&, const PairOf<Num>&);
template std::array<PairOf<Plain>, 4> calc_cubic_points(vy::Call&, const PairOf<Plain>&, const PairOf<Plain>&,
                                                        const PairOf<Plain>&, const PairOf<Plain>&);

Cubic calcCubicParametersC(Complex pt1, Complex pt2, Complex pt3, Complex pt4) noexcept {
    Complex c = (pt2 - pt1) * 3.0;
    Complex b = (pt3 - pt2) * 3.0 - c;
    Complex d = pt1;
    Complex a = ((pt4 - pt1) - c) - b;
    return {a, b, c, d};
}

Cubic calcCubicPointsC(Complex a, Complex b, Complex c, Complex d) noexcept {
    const double k = 1.0 / 3.0;  // a product with 0.3333333333333333, not a quotient
    Complex p1 = d;
    Complex p2 = c * k + d;
    Complex p3 = (b + c) * k + p2;
    Complex p4 = ((a + b) + c) + d;
    return {p1, p2, p3, p4};
}

namespace {

// An untyped argument as a value of the run.
template <class V>
V arg(PyObject* o) {
    if constexpr (std::same_as<V, Plain>)
        return Plain::of(o);
    else
        return Num::from(o);
}

PyObject* calcQuadraticParameters(vy::Call& c, vy::Args& args) {
    return vy::plain_or_num(vy::plain_arguments(args, 3), [&]<class V>(std::type_identity<V>) {
        auto abc = calc_quadratic_parameters<V>(c, args.o(0), args.o(1), args.o(2));
        c.at(952);
        return tuple_of(abc).release();
    });
}

PyObject* calcCubicParameters(vy::Call& c, vy::Args& args) {
    return vy::plain_or_num(vy::plain_arguments(args, 4), [&]<class V>(std::type_identity<V>) {
        auto abcd = calc_cubic_parameters<V>(c, args.o(0), args.o(1), args.o(2), args.o(3));
        c.at(966);
        return tuple_of(abcd).release();
    });
}

PyObject* calcQuadraticPoints(vy::Call& c, vy::Args& args) {
    return vy::plain_or_num(vy::plain_arguments(args, 3), [&]<class V>(std::type_identity<V>) {
        c.at(988);
        PairOf<V> a = vy::unpack_point<V>(args.o(0));
        c.at(989);
        PairOf<V> b = vy::unpack_point<V>(args.o(1));
        c.at(990);
        PairOf<V> cc = vy::unpack_point<V>(args.o(2));
        return tuple_of(calc_quadratic_points(c, a, b, cc)).release();
    });
}

PyObject* calcCubicPoints(vy::Call& c, vy::Args& args) {
    return vy::plain_or_num(vy::plain_arguments(args, 4), [&]<class V>(std::type_identity<V>) {
        c.at(1001);
        PairOf<V> a = vy::unpack_point<V>(args.o(0));
        c.at(1002);
        PairOf<V> b = vy::unpack_point<V>(args.o(1));
        c.at(1003);
        PairOf<V> cc = vy::unpack_point<V>(args.o(2));
        c.at(1004);
        PairOf<V> d = vy::unpack_point<V>(args.o(3));
        return tuple_of(calc_cubic_points(c, a, b, cc, d)).release();
    });
}

PyObject* linePointAtT(vy::Call& c, vy::Args& args) {
    return vy::plain_or_num(vy::plain_arguments(args, 2, 1), [&]<class V>(std::type_identity<V>) {
        PyObject *pt1 = args.o(0), *pt2 = args.o(1);
        V t = arg<V>(args.o(2));
        c.at(1049);
        V x = vy::item<V>(pt1, 0) * (1 - t) + vy::item<V>(pt2, 0) * t;
        V y = vy::item<V>(pt1, 1) * (1 - t) + vy::item<V>(pt2, 1) * t;
        return vy::tuple(x, y).release();
    });
}

PyObject* quadraticPointAtT(vy::Call& c, vy::Args& args) {
    return vy::plain_or_num(vy::plain_arguments(args, 3, 1), [&]<class V>(std::type_identity<V>) {
        PyObject *pt1 = args.o(0), *pt2 = args.o(1), *pt3 = args.o(2);
        V t = arg<V>(args.o(3));
        auto coordinate = [&](int i) {
            return V(((1 - t) * (1 - t)) * vy::item<V>(pt1, i) + ((2 * (1 - t)) * t) * vy::item<V>(pt2, i) +
                     (t * t) * vy::item<V>(pt3, i));
        };
        c.at(1062);
        V x = coordinate(0);
        c.at(1063);
        V y = coordinate(1);
        c.at(1064);
        return vy::tuple(x, y).release();
    });
}

PyObject* cubicPointAtT(vy::Call& c, vy::Args& args) {
    return vy::plain_or_num(vy::plain_arguments(args, 4, 1), [&]<class V>(std::type_identity<V>) {
        PyObject *pt1 = args.o(0), *pt2 = args.o(1), *pt3 = args.o(2), *pt4 = args.o(3);
        V t = arg<V>(args.o(4));
        c.at(1077);
        V t2 = t * t;
        c.at(1078);
        V _1_t = 1 - t;
        c.at(1079);
        V _1_t_2 = _1_t * _1_t;
        // first + 3 * (bracket) + last, written over three source lines: each
        // part reports the line it stands on, the sums the statement's first.
        auto coordinate = [&](int i, int line) {
            c.at(line);
            V first = (_1_t_2 * _1_t) * vy::item<V>(pt1, i);
            c.at(line + 1);
            V bracket = (_1_t_2 * t) * vy::item<V>(pt2, i) + (_1_t * t2) * vy::item<V>(pt3, i);
            c.at(line);
            first = first + 3 * bracket;
            c.at(line + 2);
            V last = (t2 * t) * vy::item<V>(pt4, i);
            c.at(line);
            return V(first + last);
        };
        V x = coordinate(0, 1081);
        V y = coordinate(1, 1086);
        c.at(1090);
        return vy::tuple(x, y).release();
    });
}

PyObject* cubicPointAtTC(vy::Call& c, vy::Args& args) {
    Complex pt1 = args.z(0), pt2 = args.z(1), pt3 = args.z(2), pt4 = args.z(3);
    const double t = args.d(4);
    const double u = 1 - t;
    const double u2 = u * u;
    const double h = u * u2;
    const double m = u2 * t;
    const double p = t * t;
    const double r = u * p;
    const double y = t * p;
    Complex result = ((pt1 * h) + ((pt2 * m) + (pt3 * r)) * 3.0) + pt4 * y;
    c.at(1115);
    return vy::complex_object(result).release();
}

PyObject* segmentPointAtT(vy::Call& c, vy::Args& args) {
    PyObject* seg = args.o(0);
    PyObject* t = args.o(1);
    const vy::Name* point_at_t = nullptr;
    c.at(1119);
    if (vy::length(seg) == 2) {
        c.at(1120);
        point_at_t = &n_linePointAtT;
    } else if (c.at(1121), vy::length(seg) == 3) {
        c.at(1122);
        point_at_t = &n_quadraticPointAtT;
    } else if (c.at(1123), vy::length(seg) == 4) {
        c.at(1124);
        point_at_t = &n_cubicPointAtT;
    } else {
        c.at(1125);
        vy::raise(PyExc_ValueError, "Unknown curve degree");
    }
    vy::Ref fn = vy::global(*point_at_t);
    return vy::call_star(fn.get(), {}, seg, {t}).release();
}

const vy::Param quadratic_points_params[] = {{"pt1"}, {"pt2"}, {"pt3"}};
const vy::Param cubic_points_params[] = {{"pt1"}, {"pt2"}, {"pt3"}, {"pt4"}};
const vy::Param quadratic_coefficient_params[] = {{"a"}, {"b"}, {"c"}};
const vy::Param cubic_coefficient_params[] = {{"a"}, {"b"}, {"c"}, {"d"}};
const vy::Param line_at_params[] = {{"pt1"}, {"pt2"}, {"t"}};
const vy::Param quadratic_at_params[] = {{"pt1"}, {"pt2"}, {"pt3"}, {"t"}};
const vy::Param cubic_at_params[] = {{"pt1"}, {"pt2"}, {"pt3"}, {"pt4"}, {"t"}};
const vy::Param cubic_at_c_params[] = {{"pt1", vy::Kind::Complex}, {"pt2", vy::Kind::Complex},
                                       {"pt3", vy::Kind::Complex}, {"pt4", vy::Kind::Complex},
                                       {"t", vy::Kind::Double}};
const vy::Param segment_at_params[] = {{"seg"}, {"t"}};
const char* const quadratic_parameters_locals[] = {"x2", "y2", "x3", "y3", "cx", "cy", "bx", "by", "ax", "ay"};
const char* const cubic_parameters_locals[] = {"x2", "y2", "x3", "y3", "x4", "y4", "dx",
                                               "dy", "cx", "cy", "bx", "by", "ax", "ay"};
const char* const quadratic_points_locals[] = {"ax", "ay", "bx", "by", "cx", "cy", "x1", "y1", "x2", "y2", "x3", "y3"};
const char* const cubic_points_locals[] = {"ax", "ay", "bx", "by", "cx", "cy", "dx", "dy", "x1",
                                           "y1", "x2", "y2", "x3", "y3", "x4", "y4"};
const char* const line_at_locals[] = {"x", "y"};
const char* const cubic_at_locals[] = {"t2", "_1_t", "_1_t_2", "x", "y"};
const char* const cubic_at_c_locals[] = {"t2", "_1_t", "_1_t_2"};

}  // namespace

vy::FunctionDef calcQuadraticParameters_def{
    .name = "calcQuadraticParameters",
    .signature = "calcQuadraticParameters(pt1, pt2, pt3)",
    .line = 944,
    .params = quadratic_points_params,
    .locals = quadratic_parameters_locals,
    .body = calcQuadraticParameters,
};

vy::FunctionDef calcCubicParameters_def{
    .name = "calcCubicParameters",
    .signature = "calcCubicParameters(pt1, pt2, pt3, pt4)",
    .line = 955,
    .params = cubic_points_params,
    .locals = cubic_parameters_locals,
    .body = calcCubicParameters,
};

vy::FunctionDef calcQuadraticPoints_def{
    .name = "calcQuadraticPoints",
    .signature = "calcQuadraticPoints(a, b, c)",
    .line = 987,
    .params = quadratic_coefficient_params,
    .locals = quadratic_points_locals,
    .body = calcQuadraticPoints,
};

vy::FunctionDef calcCubicPoints_def{
    .name = "calcCubicPoints",
    .signature = "calcCubicPoints(a, b, c, d)",
    .line = 1000,
    .params = cubic_coefficient_params,
    .locals = cubic_points_locals,
    .body = calcCubicPoints,
};

vy::FunctionDef linePointAtT_def{
    .name = "linePointAtT",
    .signature = "linePointAtT(pt1, pt2, t)",
    .doc = R"(The point at parameter value `t` on a line.

    Args:
        pt1, pt2: The end points, as (x, y) pairs.
        t: The time along the line.

    Returns:
        A 2D tuple with the coordinates of the point.
    )",
    .line = 1039,
    .params = line_at_params,
    .locals = line_at_locals,
    .body = linePointAtT,
};

vy::FunctionDef quadraticPointAtT_def{
    .name = "quadraticPointAtT",
    .signature = "quadraticPointAtT(pt1, pt2, pt3, t)",
    .doc = R"(The point at parameter value `t` on a quadratic Bezier curve.

    Args:
        pt1, pt2, pt3: The control points, as (x, y) pairs.
        t: The time along the curve.

    Returns:
        A 2D tuple with the coordinates of the point.
    )",
    .line = 1052,
    .params = quadratic_at_params,
    .locals = line_at_locals,
    .body = quadraticPointAtT,
};

vy::FunctionDef cubicPointAtT_def{
    .name = "cubicPointAtT",
    .signature = "cubicPointAtT(pt1, pt2, pt3, pt4, t)",
    .doc = R"(The point at parameter value `t` on a cubic Bezier curve.

    Args:
        pt1, pt2, pt3, pt4: The control points, as (x, y) pairs.
        t: The time along the curve.

    Returns:
        A 2D tuple with the coordinates of the point.
    )",
    .line = 1067,
    .params = cubic_at_params,
    .locals = cubic_at_locals,
    .body = cubicPointAtT,
};

vy::FunctionDef cubicPointAtTC_def{
    .name = "cubicPointAtTC",
    .signature = "cubicPointAtTC(double complex pt1, double complex pt2, double complex pt3, double complex pt4, "
                 "double t)",
    .doc = R"(The point at parameter value `t` on a cubic Bezier curve.

    Args:
        pt1, pt2, pt3, pt4: The control points, as complex numbers.
        t: The time along the curve.

    Returns:
        A complex number with the coordinates of the point.
    )",
    .line = 1093,
    .params = cubic_at_c_params,
    .locals = cubic_at_c_locals,
    .body = cubicPointAtTC,
};

vy::FunctionDef segmentPointAtT_def{
    .name = "segmentPointAtT",
    .signature = "segmentPointAtT(seg, t)",
    .line = 1118,
    .params = segment_at_params,
    .body = segmentPointAtT,
};

// a, b, c = calcQuadraticParameters(pt1, pt2, pt3)
std::array<Coefficient, 3> quadratic_parameters(PyObject* pt1, PyObject* pt2, PyObject* pt3) {
    return c_calcQuadraticParameters.call(
        [&](vy::Call& callee) -> std::array<Coefficient, 3> {
            auto [a, b, c] = calc_quadratic_parameters<vy::Num>(callee, pt1, pt2, pt3);
            return {Coefficient(std::move(a)), Coefficient(std::move(b)), Coefficient(std::move(c))};
        },
        [&](PyObject* fn) -> std::array<Coefficient, 3> {
            vy::Ref abc = vy::call(fn, {pt1, pt2, pt3});
            auto [a, b, c] = vy::unpack<3>(abc.get());
            return {Coefficient(std::move(a)), Coefficient(std::move(b)), Coefficient(std::move(c))};
        });
}

// a, b, c, d = calcCubicParameters(pt1, pt2, pt3, pt4)
std::array<Coefficient, 4> cubic_parameters(PyObject* pt1, PyObject* pt2, PyObject* pt3, PyObject* pt4) {
    return c_calcCubicParameters.call(
        [&](vy::Call& callee) -> std::array<Coefficient, 4> {
            auto [a, b, c, d] = calc_cubic_parameters<vy::Num>(callee, pt1, pt2, pt3, pt4);
            return {Coefficient(std::move(a)), Coefficient(std::move(b)), Coefficient(std::move(c)),
                    Coefficient(std::move(d))};
        },
        [&](PyObject* fn) -> std::array<Coefficient, 4> {
            vy::Ref abcd = vy::call(fn, {pt1, pt2, pt3, pt4});
            auto [a, b, c, d] = vy::unpack<4>(abcd.get());
            return {Coefficient(std::move(a)), Coefficient(std::move(b)), Coefficient(std::move(c)),
                    Coefficient(std::move(d))};
        });
}

}  // namespace curvemath
