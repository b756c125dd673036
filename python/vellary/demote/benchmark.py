"""Random cubics, and a small benchmark of the cubic-to-quadratic conversion.

    python -m vellary.demote.benchmark [--reference FILE] [--curves N] [--repeat R]

converts the same seeded set of random curves at a few tolerances and prints
conversions per second for the native module and, when one can be loaded,
for a pure-Python model of it: the file named by ``--reference``, else a
module ``reference.demote`` if one is importable (as it is with the test
directory on ``sys.path``).
"""

import argparse
import importlib
import importlib.util
import random
import sys
import time

TOLERANCES = (0.001, 0.01, 0.1, 1.0)


def generate_curve(rng=random):
    """A random cubic: four points with whole-number float coordinates in
    [0, 2048], the range of a typical font's units."""
    return [(float(rng.randint(0, 2048)), float(rng.randint(0, 2048))) for _ in range(4)]


def _load_native():
    try:
        return importlib.import_module("vellary.demote.demote")
    except ImportError as e:
        print(f"native module not importable: {e}")
        return None


def _load_reference(path):
    if path is not None:
        found = importlib.util.spec_from_file_location("_demote_reference", path)
        if found is None:
            sys.exit(f"cannot load a module from {path!r}")
        module = importlib.util.module_from_spec(found)
        found.loader.exec_module(module)
        return module
    try:
        return importlib.import_module("reference.demote")
    except ImportError:
        return None


def _time(convert, curves, tolerance, repeat, progress):
    """Best conversions per second over `repeat` rounds; curves that find no
    approximation count as conversions too."""
    best = None
    for _ in range(repeat):
        start = time.perf_counter()
        for curve in curves:
            try:
                convert(curve, tolerance)
            except Exception:  # noqa: BLE001 - ApproxNotFoundError of either module
                pass
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
        progress()
    return len(curves) / best if best else float("inf")


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python -m vellary.demote.benchmark", description=__doc__.split("\n")[0])
    parser.add_argument("--reference", metavar="FILE", help="a pure-Python model of the module to compare with")
    parser.add_argument("--curves", type=int, default=1000, help="number of random curves (default 1000)")
    parser.add_argument("--repeat", type=int, default=3, help="rounds per measurement, best taken (default 3)")
    parser.add_argument("--seed", type=int, default=1, help="seed of the random curves (default 1)")
    args = parser.parse_args(argv)

    rng = random.Random(args.seed)
    curves = [generate_curve(rng) for _ in range(args.curves)]
    impls = [(name, module) for name, module in
             [("native", _load_native()), ("reference", _load_reference(args.reference))] if module is not None]
    if not impls:
        print("nothing to measure")
        return 1

    steps, done = len(impls) * len(TOLERANCES) * args.repeat, 0

    def progress():
        nonlocal done
        done += 1
        if sys.stderr.isatty():
            print(f"\r  {done}/{steps}", end="" if done < steps else "\r\x1b[K", file=sys.stderr, flush=True)

    print(f"{len(curves)} random cubics, best of {args.repeat}, conversions per second")
    ratio = "       ratio" if len(impls) == 2 else ""
    print(f"{'tolerance':>10}" + "".join(f"{name:>14}" for name, _ in impls) + ratio)
    for tolerance in TOLERANCES:
        rates = [_time(module.curve_to_quadratic, curves, tolerance, args.repeat, progress) for _, module in impls]
        line = f"{tolerance:>10g}" + "".join(f"{rate:>14,.0f}" for rate in rates)
        if len(rates) == 2:
            line += f"{rates[0] / rates[1]:>11.1f}x"
        print(line, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
