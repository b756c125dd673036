"""What splitting means, checked without the modules' formulas: each piece,
at its own parameter s, is the original at the parameter that s maps to,
and the pieces join end to start; a cut at a coordinate lies on that
coordinate, and every crossing that a dense search finds is a cut."""

import math
import random

import pytest

from geometry import curve_segments, dist, hodograph, point, sign_changes, size
from vellary.misc import curvemath as cm

SEGMENTS = {"glyphs": curve_segments(40, seed=2)[:40], "random": curve_segments(40, seed=2)[-40:]}
ULPS = 16 * 2.0 ** -52  # rounding of the pieces and of their evaluation here, relative to the size
LOCAL = (0.0, 0.3, 0.5, 0.9, 1.0)


def parameter_sets(rng):
    yield []
    yield [0.5]
    yield sorted(rng.random() for _ in range(rng.randint(1, 5)))
    yield [0.75, 0.25]  # used as given: the second piece runs backwards
    yield [0.0, 0.4, 0.4, 1.0]  # empty pieces at the ends and in the middle


def splits(seg, ts):
    """(name, pieces as tuples of (x, y)) of every splitter that takes ts."""
    if len(seg) == 3:
        yield "splitQuadraticAtT", cm.splitQuadraticAtT(*seg, *ts)
        return
    yield "splitCubicAtT", cm.splitCubicAtT(*seg, *ts)
    z = [complex(*p) for p in seg]
    yield "splitCubicAtTC", [tuple((c.real, c.imag) for c in piece) for piece in cm.splitCubicAtTC(*z, *ts)]
    if len(ts) == 1:
        yield "splitCubicIntoTwoAtTC", [tuple((c.real, c.imag) for c in piece)
                                         for piece in cm.splitCubicIntoTwoAtTC(*z, ts[0])]


@pytest.mark.parametrize("source", SEGMENTS)
def test_pieces_trace_the_original(source):
    rng = random.Random(source)
    for seg in SEGMENTS[source]:
        tol = ULPS * size(seg)
        for ts in parameter_sets(rng):
            bounds = [0.0, *ts, 1.0]
            for name, pieces in splits(seg, ts):
                assert len(pieces) == len(ts) + 1, (name, seg, ts)
                for piece, t0, t1 in zip(pieces, bounds, bounds[1:]):
                    for s in LOCAL:
                        assert dist(point(piece, s), point(seg, t0 + s * (t1 - t0))) <= tol, (name, seg, ts, s)
                for a, b in zip(pieces, pieces[1:]):
                    assert dist(a[-1], b[0]) <= tol, (name, seg, ts)
                if name == "splitCubicAtT":  # the caller's own end points
                    assert pieces[0][0] is seg[0] and pieces[-1][-1] is seg[-1]


def crossings(seg, axis, where, n=100):
    """Parameters in [0, 1) where a dense sampling sees the coordinate cross
    `where`, bisected."""
    return sign_changes(lambda t: point(seg, t)[axis] - where, n, sample_zeros=True)


@pytest.mark.parametrize("source", SEGMENTS)
def test_cuts_at_a_coordinate(source):
    rng = random.Random(source)
    for seg in SEGMENTS[source]:
        # The cubic solver rounds its roots to 6 places: a cut may be off by
        # that much in t.
        speed = max(math.hypot(*p) for p in hodograph(seg))
        tol = 1e-9 * size(seg) + (0 if len(seg) == 3 else 5e-7 * speed)
        split = cm.splitQuadratic if len(seg) == 3 else cm.splitCubic
        for axis in (0, 1):
            low, high = min(p[axis] for p in seg), max(p[axis] for p in seg)
            for where in (rng.uniform(low, high), seg[0][axis]):
                pieces, found = split(*seg, where, axis), crossings(seg, axis, where)
                assert len(pieces) >= len(found) + 1, (seg, axis, where)
                for a, b in zip(pieces, pieces[1:]):
                    assert abs(a[-1][axis] - where) <= tol and dist(a[-1], b[0]) <= 1e-9 * size(seg), (seg, where)
                # Every crossing is the end of a piece (a tangent line may cut
                # where no sign changes, too).
                ends = [piece[-1] for piece in pieces[:-1]]
                for t in found:
                    assert min(dist(point(seg, t), e) for e in ends) <= tol, (seg, axis, where, t)
