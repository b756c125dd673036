// The contribution of one segment to each total: -integral over the segment
// of F(x(t), y(t)) * x'(t) dt, with F the integrand integrated in y from 0,
// expanded into polynomials of the control points (Green's theorem turns the
// sum over a closed contour into the area integral).  vellary.misc.greenforms
// derives and prints these same polynomials with exact rational arithmetic.
#include <cmath>

#include "integrator.h"

namespace integrator {

namespace {

// pow of the C library, called at run time: it is not always correctly
// rounded, so pow(x, 2) may differ from x * x in the last bit, and no clone
// may fold a known exponent into multiplications.  Declared without side
// effects, so that each power a formula names repeatedly is computed once per
// segment.
[[gnu::const, gnu::noinline, gnu::noclone]] double pow(double x, int n) { return std::pow(x, double(n)); }

}  // namespace

Moments line(double x0, double y0, double x1, double y1) {
    Moments m;
    m.area = (x0*y0 + x0*y1 - y0*x1 - x1*y1) / 2;
    m.momentX = (2*pow(x0, 2)*y0 + pow(x0, 2)*y1 - x0*y0*x1 + x0*x1*y1 - y0*pow(x1, 2) - 2*pow(x1, 2)*y1) / 6;
    m.momentY = (x0*pow(y0, 2) + x0*y0*y1 + x0*pow(y1, 2) - pow(y0, 2)*x1 - y0*x1*y1 - x1*pow(y1, 2)) / 6;
    m.momentXX = (3*pow(x0, 3)*y0 + pow(x0, 3)*y1 - pow(x0, 2)*y0*x1 + pow(x0, 2)*x1*y1 - x0*y0*pow(x1, 2)
        + x0*pow(x1, 2)*y1 - y0*pow(x1, 3) - 3*pow(x1, 3)*y1) / 12;
    m.momentXY = (3*pow(x0, 2)*pow(y0, 2) + 2*pow(x0, 2)*y0*y1 + pow(x0, 2)*pow(y1, 2) - 2*x0*pow(y0, 2)*x1
        + 2*x0*x1*pow(y1, 2) - pow(y0, 2)*pow(x1, 2) - 2*y0*pow(x1, 2)*y1 - 3*pow(x1, 2)*pow(y1, 2)) / 24;
    m.momentYY = (x0*pow(y0, 3) + x0*pow(y0, 2)*y1 + x0*y0*pow(y1, 2) + x0*pow(y1, 3) - pow(y0, 3)*x1 - pow(y0, 2)*x1*y1
        - y0*x1*pow(y1, 2) - x1*pow(y1, 3)) / 12;
    return m;
}

Moments quadratic(double x0, double y0, double x1, double y1, double x2, double y2) {
    Moments m;
    m.area = (3*x0*y0 + 2*x0*y1 + x0*y2 - 2*y0*x1 - y0*x2 + 2*x1*y2 - 2*y1*x2 - 3*x2*y2) / 6;
    m.momentX = (10*pow(x0, 2)*y0 + 4*pow(x0, 2)*y1 + pow(x0, 2)*y2 - 4*x0*y0*x1 - x0*y0*x2 + 2*x0*x1*y1 + 2*x0*x1*y2
        + x0*x2*y2 - 2*y0*pow(x1, 2) - 2*y0*x1*x2 - y0*pow(x2, 2) + 2*pow(x1, 2)*y2 - 2*x1*y1*x2 + 4*x1*x2*y2
        - 4*y1*pow(x2, 2) - 10*pow(x2, 2)*y2) / 30;
    m.momentY = (5*x0*pow(y0, 2) + 4*x0*y0*y1 + x0*y0*y2 + 2*x0*pow(y1, 2) + 2*x0*y1*y2 + x0*pow(y2, 2)
        - 4*pow(y0, 2)*x1 - pow(y0, 2)*x2 - 2*y0*x1*y1 - 2*y0*y1*x2 - y0*x2*y2 + 2*x1*y1*y2 + 4*x1*pow(y2, 2)
        - 2*pow(y1, 2)*x2 - 4*y1*x2*y2 - 5*x2*pow(y2, 2)) / 30;
    m.momentXX = (105*pow(x0, 3)*y0 + 30*pow(x0, 3)*y1 + 5*pow(x0, 3)*y2 - 30*pow(x0, 2)*y0*x1 - 5*pow(x0, 2)*y0*x2
        + 20*pow(x0, 2)*x1*y1 + 10*pow(x0, 2)*x1*y2 + 2*pow(x0, 2)*y1*x2 + 3*pow(x0, 2)*x2*y2 - 20*x0*y0*pow(x1, 2)
        - 12*x0*y0*x1*x2 - 3*x0*y0*pow(x2, 2) + 8*x0*pow(x1, 2)*y1 + 12*x0*pow(x1, 2)*y2 + 12*x0*x1*x2*y2
        - 2*x0*y1*pow(x2, 2) + 5*x0*pow(x2, 2)*y2 - 8*y0*pow(x1, 3) - 12*y0*pow(x1, 2)*x2 - 10*y0*x1*pow(x2, 2)
        - 5*y0*pow(x2, 3) + 8*pow(x1, 3)*y2 - 8*pow(x1, 2)*y1*x2 + 20*pow(x1, 2)*x2*y2 - 20*x1*y1*pow(x2, 2)
        + 30*x1*pow(x2, 2)*y2 - 30*y1*pow(x2, 3) - 105*pow(x2, 3)*y2) / 420;
    m.momentXY = (105*pow(x0, 2)*pow(y0, 2) + 60*pow(x0, 2)*y0*y1 + 10*pow(x0, 2)*y0*y2 + 20*pow(x0, 2)*pow(y1, 2)
        + 12*pow(x0, 2)*y1*y2 + 3*pow(x0, 2)*pow(y2, 2) - 60*x0*pow(y0, 2)*x1 - 10*x0*pow(y0, 2)*x2 + 8*x0*y0*x1*y2
        - 8*x0*y0*y1*x2 + 16*x0*x1*pow(y1, 2) + 24*x0*x1*y1*y2 + 12*x0*x1*pow(y2, 2) + 8*x0*y1*x2*y2
        + 10*x0*x2*pow(y2, 2) - 20*pow(y0, 2)*pow(x1, 2) - 12*pow(y0, 2)*x1*x2 - 3*pow(y0, 2)*pow(x2, 2)
        - 16*y0*pow(x1, 2)*y1 - 24*y0*x1*y1*x2 - 8*y0*x1*x2*y2 - 12*y0*y1*pow(x2, 2) - 10*y0*pow(x2, 2)*y2
        + 16*pow(x1, 2)*y1*y2 + 20*pow(x1, 2)*pow(y2, 2) - 16*x1*pow(y1, 2)*x2 + 60*x1*x2*pow(y2, 2)
        - 20*pow(y1, 2)*pow(x2, 2) - 60*y1*pow(x2, 2)*y2 - 105*pow(x2, 2)*pow(y2, 2)) / 840;
    m.momentYY = (35*x0*pow(y0, 3) + 30*x0*pow(y0, 2)*y1 + 5*x0*pow(y0, 2)*y2 + 20*x0*y0*pow(y1, 2) + 12*x0*y0*y1*y2
        + 3*x0*y0*pow(y2, 2) + 8*x0*pow(y1, 3) + 12*x0*pow(y1, 2)*y2 + 10*x0*y1*pow(y2, 2) + 5*x0*pow(y2, 3)
        - 30*pow(y0, 3)*x1 - 5*pow(y0, 3)*x2 - 20*pow(y0, 2)*x1*y1 - 2*pow(y0, 2)*x1*y2 - 10*pow(y0, 2)*y1*x2
        - 3*pow(y0, 2)*x2*y2 - 8*y0*x1*pow(y1, 2) + 2*y0*x1*pow(y2, 2) - 12*y0*pow(y1, 2)*x2 - 12*y0*y1*x2*y2
        - 5*y0*x2*pow(y2, 2) + 8*x1*pow(y1, 2)*y2 + 20*x1*y1*pow(y2, 2) + 30*x1*pow(y2, 3) - 8*pow(y1, 3)*x2
        - 20*pow(y1, 2)*x2*y2 - 30*y1*x2*pow(y2, 2) - 35*x2*pow(y2, 3)) / 420;
    return m;
}

Moments cubic(double x0, double y0, double x1, double y1, double x2, double y2, double x3, double y3) {
    Moments m;
    m.area = (10*x0*y0 + 6*x0*y1 + 3*x0*y2 + x0*y3 - 6*y0*x1 - 3*y0*x2 - y0*x3 + 3*x1*y2 + 3*x1*y3 - 3*y1*x2 - 3*y1*x3
        + 6*x2*y3 - 6*y2*x3 - 10*x3*y3) / 20;
    m.momentX = (280*pow(x0, 2)*y0 + 105*pow(x0, 2)*y1 + 30*pow(x0, 2)*y2 + 5*pow(x0, 2)*y3 - 105*x0*y0*x1 - 30*x0*y0*x2
        - 5*x0*y0*x3 + 45*x0*x1*y1 + 45*x0*x1*y2 + 15*x0*x1*y3 - 3*x0*y1*x3 + 18*x0*x2*y2 + 12*x0*x2*y3 + 3*x0*y2*x3
        + 5*x0*x3*y3 - 45*y0*pow(x1, 2) - 45*y0*x1*x2 - 12*y0*x1*x3 - 18*y0*pow(x2, 2) - 15*y0*x2*x3
        - 5*y0*pow(x3, 2) + 27*pow(x1, 2)*y2 + 18*pow(x1, 2)*y3 - 27*x1*y1*x2 - 18*x1*y1*x3 + 27*x1*x2*y2
        + 45*x1*x2*y3 + 30*x1*x3*y3 - 27*y1*pow(x2, 2) - 45*y1*x2*x3 - 30*y1*pow(x3, 2) + 45*pow(x2, 2)*y3
        - 45*x2*y2*x3 + 105*x2*x3*y3 - 105*y2*pow(x3, 2) - 280*pow(x3, 2)*y3) / 840;
    m.momentY = (140*x0*pow(y0, 2) + 105*x0*y0*y1 + 30*x0*y0*y2 + 5*x0*y0*y3 + 45*x0*pow(y1, 2) + 45*x0*y1*y2
        + 12*x0*y1*y3 + 18*x0*pow(y2, 2) + 15*x0*y2*y3 + 5*x0*pow(y3, 2) - 105*pow(y0, 2)*x1 - 30*pow(y0, 2)*x2
        - 5*pow(y0, 2)*x3 - 45*y0*x1*y1 + 3*y0*x1*y3 - 45*y0*y1*x2 - 15*y0*y1*x3 - 18*y0*x2*y2 - 3*y0*x2*y3
        - 12*y0*y2*x3 - 5*y0*x3*y3 + 27*x1*y1*y2 + 18*x1*y1*y3 + 27*x1*pow(y2, 2) + 45*x1*y2*y3 + 30*x1*pow(y3, 2)
        - 27*pow(y1, 2)*x2 - 18*pow(y1, 2)*x3 - 27*y1*x2*y2 - 45*y1*y2*x3 - 30*y1*x3*y3 + 45*x2*y2*y3
        + 105*x2*pow(y3, 2) - 45*pow(y2, 2)*x3 - 105*y2*x3*y3 - 140*x3*pow(y3, 2)) / 840;
    m.momentXX = (2310*pow(x0, 3)*y0 + 630*pow(x0, 3)*y1 + 126*pow(x0, 3)*y2 + 14*pow(x0, 3)*y3 - 630*pow(x0, 2)*y0*x1
        - 126*pow(x0, 2)*y0*x2 - 14*pow(x0, 2)*y0*x3 + 378*pow(x0, 2)*x1*y1 + 210*pow(x0, 2)*x1*y2
        + 42*pow(x0, 2)*x1*y3 + 42*pow(x0, 2)*y1*x2 + 63*pow(x0, 2)*x2*y2 + 21*pow(x0, 2)*x2*y3 + 9*pow(x0, 2)*y2*x3
        + 5*pow(x0, 2)*x3*y3 - 378*x0*y0*pow(x1, 2) - 252*x0*y0*x1*x2 - 42*x0*y0*x1*x3 - 63*x0*y0*pow(x2, 2)
        - 30*x0*y0*x2*x3 - 5*x0*y0*pow(x3, 2) + 126*x0*pow(x1, 2)*y1 + 189*x0*pow(x1, 2)*y2 + 63*x0*pow(x1, 2)*y3
        - 18*x0*x1*y1*x3 + 162*x0*x1*x2*y2 + 90*x0*x1*x2*y3 + 30*x0*x1*y2*x3 + 30*x0*x1*x3*y3 - 27*x0*y1*pow(x2, 2)
        - 30*x0*y1*x2*x3 - 9*x0*y1*pow(x3, 2) + 45*x0*pow(x2, 2)*y2 + 45*x0*pow(x2, 2)*y3 + 18*x0*x2*y2*x3
        + 42*x0*x2*x3*y3 + 14*x0*pow(x3, 2)*y3 - 126*y0*pow(x1, 3) - 189*y0*pow(x1, 2)*x2 - 45*y0*pow(x1, 2)*x3
        - 135*y0*x1*pow(x2, 2) - 90*y0*x1*x2*x3 - 21*y0*x1*pow(x3, 2) - 45*y0*pow(x2, 3) - 63*y0*pow(x2, 2)*x3
        - 42*y0*x2*pow(x3, 2) - 14*y0*pow(x3, 3) + 81*pow(x1, 3)*y2 + 45*pow(x1, 3)*y3 - 81*pow(x1, 2)*y1*x2
        - 45*pow(x1, 2)*y1*x3 + 135*pow(x1, 2)*x2*y2 + 135*pow(x1, 2)*x2*y3 + 27*pow(x1, 2)*y2*x3
        + 63*pow(x1, 2)*x3*y3 - 135*x1*y1*pow(x2, 2) - 162*x1*y1*x2*x3 - 63*x1*y1*pow(x3, 2) + 81*x1*pow(x2, 2)*y2
        + 189*x1*pow(x2, 2)*y3 + 252*x1*x2*x3*y3 - 42*x1*y2*pow(x3, 2) + 126*x1*pow(x3, 2)*y3 - 81*y1*pow(x2, 3)
        - 189*y1*pow(x2, 2)*x3 - 210*y1*x2*pow(x3, 2) - 126*y1*pow(x3, 3) + 126*pow(x2, 3)*y3 - 126*pow(x2, 2)*y2*x3
        + 378*pow(x2, 2)*x3*y3 - 378*x2*y2*pow(x3, 2) + 630*x2*pow(x3, 2)*y3 - 630*y2*pow(x3, 3)
        - 2310*pow(x3, 3)*y3) / 9240;
    m.momentXY = (2310*pow(x0, 2)*pow(y0, 2) + 1260*pow(x0, 2)*y0*y1 + 252*pow(x0, 2)*y0*y2 + 28*pow(x0, 2)*y0*y3
        + 378*pow(x0, 2)*pow(y1, 2) + 252*pow(x0, 2)*y1*y2 + 42*pow(x0, 2)*y1*y3 + 63*pow(x0, 2)*pow(y2, 2)
        + 30*pow(x0, 2)*y2*y3 + 5*pow(x0, 2)*pow(y3, 2) - 1260*x0*pow(y0, 2)*x1 - 252*x0*pow(y0, 2)*x2
        - 28*x0*pow(y0, 2)*x3 + 168*x0*y0*x1*y2 + 42*x0*y0*x1*y3 - 168*x0*y0*y1*x2 - 42*x0*y0*y1*x3 + 12*x0*y0*x2*y3
        - 12*x0*y0*y2*x3 + 252*x0*x1*pow(y1, 2) + 378*x0*x1*y1*y2 + 108*x0*x1*y1*y3 + 162*x0*x1*pow(y2, 2)
        + 120*x0*x1*y2*y3 + 30*x0*x1*pow(y3, 2) - 18*x0*pow(y1, 2)*x3 + 108*x0*y1*x2*y2 + 60*x0*y1*x2*y3
        + 12*x0*y1*x3*y3 + 90*x0*x2*pow(y2, 2) + 108*x0*x2*y2*y3 + 42*x0*x2*pow(y3, 2) + 18*x0*pow(y2, 2)*x3
        + 42*x0*y2*x3*y3 + 28*x0*x3*pow(y3, 2) - 378*pow(y0, 2)*pow(x1, 2) - 252*pow(y0, 2)*x1*x2
        - 42*pow(y0, 2)*x1*x3 - 63*pow(y0, 2)*pow(x2, 2) - 30*pow(y0, 2)*x2*x3 - 5*pow(y0, 2)*pow(x3, 2)
        - 252*y0*pow(x1, 2)*y1 + 18*y0*pow(x1, 2)*y3 - 378*y0*x1*y1*x2 - 108*y0*x1*y1*x3 - 108*y0*x1*x2*y2
        - 60*y0*x1*y2*x3 - 12*y0*x1*x3*y3 - 162*y0*y1*pow(x2, 2) - 120*y0*y1*x2*x3 - 30*y0*y1*pow(x3, 2)
        - 90*y0*pow(x2, 2)*y2 - 18*y0*pow(x2, 2)*y3 - 108*y0*x2*y2*x3 - 42*y0*x2*x3*y3 - 42*y0*y2*pow(x3, 2)
        - 28*y0*pow(x3, 2)*y3 + 162*pow(x1, 2)*y1*y2 + 90*pow(x1, 2)*y1*y3 + 135*pow(x1, 2)*pow(y2, 2)
        + 162*pow(x1, 2)*y2*y3 + 63*pow(x1, 2)*pow(y3, 2) - 162*x1*pow(y1, 2)*x2 - 90*x1*pow(y1, 2)*x3
        + 108*x1*y1*x2*y3 - 108*x1*y1*y2*x3 + 162*x1*x2*pow(y2, 2) + 378*x1*x2*y2*y3 + 252*x1*x2*pow(y3, 2)
        + 168*x1*y2*x3*y3 + 252*x1*x3*pow(y3, 2) - 135*pow(y1, 2)*pow(x2, 2) - 162*pow(y1, 2)*x2*x3
        - 63*pow(y1, 2)*pow(x3, 2) - 162*y1*pow(x2, 2)*y2 - 378*y1*x2*y2*x3 - 168*y1*x2*x3*y3 - 252*y1*y2*pow(x3, 2)
        - 252*y1*pow(x3, 2)*y3 + 252*pow(x2, 2)*y2*y3 + 378*pow(x2, 2)*pow(y3, 2) - 252*x2*pow(y2, 2)*x3
        + 1260*x2*x3*pow(y3, 2) - 378*pow(y2, 2)*pow(x3, 2) - 1260*y2*pow(x3, 2)*y3
        - 2310*pow(x3, 2)*pow(y3, 2)) / 18480;
    m.momentYY = (770*x0*pow(y0, 3) + 630*x0*pow(y0, 2)*y1 + 126*x0*pow(y0, 2)*y2 + 14*x0*pow(y0, 2)*y3
        + 378*x0*y0*pow(y1, 2) + 252*x0*y0*y1*y2 + 42*x0*y0*y1*y3 + 63*x0*y0*pow(y2, 2) + 30*x0*y0*y2*y3
        + 5*x0*y0*pow(y3, 2) + 126*x0*pow(y1, 3) + 189*x0*pow(y1, 2)*y2 + 45*x0*pow(y1, 2)*y3 + 135*x0*y1*pow(y2, 2)
        + 90*x0*y1*y2*y3 + 21*x0*y1*pow(y3, 2) + 45*x0*pow(y2, 3) + 63*x0*pow(y2, 2)*y3 + 42*x0*y2*pow(y3, 2)
        + 14*x0*pow(y3, 3) - 630*pow(y0, 3)*x1 - 126*pow(y0, 3)*x2 - 14*pow(y0, 3)*x3 - 378*pow(y0, 2)*x1*y1
        - 42*pow(y0, 2)*x1*y2 - 210*pow(y0, 2)*y1*x2 - 42*pow(y0, 2)*y1*x3 - 63*pow(y0, 2)*x2*y2
        - 9*pow(y0, 2)*x2*y3 - 21*pow(y0, 2)*y2*x3 - 5*pow(y0, 2)*x3*y3 - 126*y0*x1*pow(y1, 2) + 18*y0*x1*y1*y3
        + 27*y0*x1*pow(y2, 2) + 30*y0*x1*y2*y3 + 9*y0*x1*pow(y3, 2) - 189*y0*pow(y1, 2)*x2 - 63*y0*pow(y1, 2)*x3
        - 162*y0*y1*x2*y2 - 30*y0*y1*x2*y3 - 90*y0*y1*y2*x3 - 30*y0*y1*x3*y3 - 45*y0*x2*pow(y2, 2) - 18*y0*x2*y2*y3
        - 45*y0*pow(y2, 2)*x3 - 42*y0*y2*x3*y3 - 14*y0*x3*pow(y3, 2) + 81*x1*pow(y1, 2)*y2 + 45*x1*pow(y1, 2)*y3
        + 135*x1*y1*pow(y2, 2) + 162*x1*y1*y2*y3 + 63*x1*y1*pow(y3, 2) + 81*x1*pow(y2, 3) + 189*x1*pow(y2, 2)*y3
        + 210*x1*y2*pow(y3, 2) + 126*x1*pow(y3, 3) - 81*pow(y1, 3)*x2 - 45*pow(y1, 3)*x3 - 135*pow(y1, 2)*x2*y2
        - 27*pow(y1, 2)*x2*y3 - 135*pow(y1, 2)*y2*x3 - 63*pow(y1, 2)*x3*y3 - 81*y1*x2*pow(y2, 2)
        + 42*y1*x2*pow(y3, 2) - 189*y1*pow(y2, 2)*x3 - 252*y1*y2*x3*y3 - 126*y1*x3*pow(y3, 2) + 126*x2*pow(y2, 2)*y3
        + 378*x2*y2*pow(y3, 2) + 630*x2*pow(y3, 3) - 126*pow(y2, 3)*x3 - 378*pow(y2, 2)*x3*y3 - 630*y2*x3*pow(y3, 2)
        - 770*x3*pow(y3, 3)) / 9240;
    return m;
}

}  // namespace integrator
