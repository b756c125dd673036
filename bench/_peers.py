"""What every benchmark shares: its comparison peers, the corpus, timing.

The peers of a native module are its pure-Python reference model from
tests/reference, run on the same interpreter, and that same file compiled by
Cython (into bench/_cython/, cached by a hash of everything the build depends
on, so that a rerun only loads it).
"""

import hashlib
import importlib.util
import os
import re
import shutil
import statistics
import subprocess
import sys
import sysconfig
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
REFERENCE_DIR = os.path.join(REPO, "tests", "reference")
# The models import each other as the package `reference` (promote's splits
# with the curve model's splitter).
sys.path.insert(0, os.path.dirname(REFERENCE_DIR))
CYTHON_DIR = os.path.join(HERE, "_cython")
# The real-font corpus lies beside the checkout, not inside it.
CORPUS_DIR = os.path.join(REPO, os.pardir, "shared", "corpus")

# The native modules are built the same way (Release, no contraction into
# fused multiply-adds), so both compiled peers get the same code generation
# and the same floats.
CFLAGS = ["-O3", "-DNDEBUG", "-ffp-contract=off", "-fno-fast-math", "-fno-strict-aliasing",
          "-fPIC", "-shared"]
# Without this the module would not declare that it runs without the GIL, and
# importing it would turn the GIL back on for the whole process, which would
# falsify every threaded measurement taken after it.
CYTHON_DIRECTIVES = ["freethreading_compatible=True"]


def _load(module_name, path):
    found = importlib.util.spec_from_file_location(module_name, path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def reference(name):
    """The pure-Python model tests/reference/NAME.py, imported afresh."""
    return _load(f"bench_reference_{name}", os.path.join(REFERENCE_DIR, name + ".py"))


def models(name):
    """The models of tests/reference/NAME.py by label: "python", and
    "cython", its Cython build, where Cython is installed."""
    found = {"python": reference(name)}
    compiled = cython_reference(name)
    if compiled is not None:
        found["cython"] = compiled
    return found


def cython_reference(name):
    """tests/reference/NAME.py compiled by Cython, or None when Cython is not
    installed.  A failing build raises: it must not pass for a skipped one."""
    try:
        import Cython
    except ImportError:
        print("  (Cython is not installed: the compiled model is skipped; `make bench` installs it)")
        return None
    source = os.path.join(REFERENCE_DIR, name + ".py")
    with open(source, "rb") as f:
        text = f.read()
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    cc = _compiler()
    key = hashlib.sha256(b"\0".join([
        text, Cython.__version__.encode(), suffix.encode(), sys.version.encode(),
        " ".join(cc + CFLAGS + CYTHON_DIRECTIVES).encode(),
    ])).hexdigest()[:16]
    module_name = f"cy_{name}_{key}"
    target = os.path.join(CYTHON_DIR, module_name + suffix)
    if not os.path.exists(target):
        _build(module_name, text, target, cc)
    gil_before = _gil_enabled()
    module = _load(module_name, target)
    if _gil_enabled() and not gil_before:
        raise RuntimeError(f"importing the Cython build of {name} re-enabled the GIL")
    return module


def _compiler():
    cc = (sysconfig.get_config_var("CC") or "cc").split()
    if shutil.which(cc[0]) is None:
        cc = ["cc"]
    return cc


def _gil_enabled():
    probe = getattr(sys, "_is_gil_enabled", None)
    return True if probe is None else probe()


def _build(module_name, text, target, cc):
    os.makedirs(CYTHON_DIR, exist_ok=True)
    # Older builds of the same model are of no further use.
    stale = re.compile(re.escape(module_name.rsplit("_", 1)[0]) + r"_[0-9a-f]{16}(\.|$)")
    for entry in os.listdir(CYTHON_DIR):
        if stale.match(entry):
            path = os.path.join(CYTHON_DIR, entry)
            if os.path.isdir(path):
                shutil.rmtree(path, ignore_errors=True)
            else:
                os.remove(path)
    work = os.path.join(CYTHON_DIR, module_name)
    os.makedirs(work, exist_ok=True)
    py_file = os.path.join(work, module_name + ".py")
    c_file = os.path.join(work, module_name + ".c")
    so_file = os.path.join(work, os.path.basename(target))
    with open(py_file, "wb") as f:
        f.write(text)
    print(f"  (compiling {module_name} with Cython: once per change of the model)", flush=True)
    cython = [sys.executable, "-m", "cython", "-3"]
    for directive in CYTHON_DIRECTIVES:
        cython += ["-X", directive]
    for cmd in [
        cython + [py_file, "-o", c_file],
        cc + CFLAGS + ["-I", sysconfig.get_paths()["include"], c_file, "-o", so_file],
    ]:
        result = subprocess.run(cmd, capture_output=True, text=True)
        if result.returncode != 0:
            raise RuntimeError(f"building {module_name} failed:\n{result.stdout}{result.stderr}")
    # Renamed into place only when complete, so that an interrupted build is
    # never taken for a cached one.
    os.replace(so_file, target)
    shutil.rmtree(work, ignore_errors=True)


# -- comparing results --------------------------------------------------------

def identical(a, b):
    """Same structure, same exact types, floats bit for bit (NaN equal to
    NaN): what a differential test demands of native and model."""
    if type(a) is not type(b):
        return False
    if type(a) is float:
        return a == b or (a != a and b != b)
    if type(a) in (list, tuple):
        return len(a) == len(b) and all(identical(x, y) for x, y in zip(a, b))
    if type(a) is dict:
        return list(a) == list(b) and all(identical(a[k], b[k]) for k in a)
    return a == b


# -- timing -------------------------------------------------------------------

def clock(work):
    start = time.perf_counter()
    work()
    return time.perf_counter() - start


def side_by_side(works, runs):
    """Median time of each of `works` (a dict label -> callable).  The runs are
    interleaved, so that a burst of load from elsewhere on the shared cores
    hits every contender alike."""
    for work in works.values():
        work()  # warm-up
    samples = {label: [] for label in works}
    for _ in range(runs):
        for label, work in works.items():
            samples[label].append(clock(work))
    return {label: statistics.median(times) for label, times in samples.items()}


def threaded(make_work, threads):
    """(wall time, CPU time) for `threads` threads to run their work once
    each, all started together; make_work(k) builds thread k's work
    beforehand."""
    works = [make_work(k) for k in range(threads)]
    barrier = threading.Barrier(threads + 1)

    def run(work):
        barrier.wait()
        work()

    pool = [threading.Thread(target=run, args=(w,)) for w in works]
    for t in pool:
        t.start()
    barrier.wait()
    start, cpu = time.perf_counter(), time.process_time()
    for t in pool:
        t.join()
    return time.perf_counter() - start, time.process_time() - cpu


def _one_and_two(makers, runs):
    """Wall times of each of `makers` (a dict label -> (make_work for 1
    thread, make_work for 2 threads)) on 1 thread and on 2: label -> (times
    on 1, times on 2), at most `runs` of each.  Contenders are interleaved as
    in side_by_side.

    The cores are shared with other work.  A pair of runs (1 thread, then 2)
    counts only if each run had its cores to itself, as CPU time over wall
    time shows; other pairs are run again, up to three times as many in all."""
    one = {label: [] for label in makers}
    two = {label: [] for label in makers}
    for make_one, _ in makers.values():
        threaded(make_one, 1)  # warm-up
    for _ in range(3 * runs):
        for label, (make_one, make_two) in makers.items():
            if len(one[label]) == runs:
                continue
            wall1, cpu1 = threaded(make_one, 1)
            wall2, cpu2 = threaded(make_two, 2)
            if cpu1 >= 0.9 * wall1 and cpu2 >= 1.8 * wall2:
                one[label].append(wall1)
                two[label].append(wall2)
        if all(len(times) == runs for times in one.values()):
            break
    return {label: (one[label], two[label]) for label in makers}


def scaling(makers, runs):
    """For each of `makers` (a dict label -> make_work, make_work(k) building
    thread k's work), wall time on 2 threads over wall time on 1, medians of
    `runs`, each thread doing the same work: 1.0 is perfect scaling, 2.0 none.
    Runs taken while the cores were busy elsewhere do not count (see
    _one_and_two).

    Returns label -> (ratio, share of the runs that counted): when the share
    is low, the machine was busy and the ratio says little about the code."""
    walls = _one_and_two({label: (m, m) for label, m in makers.items()}, runs)
    return {label: (statistics.median(two) / statistics.median(one) if one else float("nan"), len(one) / runs)
            for label, (one, two) in walls.items()}


def speedup(makers, runs):
    """For each of `makers` (a dict label -> make_work, make_work(k, threads)
    building thread k's share of one batch split over `threads` threads),
    wall time of the whole batch on 1 thread over wall time of it split over
    2, medians of `runs`: 2.0 is perfect scaling, 1.0 none.  The shares must
    take about equally long, or the 2-thread runs look like a busy machine
    and do not count.  Returns label -> (speed-up, share of the runs that
    counted), as scaling() does."""
    walls = _one_and_two({label: (lambda k, m=m: m(k, 1), lambda k, m=m: m(k, 2))
                          for label, m in makers.items()}, runs)
    return {label: (statistics.median(one) / statistics.median(two) if one else float("nan"), len(one) / runs)
            for label, (one, two) in walls.items()}


def scaling_line(results):
    """The ratios of one scaling() or speedup() call, with a warning if the
    machine was busy."""
    line = "".join(f"   {label} {ratio:5.2f}" for label, (ratio, _) in results.items())
    least = min(share for _, share in results.values())
    if least < 1:
        line += f"   (machine busy: some ratios from {round(least * 100)}% of the runs only)"
    return line


def loops_for(work, seconds):
    """How many times to repeat `work` so that one measurement lasts about
    `seconds`: long enough that timer and thread start-up are noise."""
    once = max(clock(work), 1e-7)
    return max(1, round(seconds / once))


def calls(func, cases, loops, consume=None):
    """Work that calls func(*args) for each args of `cases`, `loops` times
    over, and with `consume`, consume(result) each time.  The callee and the
    cases are locals of the loop's function (closure cells), as in every
    benchmark, so that only the calls are timed."""
    if consume is None:
        def work():
            for _ in range(loops):
                for args in cases:
                    func(*args)
    else:
        def work():
            for _ in range(loops):
                for args in cases:
                    consume(func(*args))
    return work


def calling(func, consume=None):
    """make(cases, loops), for per_unit() and the makers of scaling(): the
    work of calls(func, cases, loops, consume)."""
    return lambda cases, loops: calls(func, cases, loops, consume)


def per_unit(makes, data, seconds, runs, units=None):
    """Median seconds per unit of work of each of `makes` (a dict label ->
    make(data, loops), building work that goes over `data` `loops` times),
    the runs interleaved as in side_by_side; a pass over `data` is `units`
    units (by default one per item).  Each contender repeats its pass to
    last about `seconds`; with None, it makes one (where probing would cost
    a whole pass more)."""
    units = len(data) if units is None else units
    if seconds is None:
        loops = dict.fromkeys(makes, 1)
    else:
        loops = {label: loops_for(make(data, 1), seconds) for label, make in makes.items()}
    times = side_by_side({label: make(data, loops[label]) for label, make in makes.items()}, runs)
    return {label: times[label] / (loops[label] * units) for label in makes}


def ratios(times, labels, fmt):
    """The text `   LABEL / native = R.RRx` for each of `labels`: its time in
    `times` over native's, formatted by `fmt`."""
    return "".join(f"   {label} / native = {times[label] / times['native']:{fmt}}x" for label in labels)


def scaling_title(each="doing the whole work"):
    """The heading of the rows of scaling() ratios."""
    return f"  scaling: 2 threads / 1 thread, each thread {each} (1.00 = perfect, 2.00 = none)"


# The heading of the rows of speedup() ratios.
SPEEDUP_TITLE = ("  scaling: time of the batch on 1 thread / time of it halved over 2 threads "
                 "(2.00 = perfect, 1.00 = none)")


def copies_makers(makes, data, seconds):
    """For scaling(): label -> make_work(k), thread k doing the whole work
    on a copy of `data` of its own (no object shared but immortal ones), as
    many times over as last about `seconds` on one thread.  `makes` maps
    each label to make(data, loops)."""
    copies = [fresh(data) for _ in range(2)]
    makers = {}
    for label, make in makes.items():
        loops = loops_for(make(data, 1), seconds)
        makers[label] = lambda k, make=make, loops=loops: make(copies[k], loops)
    return makers


def halves_makers(makes, data, seconds):
    """For speedup(): label -> make_work(k, threads), thread k's share of the
    batch `data` (all of it on 1 thread, a half on 2), a copy of its own, as
    many times over as the whole batch takes about `seconds` on one thread.
    `makes` maps each label to make(data, loops)."""
    half = len(data) // 2
    shares = {1: [fresh(data)], 2: [fresh(data[:half]), fresh(data[half:])]}
    makers = {}
    for label, make in makes.items():
        loops = loops_for(make(data, 1), seconds)
        makers[label] = lambda k, threads, make=make, loops=loops: make(shares[threads][k], loops)
    return makers


def fresh(obj):
    """A copy of `obj` that shares no object with it but immortal ones (None,
    small ints, interned strings).  copy.deepcopy would hand back the very
    tuples and numbers."""
    t = type(obj)
    if t is list:
        return [fresh(x) for x in obj]
    if t is tuple:
        return tuple([fresh(x) for x in obj])
    if t is int:
        return int(str(obj))
    if t is float:
        return float(repr(obj))
    if t is str:
        return "".join(list(obj)) if len(obj) > 1 else obj
    return obj


def draw_all(cls, glyphs):
    """Each glyph's contours, (start, segments) pairs, drawn into a new pen of `cls`."""
    results = []
    for contours in glyphs:
        pen = cls()
        for start, segments in contours:
            pen.moveTo(start)
            for seg in segments:
                if len(seg) == 1:
                    pen.lineTo(seg[0])
                else:
                    pen.curveTo(*seg)
            pen.closePath()
        results.append(pen)
    return results
