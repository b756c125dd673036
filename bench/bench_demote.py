"""Time curve_to_quadratic / curves_to_quadratic: native against the models.

The corpus is 1000 seeded random cubics (vellary.demote.benchmark's
generate_curve), converted one by one, and the same curves taken two at a
time (500 pairs) for curves_to_quadratic, at tolerances 1, 0.1 and 0.01.
The model from tests/reference runs on the same interpreter, and, when
Cython is installed (`make bench` installs it), also compiled by Cython.
Ratios are what matter; absolute times depend on the machine.
"""

import random
import sys

import _peers

RUNS = 7
# A pass of the pure-Python model over the corpus takes over a second at the
# finest tolerance: fewer runs there keep the whole benchmark within about
# two minutes.  Every run still converts the whole corpus, so the time per
# conversion stays that of the same curves.
RUNS_AT = {1.0: RUNS, 0.1: RUNS, 0.01: 5}
TOLERANCES = (1.0, 0.1, 0.01)
CURVES = 1000
SEED = 20240611
# The threaded runs of the models take a whole corpus pass each; one
# tolerance is enough to compare their scaling with native's.
MODEL_SCALING_TOLERANCE = 1.0


def corpus():
    from vellary.demote.benchmark import generate_curve

    rng = random.Random(SEED)
    return [generate_curve(rng) for _ in range(CURVES)]


def single_cases(curves, tolerance):
    return [(curve, tolerance) for curve in curves]


def pair_cases(curves, tolerance):
    return [([curves[k], curves[k + 1]], [tolerance, tolerance]) for k in range(0, len(curves) - 1, 2)]


def calling(func):
    """make(cases, loops): func called on each of the cases, `loops` times
    over, a failure to approximate passed over."""
    return lambda cases, loops: calls(func, cases, loops)


def calls(func, cases, loops):
    from vellary.demote.errors import ApproxNotFoundError

    def work():
        for _ in range(loops):
            for args in cases:
                try:
                    func(*args)
                except ApproxNotFoundError:
                    pass
    return work


def outcome(func, args):
    """The result of func(*args); a failure to approximate is a result too."""
    from vellary.demote.errors import ApproxNotFoundError

    try:
        return func(*args)
    except ApproxNotFoundError as e:
        return ("ApproxNotFoundError", e.args)


def same(a, b):
    # identical() takes 0.0 for -0.0 (and compares complex numbers, the
    # points an ApproxNotFoundError carries, by value); repr() tells the
    # zeros apart and names every other double exactly.
    return _peers.identical(a, b) and repr(a) == repr(b)


def check(native, models, name, cases):
    """Every peer must give native's answer, to the bit, before it is timed.
    Returns native's outcomes."""
    f = getattr(native, name)
    want = [outcome(f, args) for args in cases]
    for label, model in models.items():
        g = getattr(model, name)
        for args, expected in zip(cases, want):
            assert same(expected, outcome(g, args)), f"{name}{args}: {label} differs from native"
    return want


def segments(result):
    """Quadratic segments of one spline, or None for a failure."""
    if type(result) is tuple:
        return None
    return len(result) - 2


def main():
    from vellary.demote import demote as native

    models = _peers.models("demote")
    contenders = {"native": native, **models}

    curves = corpus()
    functions = [("curve_to_quadratic", single_cases, "curve"), ("curves_to_quadratic", pair_cases, "pair")]
    cases = {(name, tolerance): make(curves, tolerance)
             for name, make, _ in functions for tolerance in TOLERANCES}

    print(f"demote: {len(curves)} random cubics (seed {SEED}), and as {len(curves) // 2} pairs for "
          f"curves_to_quadratic; tolerances {', '.join(f'{t:g}' for t in TOLERANCES)}")
    for tolerance in TOLERANCES:
        single = check(native, models, "curve_to_quadratic", cases["curve_to_quadratic", tolerance])
        paired = check(native, models, "curves_to_quadratic", cases["curves_to_quadratic", tolerance])
        counts = [segments(r) for r in single]
        pair_counts = [segments(r[0]) if type(r) is list else None for r in paired]
        found = [n for n in counts if n is not None]
        pair_found = [n for n in pair_counts if n is not None]
        print(f"  tolerance {tolerance:<5g} {sum(found) / len(found):5.1f} segments per curve "
              f"(max {max(found)}), {len(counts) - len(found)} not found;   "
              f"{sum(pair_found) / len(pair_found):5.1f} per pair, {len(pair_counts) - len(pair_found)} not found")
    print(f"  results of native and {' and '.join(models)} identical on the corpus")

    print(f"  median of {RUNS} interleaved runs ({RUNS_AT[0.01]} at tolerance 0.01); "
          f"ratio = model time / native time")
    for name, _, unit in functions:
        for tolerance in TOLERANCES:
            makes = {label: calling(getattr(m, name)) for label, m in contenders.items()}
            per_call = _peers.per_unit(makes, cases[name, tolerance], 0.02, RUNS_AT[tolerance])
            print(f"  {name:19s} tol {tolerance:<5g} native {per_call['native'] * 1e6:7.2f} us/{unit:5s}"
                  + _peers.ratios(per_call, models, "6.1f"), flush=True)

    # One batch, run whole on 1 thread and halved over 2.  Each thread gets
    # its own copy of its share, tolerance floats included: with shared
    # input objects, every reference-count update of one thread would
    # contend with the other's.
    print(_peers.SPEEDUP_TITLE)
    for name, _, _ in functions:
        for tolerance in TOLERANCES:
            labels = contenders if tolerance == MODEL_SCALING_TOLERANCE else ["native"]
            makes = {label: calling(getattr(contenders[label], name)) for label in labels}
            makers = _peers.halves_makers(makes, cases[name, tolerance], 0.1)
            line = f"  {name:19s} tol {tolerance:<5g}" + _peers.scaling_line(_peers.speedup(makers, RUNS))
            print(line, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
