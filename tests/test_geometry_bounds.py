"""What bounds and arc lengths mean, checked without the modules' formulas:
the box holds the curve and each side touches it; lengths agree with a dense
polyline; the quadrature estimates are their quadrature rules."""

import math

import pytest

from geometry import curve_segments, hodograph, point, samples, size, velocity
from vellary.misc import curvemath as cm

SEGMENTS = {"glyphs": curve_segments(50, seed=1)[:50], "random": curve_segments(50, seed=1)[-50:]}


def extreme_params(seg):
    """0, 1 and the interior zeros of each coordinate's derivative (its
    Bernstein coefficients turned into a power-basis quadratic, solved by the
    cancellation-free formula)."""
    ts = [0.0, 1.0]
    for axis in (0, 1):
        c = [p[axis] for p in hodograph(seg)]
        a, b, k = (0.0, c[1] - c[0], c[0]) if len(c) == 2 else (c[0] - 2 * c[1] + c[2], 2 * (c[1] - c[0]), c[0])
        if a == 0:
            roots = [-k / b] if b else []
        elif b * b - 4 * a * k < 0:
            roots = []
        else:
            q = -(b + math.copysign(math.sqrt(b * b - 4 * a * k), b)) / 2
            roots = [q / a] + ([k / q] if q else [])
        ts += [t for t in roots if 0 < t < 1]
    return ts


@pytest.mark.parametrize("source", SEGMENTS)
def test_bounds_hold_the_curve_and_touch_it(source):
    for seg in SEGMENTS[source]:
        bounds = (cm.calcQuadraticBounds if len(seg) == 3 else cm.calcCubicBounds)(*seg)
        tol = 1e-9 * size(seg)
        xs, ys = zip(*samples(seg, 200))
        assert bounds[0] - tol <= min(xs) and bounds[1] - tol <= min(ys), seg
        assert max(xs) <= bounds[2] + tol and max(ys) <= bounds[3] + tol, seg
        extremes = [point(seg, t) for t in extreme_params(seg)]
        touched = (min(p[0] for p in extremes), min(p[1] for p in extremes),
                   max(p[0] for p in extremes), max(p[1] for p in extremes))
        assert all(abs(b - t) <= tol for b, t in zip(bounds, touched)), (seg, bounds, touched)


def slowest_params(seg, n=128):
    """Where the speed has a local minimum (where the curve may fold back), by
    the sign of velocity · acceleration on a grid, bisected."""
    acceleration = hodograph(hodograph(seg))

    def slowing(t):
        v, a = velocity(seg, t), point(acceleration, t) if len(acceleration) > 1 else acceleration[0]
        return v[0] * a[0] + v[1] * a[1] < 0

    found = []
    for k in range(n):
        lo, hi = k / n, (k + 1) / n
        if slowing(lo) and not slowing(hi):
            for _ in range(50):
                mid = (lo + hi) / 2
                lo, hi = (mid, hi) if slowing(mid) else (lo, mid)
            found.append(lo)
    return found


def polyline_length(seg):
    """The length of a polyline through the curve, broken where it may fold
    back, its vertices placed densely where it turns: each chord halved until
    the halves add almost nothing, then extrapolated (the excess falls as the
    square of the step)."""
    tol = 1e-12 * size(seg)

    def length(a, pa, b, pb, depth):
        m = (a + b) / 2
        pm = point(seg, m)
        chord, halves = math.dist(pa, pb), math.dist(pa, pm) + math.dist(pm, pb)
        if depth > 3 and halves - chord <= 1e-6 * halves + tol or depth == 40:
            return halves + (halves - chord) / 3
        return length(a, pa, m, pm, depth + 1) + length(m, pm, b, pb, depth + 1)

    ts = [0.0, *slowest_params(seg), 1.0]
    return sum(length(a, point(seg, a), b, point(seg, b), 0) for a, b in zip(ts, ts[1:]))


@pytest.mark.parametrize("source", SEGMENTS)
def test_lengths_agree_with_a_dense_polyline(source):
    for seg in SEGMENTS[source][::2]:
        true = polyline_length(seg)
        slack = 2e-6 * true + 1e-9 * size(seg)
        if len(seg) == 3:
            assert abs(cm.calcQuadraticArcLength(*seg) - true) <= slack, seg
        else:
            # Each piece counts (chord + polygon) / 2, off by at most 3/4 of
            # the relative spread the tolerance admits.
            for tolerance in (0.005, 1e-4):
                assert abs(cm.calcCubicArcLength(*seg, tolerance) - true) <= tolerance * true + slack, (seg, tolerance)


# Gauss-Legendre (3 points) and Gauss-Lobatto (5 points) on [0, 1].
LEGENDRE = [(0.5 - math.sqrt(0.15), 5 / 18), (0.5, 8 / 18), (0.5 + math.sqrt(0.15), 5 / 18)]
LOBATTO = [(0, 1 / 20), (0.5 - math.sqrt(3 / 28), 49 / 180), (0.5, 16 / 45), (0.5 + math.sqrt(3 / 28), 49 / 180),
           (1, 1 / 20)]


@pytest.mark.parametrize("source", SEGMENTS)
def test_estimates_are_their_quadrature_rules(source):
    for seg in SEGMENTS[source]:
        rule, estimate = (LEGENDRE, cm.approximateQuadraticArcLength) if len(seg) == 3 else \
            (LOBATTO, cm.approximateCubicArcLength)
        want = sum(w * math.hypot(*velocity(seg, t)) for t, w in rule)
        assert abs(estimate(*seg) - want) <= 1e-12 * (want + size(seg)), seg
