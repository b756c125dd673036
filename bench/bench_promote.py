"""Time quadratic_to_curves: native against the models.

The corpus is every run of consecutive cubic segments in the contours of the
real-font corpus (ExtraLight master), each cubic converted to a quadratic
spline by curve_to_quadratic at tolerance 1, and each run merged back whole
at tolerance 1, as font tools call it.  Seeded random cubic chains stand in
when the corpus is absent.

The models are tests/reference/promote.py on the same interpreter and its
Cython build.  Each peer is a whole implementation of the library: the model
splits its merged cubics with the matching model of curvemath (pure Python,
or compiled by Cython), as the module splits with the native curvemath.  The
pure-Python model with native splitting is timed as well, for scale.

Then the scaling from one thread to two, and the cost of one spline of 4, 16, 64 and 256 segments of a smooth wave,
which has no corner to bound the programme.  Ratios are what matter;
absolute times depend on the machine.
"""

import math
import os
import random
import sys

import _peers

RUNS = 7
TOLERANCE = 1.0
LENGTHS = (4, 16, 64, 256)


def corpus():
    from vellary._outlines import cubic_runs
    from vellary.demote import curve_to_quadratic

    path = os.path.join(_peers.CORPUS_DIR, "source-sans-roman", "outlines.json")
    if os.path.exists(path):
        label = "cubic runs of the real-font corpus"
        runs = [run for _, glyph in cubic_runs(path) for run in glyph]
    else:
        label = "random cubic chains (real-font corpus not found)"
        rng, runs = random.Random(1), []
        for _ in range(1500):
            start, run = (0.0, 0.0), []
            for _ in range(rng.randint(1, 5)):
                run.append([start] + [(rng.uniform(0, 600), rng.uniform(0, 600)) for _ in range(3)])
                start = run[-1][3]
            runs.append(run)
    return label, [([curve_to_quadratic(c, TOLERANCE) for c in run], TOLERANCE) for run in runs]


def wave(n):
    """n connected quadratic segments along a sine wave, each control point
    where the tangents at its ends meet: smooth everywhere."""
    def at(k):
        x = 12.0 * k
        return x, 80 * math.sin(x / 40), 2 * math.cos(x / 40)

    segments = []
    for k in range(n):
        (x0, y0, s0), (x1, y1, s1) = at(k), at(k + 1)
        t = (y1 - y0 - (x1 - x0) * s1) / (s0 - s1) if s0 != s1 else (x1 - x0) / 2
        segments.append([(x0, y0), (x0 + t, y0 + t * s0), (x1, y1)])
    return segments


def main():
    from vellary.misc import curvemath
    from vellary.promote import promote as native

    python = _peers.reference("promote")
    python.splitCubicAtTC = _peers.reference("curvemath").splitCubicAtTC
    mixed = _peers.reference("promote")
    mixed.splitCubicAtTC = curvemath.splitCubicAtTC
    models = {"python": python}
    compiled = _peers.cython_reference("promote")
    if compiled is not None:
        compiled.splitCubicAtTC = _peers.cython_reference("curvemath").splitCubicAtTC
        models["cython"] = compiled
    models["python, native split"] = mixed
    contenders = {"native": native, **models}

    label, cases = corpus()
    want = [native.quadratic_to_curves(*args) for args in cases]
    for name, model in models.items():
        got = [model.quadratic_to_curves(*args) for args in cases]
        assert _peers.identical(want, got) and repr(want) == repr(got), f"{name} differs from native"
    before = sum(len(spline) - 2 for splines, _ in cases for spline in splines)
    after = sum(len(curves) for curves in want)
    print(f"promote: {len(cases)} {label}, {before} quadratic segments at tolerance {TOLERANCE:g}, "
          f"merged into {after} curves")
    print(f"  results of native and every model identical on the corpus")

    print(f"  median of {RUNS} interleaved runs; ratio = model time / native time")
    makes = {name: _peers.calling(m.quadratic_to_curves) for name, m in contenders.items()}
    per_call = _peers.per_unit(makes, cases, 0.05, RUNS)
    print(f"  quadratic_to_curves  native {per_call['native'] * 1e6:7.2f} us/run"
          + _peers.ratios(per_call, models, "5.1f"), flush=True)

    # One batch run whole on 1 thread and halved over 2, each thread with its
    # own copy of its share.
    print(_peers.SPEEDUP_TITLE)
    makers = _peers.halves_makers({name: makes[name] for name in ("native", "python")}, cases, 0.1)
    print("  quadratic_to_curves " + _peers.scaling_line(_peers.speedup(makers, RUNS)), flush=True)

    print("  growth with the spline's length (a smooth wave: no corner bounds the programme)")
    for n in LENGTHS:
        spline_cases = [(wave(n), TOLERANCE)]
        pieces = len(native.quadratic_to_curves(*spline_cases[0]))
        t = _peers.per_unit({"native": makes["native"]}, spline_cases, 0.05, RUNS)["native"]
        print(f"  {n:4d} segments -> {pieces:3d} curves   native {t * 1e6:9.1f} us   "
              f"{t * 1e6 / n:6.2f} us per segment", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
