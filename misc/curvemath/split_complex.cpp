// Splitting cubics of complex points: splitCubicAtTC, its coefficient form
// and splitCubicIntoTwoAtTC.
#include "curvemath.h"
#include "generator.h"

namespace curvemath {

using vy::Complex;
using vy::Num;
using vy::Ref;

namespace {

// A cubic segment of the complex family: four new complex objects.
Ref segment_c(const Cubic& p) {
    Ref p1 = vy::complex_object(p[0]), p2 = vy::complex_object(p[1]), p3 = vy::complex_object(p[2]),
        p4 = vy::complex_object(p[3]);
    return vy::new_tuple({p1.get(), p2.get(), p3.get(), p4.get()});
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

const vy::Param cubic_at_c_params[] = {{"pt1", vy::Kind::Complex}, {"pt2", vy::Kind::Complex},
                                       {"pt3", vy::Kind::Complex}, {"pt4", vy::Kind::Complex}};
const vy::Param cubic_two_c_params[] = {{"pt1", vy::Kind::Complex}, {"pt2", vy::Kind::Complex},
                                        {"pt3", vy::Kind::Complex}, {"pt4", vy::Kind::Complex},
                                        {"t", vy::Kind::Double}};
const vy::Param cubic_coefficient_c_params[] = {{"a", vy::Kind::Complex}, {"b", vy::Kind::Complex},
                                                {"c", vy::Kind::Complex}, {"d", vy::Kind::Complex}};
const char* const two_locals[] = {"t2", "_1_t", "_1_t_2", "_2_t_1_t", "pointAtT", "off1", "off2"};
const char* const cubic_at_c_locals[] = {"i", "t1", "t2", "delta", "delta_2", "delta_3", "t1_2", "t1_3",
                                         "a1", "b1", "c1", "d1", "pt1", "pt2", "pt3", "pt4"};

}  // namespace

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
