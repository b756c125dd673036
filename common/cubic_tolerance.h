// The tolerance test of a difference curve that both conversion directions
// share.  Pure arithmetic, header-only: every module that includes it
// compiles its own copy, so no module needs another at run time.
#pragma once

#include "z.h"

namespace vy::bezier {

namespace detail {

// Halving a piece more often than this only replays rounding: a curve within
// the tolerance has its control points within a few tolerances of the
// origin, and 64 halvings leave a piece a few units in the last place wide.
// Without the bound, a piece whose half rounds back to itself, or any NaN,
// would subdivide forever; at the bound the piece counts as outside.
constexpr int kMaxDepth = 64;

inline bool within(Z p0, Z p1, Z p2, Z p3, double tolerance, int depth) {
    while (true) {
        if (modulus(p2) <= tolerance && modulus(p1) <= tolerance) return true;
        const Z mid = ((p0 + (p1 + p2) * 3) + p3) * 0.125;
        if (modulus(mid) > tolerance) return false;
        if (depth == kMaxDepth) return false;
        ++depth;
        const Z deriv3 = (((p2 + p3) - p1) - p0) * 0.125;
        if (!within(p0, (p0 + p1) * 0.5, mid - deriv3, mid, tolerance, depth)) return false;
        const Z q1 = mid + deriv3, q2 = (p2 + p3) * 0.5;
        p0 = mid;
        p1 = q1;
        p2 = q2;
    }
}

}  // namespace detail

// Whether the cubic with these control points lies within `tolerance` of the
// origin everywhere (its end points are not tested).  The second half of each
// halving loops instead of recursing, so the depth grows with first halves
// only, and never beyond kMaxDepth.
inline bool cubic_within_tolerance(Z p0, Z p1, Z p2, Z p3, double tolerance) {
    return detail::within(p0, p1, p2, p3, tolerance, 0);
}

}  // namespace vy::bezier
