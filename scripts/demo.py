"""The whole-font job and a short tour of the native modules, run by `make demo`.

    python scripts/demo.py [OUTPUT_DIR]

first converts both masters of the real-font corpus beside the checkout (or,
without it, the sample masters of tests/data/ufo) to quadratic splines
compatibly with the `vellary` command, prints its summary and draws a
contact sheet of a few glyphs before and after; then prints what each module
computes and draws every converted curve into an SVG
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
from vellary.cli import main as vellary_command
from vellary.cli._contours import shape
from vellary.cli._ufo import Font
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
CORPUS_UFOS = REPO.parent / "shared" / "corpus" / "source-sans-roman" / "ufo"
SAMPLE_UFOS = REPO / "tests" / "data" / "ufo"
SHEET_GLYPHS = ("S", "a", "g", "ampersand", "at", "eight")
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


def outline_commands(glyph):
    """SVG path commands of a glyph's contours, and its on-curve and
    off-curve points."""
    commands, on, off = [], [], []
    for contour in glyph.contours:
        s = shape(contour.points, glyph.path, glyph.name, implied_start=True)
        if s is None:
            continue
        commands.append(("M", s.start.xy))
        prev = s.start.xy
        for seg in s.segments:
            offs = [p.xy for p in seg.offs]
            off += offs
            if seg.type == "curve":
                commands.append(("C", *offs, seg.end.xy))
            elif seg.type == "qcurve" and offs:
                mids = [((a[0] + b[0]) / 2, (a[1] + b[1]) / 2) for a, b in zip(offs, offs[1:])]
                commands += [("Q", c, e) for c, e in zip(offs, mids + [seg.end.xy])]
            else:
                commands.append(("L", seg.end.xy))
            prev = seg.end.xy
        if s.closed:
            commands.append(("Z",))
        on += [p.xy for p in contour.points if p.type != "offcurve"]
    return commands, on, off


def contact_sheet(path, columns, names, cell=170):
    """One row per glyph, one column per (title, Font): each glyph drawn
    with its points, on-curve filled, off-curve hollow."""
    head = 40
    d = Drawing(cell * len(columns), head + cell * len(names), "Glyphs before and after")
    d.element("rect", x=0, y=0, width=cell * len(columns), height=head + cell * len(names), fill="white")
    for i, (title, _) in enumerate(columns):
        d.element("text", title, x=i * cell + 8, y=24, font_family="sans-serif", font_size=11)
    scale = cell / 1100
    for row, name in enumerate(names):
        for col, (_, font) in enumerate(columns):
            glyph = font.read_glyph(name)
            commands, on, off = outline_commands(glyph)
            x0, y0 = col * cell + 0.12 * cell, head + (row + 0.74) * cell
            d.begin("g", transform=f"matrix({scale} 0 0 {-scale} {x0} {y0})")
            d.path(commands, fill="#dde6f2", stroke="#1f5fa8", stroke_width=3, class_="glyph")
            for x, y in off:
                d.element("circle", cx=x, cy=y, r=9, fill="white", stroke="#b5462f", stroke_width=4)
            for x, y in on:
                d.element("circle", cx=x, cy=y, r=9, fill="#1f5fa8")
            d.end("g")
            d.element("text", f"{name}: {len(on)} on, {len(off)} off", x=col * cell + 8, y=head + (row + 1) * cell - 8,
                      font_family="sans-serif", font_size=10)
    d.write(path)
    return path


def whole_font(output=DEFAULT_OUTPUT, masters_dir=None):
    """The main job: both masters to quadratic splines compatibly, with
    the command's own summary; returns the contact sheet's path."""
    output = pathlib.Path(output)
    if masters_dir is None:
        masters_dir = CORPUS_UFOS if CORPUS_UFOS.is_dir() else SAMPLE_UFOS
    masters = sorted(pathlib.Path(masters_dir).glob("*.ufo"))
    fonts = output / "fonts"
    print(f"Whole fonts: {len(masters)} masters of {masters_dir} to quadratic splines, compatibly")
    print(f"  $ vellary demote {' '.join(m.name for m in masters)} -o {fonts} --allow-missing")
    status = vellary_command(["demote", *map(str, masters), "-o", str(fonts), "--allow-missing"])
    if status != 0:
        raise SystemExit(status)
    columns = []
    for m in masters:
        style = m.stem.rpartition("-")[2]
        columns += [(f"{style}, cubic", Font(str(m))), (f"{style}, quadratic", Font(str(fonts / m.name)))]
    sheet = contact_sheet(output / "fonts-contact-sheet.svg", columns, SHEET_GLYPHS)
    print(f"  contact sheet: {sheet}")
    return sheet


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
    whole_font(*sys.argv[1:2])
    print()
    main(*sys.argv[1:2])
