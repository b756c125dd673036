// Shared declarations of the curvemath module: the names its functions look
// up at the moment of use, its cached builtins and its function records.
#pragma once

#include "frame.h"
#include "num.h"

namespace curvemath {

// Module-level names read through the namespace at each use.
extern const vy::Name n_epsilon, n_epsilonDigits, n_EPSILON;
extern const vy::Name n_solveQuadratic, n_sqrt, n_acos, n_cos, n_pi;

// Builtins fetched once at exec.
extern const vy::Builtin b_round, b_print;

// Function records, one per Python-visible function (in source order).
extern vy::FunctionDef solveQuadratic_def, solveCubic_def;

}  // namespace curvemath
