"""A short tour of the native modules, run by `make demo`.

    python scripts/demo.py [OUTPUT_DIR]

prints what each module computes and draws every converted curve into an SVG
file of OUTPUT_DIR (default: build/demo in the checkout): the cubic, the
band of its error bound, and the quadratic spline with its on-curve points
(filled) and off-curve points (hollow).

The round trip takes real glyph curves (from the real-font corpus beside the
checkout, when present) and a random cubic to quadratic splines and merges
them back into cubics.
"""

import math
import pathlib
import random
import sys

from vellary._outlines import cubic_runs
from vellary._svg import Drawing
from vellary.demote import curve_to_quadratic, curves_to_quadratic
from vellary.demote.benchmark import generate_curve
from vellary.misc import curvemath
from vellary.promote import quadratic_to_curves
from vellary.varLib import gapfill

REPO = pathlib.Path(__file__).resolve().parent.parent
DEFAULT_OUTPUT = REPO / "build" / "demo"
OUTLINES = REPO.parent / "shared" / "corpus" / "source-sans-roman" / "outlines.json"
ROUND_TRIP_GLYPHS = ("S", "o")
COLOURS = ("#1f5fa8", "#b5462f")


def spline_on_curve_points(spline):
    """The spline's on-curve points: its ends and the implied midpoints."""
    mids = [((x0 + x1) / 2, (y0 + y1) / 2) for (x0, y0), (x1, y1) in zip(spline[1:-2], spline[2:-1])]
    return [spline[0], *mids, spline[-1]]


def spline_commands(spline):
    on = spline_on_curve_points(spline)
    return [("M", on[0])] + [("Q", off, end) for off, end in zip(spline[1:-1], on[1:])]


def draw(path, title, cubics, splines, max_errs, width=520):
    """One picture of cubics and their splines; one path element per curve."""
    points = [p for curve in cubics + splines for p in curve]
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    margin = 0.08 * max(max(xs) - min(xs), max(ys) - min(ys), 1)
    x0, y0 = min(xs) - margin, min(ys) - margin
    scale = width / (max(xs) - min(xs) + 2 * margin)
    plot = (max(ys) - min(ys) + 2 * margin) * scale
    legend = 30 + 20 * (len(cubics) + 1)
    px = 1 / scale  # one pixel in curve units

    def band_drawn(err):
        return err * scale < width / 8  # a wider band would only cover the picture

    d = Drawing(width, plot + legend, title)
    d.element("rect", x=0, y=0, width=width, height=plot + legend, fill="white")
    d.begin("clipPath", id="plot")
    d.element("rect", x=0, y=legend, width=width, height=plot)
    d.end("clipPath")
    d.begin("g", clip_path="url(#plot)")
    d.begin("g", transform=f"matrix({scale} 0 0 {-scale} {-x0 * scale} {plot + legend + y0 * scale})",
            fill="none", stroke_linejoin="round", stroke_linecap="round")
    for k, (cubic, spline, err) in enumerate(zip(cubics, splines, max_errs)):
        colour = COLOURS[k % len(COLOURS)]
        d.begin("defs")
        d.path([("M", cubic[0]), ("C", *cubic[1:])], id=f"cubic-{k}", class_="cubic")
        d.end("defs")
        if band_drawn(err):
            d.element("use", xlink_href=f"#cubic-{k}", stroke="#f2c14e", stroke_opacity=0.4, stroke_width=2 * err)
        d.polyline([cubic[0], cubic[1]], stroke="#999", stroke_width=px, stroke_dasharray=f"{4 * px} {3 * px}")
        d.polyline([cubic[2], cubic[3]], stroke="#999", stroke_width=px, stroke_dasharray=f"{4 * px} {3 * px}")
        d.element("use", xlink_href=f"#cubic-{k}", stroke="#222", stroke_width=1.5 * px)
        d.polyline(spline, stroke=colour, stroke_width=px, stroke_opacity=0.5)
        d.path(spline_commands(spline), class_="spline", stroke=colour, stroke_width=2 * px,
               stroke_dasharray=f"{6 * px} {4 * px}")
        for x, y in spline[1:-1]:
            d.element("circle", cx=x, cy=y, r=3.5 * px, fill="white", stroke=colour, stroke_width=1.5 * px)
        for x, y in spline_on_curve_points(spline):
            d.element("circle", cx=x, cy=y, r=3.5 * px, fill=colour, stroke="none")
    d.end("g")
    d.end("g")
    text = dict(font_family="sans-serif", font_size=13)
    d.element("text", title, x=10, y=20, font_weight="bold", **text)
    d.element("text", "black: cubic, yellow: its error band, dashed: quadratic spline "
              "(on-curve points filled, off-curve hollow)", x=10, y=40, font_size=10, font_family="sans-serif")
    for k, (spline, err) in enumerate(zip(splines, max_errs)):
        note = "" if band_drawn(err) else " (band wider than the picture: not drawn)"
        d.element("text", f"max error {err:g}: {len(spline) - 2} quadratic segments{note}",
                  x=10, y=60 + 20 * k, fill=COLOURS[k % len(COLOURS)], **text)
    d.write(path)
    return path


def samples(curves, per_curve=200):
    points = []
    for curve in curves:
        points += [curvemath.segmentPointAtT(curve, k / per_curve) for k in range(per_curve + 1)]
    return points


def largest_distance(curves, others):
    """How far the two chains of segments are apart at most (both ways, on
    dense samples of each)."""
    a, b = samples(curves), samples(others)

    def farthest(from_points, to_points):
        return max(min(math.dist(p, q) for q in to_points) for p in from_points)

    return max(farthest(a, b), farthest(b, a))


def round_trip(label, run, tolerance):
    """A run of connected cubics to quadratic splines and back."""
    splines = [curve_to_quadratic(cubic, tolerance) for cubic in run]
    curves = quadratic_to_curves(splines, tolerance)
    quadratics = sum(len(s) - 2 for s in splines)
    print(f"  {label}: {len(run)} cubics -> {quadratics} quadratics -> {len(curves)} curves "
          f"({sum(len(c) == 4 for c in curves)} cubic), tolerance {tolerance:g}, "
          f"largest distance {largest_distance(run, curves):.3g}")
    print("    original:")
    for cubic in run:
        print(f"      {curvemath._segmentrepr(cubic)}")
    print("    round trip:")
    for curve in curves:
        print(f"      {curvemath._segmentrepr(curve)}")


def main(output=DEFAULT_OUTPUT):
    output = pathlib.Path(output)
    output.mkdir(parents=True, exist_ok=True)
    drawn = []
    print(f"vellary on Python {sys.version.split()[0]}, GIL enabled: {sys._is_gil_enabled()}")

    print("\nRoots of polynomials (vellary.misc.curvemath):")
    for coeffs in [(1, -3, 2), (1, 2, 1), (1, 0, 1)]:
        print(f"  solveQuadratic{coeffs} = {curvemath.solveQuadratic(*coeffs)}")
    for coeffs in [(1, -6, 11, -6), (1, 1, -6, 0), (1.0, -4.5, 6.75, -3.375), (1, 0, 0, -8)]:
        print(f"  solveCubic{coeffs} = {curvemath.solveCubic(*coeffs)}")

    print("\nCubic curves to quadratic splines (vellary.demote):")
    cubic = [(0, 0), (0, 100), (100, 100), (100, 0)]
    for max_err in (10, 1, 0.1):
        spline = curve_to_quadratic(cubic, max_err)
        print(f"  {cubic} within {max_err}: {len(spline) - 2} quadratic segments")
        drawn.append(draw(output / f"cubic-within-{max_err:g}.svg", f"One cubic within {max_err:g}",
                          [cubic], [spline], [max_err]))
    print(f"  within 1: {curve_to_quadratic(cubic, 1)}")
    pair = [cubic, [(0, 0), (50, 100), (150, 100), (200, 0)]]
    splines = curves_to_quadratic(pair, [1, 100])
    print(f"  two curves converted compatibly: {[len(s) - 2 for s in splines]} segments each")
    drawn.append(draw(output / "two-cubics-compatible.svg", "Two cubics converted compatibly",
                      pair, splines, [1, 100]))

    print("\nVariable-font deltas (vellary.varLib.gapfill):")
    coords = [(0, 0), (0, 100), (100, 100), (100, 0)]
    deltas = [(0, 0), (0, 10), (10, 10), (10, 0)]
    sparse = gapfill.gapfill_contour_optimize(deltas, coords, 0.5)
    print(f"  deltas {deltas}")
    print(f"  kept explicitly: {sparse}")
    print(f"  filled in again: {gapfill.gapfill_contour(sparse, coords)}")

    print("\nQuadratic splines back to cubics (vellary.promote):")
    if OUTLINES.exists():
        glyphs = dict(cubic_runs(OUTLINES))
        for name in ROUND_TRIP_GLYPHS:
            runs = glyphs[name]
            run = max(runs, key=len)
            round_trip(f"glyph {name!r}, its longest run of cubics", run, 1)
    else:
        print("  (the real-font corpus is not beside the checkout: glyph curves skipped)")
    round_trip("a random cubic", [generate_curve(random.Random(2))], 1)

    print("\nPictures of the conversions:")
    for path in drawn:
        print(f"  {path}")
    return drawn


if __name__ == "__main__":
    main(*sys.argv[1:2])
