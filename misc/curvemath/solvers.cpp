// Real roots of quadratic and cubic polynomials with Python arithmetic on the
// coefficients given.
#include <cmath>
#include <type_traits>

#include "curvemath.h"
#include "plain.h"

namespace curvemath {

using vy::Num;

namespace {

const double kOneThird = 1.0 / 3.0;  // the literal (1/3): 0.3333333333333333

// The module-level names the solvers read, looked up at each use (Num) or
// read once from their memos (Plain; see plain.h).
struct Looked {
    const vy::Global &epsilon, &epsilonDigits, &pi;
    const vy::MathFn1 &sqrt, &acos, &cos;
    vy::Round round;
};
const Looked looked{epsilon, epsilonDigits, pi, sqrt, acos, cos, {b_round}};

}  // namespace

bool SolverNames::read() noexcept {
    return vy::plain_global(curvemath::epsilon, epsilon) &&
           vy::plain_global_int(curvemath::epsilonDigits, 0, 22, epsilonDigits) &&
           vy::plain_global(curvemath::pi, pi) && vy::plain_math(curvemath::sqrt) && vy::plain_math(curvemath::acos) &&
           vy::plain_math(curvemath::cos) && vy::is_genuine_round(b_round.get());
}

namespace {

template <class V, class... R>
Roots<V> roots(R&&... r) {
    Roots<V> out;
    ((out.v[out.n++] = std::forward<R>(r)), ...);
    return out;
}

template <class V, class Names>
Roots<V> quadratic(vy::Call& c, PyObject* sqrt_arg, const Names& names, V a, V b, V cc) {
    const auto& [epsilon, epsilonDigits, pi, sqrt, acos, cos, round] = names;

    c.at(828);
    if (abs(a) < epsilon) {
        c.at(829);
        if (abs(b) < epsilon) {
            c.at(831);
            return roots<V>();
        }
        c.at(834);
        return roots<V>(V(-cc / b));
    }
    c.at(837);
    V DD = b * b - 4.0 * a * cc;
    c.at(838);
    if (DD >= 0.0) {
        c.at(839);
        V rDD = sqrt.with(sqrt_arg, DD);
        c.at(840);
        V x1 = (-b + rDD) / 2.0 / a;
        V x2 = (-b - rDD) / 2.0 / a;
        return roots<V>(x1, x2);
    }
    c.at(843);
    return roots<V>();
}

[[gnu::flatten]] PyObject* solveQuadratic(vy::Call& c, vy::Args& args) {
    const bool plain_ok = sqrt.is_genuine(args.o(3));
    return vy::on_plain_or_num<3, QuadraticSolverNames>(args, plain_ok, looked, [&](const auto& names, auto... v) {
        return quadratic<std::common_type_t<decltype(v)...>>(c, args.o(3), names, v...).list().release();
    });
}

template <class V, class Names>
PyObject* cubic(vy::Call& c, vy::Args& args, const Names& names, V a, V b, V cc, V d) {
    const auto& [epsilon, epsilonDigits, pi, sqrt, acos, cos, round] = names;

    c.at(885);
    if (abs(a) < epsilon) {
        c.at(888);
        vy::Ref quadratic = vy::global(n_solveQuadratic);
        return vy::call(quadratic.get(), {args.o(1), args.o(2), args.o(3)}).release();
    }
    c.at(889);
    a = vy::float_of(a);
    c.at(890);
    V a1 = b / a;
    c.at(891);
    V a2 = cc / a;
    c.at(892);
    V a3 = d / a;

    c.at(894);
    V Q = (a1 * a1 - 3.0 * a2) / 9.0;
    c.at(895);
    V R = (2.0 * a1 * a1 * a1 - 9.0 * a1 * a2 + 27.0 * a3) / 54.0;

    c.at(897);
    V R2 = R * R;
    c.at(898);
    V Q3 = Q * Q * Q;
    c.at(899);
    if (R2 < epsilon) R2 = 0;
    c.at(900);
    if (abs(Q3) < epsilon) Q3 = 0;
    c.at(902);
    V R2_Q3 = R2 - Q3;

    c.at(904);
    if (R2 == 0.0 && Q3 == 0.0) {
        c.at(905);
        V x = vy::boxed(round(-a1 / 3.0, epsilonDigits));
        c.at(906);
        return vy::list(x, x, x).release();
    }
    c.at(907);
    if (R2_Q3 <= epsilon * 0.5) {
        c.at(909);
        V theta = acos(vy::max(vy::min(R / sqrt(Q3), 1.0), -1.0));
        c.at(910);
        V rQ2 = -2.0 * sqrt(Q);
        c.at(911);
        V a1_3 = a1 / 3.0;
        c.at(912);
        V x0 = rQ2 * cos(theta / 3.0) - a1_3;
        c.at(913);
        V x1 = rQ2 * cos((theta + 2.0 * pi) / 3.0) - a1_3;
        c.at(914);
        V x2 = rQ2 * cos((theta + 4.0 * pi) / 3.0) - a1_3;
        c.at(915);
        vy::sort3(x0, x1, x2);

        c.at(917);
        if (x1 - x0 < epsilon && x2 - x1 < epsilon) {
            c.at(918);
            x0 = x1 = x2 = vy::boxed(round((x0 + x1 + x2) / 3.0, epsilonDigits));
        } else if (c.at(919), x1 - x0 < epsilon) {
            c.at(920);
            x0 = x1 = vy::boxed(round((x0 + x1) / 2.0, epsilonDigits));
            c.at(921);
            x2 = round(x2, epsilonDigits);
        } else if (c.at(922), x2 - x1 < epsilon) {
            c.at(923);
            x0 = round(x0, epsilonDigits);
            c.at(924);
            x1 = x2 = vy::boxed(round((x1 + x2) / 2.0, epsilonDigits));
        } else {
            c.at(926);
            x0 = round(x0, epsilonDigits);
            c.at(927);
            x1 = round(x1, epsilonDigits);
            c.at(928);
            x2 = round(x2, epsilonDigits);
        }
        c.at(929);
        return vy::list(x0, x1, x2).release();
    }

    c.at(931);
    V x = pow(sqrt(R2_Q3) + abs(R), kOneThird);
    c.at(932);
    x = x + Q / x;
    c.at(933);
    if (R >= 0.0) {
        c.at(934);
        x = -x;
    }
    c.at(935);
    x = round(x - a1 / 3.0, epsilonDigits);
    c.at(936);
    return vy::list(x).release();
}

[[gnu::flatten]] PyObject* solveCubic(vy::Call& c, vy::Args& args) {
    return vy::on_plain_or_num<4, SolverNames>(args, true, looked, [&](const auto& names, auto... v) {
        return cubic<std::common_type_t<decltype(v)...>>(c, args, names, v...);
    });
}

const vy::Param quadratic_params[] = {{"a"}, {"b"}, {"c"}, {"sqrt"}};
const char* const quadratic_locals[] = {"DD", "rDD"};
const vy::Param cubic_params[] = {{"a"}, {"b"}, {"c"}, {"d"}};
const char* const cubic_locals[] = {"a1", "a2", "a3", "Q", "R", "R2", "Q3", "R2_Q3",
                                    "x", "theta", "rQ2", "a1_3", "x0", "x1", "x2"};

}  // namespace

Roots<vy::Plain> solve_quadratic(const QuadraticSolverNames& names, vy::Plain a, vy::Plain b, vy::Plain c) {
    vy::Call callee{nullptr, &solveQuadratic_def, solveQuadratic_def.line};
    return quadratic(callee, nullptr, names, a, b, c);
}

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
