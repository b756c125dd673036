"""Time splitting and point evaluation on the cubic segments of real glyphs:
native against the pure-Python model and its Cython build, and against the
floor, a call of a builtin (math.hypot) with as many float arguments.

Ratios are what matter; absolute times depend on the machine.
"""

import json
import math
import os
import random
import sys

import _peers

RUNS = 7
SEGMENTS = 2000


def corpus_cubics():
    """The cubic segments of the ExtraLight master, in glyph-name order, or
    seeded random cubics when the corpus is absent."""
    path = os.path.join(_peers.CORPUS_DIR, "source-sans-roman", "outlines.json")
    if not os.path.exists(path):
        rng = random.Random(1)
        return "random cubics (real-font corpus not found)", [
            tuple((rng.uniform(0, 1000), rng.uniform(0, 1000)) for _ in range(4)) for _ in range(SEGMENTS)]
    with open(path) as f:
        master = json.load(f)["masters"]["SourceSans_ExtraLight.ufo"]
    cubics = []
    for name in sorted(master):
        for contour in master[name]:
            on = [i for i, p in enumerate(contour) if p[2] != "offcurve"]
            if not on:
                continue
            # Start at an on-curve point; the closing segment comes last.
            points = contour[on[0]:] + contour[:on[0] + 1]
            start, controls = points[0], []
            for p in points[1:]:
                if p[2] == "offcurve":
                    controls.append(p)
                    continue
                if p[2] == "curve" and len(controls) == 2:
                    cubics.append(tuple((q[0], q[1]) for q in (start, *controls, p)))
                start, controls = p, []
    return "cubic segments of the real-font corpus", cubics[:SEGMENTS]


def first(gen):
    next(gen)


def main():
    from vellary.misc import curvemath as native

    models = _peers.models("curvemath")
    contenders = {"native": native, **models}

    source, cubics = corpus_cubics()
    complex_cubics = [tuple(complex(x, y) for x, y in c) for c in cubics]
    ts = (0.3, 0.7)
    benches = [
        # name, function name, cases, how a result is consumed, floor arity
        ("cubicPointAtT", "cubicPointAtT", [(*c, 0.37) for c in cubics], None, 5),
        ("calcCubicParameters", "calcCubicParameters", cubics, None, 4),
        ("splitCubicAtT", "splitCubicAtT", [(*c, *ts) for c in cubics], None, 6),
        ("splitCubicAtTC (all)", "splitCubicAtTC", [(*c, *ts) for c in complex_cubics], list, 6),
        ("splitCubicAtTC (first)", "splitCubicAtTC", [(*c, *ts) for c in complex_cubics], first, 6),
    ]

    for _, name, data, consume, _ in benches:
        for label, model in models.items():
            f, g = getattr(native, name), getattr(model, name)
            for args in data:
                a, b = f(*args), g(*args)
                if consume is not None:
                    a, b = list(a), list(b)
                assert _peers.identical(a, b), f"{name}{args}: {label} differs from native"

    print(f"splitting: {len(cubics)} {source}, median of {RUNS} interleaved runs")
    print(f"  results of native and {' and '.join(models)} identical on the corpus")
    print("  floor: math.hypot with as many float arguments as the function takes")
    for title, name, data, consume, arity in benches:
        makes = {label: _peers.calling(getattr(m, name), consume) for label, m in contenders.items()}
        # The floor calls math.hypot on tuples of as many floats, one per
        # case: its pass goes over these in place of the function's cases.
        floats = [tuple(float(i + k) for k in range(arity)) for i in range(len(data))]
        makes["floor"] = lambda _, loops: _peers.calls(math.hypot, floats, loops)
        per_call = _peers.per_unit(makes, data, 0.02, RUNS)
        native_ns = per_call["native"]
        print(f"  {title:23s} native {native_ns * 1e9:7.1f} ns   native / floor = {native_ns / per_call['floor']:5.2f}x"
              + _peers.ratios(per_call, models, "6.2f"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
