"""Time solveQuadratic / solveCubic: native against the pure-Python model.

The model from tests/reference runs on the same interpreter, and, when
Cython is installed (`make bench` installs it), also compiled by Cython.
Ratios are what matter; absolute times depend on the machine.
"""

import random
import sys

import _peers

RUNS = 7


def corpus(n=4000, seed=20240611):
    """Coefficient tuples for cubics, a mix of ints and floats, and of the
    one-root, three-root and degenerate branches."""
    rng = random.Random(seed)
    cases = []
    for i in range(n):
        kind = i % 4
        if kind == 0:
            c = (rng.randint(-100, 100), rng.randint(-100, 100), rng.randint(-100, 100), rng.randint(-100, 100))
        elif kind == 1:
            c = tuple(rng.uniform(-100, 100) for _ in range(4))
        elif kind == 2:
            a = rng.choice([1, 2, -3])
            r1, r2, r3 = (rng.randint(-9, 9) for _ in range(3))
            c = (a, -a * (r1 + r2 + r3), a * (r1 * r2 + r1 * r3 + r2 * r3), -a * r1 * r2 * r3)
        else:
            a = rng.uniform(-2, 2)
            r1, r2, r3 = (rng.uniform(-5, 5) for _ in range(3))
            c = (a, -a * (r1 + r2 + r3), a * (r1 * r2 + r1 * r3 + r2 * r3), -a * r1 * r2 * r3)
        cases.append(c)
    return cases


def main():
    from vellary.misc import curvemath as native

    models = _peers.models("curvemath")
    contenders = {"native": native, **models}

    cubic_cases = corpus()
    quadratic_cases = [c[1:] for c in cubic_cases]
    cases = [("solveQuadratic", quadratic_cases), ("solveCubic", cubic_cases)]

    # Every peer must give native's answer, to the bit, before it is timed.
    for name, data in cases:
        for label, model in models.items():
            f, g = getattr(native, name), getattr(model, name)
            for args in data:
                assert _peers.identical(f(*args), g(*args)), f"{name}{args}: {label} differs from native"

    print(f"solvers: {len(cubic_cases)} coefficient tuples, median of {RUNS} interleaved runs")
    print(f"  results of native and {' and '.join(models)} identical on the corpus")
    for name, data in cases:
        makes = {label: _peers.calling(getattr(m, name)) for label, m in contenders.items()}
        per_call = _peers.per_unit(makes, data, 0.02, RUNS)
        print(f"  {name:15s} native {per_call['native'] * 1e9:8.1f} ns/call" + _peers.ratios(per_call, models, "6.2f"))

    # The same work on each thread, each on its own copy of the input; with
    # no shared lock or shared object written per call, 2 threads take about
    # as long as 1.
    print(_peers.scaling_title())
    for name, data in cases:
        makes = {label: _peers.calling(getattr(m, name)) for label, m in contenders.items()}
        makers = _peers.copies_makers(makes, data, 0.05)
        print(f"  {name:15s}" + _peers.scaling_line(_peers.scaling(makers, RUNS)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
