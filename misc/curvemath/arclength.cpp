// Arc lengths of quadratic and cubic segments: measured by subdivision, in
// closed form, and by fixed quadrature.
#include <cmath>

#include "curvemath.h"

namespace curvemath {

using vy::Complex;
using vy::Num;
using vy::Ref;

namespace {

const vy::Name n_math{"math"}, n_asinh{"asinh"};
const vy::MathFn1 asinh{"asinh", std::asinh};
const vy::Internal intSecAtan_fn{"_intSecAtan"};

Ref complex_ref(Complex z) { return vy::complex_object(z); }

// _split_cubic_into_two over complex objects with Python's arithmetic, or
// over machine complex numbers: one formula for both.
template <class V>
std::array<V, 8> split_into_two(vy::Call& c, const V& p0, const V& p1, const V& p2, const V& p3) {
    c.at(75);
    V mid = ((p0 + 3 * (p1 + p2)) + p3) * 0.125;
    c.at(76);
    V deriv3 = (((p3 + p2) - p1) - p0) * 0.125;
    c.at(77);
    V a = (p0 + p1) * 0.5;
    V b = mid - deriv3;
    V d = mid + deriv3;
    V e = (p2 + p3) * 0.5;
    return {p0, a, b, mid, mid, d, e, p3};
}

PyObject* split_cubic_into_two(vy::Call& c, vy::Args& args) {
    Num p0 = Num::from(args.o(0)), p1 = Num::from(args.o(1)), p2 = Num::from(args.o(2)), p3 = Num::from(args.o(3));
    std::array<Num, 8> h = split_into_two(c, p0, p1, p2, p3);
    // mid appears in both halves as one object
    Num mid = std::move(h[3]).boxed();
    return vy::tuple(vy::Num::steal(vy::tuple(h[0], h[1], h[2], mid)), vy::Num::steal(vy::tuple(mid, h[5], h[6], h[7])))
        .release();
}

bool finite(Complex z) noexcept { return std::isfinite(z.real()) && std::isfinite(z.imag()); }

// _calcCubicArcLengthCRecurse(mult, p0, p1, p2, p3)
Num recurse(vy::Call& c, double mult, Complex p0, Complex p1, Complex p2, Complex p3) {
    vy::Recursion guard("");
    // Non-finite points and a mult below 1 never meet the stopping test.
    c.at(92);
    if (!(mult >= 1.0 && mult < HUGE_VAL)) vy::raise(PyExc_ValueError, "mult must be a finite number >= 1.0");
    if (!(finite(p0) && finite(p1) && finite(p2) && finite(p3)))
        vy::raise(PyExc_ValueError, "cannot measure a curve whose points are not finite");
    const double arch = abs(p0 - p3);
    const double box = (abs(p0 - p1) + abs(p1 - p2)) + abs(p2 - p3);
    c.at(94);
    if (Num(arch * mult) + EPSILON >= box) {
        c.at(95);
        return Num((arch + box) * 0.5);
    }
    c.at(97);
    Ref split_holder;
    bool native;
    PyObject* split = c_split_cubic_into_two.held(split_holder, native);
    std::array<Complex, 8> halves;
    Ref one, two;
    if (native) {
        halves = vy::called(splitCubicIntoTwo_def,
                            [&](vy::Call& callee) { return split_into_two<Complex>(callee, p0, p1, p2, p3); });
    } else {
        Ref z0 = complex_ref(p0), z1 = complex_ref(p1), z2 = complex_ref(p2), z3 = complex_ref(p3);
        Ref result = vy::call(split, {z0.get(), z1.get(), z2.get(), z3.get()});
        auto [first, second] = vy::unpack<2>(result.get());
        one = std::move(first), two = std::move(second);
    }
    c.at(98);
    Ref mult_object;
    auto half = [&](int k) -> Num {
        Ref holder;
        bool ours;
        PyObject* fn = c_calcCubicArcLengthCRecurse.held(holder, ours);
        const Complex* h = &halves[size_t(4 * k)];
        if (native && ours)
            return vy::called(calcCubicArcLengthCRecurse_def,
                              [&](vy::Call& callee) { return recurse(callee, mult, h[0], h[1], h[2], h[3]); });
        if (!mult_object) mult_object = vy::float_object(mult);
        if (native) {
            Ref z0 = complex_ref(h[0]), z1 = complex_ref(h[1]), z2 = complex_ref(h[2]), z3 = complex_ref(h[3]);
            return Num::steal(vy::call(fn, {mult_object.get(), z0.get(), z1.get(), z2.get(), z3.get()}));
        }
        return Num::steal(vy::call_star(fn, {mult_object.get()}, (k == 0 ? one : two).get()));
    };
    Num first = half(0);
    Num second = half(1);
    return Num(first + second);
}

PyObject* calcCubicArcLengthCRecurse(vy::Call& c, vy::Args& args) {
    return recurse(c, args.d(0), args.z(1), args.z(2), args.z(3), args.z(4)).object().release();
}

Num cubic_arc_length_c(vy::Call& c, Complex pt1, Complex pt2, Complex pt3, Complex pt4, double tolerance) {
    c.at(124);
    if (!(tolerance >= 0.0 && tolerance < HUGE_VAL))
        vy::raise(PyExc_ValueError, "tolerance must be a finite number >= 0");
    const double mult = 1.0 + 1.5 * tolerance;
    c.at(125);
    Ref fn;
    if (c_calcCubicArcLengthCRecurse.lookup(fn))
        return vy::called(calcCubicArcLengthCRecurse_def,
                          [&](vy::Call& callee) { return recurse(callee, mult, pt1, pt2, pt3, pt4); });
    Ref m = vy::float_object(mult);
    Ref z1 = complex_ref(pt1), z2 = complex_ref(pt2), z3 = complex_ref(pt3), z4 = complex_ref(pt4);
    return Num::steal(vy::call(fn.get(), {m.get(), z1.get(), z2.get(), z3.get(), z4.get()}));
}

PyObject* calcCubicArcLengthC(vy::Call& c, vy::Args& args) {
    return cubic_arc_length_c(c, args.z(0), args.z(1), args.z(2), args.z(3), args.d(4)).object().release();
}

PyObject* calcCubicArcLength(vy::Call& c, vy::Args& args) {
    c.at(69);
    PyObject* tolerance = args.o(4);
    return front_end<4>(
        c_calcCubicArcLengthC, args,
        [&](vy::Call& callee, const std::array<Complex, 4>& z) {
            const double tol = vy::to_double(tolerance);
            return cubic_arc_length_c(callee, z[0], z[1], z[2], z[3], tol).object().release();
        },
        tolerance);
}

// _intSecAtan(x): the integral of sec³ at atan(x)
double int_sec_atan(double x) {
    vy::Frame f(intSecAtan_fn, 147);
    Num first = [&] {
        Ref math = vy::global(n_math);
        Ref fn = vy::getattr(math.get(), sqrt.name());
        return Num(Num(x) * sqrt.with(fn.get(), Num(x * x + 1)) / 2);
    }();
    Ref math = vy::global(n_math);
    Ref fn = vy::getattr(math.get(), n_asinh);
    Num result = first + asinh.with(fn.get(), Num(x)) / 2;
    double out;
    if (result.exact_double(out) && result.is_float()) return out;
    return vy::to_double(result.object().get());
}

// The real part of u times the conjugate of v.
double dot(Complex u, Complex v) noexcept { return (u * Complex(v.real(), -v.imag())).real(); }

[[noreturn]] void float_division() { vy::raise(PyExc_ZeroDivisionError, "float division"); }

double quadratic_arc_length_c(vy::Call& c, Complex pt1, Complex pt2, Complex pt3) {
    const Complex d0 = pt2 - pt1;
    const Complex d1 = pt3 - pt2;
    const Complex d = d1 - d0;
    const Complex n = d * Complex(0.0, 1.0);
    const double scale = abs(n);
    c.at(223);
    if (scale == 0.0) return abs(pt3 - pt1);
    c.at(224);
    const double origDist = dot(n, d0);
    c.at(225);
    if (Num(std::fabs(origDist)) < epsilon) {
        c.at(226);
        if (dot(d0, d1) >= 0) {
            c.at(227);
            return abs(pt3 - pt1);
        }
        c.at(228);
        const double a = abs(d0), b = abs(d1);
        c.at(229);
        if (a + b == 0) float_division();
        return (a * a + b * b) / (a + b);
    }
    c.at(230);
    if (origDist == 0) float_division();
    const double x0 = dot(d, d0) / origDist;
    c.at(231);
    const double x1 = dot(d, d1) / origDist;
    c.at(232);
    const double s1 = int_sec_atan(x1);
    const double s0 = int_sec_atan(x0);
    const double divisor = scale * (x1 - x0);
    if (divisor == 0) float_division();
    const double Len = std::fabs(2 * (s1 - s0) * origDist / divisor);
    c.at(233);
    return Len;
}

PyObject* calcQuadraticArcLengthC(vy::Call& c, vy::Args& args) {
    return vy::float_object(quadratic_arc_length_c(c, args.z(0), args.z(1), args.z(2))).release();
}

PyObject* calcQuadraticArcLength(vy::Call& c, vy::Args& args) {
    c.at(182);
    return front_end<3>(c_calcQuadraticArcLengthC, args,
                        [](vy::Call& callee, const std::array<Complex, 3>& z) {
                            return vy::float_object(quadratic_arc_length_c(callee, z[0], z[1], z[2])).release();
                        });
}

const vy::Param cubic_tolerance_params[] = {{"pt1"}, {"pt2"}, {"pt3"}, {"pt4"}, {"tolerance"}};
const vy::Param cubic_tolerance_c_params[] = {{"pt1", vy::Kind::Complex}, {"pt2", vy::Kind::Complex},
                                              {"pt3", vy::Kind::Complex}, {"pt4", vy::Kind::Complex},
                                              {"tolerance", vy::Kind::Double}};
const vy::Param recurse_params[] = {{"mult", vy::Kind::Double}, {"p0", vy::Kind::Complex},
                                    {"p1", vy::Kind::Complex},  {"p2", vy::Kind::Complex},
                                    {"p3", vy::Kind::Complex}};
const vy::Param split_params[] = {{"p0"}, {"p1"}, {"p2"}, {"p3"}};
const char* const split_locals[] = {"mid", "deriv3"};
const char* const recurse_locals[] = {"arch", "box", "one", "two"};
const char* const cubic_c_locals[] = {"mult"};
const char* const quadratic_c_locals[] = {"scale", "origDist", "a", "b", "x0", "x1", "Len", "d0", "d1", "d", "n"};

}  // namespace

vy::FunctionDef calcCubicArcLength_def{
    .name = "calcCubicArcLength",
    .signature = "calcCubicArcLength(pt1, pt2, pt3, pt4, tolerance=0.005)",
    .doc = R"(Calculates the arc length for a cubic Bezier segment.

    Whereas :func:`approximateCubicArcLength` approximates the length, this
    function calculates it by "measuring", recursively dividing the curve
    until the divided segments are shorter than ``tolerance``.

    Args:
        pt1,pt2,pt3,pt4: Control points of the Bezier as 2D tuples.
        tolerance: Controls the precision of the calcuation.

    Returns:
        Arc length value.
    )",
    .line = 55,
    .params = cubic_tolerance_params,
    .body = calcCubicArcLength,
};

vy::FunctionDef splitCubicIntoTwo_def{
    .name = "_split_cubic_into_two",
    .signature = "_split_cubic_into_two(p0, p1, p2, p3)",
    .line = 74,
    .params = split_params,
    .locals = split_locals,
    .body = split_cubic_into_two,
};

vy::FunctionDef calcCubicArcLengthCRecurse_def{
    .name = "_calcCubicArcLengthCRecurse",
    .signature = "_calcCubicArcLengthCRecurse(double mult, double complex p0, double complex p1, "
                 "double complex p2, double complex p3)",
    .line = 83,
    .params = recurse_params,
    .locals = recurse_locals,
    .body = calcCubicArcLengthCRecurse,
};

vy::FunctionDef calcCubicArcLengthC_def{
    .name = "calcCubicArcLengthC",
    .signature = "calcCubicArcLengthC(double complex pt1, double complex pt2, double complex pt3, "
                 "double complex pt4, double tolerance=0.005)",
    .doc = R"(Calculates the arc length for a cubic Bezier segment.

    Args:
        pt1,pt2,pt3,pt4: Control points of the Bezier as complex numbers.
        tolerance: Controls the precision of the calcuation.

    Returns:
        Arc length value.
    )",
    .line = 103,
    .params = cubic_tolerance_c_params,
    .locals = cubic_c_locals,
    .body = calcCubicArcLengthC,
};

vy::FunctionDef calcQuadraticArcLength_def{
    .name = "calcQuadraticArcLength",
    .signature = "calcQuadraticArcLength(pt1, pt2, pt3)",
    .doc = R"(Calculates the arc length for a quadratic Bezier segment.

    Args:
        pt1: Start point of the Bezier as 2D tuple.
        pt2: Handle point of the Bezier as 2D tuple.
        pt3: End point of the Bezier as 2D tuple.

    Returns:
        Arc length value.

    Example::

        >>> calcQuadraticArcLength((0, 0), (0, 0), (0, 0)) # empty segment
        0.0
        >>> calcQuadraticArcLength((0, 0), (50, 0), (80, 0)) # collinear points
        80.0
        >>> calcQuadraticArcLength((0, 0), (0, 50), (0, 80)) # collinear points vertical
        80.0
        >>> calcQuadraticArcLength((0, 0), (50, 20), (100, 40)) # collinear points
        107.70329614269008
        >>> calcQuadraticArcLength((0, 0), (0, 100), (100, 0))
        154.02976155645263
        >>> calcQuadraticArcLength((0, 0), (0, 50), (100, 0))
        120.21581243984076
        >>> calcQuadraticArcLength((0, 0), (50, -10), (80, 50))
        102.53273816445825
        >>> calcQuadraticArcLength((0, 0), (40, 0), (-40, 0)) # collinear points, control point outside
        66.66666666666667
        >>> calcQuadraticArcLength((0, 0), (40, 0), (0, 0)) # collinear points, looping back
        40.0
    )",
    .doctest = true,
    .line = 150,
    .params = points3_params,
    .body = calcQuadraticArcLength,
};

vy::FunctionDef calcQuadraticArcLengthC_def{
    .name = "calcQuadraticArcLengthC",
    .signature = "calcQuadraticArcLengthC(double complex pt1, double complex pt2, double complex pt3)",
    .doc = R"(Calculates the arc length for a quadratic Bezier segment.

    Args:
        pt1: Start point of the Bezier as a complex number.
        pt2: Handle point of the Bezier as a complex number.
        pt3: End point of the Bezier as a complex number.

    Returns:
        Arc length value.
    )",
    .line = 185,
    .params = points3_c_params,
    .locals = quadratic_c_locals,
    .body = calcQuadraticArcLengthC,
};

}  // namespace curvemath
