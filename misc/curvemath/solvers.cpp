// Real roots of quadratic and cubic polynomials with Python arithmetic on the
// coefficients given.  Every operation is spelled out in evaluation order:
// C++ leaves the order of operands of one operator unspecified, and for
// Python objects the order is observable.
#include <cmath>

#include "curvemath.h"

namespace curvemath {

using vy::Num;

namespace {

const double kOneThird = 1.0 / 3.0;  // the literal (1/3): 0.3333333333333333

vy::Ref root_list(std::initializer_list<const Num*> roots) {
    vy::Ref list = vy::own(PyList_New(Py_ssize_t(roots.size())));
    Py_ssize_t i = 0;
    for (const Num* r : roots) PyList_SET_ITEM(list.get(), i++, r->object().release());
    return list;
}

// [x, x, x] holds one object three times, as the interpreter's list display does.
vy::Ref repeated_root(const Num& x) {
    vy::Ref o = x.object();
    return vy::new_list({o.get(), o.get(), o.get()});
}

Num round_to_digits(const Num& x) {
    Num digits = vy::global_num(n_epsilonDigits);
    return vy::round_digits(b_round.get(), x, digits);
}

bool below_epsilon(const Num& x) {
    Num eps = vy::global_num(n_epsilon);
    return x < eps;
}

PyObject* solveQuadratic(vy::Call& c, vy::Args& args) {
    Num a = Num::from(args.o(0)), b = Num::from(args.o(1)), cc = Num::from(args.o(2));
    PyObject* sqrt_fn = args.o(3);

    c.at(828);
    if (below_epsilon(abs(a))) {
        c.at(829);
        if (below_epsilon(abs(b))) {
            c.at(831);
            return vy::own(PyList_New(0)).release();
        }
        c.at(834);
        Num negc = -cc;
        Num root = negc / b;
        return root_list({&root}).release();
    }
    c.at(837);
    Num bb = b * b;
    Num a4 = 4.0 * a;
    Num DD = bb - a4 * cc;
    c.at(838);
    if (DD >= 0.0) {
        c.at(839);
        Num rDD = vy::math1(sqrt_fn, "sqrt", std::sqrt, DD);
        c.at(840);
        Num negb = -b;
        Num t = negb + rDD;
        t = t / 2.0;
        Num x0 = t / a;
        negb = -b;
        t = negb - rDD;
        t = t / 2.0;
        Num x1 = t / a;
        return root_list({&x0, &x1}).release();
    }
    c.at(843);
    return vy::own(PyList_New(0)).release();
}

PyObject* solveCubic(vy::Call& c, vy::Args& args) {
    Num a = Num::from(args.o(0)), b = Num::from(args.o(1)), cc = Num::from(args.o(2)), d = Num::from(args.o(3));

    c.at(885);
    if (below_epsilon(abs(a))) {
        c.at(888);
        vy::Ref quadratic = vy::global(n_solveQuadratic);
        return vy::call(quadratic.get(), {args.o(1), args.o(2), args.o(3)}).release();
    }
    c.at(889);
    a = vy::to_float(a);
    c.at(890);
    Num a1 = b / a;
    c.at(891);
    Num a2 = cc / a;
    c.at(892);
    Num a3 = d / a;

    c.at(894);
    Num t = a1 * a1;
    Num u = 3.0 * a2;
    t = t - u;
    Num Q = t / 9.0;
    c.at(895);
    t = 2.0 * a1;
    t = t * a1;
    t = t * a1;
    u = 9.0 * a1;
    u = u * a2;
    t = t - u;
    u = 27.0 * a3;
    t = t + u;
    Num R = t / 54.0;

    c.at(897);
    Num R2 = R * R;
    c.at(898);
    Num Q3 = Q * Q;
    Q3 = Q3 * Q;
    c.at(899);
    if (below_epsilon(R2)) R2 = Num::integer(0);
    c.at(900);
    if (below_epsilon(abs(Q3))) Q3 = Num::integer(0);
    c.at(902);
    Num R2_Q3 = R2 - Q3;

    c.at(904);
    if (R2 == 0.0 && Q3 == 0.0) {
        c.at(905);
        Num neg = -a1;
        Num x = round_to_digits(neg / 3.0);
        c.at(906);
        return repeated_root(x).release();
    }
    c.at(907);
    Num half_eps = vy::global_num(n_epsilon);
    half_eps = half_eps * 0.5;
    if (R2_Q3 <= half_eps) {
        c.at(909);
        vy::Ref acos_fn = vy::global(n_acos);
        vy::Ref sqrt_fn = vy::global(n_sqrt);
        Num m = R / vy::math1(sqrt_fn.get(), "sqrt", std::sqrt, Q3);
        if (Num(1.0) < m) m = 1.0;   // min(m, 1.0) keeps m unless 1.0 is smaller
        if (Num(-1.0) > m) m = -1.0;  // max(m, -1.0) keeps m unless -1.0 is larger
        Num theta = vy::math1(acos_fn.get(), "acos", std::acos, m);
        c.at(910);
        sqrt_fn = vy::global(n_sqrt);
        Num rQ2 = Num(-2.0) * vy::math1(sqrt_fn.get(), "sqrt", std::sqrt, Q);
        c.at(911);
        Num a1_3 = a1 / 3.0;

        auto root = [&](double multiple) {
            vy::Ref cos_fn = vy::global(n_cos);
            Num angle = theta;
            if (multiple != 0.0) {
                Num pi = vy::global_num(n_pi);
                angle = angle + Num(multiple) * pi;
            }
            angle = angle / 3.0;
            Num x = rQ2 * vy::math1(cos_fn.get(), "cos", std::cos, angle);
            return x - a1_3;
        };
        c.at(912);
        Num x0 = root(0.0);
        c.at(913);
        Num x1 = root(2.0);
        c.at(914);
        Num x2 = root(4.0);
        c.at(915);
        vy::sort3(x0, x1, x2);

        c.at(917);
        if (below_epsilon(x1 - x0) && below_epsilon(x2 - x1)) {
            c.at(918);
            Num s = x0 + x1;
            s = s + x2;
            x0 = round_to_digits(s / 3.0);
            x1 = x0;
            x2 = x0;
        } else if (c.at(919), below_epsilon(x1 - x0)) {
            c.at(920);
            Num s = x0 + x1;
            x0 = round_to_digits(s / 2.0);
            x1 = x0;
            c.at(921);
            x2 = round_to_digits(x2);
        } else if (c.at(922), below_epsilon(x2 - x1)) {
            c.at(923);
            x0 = round_to_digits(x0);
            c.at(924);
            Num s = x1 + x2;
            x1 = round_to_digits(s / 2.0);
            x2 = x1;
        } else {
            c.at(926);
            x0 = round_to_digits(x0);
            c.at(927);
            x1 = round_to_digits(x1);
            c.at(928);
            x2 = round_to_digits(x2);
        }
        c.at(929);
        return root_list({&x0, &x1, &x2}).release();
    }

    c.at(931);
    vy::Ref sqrt_fn = vy::global(n_sqrt);
    Num x = vy::math1(sqrt_fn.get(), "sqrt", std::sqrt, R2_Q3);
    x = x + abs(R);
    x = vy::pow(x, kOneThird);
    c.at(932);
    x = x + Q / x;
    c.at(933);
    if (R >= 0.0) {
        c.at(934);
        x = -x;
    }
    c.at(935);
    Num shifted = a1 / 3.0;
    x = round_to_digits(x - shifted);
    c.at(936);
    return root_list({&x}).release();
}

const vy::Param quadratic_params[] = {{"a"}, {"b"}, {"c"}, {"sqrt"}};
const char* const quadratic_locals[] = {"DD", "rDD"};
const vy::Param cubic_params[] = {{"a"}, {"b"}, {"c"}, {"d"}};
const char* const cubic_locals[] = {"a1", "a2", "a3", "Q", "R", "R2", "Q3", "R2_Q3",
                                    "x", "theta", "rQ2", "a1_3", "x0", "x1", "x2"};

}  // namespace

vy::FunctionDef solveQuadratic_def{
    .name = "solveQuadratic",
    .signature = "solveQuadratic(a, b, c, sqrt=sqrt)",
    .doc = R"(Solve a quadratic equation.

    Finds the real x with a*x*x + b*x + c = 0, for real coefficients:

        a: the coefficient of x squared,
        b: the coefficient of x,
        c: the constant term.

    A leading coefficient smaller than `epsilon` in magnitude makes the
    equation linear.  The returned list is neither guaranteed to be sorted
    nor to contain unique values: a double root is listed twice.
    )",
    .line = 814,
    .params = quadratic_params,
    .locals = quadratic_locals,
    .body = solveQuadratic,
};

vy::FunctionDef solveCubic_def{
    .name = "solveCubic",
    .signature = "solveCubic(a, b, c, d)",
    .doc = R"(Solve a cubic equation.

    Finds the real x with a*x*x*x + b*x*x + c*x + d = 0, for real
    coefficients:

        a: the coefficient of x cubed,
        b: the coefficient of x squared,
        c: the coefficient of x,
        d: the constant term.

    Roots are rounded to `epsilonDigits` decimal places, and roots closer
    than `epsilon` are merged.  The returned list is neither guaranteed to
    be sorted nor to contain unique values.

        >>> solveCubic(1, 1, -6, 0)
        [-3.0, -0.0, 2.0]
        >>> solveCubic(-10.0, -9.0, 48.0, -29.0)
        [-2.9, 1.0, 1.0]
        >>> solveCubic(-9.875, -9.0, 47.625, -28.75)
        [-2.911392, 1.0, 1.0]
        >>> solveCubic(1.0, -4.5, 6.75, -3.375)
        [1.5, 1.5, 1.5]
        >>> solveCubic(-12.0, 18.0, -9.0, 1.50023651123)
        [0.5, 0.5, 0.5]
        >>> solveCubic(9.0, 0.0, 0.0, -7.62939453125e-05) == [0.0, 0.0, 0.0]
        True
    )",
    .doctest = true,
    .line = 847,
    .params = cubic_params,
    .locals = cubic_locals,
    .body = solveCubic,
};

}  // namespace curvemath
