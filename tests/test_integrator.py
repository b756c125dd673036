"""The moments pen: worked examples, bit-for-bit agreement with the model,
exactness against rational closed forms, invariants on real glyphs, errors,
subclassing, leaks and threads."""

import math
import random
import subprocess
import sys
from fractions import Fraction

import pytest

from reference import integrator as model
from support import as_main_script, full_corpus_present, outline_masters
from vellary._outlines import closed_contour
from vellary.misc import greenforms
from vellary.pens import integrator
from vellary.pens.integrator import Integrator
from vellary.pens.segmenter import OpenContourError
from support import gil_stays_off, references_and_growth, run_threads

TOTALS = ("area", "momentX", "momentY", "momentXX", "momentXY", "momentYY")


def totals(pen):
    return [getattr(pen, name) for name in TOTALS]


def draw(pen, start, segments, close=True):
    """segments: tuples of points after the start (1 line, 2 quadratic, 3
    cubic; more off-curve points make a quadratic spline)."""
    pen.moveTo(start)
    for seg in segments:
        if len(seg) == 1:
            pen.lineTo(seg[0])
        elif len(seg) == 3:
            pen.curveTo(*seg)
        else:
            pen.qCurveTo(*seg)
    pen.closePath() if close else pen.endPath()
    return pen


def measured(start, segments, cls=Integrator):
    return totals(draw(cls(), start, segments))


# -- the worked examples -----------------------------------------------------

SQUARE = ((0, 0), [((1, 0),), ((1, 1),), ((0, 1),)])
EXAMPLES = [
    (SQUARE, [1.0, 0.5, 0.5, 1 / 3, 0.25, 1 / 3]),
    (((10, 20), [((110, 20),), ((110, 70),), ((10, 70),)]),
     [5000, 300000, 225000, 22166666.666666664, 13500000, 11166666.666666666]),
    (((0, 0), [((50, 100), (100, 0))]),
     [-3333.3333333333335, -166666.6666666667, -66666.66666666667, -10000000, -3333333.3333333335,
      -1904761.9047619049]),
    (((0, 0), [((0, 100), (100, 100), (100, 0))]),
     [-6000, -300000, -192857.14285714287, -18831168.831168834, -9642857.142857142, -8571428.57142857]),
]


@pytest.mark.parametrize("contour, expected", EXAMPLES)
def test_examples(contour, expected):
    got = measured(*contour)
    assert all(type(v) is float for v in got)
    assert got == pytest.approx(expected, rel=1e-15)


def test_clockwise_square_negates_and_fresh_pen_keeps_ints():
    assert measured((0, 0), [((0, 1),), ((1, 1),), ((1, 0),)]) == pytest.approx(
        [-1.0, -0.5, -0.5, -1 / 3, -0.25, -1 / 3], rel=1e-15)
    fresh = Integrator()
    assert all(type(v) is int and v == 0 for v in totals(fresh))
    assert not hasattr(fresh, "_startPoint")


def test_end_path():
    pen = Integrator()
    pen.moveTo((0, 0))
    pen.lineTo((10, 0))
    with pytest.raises(OpenContourError, match="^Glyph statistics is not defined on open contours.$") as e:
        pen.endPath()
    tb = e.value.__traceback__
    while tb.tb_next:
        tb = tb.tb_next
    assert (tb.tb_frame.f_code.co_name, tb.tb_frame.f_code.co_filename, tb.tb_lineno) == (
        "vellary.pens.integrator.Integrator._endPath", "pens/integrator", 29)
    closed = draw(Integrator(), (0, 0), [((10, 0),), ((10, 10),), ((0, 0),)], close=False)
    assert totals(closed) == measured((0, 0), [((10, 0),), ((10, 10),)])
    with pytest.raises(AttributeError, match="_startPoint"):
        Integrator().closePath()
    with pytest.raises(TypeError, match="^.NoneType. object is not iterable$"):
        Integrator()._lineTo((1, 2))


def test_class_shape():
    assert (integrator.COMPILED, integrator.__all__, integrator.__test__) == (True, ["Integrator"], {})
    assert Integrator.__module__ == "vellary.pens.integrator"
    assert Integrator._curveToOne.__doc__ == "Integrator._curveToOne(self, p1, p2, p3)"
    assert Integrator.__init__.__qualname__ == "Integrator.__init__"


# -- against the model and exact rationals -----------------------------------

def random_contour(rng, coord):
    start = coord()
    return start, [tuple(coord() for _ in range(rng.choice([1, 1, 2, 3, 4])))
                   for _ in range(rng.randint(1, 6))]


def test_identical_to_model():
    rng = random.Random(5)
    coords = [lambda: (rng.uniform(-2000, 2000), rng.uniform(-2000, 2000)),
              lambda: (rng.randint(-900, 900), rng.randint(-900, 900)),
              lambda: [rng.uniform(-1e-3, 1e-3), rng.randint(-5, 5)]]
    for i in range(600):
        contour = random_contour(rng, coords[i % 3])
        assert measured(*contour) == measured(*contour, cls=model.Integrator), contour


FORMS = {degree: [greenforms.greenForm(f, degree) for f in
                  (1, greenforms.x, greenforms.y, greenforms.x ** 2, greenforms.x * greenforms.y, greenforms.y ** 2)]
         for degree in (1, 2, 3)}


def exact(start, segments):
    """The totals in rational arithmetic, by the derived forms (quadratic
    splines split at their implied points, and the closing line)."""
    sums = [Fraction(0)] * 6
    pieces, current = [], start
    for seg in segments:
        pts = list(seg)
        if len(pts) in (1, 3):
            pieces.append((current, *pts))
        else:
            for a, b in zip(pts[:-2], pts[1:-1]):
                mid = (Fraction(a[0] + b[0], 2), Fraction(a[1] + b[1], 2))
                pieces.append((current, a, mid))
                current = mid
            pieces.append((current, pts[-2], pts[-1]))
        current = pts[-1]
    pieces.append((current, start))
    for piece in pieces:
        values = {f"{c}{i}": v for i, p in enumerate(piece) for c, v in zip("xy", p)}
        sums = [s + form(**values) for s, form in zip(sums, FORMS[len(piece) - 1])]
    return sums


def test_exact_against_rational_forms():
    rng = random.Random(11)
    for _ in range(150):
        contour = random_contour(rng, lambda: (rng.randint(-20, 20), rng.randint(-20, 20)))
        for got, want in zip(measured(*contour), exact(*contour)):
            assert abs(Fraction(got) - want) <= Fraction(1, 10 ** 12) * max(abs(want), 1), contour


MAIN = as_main_script("vellary.pens.integrator", "integrator")


def test_main_block_prints_an_exact_pen():
    r = subprocess.run([sys.executable, "-c", MAIN], capture_output=True, text=True, timeout=120)
    assert r.returncode == 0, r.stderr
    # The printed pen, run with integer coordinates, is exact until its last
    # division.
    namespace = {}
    exec(r.stdout, namespace)
    for contour, _ in EXAMPLES:
        assert measured(*contour, cls=namespace["Integrator"]) == pytest.approx(measured(*contour), rel=1e-14)


# -- real glyphs --------------------------------------------------------------

def glyph_contours():
    glyphs = outline_masters()["SourceSans_ExtraLight.ufo"]
    result = {}
    for name, contours in sorted(glyphs.items()):
        closed = [c for c in map(closed_contour, contours) if c is not None]
        if closed:
            result[name] = closed
    return result


def draw_glyph(pen, contours):
    for start, segments in contours:
        draw(pen, start, segments)
    return pen


def reversed_contour(start, segments):
    ends = [start] + [seg[-1] for seg in segments[:-1]]
    pieces = [(a, *seg) for a, seg in zip(ends, segments)]
    back = [tuple(reversed(p))[1:] for p in reversed(pieces)]
    return start, back


def test_glyph_invariants():
    glyphs = glyph_contours()
    assert len(glyphs) > (800 if full_corpus_present() else 30)
    for name, contours in list(glyphs.items())[::3]:
        whole = totals(draw_glyph(Integrator(), contours))
        assert whole == totals(draw_glyph(model.Integrator(), contours)), name
        # Rounding grows with the segment count and the coordinates' size
        # to each total's degree; totals themselves may nearly cancel.
        size = max(abs(v) for start, segs in contours for p in (start, *sum(segs, ())) for v in p)
        scale = [len(sum((segs for _, segs in contours), [])) * size ** d for d in (2, 3, 3, 4, 4, 4)]
        parts = [sum(col) for col in zip(*(measured(*c) for c in contours))]
        for w, p, s in zip(whole, parts, scale):
            assert abs(w - p) <= 1e-12 * s, name
        back = totals(draw_glyph(Integrator(), [reversed_contour(*c) for c in contours]))
        for b, w, s in zip(back, whole, scale):
            assert abs(b + w) <= 1e-12 * s, name
        dx, dy = 37, -411
        moved = [((s[0] + dx, s[1] + dy), [tuple((x + dx, y + dy) for x, y in seg) for seg in segs])
                 for s, segs in contours]
        shifted = totals(draw_glyph(Integrator(), moved))
        assert shifted[0] == pytest.approx(whole[0], rel=1e-9)
        assert shifted[1] / shifted[0] == pytest.approx(whole[1] / whole[0] + dx, rel=1e-9, abs=1e-7)
        assert shifted[2] / shifted[0] == pytest.approx(whole[2] / whole[0] + dy, rel=1e-9, abs=1e-7)


# -- bad input ----------------------------------------------------------------

class Odd:
    def __float__(self):
        return 2.5


@pytest.mark.parametrize("point", [(1,), (1, 2, 3), ("a", 1), 5, None, (10 ** 400, 0), (Odd(), 1),
                                   (math.inf, 1), (math.nan, 2), "iterator"])
def test_bad_points_like_model(point):
    def run(cls):
        pen = cls()
        pen.moveTo((1, 1))
        try:
            pen.curveTo((2, 3), (4, -1), iter([3, 4]) if point == "iterator" else point)
            return totals(pen)
        except Exception as e:
            return type(e), str(e), totals(pen)

    got, want = run(Integrator), run(model.Integrator)
    assert str(got) == str(want)


# -- subclasses, leaks, threads --------------------------------------------------

def test_subclass_overrides():
    class Counting(Integrator):
        def __init__(self):
            super().__init__()
            self.lines = []

        def _lineTo(self, p1):
            self.lines.append(p1)
            super()._lineTo(p1)

    pen = draw(Counting(), *SQUARE)
    assert pen.lines == [(1, 0), (1, 1), (0, 1), (0, 0)]
    assert totals(pen) == measured(*SQUARE)
    assert type(Counting).__mro__[0] is type


@pytest.mark.thread_unsafe
def test_totals_follow_the_class_and_instance():
    """Totals are the instance's attributes however the class or the
    instance changes them: a property added to the class later, a deleted
    total, a dict subclass as __dict__."""
    seen = []
    Integrator.momentX = property(lambda self: 1.0, lambda self, v: seen.append(v))
    try:
        pen = draw(Integrator(), *SQUARE)
    finally:
        del Integrator.momentX
    assert seen[0] == 0 and len(seen) == 5 and 1.5 in seen and pen.__dict__["area"] == 1.0
    pen = draw(Integrator(), *SQUARE)
    del pen.momentXY
    pen.moveTo((0, 0))
    with pytest.raises(AttributeError, match="momentXY"):
        pen.lineTo((2, 3))
    assert pen.area == 1.0 - 3.0 and pen.momentYY == pytest.approx(1 / 3)

    class Totals(dict):
        pass

    pen = Integrator()
    pen.__dict__ = Totals(pen.__dict__)
    assert totals(draw(pen, *SQUARE)) == measured(*SQUARE)


def test_no_leaks():
    pt = (3.5, 4.25)

    def once():
        pen = draw(Integrator(), pt, [((1, 2), pt, (7, 1)), ((1, 1), (2, 5), pt)])
        for method, arg in [(pen._lineTo, (1,)), (pen._lineTo, ("a", 1)), (pen._endPath, None)]:
            with pytest.raises((ValueError, TypeError, OpenContourError)):
                method(arg) if arg else method()

    # Measured with the garbage collected: the raised errors' tracebacks are
    # cycles, which a collection may or may not have reached by then.
    before, after, grown = references_and_growth([once], [pt], 200, 2000)
    assert grown < 64 * 1024 and after == before


def test_threads_one_pen_each():
    rng = random.Random(3)
    contours = [random_contour(rng, lambda: (rng.uniform(-500, 500), rng.uniform(-500, 500)))
                for _ in range(200)]
    want = [measured(*c) for c in contours]
    failures = []

    def work():
        for _ in range(5):
            if [measured(*c) for c in contours] != want:
                failures.append(1)

    run_threads(work, 4)
    assert not failures
    assert gil_stays_off()


def test_spline_of_off_curve_points_only():
    offs = [(0, 0), (100, 0), (100, 100), (0, 100)]
    pen = Integrator()
    pen.qCurveTo(*offs, None)
    pen.closePath()
    mids = [((a[0] + b[0]) * 0.5, (a[1] + b[1]) * 0.5) for a, b in zip(offs[-1:] + offs[:-1], offs)]
    assert totals(pen) == measured(mids[0], [(offs[i], mids[(i + 1) % 4]) for i in range(4)])
