"""Time `vellary demote` on whole fonts: both corpus masters (the sample
masters of tests/data/ufo when the corpus is not beside the checkout)
converted compatibly, on 1 and 2 threads.

Each run is the command's whole job (read and parse every .glif, convert,
measure the error, encode, write both fonts); the job's own thread-time
accounting splits it into reading, converting and writing.  The same job is
then run with the pure-Python model of the converters from tests/reference
in place of vellary.demote, and must write byte-identical fonts.

    python bench/bench_ufo.py [--runs N] [--model-runs N]
"""

import argparse
import os
import pathlib
import shutil
import statistics
import sys
import tempfile
import time

import _peers

from vellary.cli._jobs import demote
from vellary.cli._ufo import _copy_tree

CORPUS = pathlib.Path(_peers.CORPUS_DIR) / "source-sans-roman" / "ufo"
SAMPLE = pathlib.Path(_peers.REPO) / "tests" / "data" / "ufo"


def job(masters, out, jobs, convert=None):
    shutil.rmtree(out, ignore_errors=True)
    return demote(masters, out, 1.0, jobs, allow_missing=True, convert=convert)


def _timed(name):
    """A method of Timed: the converter `name` of the module, its time added
    to the seconds."""
    def convert(self, *args):
        start = time.perf_counter()
        try:
            return getattr(self.module, name)(*args)
        finally:
            self.seconds += time.perf_counter() - start
    convert.__name__ = name
    return convert


class Timed:
    """The converters of `module`, timing their calls (one thread only)."""

    def __init__(self, module):
        self.module, self.seconds = module, 0.0

    curves_to_quadratic = _timed("curves_to_quadratic")
    curve_to_quadratic = _timed("curve_to_quadratic")


def files(root):
    return {p.relative_to(root): p.read_bytes() for p in sorted(pathlib.Path(root).rglob("*")) if p.is_file()}


def row(label, jobs, runs):
    wall = statistics.median(s.wall for s in runs)
    s = min(runs, key=lambda s: abs(s.wall - wall))
    io = s.read + s.encode + s.write
    print(f"  {label:<8} {jobs:>4} {wall:8.2f} {s.files / wall:9.0f} {s.read:8.2f} {s.convert:8.2f} "
          f"{s.check:7.2f} {s.encode:7.2f} {s.write:7.2f} {io / s.convert:8.2f}")
    return wall


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=5, help="runs of the native job per thread count (median)")
    parser.add_argument("--model-runs", type=int, default=1, help="runs of the pure-Python model's job")
    args = parser.parse_args()
    where = CORPUS if CORPUS.is_dir() else SAMPLE
    masters = [str(p) for p in sorted(where.glob("*.ufo"))]
    model = _peers.reference("demote")
    print(f"vellary demote of {len(masters)} masters in {where}; max error 1 unit; "
          f"times in seconds: wall clock, and CPU time of each stage summed over the threads (write: wall clock)")
    print(f"  {'curves':<8} {'jobs':>4} {'wall':>8} {'glyphs/s':>9} {'read':>8} {'convert':>8} "
          f"{'check':>7} {'encode':>7} {'write':>7} {'io/conv':>8}")
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out")
        job(masters, out, 1)  # warm the file cache and the imports
        native = {1: [], 2: []}
        for _ in range(args.runs):  # interleaved: load from elsewhere hits both alike
            for jobs in native:
                native[jobs].append(job(masters, out, jobs))
        reference_files = files(out)
        walls = {jobs: row("native", jobs, runs) for jobs, runs in native.items()}
        modelled = {}
        for jobs in (1, 2):
            modelled[jobs] = [job(masters, out, jobs, model) for _ in range(args.model_runs)]
            if files(out) != reference_files:
                print("  the model's fonts differ from native's")
                return 1
        model_walls = {jobs: row("model", jobs, runs) for jobs, runs in modelled.items()}
        import vellary.demote

        calls = {}
        for label, module in (("native", vellary.demote), ("model", model)):
            timed = Timed(module)
            job(masters, out, 1, timed)
            calls[label] = timed.seconds
        # what the disk alone costs: a plain copy of the same files
        copies = []
        for _ in range(3):
            shutil.rmtree(os.path.join(tmp, "copy"), ignore_errors=True)
            os.mkdir(os.path.join(tmp, "copy"))
            start = time.perf_counter()
            for m in masters:
                _copy_tree(m, os.path.join(tmp, "copy", os.path.basename(m)), {})
            copies.append(time.perf_counter() - start)
    glyphs = native[1][0].files
    print(f"  {glyphs} glyph files, {native[1][0].curves} cubic curves; identical fonts from native and model")
    print(f"  a plain copy of the masters' files takes {statistics.median(copies):.2f} s on this disk")
    print(f"  1 -> 2 threads: native {walls[1] / walls[2]:.2f}x, model {model_walls[1] / model_walls[2]:.2f}x; "
          f"whole job with native over the model: {model_walls[1] / walls[1]:.1f}x (1 thread), "
          f"{model_walls[2] / walls[2]:.1f}x (2 threads)")
    conv = statistics.median(s.convert for s in native[1])
    model_conv = statistics.median(s.convert for s in modelled[1])
    print(f"  the convert stage, 1 thread: native {conv:.2f} s, model {model_conv:.2f} s ({model_conv / conv:.1f}x); "
          f"of it the converter calls: native {calls['native']:.3f} s, model {calls['model']:.2f} s "
          f"({calls['model'] / calls['native']:.0f}x)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
