"""The solvers recover the roots that each polynomial was built from."""

import itertools
import random

import pytest

from vellary.misc.curvemath import solveCubic, solveQuadratic


def spread(rng, count, low, high, gap):
    """`count` values in [low, high], each at least `gap` from the others."""
    while True:
        values = sorted(rng.uniform(low, high) for _ in range(count))
        if all(b - a >= gap for a, b in zip(values, values[1:])):
            return values


def test_quadratic_roots():
    rng = random.Random(6)
    for _ in range(500):
        scale = rng.choice([1, 100, 1e4])
        r1, r2 = spread(rng, 2, -scale, scale, 0.01 * scale)
        a = rng.choice([-1, 1]) * rng.uniform(0.1, 100)
        roots = solveQuadratic(a, -a * (r1 + r2), a * r1 * r2)
        assert len(roots) == 2 and all(abs(x - r) <= 1e-9 * scale for x, r in zip(sorted(roots), (r1, r2))), \
            (a, r1, r2, roots)
        # Without real roots, and linear.
        p, q = rng.uniform(-scale, scale), rng.uniform(0.01, 1) * scale
        assert solveQuadratic(a, -2 * a * p, a * (p * p + q * q)) == []
        assert solveQuadratic(0, a, -a * r1) == [pytest.approx(r1, rel=1e-15)]


def test_cubic_three_distinct_roots():
    rng = random.Random(7)
    for _ in range(500):
        r1, r2, r3 = spread(rng, 3, -10, 10, 0.05)
        a = rng.choice([-1, 1]) * rng.uniform(0.1, 100)
        coeffs = (a, -a * (r1 + r2 + r3), a * (r1 * r2 + r1 * r3 + r2 * r3), -a * r1 * r2 * r3)
        roots = solveCubic(*coeffs)
        # Sorted, and rounded to 6 places.
        assert len(roots) == 3 and roots == sorted(roots), (coeffs, roots)
        assert all(abs(x - r) <= 1e-6 for x, r in zip(roots, (r1, r2, r3))), ((r1, r2, r3), roots)


def test_cubic_one_real_root():
    rng = random.Random(8)
    for _ in range(500):
        r, p = rng.uniform(-10, 10), rng.uniform(-10, 10)
        q = p * p / 4 + rng.uniform(0.01, 10)  # x² + px + q has no real root
        a = rng.choice([-1, 1]) * rng.uniform(0.1, 100)
        roots = solveCubic(a, a * (p - r), a * (q - r * p), -a * r * q)
        assert len(roots) == 1 and abs(roots[0] - r) <= 1e-6, (r, p, q, roots)


def test_cubic_repeated_roots():
    # (x - r)²(x - s) with integer coefficients; all three equal when r == s.
    for r, s in itertools.product(range(-4, 5), repeat=2):
        roots = solveCubic(1, -(2 * r + s), r * r + 2 * r * s, -r * r * s)
        assert roots == pytest.approx(sorted([r, r, s]), abs=1e-6), (r, s, roots)
