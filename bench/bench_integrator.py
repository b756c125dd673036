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
    from vellary._outlines import closed_contour

    path = os.path.join(_peers.CORPUS_DIR, "source-sans-roman", "outlines.json")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        master = json.load(f)["masters"]["SourceSans_ExtraLight.ufo"]
    glyphs = []
    for name in sorted(master):
        contours = [c for c in map(closed_contour, master[name]) if c is not None]
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


def drawing(cls):
    """make(glyphs, loops): every glyph drawn into a new pen of `cls`, `loops` times over."""
    return lambda glyphs, loops: work(cls, glyphs, loops)


def main():
    from vellary.pens import integrator as native

    models = _peers.models("integrator")
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

    per_glyph = _peers.per_unit({label: drawing(cls) for label, cls in contenders.items()}, glyphs, 0.05, RUNS)
    print(f"  all glyphs      native {per_glyph['native'] * 1e6:8.2f} us/glyph"
          + _peers.ratios(per_glyph, models, "6.1f"))

    print(_peers.scaling_title("drawing every glyph into its own pens"))
    copies = [_peers.fresh(glyphs) for _ in range(2)]
    makers = {label: (lambda k, cls=cls: work(cls, copies[k], 1)) for label, cls in contenders.items()}
    print("  all glyphs     " + _peers.scaling_line(_peers.scaling(makers, RUNS)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
