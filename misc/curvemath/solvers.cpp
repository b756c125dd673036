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
const vy::Genuine g_sqrt{"math", "sqrt"}, g_acos{"math", "acos"}, g_cos{"math", "cos"};

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

// ---------------------------------------------------------------- plain doubles
//
// With int and float coefficients, plain-number module constants and the
// genuine math functions, no Python code can run during the solve, so each
// module name is read once and everything is computed in doubles, in the
// same order as below.  Anything else (a zero divisor, a math domain error,
// NaN among the roots, an unusual module value) gives up before anything
// observable has happened, and the general path takes over.

bool plain_double(PyObject* o, double& out) {
    if (PyFloat_CheckExact(o)) {
        out = PyFloat_AS_DOUBLE(o);
        return true;
    }
    if (!PyLong_CheckExact(o)) return false;
    Num n = Num::from(o);
    return n.kind() == Num::Int && n.exact_double(out);
}

class PlainNames {
public:
    bool number(const vy::Name& name, double& out) {
        PyObject* v = lookup(name);
        return v && plain_double(v, out);
    }
    bool function(const vy::Name& name, const vy::Genuine& genuine) { return genuine.is(lookup(name)); }
    bool digits(int& out) {
        PyObject* v = lookup(n_epsilonDigits);
        if (!v || !PyLong_CheckExact(v) || !vy::is_genuine_round(b_round.get())) return false;
        const long d = PyLong_AsLong(v);
        if (d < 0 || d > 22) {
            PyErr_Clear();
            return false;
        }
        out = int(d);
        return true;
    }

private:
    PyObject* lookup(const vy::Name& name) {
        for (int i = 0; i < count_; ++i)
            if (names_[i] == &name) return values_[i].get();
        PyObject* v = nullptr;
        if (PyDict_GetItemRef(vy::module_state().ns, name.get(), &v) < 0) PyErr_Clear();
        if (count_ < kSlots) {
            names_[count_] = &name;
            values_[count_++] = vy::Ref::steal(v);
            return values_[count_ - 1].get();
        }
        Py_XDECREF(v);
        return nullptr;
    }
    static constexpr int kSlots = 8;
    const vy::Name* names_[kSlots] = {};
    vy::Ref values_[kSlots];
    int count_ = 0;
};

vy::Ref float_list(std::initializer_list<double> values) {
    vy::Ref list = vy::own(PyList_New(Py_ssize_t(values.size())));
    Py_ssize_t i = 0;
    for (double v : values) PyList_SET_ITEM(list.get(), i++, vy::float_object(v).release());
    return list;
}

PyObject* quadratic_plain(double a, double b, double c, PyObject* sqrt_fn) {
    PlainNames names;
    double eps;
    if (!names.number(n_epsilon, eps)) return nullptr;
    if (std::fabs(a) < eps) {
        if (std::fabs(b) < eps) return vy::own(PyList_New(0)).release();
        if (b == 0.0) return nullptr;
        return float_list({-c / b}).release();
    }
    const double DD = b * b - (4.0 * a) * c;
    if (!(DD >= 0.0)) return vy::own(PyList_New(0)).release();
    if (!g_sqrt.is(sqrt_fn) || a == 0.0) return nullptr;
    const double rDD = std::sqrt(DD);
    return float_list({((-b) + rDD) / 2.0 / a, ((-b) - rDD) / 2.0 / a}).release();
}

PyObject* cubic_plain(double a, double b, double c, double d) {
    PlainNames names;
    double eps;
    if (!names.number(n_epsilon, eps) || std::fabs(a) < eps || a == 0.0) return nullptr;
    const double a1 = b / a, a2 = c / a, a3 = d / a;
    const double Q = (a1 * a1 - 3.0 * a2) / 9.0;
    const double R = (((2.0 * a1) * a1) * a1 - (9.0 * a1) * a2 + 27.0 * a3) / 54.0;
    double R2 = R * R, Q3 = (Q * Q) * Q;
    if (R2 < eps) R2 = 0.0;
    if (std::fabs(Q3) < eps) Q3 = 0.0;
    const double R2_Q3 = R2 - Q3;
    int digits;
    if (!names.digits(digits)) return nullptr;
    auto round = [digits](double x) { return vy::round_double(x, digits); };

    if (R2 == 0.0 && Q3 == 0.0) {
        const double x = round(-a1 / 3.0);
        vy::Ref o = vy::float_object(x);
        return vy::new_list({o.get(), o.get(), o.get()}).release();
    }
    if (R2_Q3 <= eps * 0.5) {
        double pi;
        if (!names.function(n_acos, g_acos) || !names.function(n_sqrt, g_sqrt) || !names.function(n_cos, g_cos) ||
            !names.number(n_pi, pi))
            return nullptr;
        const double s = std::sqrt(Q3);
        if (!vy::math_result_ok(Q3, s) || s == 0.0) return nullptr;
        double m = R / s;
        if (1.0 < m) m = 1.0;
        if (-1.0 > m) m = -1.0;
        const double theta = std::acos(m);
        const double sq = std::sqrt(Q);
        if (!vy::math_result_ok(m, theta) || !vy::math_result_ok(Q, sq)) return nullptr;
        const double rQ2 = -2.0 * sq;
        const double a1_3 = a1 / 3.0;
        const double angles[3] = {theta / 3.0, (theta + 2.0 * pi) / 3.0, (theta + 4.0 * pi) / 3.0};
        double x[3];
        for (int k = 0; k < 3; ++k) {
            const double cs = std::cos(angles[k]);
            if (!vy::math_result_ok(angles[k], cs)) return nullptr;
            x[k] = rQ2 * cs - a1_3;
            if (std::isnan(x[k])) return nullptr;
        }
        // A stable sort: equal values (0.0 and -0.0) keep their order.
        if (x[1] < x[0]) std::swap(x[0], x[1]);
        if (x[2] < x[1]) {
            std::swap(x[1], x[2]);
            if (x[1] < x[0]) std::swap(x[0], x[1]);
        }
        double x0 = x[0], x1 = x[1], x2 = x[2];
        if (x1 - x0 < eps && x2 - x1 < eps) {
            x0 = x1 = x2 = round(((x0 + x1) + x2) / 3.0);
        } else if (x1 - x0 < eps) {
            x0 = x1 = round((x0 + x1) / 2.0);
            x2 = round(x2);
        } else if (x2 - x1 < eps) {
            x0 = round(x0);
            x1 = x2 = round((x1 + x2) / 2.0);
        } else {
            x0 = round(x0);
            x1 = round(x1);
            x2 = round(x2);
        }
        return float_list({x0, x1, x2}).release();
    }
    if (!names.function(n_sqrt, g_sqrt)) return nullptr;
    const double s = std::sqrt(R2_Q3);
    if (!vy::math_result_ok(R2_Q3, s)) return nullptr;
    const double t = s + std::fabs(R);
    if (!(t > 0.0) || !std::isfinite(t)) return nullptr;
    double x = std::pow(t, kOneThird);
    if (!std::isfinite(x) || x == 0.0) return nullptr;
    x = x + Q / x;
    if (R >= 0.0) x = -x;
    return float_list({round(x - a1 / 3.0)}).release();
}

PyObject* solveQuadratic(vy::Call& c, vy::Args& args) {
    {
        // b and c are negated, and -0 of an int is no negative zero: they must be floats.
        double A, B, C;
        if (plain_double(args.o(0), A) && PyFloat_CheckExact(args.o(1)) && PyFloat_CheckExact(args.o(2)) &&
            plain_double(args.o(1), B) && plain_double(args.o(2), C))
            if (PyObject* roots = quadratic_plain(A, B, C, args.o(3))) return roots;
    }
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
        Num rDD = vy::math1(sqrt_fn, g_sqrt, std::sqrt, DD);
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

// ---------------------------------------------------------------- Python arithmetic

PyObject* solveCubic(vy::Call& c, vy::Args& args) {
    {
        double A, B, C, D;
        if (plain_double(args.o(0), A) && plain_double(args.o(1), B) && plain_double(args.o(2), C) &&
            plain_double(args.o(3), D))
            if (PyObject* roots = cubic_plain(A, B, C, D)) return roots;
    }
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
        Num m = R / vy::math1(sqrt_fn.get(), g_sqrt, std::sqrt, Q3);
        if (Num(1.0) < m) m = 1.0;   // min(m, 1.0) keeps m unless 1.0 is smaller
        if (Num(-1.0) > m) m = -1.0;  // max(m, -1.0) keeps m unless -1.0 is larger
        Num theta = vy::math1(acos_fn.get(), g_acos, std::acos, m);
        c.at(910);
        sqrt_fn = vy::global(n_sqrt);
        Num rQ2 = Num(-2.0) * vy::math1(sqrt_fn.get(), g_sqrt, std::sqrt, Q);
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
            Num x = rQ2 * vy::math1(cos_fn.get(), g_cos, std::cos, angle);
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
    Num x = vy::math1(sqrt_fn.get(), g_sqrt, std::sqrt, R2_Q3);
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
