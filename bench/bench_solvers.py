"""Time solveQuadratic / solveCubic: native against the pure-Python model.

The model from tests/reference runs on the same interpreter, and, when
Cython is importable, also compiled by Cython (built under bench/_cython/).
Ratios are what matter; absolute times depend on the machine.
"""

import importlib.util
import os
import random
import shutil
import statistics
import subprocess
import sys
import sysconfig
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REFERENCE = os.path.join(HERE, os.pardir, "tests", "reference", "curvemath.py")
CYTHON_DIR = os.path.join(HERE, "_cython")
RUNS = 7


def load_reference():
    found = importlib.util.spec_from_file_location("bench_reference_curvemath", REFERENCE)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def build_cython_reference():
    """Compile the model with Cython, or return None (with a message) when
    that is not possible here.  Nothing is installed."""
    try:
        import Cython  # noqa: F401
    except ImportError:
        print("  (Cython is not importable in this environment: compiled model skipped)")
        return None
    name = "cy_reference_curvemath"
    os.makedirs(CYTHON_DIR, exist_ok=True)
    source = os.path.join(CYTHON_DIR, name + ".py")
    shutil.copyfile(REFERENCE, source)
    c_file = os.path.join(CYTHON_DIR, name + ".c")
    target = os.path.join(CYTHON_DIR, name + sysconfig.get_config_var("EXT_SUFFIX"))
    cc = (sysconfig.get_config_var("CC") or "cc").split()
    cmds = [
        [sys.executable, "-m", "cython", "-3", "-q", source, "-o", c_file],
        cc + ["-O2", "-shared", "-fPIC", "-ffp-contract=off", "-I", sysconfig.get_paths()["include"],
              c_file, "-o", target],
    ]
    for cmd in cmds:
        result = subprocess.run(cmd, capture_output=True, text=True)
        if result.returncode != 0:
            print(f"  (building the compiled model failed: {result.stderr.strip()[:300]})")
            return None
    found = importlib.util.spec_from_file_location(name, target)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


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


def time_once(func, cases):
    start = time.perf_counter()
    for args in cases:
        func(*args)
    return time.perf_counter() - start


def median_time(func, cases, runs=RUNS):
    time_once(func, cases)  # warm-up
    return statistics.median(time_once(func, cases) for _ in range(runs))


def threaded_time(func, cases, threads):
    """Wall time for every thread to run the whole corpus once."""
    barrier = threading.Barrier(threads + 1)

    def work():
        barrier.wait()
        time_once(func, cases)

    pool = [threading.Thread(target=work) for _ in range(threads)]
    for t in pool:
        t.start()
    barrier.wait()
    start = time.perf_counter()
    for t in pool:
        t.join()
    return time.perf_counter() - start


def main():
    from vellary.misc import curvemath as native

    models = [("python", load_reference())]
    compiled = build_cython_reference()
    if compiled is not None:
        models.append(("cython", compiled))

    cubic_cases = corpus()
    quadratic_cases = [c[1:] for c in cubic_cases]
    print(f"solvers: {len(cubic_cases)} coefficient tuples, median of {RUNS} runs")
    for name, cases in [("solveQuadratic", quadratic_cases), ("solveCubic", cubic_cases)]:
        t_native = median_time(getattr(native, name), cases)
        line = f"  {name:15s} native {t_native * 1e9 / len(cases):8.1f} ns/call"
        for label, model in models:
            t_model = median_time(getattr(model, name), cases)
            line += f"   {label} / native = {t_model / t_native:6.2f}x"
        print(line)

    # Scaling: the same work per thread; with no shared lock, 2 threads
    # should take about as long as 1.
    for name, cases in [("solveQuadratic", quadratic_cases), ("solveCubic", cubic_cases)]:
        func = getattr(native, name)
        one = statistics.median(threaded_time(func, cases, 1) for _ in range(RUNS))
        two = statistics.median(threaded_time(func, cases, 2) for _ in range(RUNS))
        print(f"  {name:15s} 2 threads / 1 thread (twice the work) = {two / one:5.2f}")


if __name__ == "__main__":
    main()
