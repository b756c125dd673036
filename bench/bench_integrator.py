"""Time the moments pen: every glyph of one master drawn into a fresh pen,
native against the pure-Python model and its Cython build.

The glyphs are the ExtraLight master of the real-font corpus (lines and
cubics), or generated outlines when the corpus is absent.  All contenders
share the same pure-Python base pen, which turns the drawing calls into
segments; only the segment arithmetic differs.
"""

import json
import os
import random
import sys

import _peers
from _peers import draw_all

RUNS = 7
TOTALS = ("area", "momentX", "momentY", "momentXX", "momentXY", "momentYY")


def corpus_glyphs():
    """Each glyph as a list of closed contours (start, [segment points...])."""
    path = os.path.join(_peers.CORPUS_DIR, "source-sans-roman", "outlines.json")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        master = json.load(f)["masters"]["SourceSans_ExtraLight.ufo"]
    glyphs = []
    for name in sorted(master):
        contours = []
        for contour in master[name]:
            if contour[0][2] == "move":
                continue
            first = next(i for i, p in enumerate(contour) if p[2] != "offcurve")
            pts = contour[first:] + contour[:first]
            segments, pending = [], []
            for x, y, kind in pts[1:] + pts[:1]:
                pending.append((x, y))
                if kind != "offcurve":
                    segments.append(tuple(pending))
                    pending = []
            contours.append(((pts[0][0], pts[0][1]), segments))
        if contours:
            glyphs.append(contours)
    return glyphs


def generated_glyphs(n=900, seed=20240611):
    rng = random.Random(seed)

    def pt():
        return (rng.randint(0, 1000), rng.randint(-200, 800))

    return [[(pt(), [tuple(pt() for _ in range(rng.choice([1, 1, 3]))) for _ in range(rng.randint(3, 12))])
             for _ in range(rng.randint(1, 3))] for _ in range(n)]


def work(cls, glyphs, loops):
    def run():
        for _ in range(loops):
            draw_all(cls, glyphs)
    return run


def main():
    from vellary.pens import integrator as native

    models = {"python": _peers.reference("integrator")}
    compiled = _peers.cython_reference("integrator")
    if compiled is not None:
        models["cython"] = compiled
    contenders = {"native": native.Integrator, **{label: m.Integrator for label, m in models.items()}}

    glyphs = corpus_glyphs()
    source = "ExtraLight master of the real-font corpus"
    if glyphs is None:
        glyphs = generated_glyphs()
        source = "generated outlines (real-font corpus not found)"
    segments = [len(seg) for contours in glyphs for _, segs in contours for seg in segs]
    print(f"integrator: {len(glyphs)} glyphs, {len(segments)} segments "
          f"({segments.count(1)} lines, {segments.count(3)} cubics), from {source}")

    want = [[getattr(p, t) for t in TOTALS] for p in draw_all(native.Integrator, glyphs)]
    for label, cls in contenders.items():
        got = [[getattr(p, t) for t in TOTALS] for p in draw_all(cls, glyphs)]
        assert _peers.identical(got, want), f"{label} differs from native"
    print(f"  totals of native and {' and '.join(models)} identical on every glyph")

    loops = {label: _peers.loops_for(work(cls, glyphs, 1), 0.05) for label, cls in contenders.items()}
    times = _peers.side_by_side({label: work(cls, glyphs, loops[label]) for label, cls in contenders.items()},
                                RUNS)
    per_glyph = {label: times[label] / (loops[label] * len(glyphs)) for label in contenders}
    line = f"  all glyphs      native {per_glyph['native'] * 1e6:8.2f} us/glyph"
    for label in models:
        line += f"   {label} / native = {per_glyph[label] / per_glyph['native']:6.1f}x"
    print(line)

    print("  scaling: 2 threads / 1 thread, each thread drawing every glyph into its own pens "
          "(1.00 = perfect, 2.00 = none)")
    copies = [_peers.fresh(glyphs) for _ in range(2)]
    makers = {label: (lambda k, cls=cls: work(cls, copies[k], 1)) for label, cls in contenders.items()}
    print("  all glyphs     " + _peers.scaling_line(_peers.scaling(makers, RUNS)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
