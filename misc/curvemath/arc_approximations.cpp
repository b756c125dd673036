// Arc lengths estimated by fixed quadrature: approximateQuadraticArcLength,
// approximateCubicArcLength and their complex forms.
#include "curvemath.h"

namespace curvemath {

using vy::Complex;

namespace {

double approximate_quadratic(Complex pt1, Complex pt2, Complex pt3) noexcept {
    const double v0 = abs(((-0.492943519233745 * pt1) + 0.430331482911935 * pt2) + 0.0626120363218102 * pt3);
    const double v1 = abs(pt3 - pt1) * 0.4444444444444444;
    const double v2 = abs(((-0.0626120363218102 * pt1) - 0.430331482911935 * pt2) + 0.492943519233745 * pt3);
    return (v0 + v1) + v2;
}

double approximate_cubic(Complex pt1, Complex pt2, Complex pt3, Complex pt4) noexcept {
    const double v0 = abs(pt2 - pt1) * 0.15;
    const double v1 = abs((((-0.558983582205757 * pt1) + 0.325650248872424 * pt2) + 0.208983582205757 * pt3) +
                          0.024349751127576 * pt4);
    const double v2 = abs(((pt4 - pt1) + pt3) - pt2) * 0.26666666666666666;
    const double v3 = abs((((-0.024349751127576 * pt1) - 0.208983582205757 * pt2) - 0.325650248872424 * pt3) +
                          0.558983582205757 * pt4);
    const double v4 = abs(pt4 - pt3) * 0.15;
    return (((v0 + v1) + v2) + v3) + v4;
}

PyObject* approximateQuadraticArcLengthC(vy::Call& c, vy::Args& args) {
    c.at(294);
    return vy::float_object(approximate_quadratic(args.z(0), args.z(1), args.z(2))).release();
}

PyObject* approximateQuadraticArcLength(vy::Call& c, vy::Args& args) {
    c.at(250);
    return front_end<3>(c_approximateQuadraticArcLengthC, args,
                        [](vy::Call& callee, const std::array<Complex, 3>& z) {
                            callee.at(294);
                            return vy::float_object(approximate_quadratic(z[0], z[1], z[2])).release();
                        });
}

PyObject* approximateCubicArcLengthC(vy::Call& c, vy::Args& args) {
    c.at(408);
    return vy::float_object(approximate_cubic(args.z(0), args.z(1), args.z(2), args.z(3))).release();
}

PyObject* approximateCubicArcLength(vy::Call& c, vy::Args& args) {
    c.at(356);
    return front_end<4>(c_approximateCubicArcLengthC, args,
                        [](vy::Call& callee, const std::array<Complex, 4>& z) {
                            callee.at(408);
                            return vy::float_object(approximate_cubic(z[0], z[1], z[2], z[3])).release();
                        });
}

const char* const approximate_quadratic_locals[] = {"v0", "v1", "v2"};
const char* const approximate_cubic_locals[] = {"v0", "v1", "v2", "v3", "v4"};

}  // namespace

vy::FunctionDef approximateQuadraticArcLength_def{
    .name = "approximateQuadraticArcLength",
    .signature = "approximateQuadraticArcLength(pt1, pt2, pt3)",
    .doc = R"(Calculates the arc length for a quadratic Bezier segment.

    Uses Gauss-Legendre quadrature for a branch-free approximation.
    See :func:`calcQuadraticArcLength` for a slower but more accurate result.

    Args:
        pt1: Start point of the Bezier as 2D tuple.
        pt2: Handle point of the Bezier as 2D tuple.
        pt3: End point of the Bezier as 2D tuple.

    Returns:
        Approximate arc length value.
    )",
    .line = 236,
    .params = points3_params,
    .body = approximateQuadraticArcLength,
};

vy::FunctionDef approximateQuadraticArcLengthC_def{
    .name = "approximateQuadraticArcLengthC",
    .signature = "approximateQuadraticArcLengthC(double complex pt1, double complex pt2, double complex pt3)",
    .doc = R"(Calculates the arc length for a quadratic Bezier segment.

    Uses Gauss-Legendre quadrature for a branch-free approximation.

    Args:
        pt1: Start point of the Bezier as a complex number.
        pt2: Handle point of the Bezier as a complex number.
        pt3: End point of the Bezier as a complex number.

    Returns:
        Approximate arc length value.
    )",
    .line = 253,
    .params = points3_c_params,
    .locals = approximate_quadratic_locals,
    .body = approximateQuadraticArcLengthC,
};

vy::FunctionDef approximateCubicArcLength_def{
    .name = "approximateCubicArcLength",
    .signature = "approximateCubicArcLength(pt1, pt2, pt3, pt4)",
    .doc = R"(Approximates the arc length for a cubic Bezier segment.

    Uses Gauss-Lobatto quadrature with n=5 points to approximate arc length.
    See :func:`calcCubicArcLength` for a slower but more accurate result.

    Args:
        pt1,pt2,pt3,pt4: Control points of the Bezier as 2D tuples.

    Returns:
        Arc length value.

    Example::

        >>> approximateCubicArcLength((0, 0), (25, 100), (75, 100), (100, 0))
        190.04332968932817
        >>> approximateCubicArcLength((0, 0), (50, 0), (100, 50), (100, 100))
        154.8852074945903
        >>> approximateCubicArcLength((0, 0), (50, 0), (100, 0), (150, 0)) # line; exact result should be 150.
        149.99999999999991
        >>> approximateCubicArcLength((0, 0), (50, 0), (100, 0), (-50, 0)) # cusp; exact result should be 150.
        136.9267662156362
        >>> approximateCubicArcLength((0, 0), (50, 0), (100, -50), (-50, 0)) # cusp
        154.80848416537057
    )",
    .doctest = true,
    .line = 331,
    .params = points4_params,
    .body = approximateCubicArcLength,
};

vy::FunctionDef approximateCubicArcLengthC_def{
    .name = "approximateCubicArcLengthC",
    .signature = "approximateCubicArcLengthC(double complex pt1, double complex pt2, double complex pt3, "
                 "double complex pt4)",
    .doc = R"(Approximates the arc length for a cubic Bezier segment.

    Args:
        pt1,pt2,pt3,pt4: Control points of the Bezier as complex numbers.

    Returns:
        Arc length value.
    )",
    .line = 361,
    .params = points4_c_params,
    .locals = approximate_cubic_locals,
    .body = approximateCubicArcLengthC,
};

}  // namespace curvemath
