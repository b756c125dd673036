"""Pure-Python model of vellary.promote.promote, used as the test oracle.

Every formula is written in the order the native module evaluates it.
Complex numbers are pairs of doubles: scaling by a real goes through
`_scale`, because Python 3.13 multiplies a complex by a float as a full
complex product, and a complex divided by a real goes through `_div`; the
modulus is C's `cabs`.  Where the native code promotes a real factor, as C
does, so does this model, explicitly (3.14 multiplies a real and a complex
number component-wise).  Module-level names that the native code looks up at
each use (`elevate_quadratic`, `splitCubicAtTC`, the validators,
`add_implicit_on_curves`, `spline_to_curves`) are looked up here too.
"""

COMPILED = False  # the native module says True

# The curve model's splitter: a fault of the native one must not show on
# both sides of a differential test.
from reference.curvemath import splitCubicAtTC
from collections import namedtuple
import math
from typing import List, Sequence, Tuple, Union

__all__ = ["quadratic_to_curves"]

# Deepest subdivision the tolerance test makes (as demote's).
MAX_TOLERANCE_DEPTH = 64
_INF = float("inf")


def _scale(z, k):
    return complex(z.real * k, z.imag * k)


def _div(z, k):
    if k == 0:
        raise ZeroDivisionError("float division by zero")
    return complex(z.real / k, z.imag / k)


def _cabs(z):
    try:
        return abs(z)
    except OverflowError:
        return _INF


def cubic_within_tolerance(p0, p1, p2, p3, tolerance, depth=0):
    """Whether the whole curve lies within `tolerance` of the origin; a piece
    still undecided after MAX_TOLERANCE_DEPTH halvings counts as outside."""
    while True:
        if _cabs(p2) <= tolerance and _cabs(p1) <= tolerance:
            return True
        mid = _scale((p0 + _scale(p1 + p2, 3.0)) + p3, 0.125)
        if _cabs(mid) > tolerance:
            return False
        if depth == MAX_TOLERANCE_DEPTH:
            return False
        depth += 1
        deriv3 = _scale(((p2 + p3) - p1) - p0, 0.125)
        if not cubic_within_tolerance(p0, _scale(p0 + p1, 0.5), mid - deriv3, mid, tolerance, depth):
            return False
        p0, p1, p2 = mid, mid + deriv3, _scale(p2 + p3, 0.5)


def elevate_quadratic(p0, p1, p2):
    """Given a quadratic bezier curve, return its degree-elevated cubic."""
    p0, p1, p2 = complex(p0), complex(p1), complex(p2)
    p1_2_3 = _scale(p1, 0.6666666666666666)
    return (
        p0,
        _scale(p0, 0.3333333333333333) + p1_2_3,
        _scale(p2, 0.3333333333333333) + p1_2_3,
        p2,
    )


def merge_curves(curves, pos, n):
    ts = [1]
    t = 1.0
    total = 1.0
    for k in range(1, n):
        c = curves[pos + k - 1]
        ck = curves[pos + k]
        assert ck[0] == c[3]
        ratio = _cabs(ck[1] - ck[0]) / _cabs(c[3] - c[2])
        t *= ratio
        total += t
        ts.append(total)
    ts = [x / total for x in ts[:-1]]

    p0 = curves[pos][0]
    p1 = curves[pos][1]
    p2 = curves[pos + n - 1][2]
    p3 = curves[pos + n - 1][3]

    p1 = p0 + _div(p1 - p0, ts[0] if ts else 1)
    p2 = p3 + _div(p2 - p3, 1 - ts[-1] if ts else 1)
    return (p0, p1, p2, p3), ts


def add_implicit_on_curves(p):
    q = list(p)
    count = 0
    num_offcurves = len(p) - 2
    for i in range(1, num_offcurves):
        off1 = complex(p[i])
        off2 = complex(p[i + 1])
        on = off1 + (off2 - off1) * complex(0.5)  # promoted, as in C
        q.insert(i + 1 + count, on)
        count += 1
    return q


Point = Union[Tuple[float, float], complex]


def _raise_incompatible_point(point, previous_point):
    raise ValueError(
        "Quadratic splines must connect end-to-start; got %r then %r" % (previous_point, point)
    )


def _validate_spline_length(spline):
    if len(spline) < 3:
        raise ValueError("Quadratic splines must contain at least 3 points")


def _validate_positive_tolerance(max_err):
    if max_err <= 0:
        raise ValueError("max_err must be greater than zero")


def quadratic_to_curves(
    quads: List[Sequence[Point]], max_err: float = 0.5, all_cubic: bool = False
) -> List[Tuple[Point, ...]]:
    if type(quads) is not list:
        raise TypeError("Argument 'quads' has incorrect type (expected list, got %s)" % type(quads).__name__)
    max_err = float(max_err)
    all_cubic = bool(all_cubic)
    if not quads:
        return []
    _validate_positive_tolerance(max_err)
    for spline in quads:
        _validate_spline_length(spline)

    is_complex = type(quads[0][0]) is complex
    if not is_complex:
        quads = [[complex(x, y) for (x, y) in p] for p in quads]

    q = [quads[0][0]]
    costs = [1]
    cost = 1
    for p in quads:
        if q[-1] != p[0]:
            _raise_incompatible_point(p[0], q[-1])
        for i in range(len(p) - 2):
            cost += 1
            costs.append(cost)
            costs.append(cost)
        qq = add_implicit_on_curves(p)[1:]
        costs.pop()
        q.extend(qq)
        cost += 1
        costs.append(cost)

    curves = spline_to_curves(q, costs, max_err, all_cubic)

    if not is_complex:
        curves = [tuple((c.real, c.imag) for c in curve) for curve in curves]
    return curves


Solution = namedtuple("Solution", ["num_points", "error", "start_index", "is_cubic"])


def spline_to_curves(q, costs, tolerance=0.5, all_cubic=False):
    tolerance = float(tolerance)
    assert len(q) >= 3, "quadratic spline requires at least 3 points"

    elevated_quadratics = [
        elevate_quadratic(*q[i : i + 3]) for i in range(0, len(q) - 2, 2)
    ]

    forced = set()
    for i in range(1, len(elevated_quadratics)):
        p0 = elevated_quadratics[i - 1][2]
        p1 = elevated_quadratics[i][0]
        p2 = elevated_quadratics[i][1]
        if (_cabs(p2 - p1) + _cabs(p1 - p0)) > (_cabs(p2 - p0) + tolerance):
            forced.add(i)

    sols = [Solution(0, 0, 0, False)]
    impossible = Solution(len(elevated_quadratics) * 3 + 1, 0, 1, False)
    start = 0
    for i in range(1, len(elevated_quadratics) + 1):
        best_sol = impossible
        for j in range(start, i):
            j_sol_count, j_sol_error = sols[j].num_points, float(sols[j].error)

            if not all_cubic:
                this_count = costs[2 * i - 1] - costs[2 * j] + 1
                i_sol_count = j_sol_count + this_count
                i_sol_error = j_sol_error
                i_sol = Solution(i_sol_count, i_sol_error, i - j, False)
                if i_sol < best_sol:
                    best_sol = i_sol
                if this_count <= 3:
                    continue

            try:
                curve, ts = merge_curves(elevated_quadratics, j, i - j)
            except ZeroDivisionError:
                continue

            reconstructed_iter = splitCubicAtTC(*curve, *ts)
            reconstructed = []
            error = 0.0
            for k, reconst in enumerate(reconstructed_iter):
                orig = elevated_quadratics[j + k]
                err = _cabs(reconst[3] - orig[3])
                error = max(error, err)
                if error > tolerance:
                    break
                reconstructed.append(reconst)
            if error > tolerance:
                continue

            for k, reconst in enumerate(reconstructed):
                orig = elevated_quadratics[j + k]
                p0, p1, p2, p3 = tuple(v - u for v, u in zip(reconst, orig))
                if not cubic_within_tolerance(p0, p1, p2, p3, tolerance):
                    error = tolerance + 1
                    break
            if error > tolerance:
                continue

            i_sol_count = j_sol_count + 3
            i_sol_error = max(j_sol_error, error)
            i_sol = Solution(i_sol_count, i_sol_error, i - j, True)
            if i_sol < best_sol:
                best_sol = i_sol

            if i_sol_count == 3:
                break

        sols.append(best_sol)
        if i in forced:
            start = i

    splits = []
    cubic = []
    i = len(sols) - 1
    while i:
        count, is_cubic = sols[i].start_index, sols[i].is_cubic
        splits.append(i)
        cubic.append(is_cubic)
        i -= count
    curves = []
    j = 0
    for i, is_cubic in reversed(list(zip(splits, cubic))):
        if is_cubic:
            curves.append(merge_curves(elevated_quadratics, j, i - j)[0])
        else:
            for k in range(j, i):
                curves.append(q[k * 2 : k * 2 + 3])
        j = i

    return curves
