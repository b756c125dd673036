// Shared declarations of the curvemath module: the names its functions look
// up at the moment of use, its cached builtins and its function records.
#pragma once

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

// Function records, one per Python-visible function (in source order).
extern vy::FunctionDef solveQuadratic_def, solveCubic_def;

}  // namespace curvemath
