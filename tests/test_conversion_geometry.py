"""What the conversions mean, checked without the modules' arithmetic: a
demoted spline stays within max_err of the cubic, point for point, and one
segment fewer would not; compatible splines have one length; promoted
curves connect and stay within their tolerance of the spline; a round trip
stays within both errors of where it began."""

import random

import pytest

from geometry import dist, distance_to_chain, lerp, point, random_segment, samples, size, split
from support import outline_masters
from vellary.demote import curve_to_quadratic, curves_to_quadratic
from vellary.promote import quadratic_to_curves


def cubic_runs(master, every=4, longest=4):
    """Runs of consecutive cubic segments of the master's glyph contours."""
    runs = []
    glyphs = outline_masters()[master]
    for name in sorted(glyphs)[::every]:
        for contour in glyphs[name]:
            run, pending = [], [tuple(contour[0][:2])]
            for x, y, kind in contour[1:]:
                pending.append((x, y))
                if kind == "offcurve":
                    continue
                if kind == "curve" and len(pending) == 4:
                    run.append(tuple(pending))
                elif run:
                    runs.append(run[:longest])
                    run = []
                pending = [(x, y)]
            if run:
                runs.append(run[:longest])
    return runs


RUNS = cubic_runs("SourceSans_ExtraLight.ufo")[:12]
RNG = random.Random(9)
CUBICS = [c for run in RUNS for c in run][:15] + [random_segment(RNG, 3) for _ in range(15)]


def quadratics(spline):
    """The segments of a spline, its implied on-curve points written out."""
    on = [spline[0]] + [lerp(p, q, 0.5) for p, q in zip(spline[1:-2], spline[2:-1])] + [spline[-1]]
    return [(on[i], spline[i + 1], on[i + 1]) for i in range(len(spline) - 2)]


def parametric_error(cubic, spline, per_segment=24):
    """How far the spline's i-th segment strays from the cubic's i-th equal
    part, at equal parameters (the test the conversion promises)."""
    segs = quadratics(spline)
    n = len(segs)
    return max(dist(point(q, k / per_segment), point(cubic, (i + k / per_segment) / n))
               for i, q in enumerate(segs) for k in range(per_segment + 1))


def candidate(cubic, n):
    """The spline of n segments the conversion would try: the cubic cut into
    n equal parts, each part's control point interpolated between the
    estimates from its two end tangents; for one segment, the crossing of the
    end tangents (None where they are parallel)."""
    if n == 1:
        (p0, p1, p2, p3) = cubic
        d1, d2 = (p1[0] - p0[0], p1[1] - p0[1]), (p3[0] - p2[0], p3[1] - p2[1])
        den = d1[0] * d2[1] - d1[1] * d2[0]
        if den == 0:
            return None
        h = ((p2[0] - p0[0]) * d2[1] - (p2[1] - p0[1]) * d2[0]) / den
        return [p0, (p0[0] + d1[0] * h, p0[1] + d1[1] * h), p3]
    parts, rest = [], tuple(cubic)
    for i in range(n - 1):
        part, rest = split(rest, 1 / (n - i))
        parts.append(part)
    parts.append(rest)
    controls = []
    for i, (c0, c1, c2, c3) in enumerate(parts):
        a, b = lerp(c0, c1, 1.5), lerp(c3, c2, 1.5)
        controls.append(lerp(a, b, i / (n - 1)))
    return [cubic[0], *controls, cubic[-1]]


@pytest.mark.parametrize("max_err", [0.1, 1, 5])
def test_demoted_splines_stay_within_max_err(max_err):
    for cubic in CUBICS:
        spline = curve_to_quadratic(cubic, max_err)
        n = len(spline) - 2
        slack = 1e-9 * size(cubic)
        assert parametric_error(cubic, spline) <= max_err + slack, (cubic, max_err)
        # The spline is the candidate of its count; the one of a count less
        # strays beyond max_err (a clear margin allowed for sampling).
        assert all(dist(p, q) <= slack for p, q in zip(spline, candidate(cubic, n))), (cubic, n)
        fewer = candidate(cubic, n - 1) if n > 1 else None
        if fewer is not None:
            assert parametric_error(cubic, fewer, 64) > max_err * (1 - 1e-3) - slack, (cubic, max_err, n)


def test_compatible_splines():
    light, bold = cubic_runs("SourceSans_ExtraLight.ufo"), cubic_runs("SourceSans_Black.ufo")
    pairs = [(a, b) for ra, rb in zip(light, bold) for a, b in zip(ra, rb)][:10]
    pairs += [(random_segment(RNG, 3), random_segment(RNG, 3)) for _ in range(8)]
    for pair in pairs:
        errors = [1, 0.25]
        splines = curves_to_quadratic(list(pair), errors)
        n = len(splines[0]) - 2
        assert [len(s) for s in splines] == [n + 2] * 2, pair
        for cubic, spline, e in zip(pair, splines, errors):
            assert parametric_error(cubic, spline) <= e + 1e-9 * size(cubic), (pair, e)
        if n > 1:
            fewer = [candidate(c, n - 1) for c in pair]
            assert any(f is None or parametric_error(c, f, 64) > e * (1 - 1e-3)
                       for c, f, e in zip(pair, fewer, errors)), (pair, n)


def knot_ends(curves):
    return [c[0] for c in curves] + [curves[-1][-1]]


def check_promoted(run_quads, curves, tolerance):
    """The promoted curves connect, start and end where the splines do, and
    each stays within `tolerance` of the quadratics between its ends (both
    ways: every point of one near the other)."""
    segs = [q for spline in run_quads for q in quadratics(spline)]
    assert all(a[-1] == b[0] for a, b in zip(curves, curves[1:]))
    assert curves[0][0] == segs[0][0] and curves[-1][-1] == segs[-1][-1]
    k = 0
    for curve in curves:
        if len(curve) == 3:
            covered = [segs[k]]
        else:
            end = next(i for i in range(k, len(segs)) if segs[i][-1] == curve[-1])
            covered = segs[k:end + 1]
        k += len(covered)
        slack = tolerance * 1e-6 + 1e-9 * size(curve)
        assert all(distance_to_chain(covered, p) <= tolerance + slack for p in samples(curve, 8)), curve
        assert all(distance_to_chain([curve], p) <= tolerance + slack for q in covered for p in samples(q, 3)), curve
    assert k == len(segs)


@pytest.mark.parametrize("demote_err, promote_err", [(0.5, 0.5), (0.1, 2)])
def test_promoted_curves_and_round_trips(demote_err, promote_err):
    runs = RUNS[:5] + [[random_segment(RNG, 3)] for _ in range(3)]
    for run in runs:
        splines = [curve_to_quadratic(c, demote_err) for c in run]
        curves = quadratic_to_curves(splines, promote_err)
        check_promoted(splines, curves, promote_err)
        both = demote_err + promote_err + 1e-9 * max(size(c) for c in run)
        assert all(distance_to_chain(curves, p) <= both for c in run for p in samples(c, 6)), run
        assert all(distance_to_chain(run, p) <= both for c in curves for p in samples(c, 6)), run
