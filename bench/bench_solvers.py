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


def calls(func, cases, loops):
    def work():
        for _ in range(loops):
            for args in cases:
                func(*args)
    return work


def main():
    from vellary.misc import curvemath as native

    models = {"python": _peers.reference("curvemath")}
    compiled = _peers.cython_reference("curvemath")
    if compiled is not None:
        models["cython"] = compiled
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
        funcs = {label: getattr(m, name) for label, m in contenders.items()}
        loops = {label: _peers.loops_for(calls(f, data, 1), 0.02) for label, f in funcs.items()}
        times = _peers.side_by_side({label: calls(f, data, loops[label]) for label, f in funcs.items()}, RUNS)
        per_call = {label: times[label] / (loops[label] * len(data)) for label in funcs}
        line = f"  {name:15s} native {per_call['native'] * 1e9:8.1f} ns/call"
        for label in models:
            line += f"   {label} / native = {per_call[label] / per_call['native']:6.2f}x"
        print(line)

    # The same work on each thread, each on its own copy of the input; with
    # no shared lock or shared object written per call, 2 threads take about
    # as long as 1.
    print("  scaling: 2 threads / 1 thread, each thread doing the whole work "
          "(1.00 = perfect, 2.00 = none)")
    for name, data in cases:
        copies = [_peers.fresh(data) for _ in range(2)]
        makers = {}
        for label, m in contenders.items():
            f = getattr(m, name)
            loops = _peers.loops_for(calls(f, data, 1), 0.05)
            makers[label] = lambda k, f=f, loops=loops: calls(f, copies[k], loops)
        print(f"  {name:15s}" + _peers.scaling_line(_peers.scaling(makers, RUNS)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
