"""Weak scaling of every module's main workload, native against the
pure-Python model: each of T threads does the same work as one thread alone.

    speed-up(T) = T * wall time of 1 thread / wall time of T threads   (ideal T)
    CPU(T)      = CPU time per unit of work per thread on T threads,
                  over the same on 1 thread                         (ideal 1.00)

The second ratio shows contention even on two cores, where wall-clock scaling
is noisy: a write to memory that all threads share (a reference count, a
lock, a counter) costs a cache-line transfer every time another core wrote
it last, and that time is spent by the thread itself.

The harness shares nothing between threads but the modules' own objects:
each thread builds its inputs itself (new float, int, str and tuple objects),
binds its callees as default arguments (a closure cell or a global read on
the free-threaded 3.13 would take a lock or a shared reference count and
time the harness), and all start together on a barrier.

Runs standalone with an interpreter, the installed package and the repo's
tests/reference models:

    python bench/bench_scaling.py [--threads 1,2] [--runs 3] [--seconds 0.2]
                                  [--only lexer,pen] [--json out.json]
"""

import argparse
import collections
import importlib.util
import json
import math
import os
import platform
import random
import statistics
import sys
import sysconfig
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from _peers import draw_all, fresh  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)


# -- inputs -------------------------------------------------------------------
#
# Read once in the main thread as plain data; every thread then makes its own
# copy with fresh().

def load_module(name, path):
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


class Corpus:
    def __init__(self, root, reference):
        self.root = root
        self.reference = reference
        outlines = os.path.join(root, "source-sans-roman", "outlines.json") if root else None
        self.masters = None
        if outlines and os.path.exists(outlines):
            with open(outlines) as f:
                self.masters = json.load(f)["masters"]

    # Feature files: the corpus's, else the copy in tests/data.
    def feature_text(self, limit):
        for top in (os.path.join(self.root or "", "source-sans-roman", "fea"),
                    os.path.join(REPO, "tests", "data", "fea")):
            if os.path.isdir(top):
                break
        else:
            return self.generated_features(limit), None
        texts, size = [], 0
        for folder, dirs, files in os.walk(top):
            dirs.sort()
            for name in sorted(files):
                if name.endswith(".fea") and size < limit:
                    with open(os.path.join(folder, name), encoding="utf-8-sig") as f:
                        text = f.read()
                    texts.append(text if text.endswith("\n") else text + "\n")
                    size += len(texts[-1])
        return "".join(texts), top

    @staticmethod
    def generated_features(limit):
        """Feature-file text of the usual token mix, for a checkout without
        feature files."""
        rng, lines = random.Random(5), []
        while sum(map(len, lines)) < limit:
            a, b = (f"{rng.choice('abcdefgh')}{rng.choice(['', '.sc', '.alt', 'acute'])}" for _ in range(2))
            lines.append(rng.choice([
                f"    pos {a} {b} {rng.randint(-120, 60)};\n",
                f"    sub {a} by {b};\n",
                f"@Cls_{rng.randint(1, 99)} = [{a} {b} \\{rng.randint(1, 999)}];\n",
                f"    # kerning of {a} and {b}\n",
                f"feature kern {{ lookup L{rng.randint(1, 9)} useExtension {{ pos {a} 0x1F 1.5; }} L; }} kern;\n",
                f"table OS/2 {{ TypoAscender {rng.randint(600, 900)}; }} OS/2;\n",
            ]))
        return "".join(lines)

    def contours(self, master="SourceSans_ExtraLight.ufo"):
        """Closed contours as (start, [segment points]), or generated ones."""
        from vellary._outlines import closed_contour

        if self.masters is None:
            rng = random.Random(20240611)
            pt = lambda: (float(rng.randint(0, 1000)), float(rng.randint(-200, 800)))  # noqa: E731
            return [[(pt(), [tuple(pt() for _ in range(rng.choice([1, 1, 3]))) for _ in range(rng.randint(3, 12))])
                     for _ in range(rng.randint(1, 3))] for _ in range(300)]
        glyphs = []
        for name in sorted(self.masters[master]):
            contours = []
            for closed in map(closed_contour, self.masters[master][name]):
                if closed is not None:
                    (sx, sy), segments = closed
                    contours.append(((float(sx), float(sy)),
                                     [tuple((float(x), float(y)) for x, y in seg) for seg in segments]))
            if contours:
                glyphs.append(contours)
        return glyphs

    def cubics(self, n):
        """The first n cubic segments, each starting where the one before it ended."""
        cubics = []
        for glyph in self.contours():
            for start, segs in glyph:
                p = start
                for seg in segs:
                    if len(seg) == 3:
                        cubics.append([p, *seg])
                    p = seg[-1]
        return cubics[:n]

    def cubic_runs(self, n):
        runs = []
        for glyph in self.contours():
            for start, segs in glyph:
                p, run = start, []
                for seg in segs:
                    if len(seg) == 3:
                        run.append([p, *seg])
                    elif run:
                        runs.append(run)
                        run = []
                    p = seg[-1]
                if run:
                    runs.append(run)
        return runs[:n]

    def gapfill_glyphs(self, limit):
        """(coords, deltas, ends) of glyphs compatible in both masters, with
        the four phantom points; generated when the corpus is absent."""
        glyphs = []
        if self.masters is None:
            rng = random.Random(7)
            for _ in range(limit):
                coords, deltas, ends = [], [], []
                for _ in range(rng.randint(1, 3)):
                    n = rng.randint(4, 30)
                    cx, cy, r = rng.uniform(100, 500), rng.uniform(0, 600), rng.uniform(20, 250)
                    for i in range(n):
                        t = 2 * math.pi * i / n
                        coords.append((round(cx + r * math.cos(t)), round(cy + r * math.sin(t))))
                        deltas.append((round(30 * math.cos(t)), round(10 * math.sin(t))))
                    ends.append(len(coords) - 1)
                glyphs.append((coords + [(0, 0)] * 4, deltas + [(0, 0)] * 4, ends))
            return glyphs
        base = self.masters["SourceSans_ExtraLight.ufo"]
        other = self.masters["SourceSans_Black.ufo"]
        for name in sorted(base):
            a, b = base[name], other.get(name)
            if not a or b is None or len(a) != len(b) or any(
                    len(ca) != len(cb) or any(p[2] != q[2] for p, q in zip(ca, cb)) for ca, cb in zip(a, b)):
                continue
            coords, deltas, ends = [], [], []
            for ca, cb in zip(a, b):
                coords += [(p[0], p[1]) for p in ca]
                deltas += [(q[0] - p[0], q[1] - p[1]) for p, q in zip(ca, cb)]
                ends.append(len(coords) - 1)
            xs = [x for x, _ in coords]
            coords += [(0, 0), (max(xs) + min(xs), 0), (0, 800), (0, -200)]
            deltas += [(0, 0)] * 4
            glyphs.append((coords, deltas, ends))
            if len(glyphs) == limit:
                break
        return glyphs


# -- workloads ----------------------------------------------------------------
#
# A workload is setup(impl, data) -> (work, units), called in the thread that
# runs it: `data` is that thread's fresh copy, `impl` maps module names to
# the modules of one contender.  work() does `units` units of work.

def lexer_setup(impl, data):
    text, filename = data
    lexer_class, drain = impl["lexer"].Lexer, collections.deque

    def work(lexer_class=lexer_class, text=text, filename=filename, drain=drain):
        drain(lexer_class(text, filename), maxlen=0)
    return work, None  # units: counted once, in the main thread


def calls_setup(module, name, shape):
    def setup(impl, cases):
        f = getattr(impl[module], name)
        if shape == 1:
            def work(f=f, cases=cases):
                for a in cases:
                    f(a)
        elif shape == 2:
            def work(f=f, cases=cases):
                for a, b in cases:
                    f(a, b)
        elif shape == 3:
            def work(f=f, cases=cases):
                for a, b, c in cases:
                    f(a, b, c)
        elif shape == 4:
            def work(f=f, cases=cases):
                for a, b, c, d in cases:
                    f(a, b, c, d)
        elif shape == 5:
            def work(f=f, cases=cases):
                for a, b, c, d, e in cases:
                    f(a, b, c, d, e)
        else:
            def work(f=f, cases=cases):
                for a, b, c, d, e, g in cases:
                    f(a, b, c, d, e, g)
        return work, len(cases)
    return setup


def demote_setup(name):
    def setup(impl, cases):
        f = getattr(impl["demote"], name)
        errors = impl["errors"]

        def work(f=f, cases=cases, errors=errors):
            for a, b in cases:
                try:
                    f(a, b)
                except errors:
                    pass
        return work, len(cases)
    return setup


def pen_setup(impl, glyphs):
    cls = impl["integrator"].Integrator

    def work(cls=cls, glyphs=glyphs, draw_all=draw_all):
        draw_all(cls, glyphs)
    return work, len(glyphs)


def cubic_coefficients(c):
    """solveCubic's a, b, c, d for the x coordinate of cubic c crossing its
    middle: three real roots for S-shaped curves, one for the rest."""
    (x0, _), (x1, _), (x2, _), (x3, _) = c
    return (-x0 + 3 * x1 - 3 * x2 + x3, 3 * x0 - 6 * x1 + 3 * x2, -3 * x0 + 3 * x1, x0 - (x0 + x3) / 2)


def curve_line(c):
    (x0, y0), _, _, (x3, y3) = c
    mx, my = (x0 + x3) / 2, (y0 + y3) / 2
    return (c, ((mx - (y3 - y0), my + (x3 - x0)), (mx + (y3 - y0), my - (x3 - x0))))


def workloads(corpus, lexer_bytes):
    """name -> (setup, input data, units or None, modules it needs)"""
    from vellary.demote import demote

    cubics = corpus.cubics(400)
    text, _ = corpus.feature_text(lexer_bytes)
    runs = corpus.cubic_runs(200)
    promote_cases = [([demote.curve_to_quadratic(c, 1.0) for c in run], 1.0) for run in runs]
    glyphs = corpus.gapfill_glyphs(40)
    gapfill = importlib.import_module("vellary.varLib.gapfill")
    sparse = [(gapfill.gapfill_delta_optimize(d, c, e, 0.5), c, e) for c, d, e in glyphs]
    pens = corpus.contours()[:150]
    return {
        "lexer": (lexer_setup, (text, "features.fea"), ("lexer",)),
        "curve_to_quadratic": (demote_setup("curve_to_quadratic"), [(c, 0.1) for c in cubics], ("demote",)),
        "curves_to_quadratic": (demote_setup("curves_to_quadratic"),
                                [([cubics[k], cubics[k + 1]], [0.1, 0.1]) for k in range(0, len(cubics) - 1, 2)],
                                ("demote",)),
        "quadratic_to_curves": (calls_setup("promote", "quadratic_to_curves", 2), promote_cases, ("promote",)),
        "gapfill_delta_optimize": (calls_setup("gapfill", "gapfill_delta_optimize", 4),
                                   [(d, c, e, 0.5) for c, d, e in glyphs], ("gapfill",)),
        "gapfill_delta": (calls_setup("gapfill", "gapfill_delta", 3), sparse, ("gapfill",)),
        "pen": (pen_setup, pens, ("integrator",)),
        "solveCubic": (calls_setup("curvemath", "solveCubic", 4), [cubic_coefficients(c) for c in cubics],
                       ("curvemath",)),
        "cubicPointAtT": (calls_setup("curvemath", "cubicPointAtT", 5), [(*c, 0.375) for c in cubics],
                          ("curvemath",)),
        "calcCubicBounds": (calls_setup("curvemath", "calcCubicBounds", 4), [tuple(c) for c in cubics],
                            ("curvemath",)),
        "splitCubicAtT": (calls_setup("curvemath", "splitCubicAtT", 6), [(*c, 0.25, 0.5) for c in cubics],
                          ("curvemath",)),
        "curveLineIntersections": (calls_setup("curvemath", "curveLineIntersections", 2),
                                   [curve_line(c) for c in cubics], ("curvemath",)),
    }


def contenders(reference_dir, with_model):
    """label -> {module name: module}"""
    from vellary.demote import demote
    from vellary.demote.errors import ApproxNotFoundError
    from vellary.feaLib import lexer
    from vellary.misc import curvemath
    from vellary.pens import integrator
    from vellary.promote import promote
    from vellary.varLib import gapfill

    native = {"curvemath": curvemath, "demote": demote, "promote": promote, "gapfill": gapfill,
              "integrator": integrator, "lexer": lexer, "errors": ApproxNotFoundError}
    out = {"native": native}
    if with_model and os.path.isdir(reference_dir):
        # The models import each other as the package `reference`.
        sys.path.insert(0, os.path.dirname(os.path.abspath(reference_dir)))
        model = {name: load_module(f"scaling_reference_{name}", os.path.join(reference_dir, name + ".py"))
                 for name in ("curvemath", "demote", "promote", "gapfill", "integrator", "lexer")}
        # The model of promote splits with the model of curvemath.
        model["promote"].splitCubicAtTC = model["curvemath"].splitCubicAtTC
        model["errors"] = ApproxNotFoundError
        out["model"] = model
    return out


# -- measurement --------------------------------------------------------------

def run_threads(setup, impl, data, threads, loops):
    """One run of `threads` threads, each doing `loops` rounds of its work:
    (wall time, mean CPU time per round per thread)."""
    barrier = threading.Barrier(threads)
    cpu, starts, ends = [0.0] * threads, [0.0] * threads, [0.0] * threads
    errors = []

    def body(k):
        try:
            work, _ = setup(impl, fresh(data))
            work()  # warm-up: caches, specialisation, the thread's own pools
            barrier.wait()
            starts[k], c0 = time.perf_counter(), time.thread_time()
            for _ in range(loops):
                work()
            cpu[k], ends[k] = time.thread_time() - c0, time.perf_counter()
        except BaseException as e:  # noqa: BLE001 - reported by the caller
            errors.append(e)
            barrier.abort()

    pool = [threading.Thread(target=body, args=(k,)) for k in range(threads)]
    for t in pool:
        t.start()
    for t in pool:
        t.join()
    if errors:
        raise errors[0]
    wall = max(ends) - min(starts)
    return wall, statistics.fmean(cpu) / loops, sum(cpu) / wall


def calibrate(setup, impl, data, seconds):
    work, _ = setup(impl, fresh(data))
    work()
    start = time.perf_counter()
    work()
    once = max(time.perf_counter() - start, 1e-6)
    return max(1, round(seconds / once))


def measure(setup, impl, data, thread_counts, runs, seconds):
    """T -> (median wall time, median CPU time per round per thread, median
    number of threads that ran at once: their CPU time over the wall time,
    which on a busy machine falls short of T, and then says the figures
    measure the machine's load more than the code)."""
    loops = calibrate(setup, impl, data, seconds)
    samples = {t: [] for t in thread_counts}
    for _ in range(runs):
        # Interleaved, so that a burst of load elsewhere hits every T alike.
        for t in thread_counts:
            samples[t].append(run_threads(setup, impl, data, t, loops))
    return loops, {t: tuple(statistics.median(x[i] for x in samples[t]) for i in range(3)) for t in thread_counts}


def token_count(data):
    from vellary.feaLib import lexer
    return sum(1 for _ in lexer.Lexer(*data))


def default_threads():
    n, out = os.cpu_count() or 1, []
    t = 1
    while t < n:
        out.append(t)
        t *= 2
    return out + [n]


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--threads", help="comma-separated thread counts (default 1, 2, 4, ... up to the CPU count)")
    p.add_argument("--max-threads", type=int, help="cap on the default thread counts")
    p.add_argument("--runs", type=int, default=5, help="runs per thread count; medians are reported")
    p.add_argument("--seconds", type=float, default=0.3, help="length of one thread's work in one run")
    p.add_argument("--only", help="comma-separated workloads (default all)")
    p.add_argument("--no-model", action="store_true", help="time the native modules only")
    p.add_argument("--lexer-bytes", type=int, default=120_000, help="size of the lexer's text")
    p.add_argument("--corpus", default=os.path.join(REPO, os.pardir, "shared", "corpus"))
    p.add_argument("--reference", default=os.path.join(REPO, "tests", "reference"))
    p.add_argument("--json", help="write the results to this file")
    args = p.parse_args(argv)

    counts = [int(t) for t in args.threads.split(",")] if args.threads else default_threads()
    if args.max_threads:
        counts = [t for t in counts if t <= args.max_threads] or [1]
    if 1 not in counts:
        counts = [1] + counts
    counts = sorted(set(counts))

    corpus = Corpus(args.corpus if os.path.isdir(args.corpus) else None, args.reference)
    impls = contenders(args.reference, not args.no_model)
    table = workloads(corpus, args.lexer_bytes)
    names = args.only.split(",") if args.only else list(table)
    unknown = [n for n in names if n not in table]
    if unknown:
        raise SystemExit(f"unknown workloads: {', '.join(unknown)}; known: {', '.join(table)}")

    build = "free-threaded" if sysconfig.get_config_var("Py_GIL_DISABLED") else "with the GIL"
    gil = getattr(sys, "_is_gil_enabled", lambda: True)()
    print(f"scaling: CPython {platform.python_version()} {build} (GIL {'on' if gil else 'off'}), "
          f"{os.cpu_count()} CPUs; corpus {'found' if corpus.masters else 'absent (generated inputs)'}; "
          f"threads {counts}; median of {args.runs} runs of {args.seconds:g} s per thread")
    print("  speed-up = T x wall(1) / wall(T) (ideal T);  cpu = CPU time per unit per thread, T / 1 "
          "(ideal 1.00)")
    results = {"python": platform.python_version(), "free_threaded": build == "free-threaded", "gil": gil,
               "cpu_count": os.cpu_count(), "threads": counts, "runs": args.runs, "seconds": args.seconds,
               "workloads": {}}
    head = f"  {'workload':24s} {'':6s} {'us/unit':>9s}" + "".join(f" {'x' + str(t):>6s}" for t in counts[1:]) \
        + "   cpu" + "".join(f" {'x' + str(t):>5s}" for t in counts[1:])
    print(head)
    for name in names:
        setup, data, needs = table[name]
        units = token_count(data) if name == "lexer" else len(data)
        entry = results["workloads"][name] = {"units": units}
        for label, impl in impls.items():
            loops, res = measure(setup, impl, data, counts, args.runs, args.seconds)
            wall1, cpu1, _ = res[1]
            row = {str(t): {"wall": w, "cpu_per_unit": c / units, "speedup": t * wall1 / w,
                            "cpu_ratio": c / cpu1, "overlap": o} for t, (w, c, o) in res.items()}
            entry[label] = {"loops": loops, "by_threads": row}
            line = f"  {name:24s} {label:6s} {cpu1 / units * 1e6:9.3f}"
            line += "".join(f" {row[str(t)]['speedup']:6.2f}" for t in counts[1:])
            line += "      " + "".join(f" {row[str(t)]['cpu_ratio']:5.2f}" for t in counts[1:])
            line += f"   ({row[str(counts[-1])]['overlap']:4.1f} of {counts[-1]} at once)"
            print(line, flush=True)
    if args.json:
        os.makedirs(os.path.dirname(os.path.abspath(args.json)), exist_ok=True)
        with open(args.json, "w") as f:
            json.dump(results, f, indent=1)
    if build == "free-threaded" and gil:
        print("warning: the GIL is on: the figures measure nothing of the modules' scaling")
    return 0


if __name__ == "__main__":
    sys.exit(main())
