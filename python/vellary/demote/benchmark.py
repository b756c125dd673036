"""Random cubics, and a small benchmark of the cubic-to-quadratic conversion.

    python -m vellary.demote.benchmark [--reference FILE] [--curves N] [--repeat R]
                                       [--seed S] [--json FILE] [--svg FILE]

converts the same seeded set of random curves at a few tolerances and prints
conversions per second for the native module and, when one can be loaded,
for a pure-Python model of it: the file named by ``--reference``, else a
module ``reference.demote`` if one is importable (as it is with the test
directory on ``sys.path``).  ``--json`` also writes the table as JSON;
``--svg`` draws the speed-ups over the model as a bar chart.
"""

import argparse
import importlib
import importlib.util
import json
import os
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
            raise ValueError(f"cannot load a Python module from {path!r}")
        module = importlib.util.module_from_spec(found)
        found.loader.exec_module(module)
        if not callable(getattr(module, "curve_to_quadratic", None)):
            raise ValueError(f"{path!r} defines no curve_to_quadratic")
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
    return len(curves) / max(best, time.get_clock_info("perf_counter").resolution)


def _positive(text):
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1: {value}")
    return value


def _existing_file(text):
    if not os.path.isfile(text):
        raise argparse.ArgumentTypeError(f"no such file: {text!r}")
    return text


def _writable(text):
    folder = os.path.dirname(os.path.abspath(text))
    if not os.path.isdir(folder):
        raise argparse.ArgumentTypeError(f"no such folder: {folder!r}")
    return text


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python -m vellary.demote.benchmark", description=__doc__.split("\n")[0])
    parser.add_argument("--reference", metavar="FILE", type=_existing_file,
                        help="a pure-Python model of the module to compare with")
    parser.add_argument("--curves", metavar="N", type=_positive, default=1000,
                        help="number of random curves (default 1000)")
    parser.add_argument("--repeat", metavar="R", type=_positive, default=3,
                        help="rounds per measurement, best taken (default 3)")
    parser.add_argument("--seed", type=int, default=1, help="seed of the random curves (default 1)")
    parser.add_argument("--json", metavar="FILE", type=_writable, help="also write the table to FILE as JSON")
    parser.add_argument("--svg", metavar="FILE", type=_writable,
                        help="draw the speed-ups over the model as a bar chart into FILE")
    args = parser.parse_args(argv)

    try:
        reference = _load_reference(args.reference)
    except (ValueError, ImportError, SyntaxError) as e:
        parser.error(f"argument --reference: {e}")

    rng = random.Random(args.seed)
    curves = [generate_curve(rng) for _ in range(args.curves)]
    impls = [(name, module) for name, module in [("native", _load_native()), ("reference", reference)]
             if module is not None]
    if not impls:
        print("nothing to measure")
        return 1
    if args.svg and len(impls) != 2:
        parser.error("argument --svg: the chart shows the native module's speed-up over a model; "
                     "both must load (give the model with --reference)")

    steps, done = len(impls) * len(TOLERANCES) * args.repeat, 0

    def progress():
        nonlocal done
        done += 1
        if sys.stderr.isatty():
            print(f"\r  {done}/{steps}", end="" if done < steps else "\r\x1b[K", file=sys.stderr, flush=True)

    print(f"{len(curves)} random cubics, best of {args.repeat}, conversions per second")
    ratio = "       ratio" if len(impls) == 2 else ""
    print(f"{'tolerance':>10}" + "".join(f"{name:>14}" for name, _ in impls) + ratio)
    rows = []
    for tolerance in TOLERANCES:
        rates = [_time(module.curve_to_quadratic, curves, tolerance, args.repeat, progress) for _, module in impls]
        row = {"tolerance": tolerance, **{name: rate for (name, _), rate in zip(impls, rates)}}
        line = f"{tolerance:>10g}" + "".join(f"{rate:>14,.0f}" for rate in rates)
        if len(rates) == 2:
            row["ratio"] = rates[0] / rates[1]
            line += f"{row['ratio']:>11.1f}x"
        rows.append(row)
        print(line, flush=True)

    if args.json:
        table = {"curves": args.curves, "repeat": args.repeat, "seed": args.seed,
                 "python": sys.version.split()[0], "gil_enabled": sys._is_gil_enabled(),
                 "unit": "conversions per second", "rows": rows}
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump(table, f, indent=2)
            f.write("\n")
    if args.svg:
        from vellary._svg import bar_chart

        bar_chart(args.svg, f"curve_to_quadratic: native / pure Python, {args.curves} random cubics",
                  [(f"tolerance {row['tolerance']:g}", row["ratio"]) for row in rows])
    return 0


if __name__ == "__main__":
    sys.exit(main())
