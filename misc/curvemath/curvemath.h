// Shared declarations of the curvemath module: the names its functions look
// up at the moment of use, its cached builtins and its function records.
#pragma once

#include <array>

#include "complex.h"
#include "expr.h"
#include "frame.h"

namespace curvemath {

// Module-level names read through the namespace at each use.
extern const vy::Global epsilon, epsilonDigits, EPSILON, pi;
extern const vy::Global n_solveQuadratic;
// The math functions imported into the module.
extern const vy::MathFn1 sqrt, acos, cos;

// Builtins fetched once at exec.
extern const vy::Builtin b_round, b_print;

// Module-level functions that other functions call through the namespace.
extern const vy::Name n_solveCubic, n_calcQuadraticParameters, n_calcCubicParameters, n_calcQuadraticPoints,
    n_calcCubicPoints, n_linePointAtT, n_quadraticPointAtT, n_cubicPointAtT, n_splitQuadraticAtT_,
    n_splitCubicAtT_, n_splitCubicAtTC_, n_segmentrepr;

// Function records, one per Python-visible function (in source order).
extern vy::FunctionDef solveQuadratic_def, solveCubic_def;
extern vy::FunctionDef calcQuadraticParameters_def, calcCubicParameters_def, calcQuadraticPoints_def,
    calcCubicPoints_def, linePointAtT_def, quadraticPointAtT_def, cubicPointAtT_def, cubicPointAtTC_def,
    segmentPointAtT_def;
extern vy::FunctionDef splitLine_def, splitQuadratic_def, splitCubic_def, splitQuadraticAtT_def, splitCubicAtT_def,
    splitCubicAtTC_def, splitCubicIntoTwoAtTC_def, splitQuadraticAtT__def, splitCubicAtT__def, splitCubicAtTC__def;
extern vy::FunctionDef segmentrepr_def, printSegments_def;

// A coefficient or point of the untyped family, unpacked into (x, y).
using Pair = std::array<vy::Num, 2>;
// (x, y): a new 2-tuple, as a value.
inline vy::Num point(const vy::Num& x, const vy::Num& y) { return vy::Num::steal(vy::tuple(x, y)); }

// The bodies of the coefficient conversions, for callers that reach them
// directly (the namespace still binds the module's own function).
vy::Ref calc_quadratic_parameters(vy::Call& c, PyObject* pt1, PyObject* pt2, PyObject* pt3);
vy::Ref calc_cubic_parameters(vy::Call& c, PyObject* pt1, PyObject* pt2, PyObject* pt3, PyObject* pt4);
vy::Ref calc_quadratic_points(vy::Call& c, const Pair& a, const Pair& b, const Pair& cc);
vy::Ref calc_cubic_points(vy::Call& c, const Pair& a, const Pair& b, const Pair& cc, const Pair& d);

// The internal complex operations: cubic coefficients from control points
// and back.
using Cubic = std::array<vy::Complex, 4>;
Cubic calcCubicParametersC(vy::Complex pt1, vy::Complex pt2, vy::Complex pt3, vy::Complex pt4) noexcept;
Cubic calcCubicPointsC(vy::Complex a, vy::Complex b, vy::Complex c, vy::Complex d) noexcept;

}  // namespace curvemath
