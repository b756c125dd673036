// Shared declarations of the demote module: complex doubles and the
// approximation core.
#pragma once

#include <cmath>
#include <vector>

#include "frame.h"
#include "callee.h"
#include "expr.h"
#include "cubic_tolerance.h"

namespace demote {

using vy::bezier::Z;
using vy::bezier::modulus;
using vy::bezier::object_of;
using vy::bezier::cubic_within_tolerance;

inline Z div3(Z z) { return {z.re / 3.0, z.im / 3.0}; }  // _complex_div_by_real(z, 3)

struct Piece {
    Z p[4];
};

// Read through their memos: plain numbers touch no shared object.
extern const vy::Global n_MAX_N, n_NAN;
extern const vy::Name n_math, n_ApproxNotFoundError;
extern const vy::Callee c_split_gen;

// The subdivision of a cubic into n pieces, each computed when asked for.
// Counts without a closed form come from the module's _split_cubic_into_n_gen,
// looked up by name: this module's own generator is computed in place, a
// rebound one is called and its pieces read by index.
class Pieces {
public:
    Pieces(const Z (&cubic)[4], int n);
    Piece next();

private:
    int n_, i_ = 0;
    vy::Ref iterator_;
    std::vector<Piece> fixed_;  // the closed forms of 2, 3, 4 and 6 pieces
    Z a_, b_, c_, d_;
    double dt_ = 0, delta_2_ = 0, delta_3_ = 0;
};

Piece nth_piece(Z a, Z b, Z c, Z d, double dt, double delta_2, double delta_3, int i);
void cubic_parameters(Z p0, Z p1, Z p2, Z p3, Z& a, Z& b, Z& c, Z& d);

// The result of cubic_approx_spline: no fit, the cubic itself, or points.
struct Spline {
    enum Kind { None, Cubic, Points } kind = None;
    std::vector<Z> points;
};

Spline cubic_approx_spline(const std::vector<Z>& cubic, int n, double tolerance, bool all_quadratic);

extern vy::FunctionDef split_gen_def, curve_to_quadratic_def, curves_to_quadratic_def;

}  // namespace demote
