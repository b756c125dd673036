"""The pen's totals against independent computations: the exact polygon
formulas in rational arithmetic; for curved contours, Green's theorem in its
other form (integrating along y' instead of x'), exactly; and the closed
forms of ellipses drawn as cubic arcs."""

import math
import random
from fractions import Fraction

import pytest

from vellary.pens.integrator import Integrator

TOTALS = ("area", "momentX", "momentY", "momentXX", "momentXY", "momentYY")
DEGREES = (2, 3, 3, 4, 4, 4)  # of each total in the coordinates


def measure(start, segments):
    pen = Integrator()
    pen.moveTo(start)
    for seg in segments:
        (pen.lineTo, pen.qCurveTo, pen.curveTo)[len(seg) - 1](*seg)
    pen.closePath()
    return [getattr(pen, name) for name in TOTALS]


def polygon_moments(points):
    """∬ 1, x, y, x², xy, y² over a closed polygon, exactly."""
    sums = [Fraction(0)] * 6
    for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
        c = Fraction(x0 * y1 - x1 * y0)
        sums = [s + v for s, v in zip(sums, (
            c / 2, (x0 + x1) * c / 6, (y0 + y1) * c / 6, (x0 * x0 + x0 * x1 + x1 * x1) * c / 12,
            (x0 * y1 + 2 * x0 * y0 + 2 * x1 * y1 + x1 * y0) * c / 24, (y0 * y0 + y0 * y1 + y1 * y1) * c / 12))]
    return sums


def close_enough(got, want, scale, count, rel=1e-13):
    return all(abs(Fraction(g) - w) <= rel * count * scale ** d for g, w, d in zip(got, want, DEGREES))


def test_polygons_exactly():
    rng = random.Random(12)
    for _ in range(60):
        points = [(rng.randint(-1000, 1000), rng.randint(-1000, 1000)) for _ in range(rng.randint(3, 12))]
        got = measure(points[0], [(p,) for p in points[1:]])
        assert close_enough(got, polygon_moments(points), 1000, len(points)), points


# Polynomials in t as coefficient lists, lowest power first.
def mul(p, q):
    out = [Fraction(0)] * (len(p) + len(q) - 1)
    for i, a in enumerate(p):
        for j, b in enumerate(q):
            out[i + j] += a * b
    return out


def bernstein(values):
    """The power-basis coefficients of a Bézier coordinate."""
    n = len(values) - 1
    out = [Fraction(0)] * (n + 1)
    for i, v in enumerate(values):
        for k in range(n - i + 1):  # C(n, i) t^i (1 - t)^(n - i)
            out[i + k] += Fraction(math.comb(n, i) * math.comb(n - i, k) * (-1) ** k) * v
    return out


def by_y_prime(pieces):
    """∬ f dA as the contour integral of G(x, y)·y'(t) with G = ∫0^x f ds."""
    sums = [Fraction(0)] * 6
    for piece in pieces:
        x, y = bernstein([p[0] for p in piece]), bernstein([p[1] for p in piece])
        dy = [k * c for k, c in enumerate(y)][1:] or [Fraction(0)]
        xx = mul(x, x)
        for i, g in enumerate((x, [c / 2 for c in xx], mul(x, y), [c / 3 for c in mul(xx, x)],
                               [c / 2 for c in mul(xx, y)], mul(x, mul(y, y)))):
            sums[i] += sum(c / (k + 1) for k, c in enumerate(mul(g, dy)))
    return sums


def test_curved_contours_by_the_other_green_form():
    rng = random.Random(13)
    for _ in range(30):
        start = (rng.randint(-100, 100), rng.randint(-100, 100))
        segments = [tuple((rng.randint(-100, 100), rng.randint(-100, 100)) for _ in range(rng.randint(1, 3)))
                    for _ in range(rng.randint(1, 5))]
        pieces, current = [], start
        for seg in segments + [(start,)]:
            pieces.append((current, *seg))
            current = seg[-1]
        assert close_enough(measure(start, segments), by_y_prime(pieces), 100, len(pieces), 1e-12), (start, segments)


def ellipse(cx, cy, a, b, phi, arcs=8, clockwise=False):
    """An ellipse as cubic arcs: each arc of a circle of angle θ has handles
    of 4/3·tan(θ/4), then the circle is stretched, turned and moved."""
    k = 4 / 3 * math.tan(math.pi / (2 * arcs))
    step = (-1 if clockwise else 1) * 2 * math.pi / arcs
    place = lambda u, v: (cx + a * u * math.cos(phi) - b * v * math.sin(phi),
                          cy + a * u * math.sin(phi) + b * v * math.cos(phi))
    segments = []
    for i in range(arcs):
        s, e = i * step, (i + 1) * step
        segments.append((place(math.cos(s) - k * math.sin(s) * math.copysign(1, step),
                               math.sin(s) + k * math.cos(s) * math.copysign(1, step)),
                         place(math.cos(e) + k * math.sin(e) * math.copysign(1, step),
                               math.sin(e) - k * math.cos(e) * math.copysign(1, step)),
                         place(math.cos(e), math.sin(e))))
    return place(1, 0), segments


def ellipse_moments(cx, cy, a, b, phi):
    area = math.pi * a * b
    c, s, quarter = math.cos(phi), math.sin(phi), area / 4
    return [area, area * cx, area * cy, quarter * (a * a * c * c + b * b * s * s) + area * cx * cx,
            quarter * (a * a - b * b) * s * c + area * cx * cy, quarter * (a * a * s * s + b * b * c * c) + area * cy * cy]


@pytest.mark.parametrize("cx, cy, a, b, phi", [(0, 0, 1, 1, 0), (300, -120, 250, 90, 0.7), (-40, 500, 30, 400, -2.2)])
def test_ellipses(cx, cy, a, b, phi):
    want = ellipse_moments(cx, cy, a, b, phi)
    scale = max(abs(cx), abs(cy)) + max(a, b)
    # Eight cubic arcs miss the area by 4.4e-6 of itself, the moments by less.
    for got, w, d in zip(measure(*ellipse(cx, cy, a, b, phi)), want, DEGREES):
        assert abs(got - w) <= 1e-5 * want[0] * scale ** (d - 2), (got, w)
    # Drawn the other way round the totals change sign; a hole subtracts.
    assert measure(*ellipse(cx, cy, a, b, phi, clockwise=True)) == pytest.approx(
        [-v for v in measure(*ellipse(cx, cy, a, b, phi))], rel=1e-9, abs=1e-9 * scale ** 4)
    pen = Integrator()
    for start, segments in (ellipse(cx, cy, a, b, phi), ellipse(cx, cy, a / 2, b / 2, phi, clockwise=True)):
        pen.moveTo(start)
        for seg in segments:
            pen.curveTo(*seg)
        pen.closePath()
    holed = [w - v for w, v in zip(want, ellipse_moments(cx, cy, a / 2, b / 2, phi))]
    assert pen.area == pytest.approx(holed[0], rel=2e-5) and pen.momentXX == pytest.approx(holed[3], rel=2e-5)
