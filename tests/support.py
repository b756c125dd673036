"""Helpers shared by the test modules."""

import contextlib
import functools
import gc
import json
import os
import plistlib
import re
import struct
import sys
import sysconfig
import threading
import tracemalloc
from xml.etree import ElementTree

import pytest


@contextlib.contextmanager
def rebound(name, value, *modules):
    """Bind `name` to `value` in each module, restoring the old values afterwards."""
    saved = [getattr(m, name) for m in modules]
    for m in modules:
        setattr(m, name, value)
    try:
        yield
    finally:
        for m, v in zip(modules, saved):
            setattr(m, name, v)


# The ordinary build always runs with the GIL: tests about it staying off
# apply to the free-threaded build only.
FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
free_threaded_only = pytest.mark.skipif(not FREE_THREADED, reason="the ordinary build of CPython always has the GIL")


def gil_stays_off():
    """False only if importing the modules turned the GIL back on."""
    return not FREE_THREADED or not sys._is_gil_enabled()


def returning(method, value, name="Returning"):
    """An object of a class `name` whose one special method `method` (such
    as "__index__") returns `value`; its repr is name(value)."""
    cls = type(name, (), {method: lambda self: value, "__repr__": lambda self: f"{name}({value!r})"})
    return cls()


def bits(x):
    # Which NaN an operation yields depends on operand order, which compilers may swap.
    return "nan" if x != x else struct.pack("<d", x)


def canon(o):
    """Exact types and float bits; complex numbers by their two parts."""
    t = type(o)
    if t is float:
        return ("float", bits(o))
    if t is complex:
        return ("complex", bits(o.real), bits(o.imag))
    if t in (list, tuple):
        return (t.__name__, [canon(x) for x in o])
    return (t.__name__, repr(o))


def frame_message(e):
    """The message of `e` as the native frame words it.  A pure-Python model
    that unpacks a sequence with surplus items gets the interpreter's
    message, to which 3.14 adds ", got N"; the frame keeps the 3.13 words."""
    return re.sub(r"^(too many values to unpack \(expected \d+), got \d+\)$", r"\1)", str(e))


def as_main_script(dotted, short):
    """Code that initialises the extension module `dotted` as __main__, as
    running its source would, so that its main block runs (for modules
    directly inside a subpackage of vellary)."""
    return f"""
import ctypes, importlib.machinery, os, sys, vellary
# Found without importing its package, which may import the module itself.
folder = os.path.join(os.path.dirname(vellary.__file__), *{dotted!r}.split(".")[1:-1])
spec = importlib.machinery.PathFinder.find_spec({short!r}, [folder])
lib, api = ctypes.PyDLL(spec.origin), ctypes.pythonapi
lib.PyInit_{short}.restype = ctypes.c_void_p
api.PyModule_FromDefAndSpec2.restype = ctypes.py_object
api.PyModule_FromDefAndSpec2.argtypes = [ctypes.c_void_p, ctypes.py_object, ctypes.c_int]
api.PyModule_ExecDef.argtypes = [ctypes.py_object, ctypes.c_void_p]
definition = lib.PyInit_{short}()
main = importlib.machinery.ModuleSpec("__main__", None, origin=spec.origin)
module = sys.modules["__main__"] = api.PyModule_FromDefAndSpec2(definition, main, 1013)
api.PyModule_ExecDef(module, definition)
"""


def run_calls(calls):
    """The results of (function, args) pairs, an exception counting as its
    type and message."""
    out = []
    for fn, args in calls:
        try:
            out.append(fn(*args))
        except Exception as e:  # noqa: BLE001 - the exception is the result
            out.append((type(e), str(e)))
    return out


def run_threads(work, count, indexed=False):
    """Runs work() on `count` threads at once (work(k) on thread k, with
    `indexed`) and waits for them all."""
    pool = [threading.Thread(target=work, args=(k,) if indexed else ()) for k in range(count)]
    for t in pool:
        t.start()
    for t in pool:
        t.join()


def run_in_small_stack(work, size=512 * 1024):
    """Runs work() on a thread of its own with a stack of `size` bytes, the
    default stack size restored afterwards."""
    old = threading.stack_size(size)
    try:
        run_threads(work, 1)
    finally:
        threading.stack_size(old)


def threads_disagree(make_calls, rounds, threads=4):
    """How often threads running the calls at once got other results than
    one thread alone."""
    expected = run_calls(make_calls())
    errors = []

    def worker():
        for _ in range(rounds):
            if run_calls(make_calls()) != expected:
                errors.append("differs")

    run_threads(worker, threads)
    return len(errors)


def concurrency_and_leak_tests(make_calls, thread_rounds, warm, rounds, watched):
    """The tests test_concurrent_calls and test_no_leaks of the (function,
    args) pairs that make_calls(cm) lists: threads running them at once get
    the results of one thread alone; they leave no memory allocated, nor a
    reference to the argument object watched(calls)."""
    @pytest.mark.thread_unsafe(reason="starts its own threads")
    def test_concurrent_calls(cm):
        assert threads_disagree(lambda: make_calls(cm), thread_rounds) == 0

    @pytest.mark.thread_unsafe(reason="measures the process's allocations")
    def test_no_leaks(cm):
        calls = make_calls(cm)
        assert memory_growth(calls, warm, rounds) < 64 * 1024
        point = watched(calls)
        refs = sys.getrefcount(point)
        run_calls(calls)
        after = sys.getrefcount(point)  # read outside the assert, which keeps its operands
        assert after == refs

    return test_concurrent_calls, test_no_leaks


def traced_growth(run, rounds, warm=0):
    """Bytes that `rounds` calls of run() leave allocated, measured after
    `warm` calls while memory is already traced."""
    tracemalloc.start()
    try:
        for _ in range(warm):
            run()
        # Cycles (a raised error's traceback) are freed only when a
        # collection reaches them: collected here, they never count.
        gc.collect()
        start = tracemalloc.get_traced_memory()[0]
        for _ in range(rounds):
            run()
        gc.collect()
        return tracemalloc.get_traced_memory()[0] - start
    finally:
        tracemalloc.stop()


def growth_in_batches(run, rounds, batches):
    """Bytes left allocated by each of `batches` batches of `rounds` calls of
    run(), one after the other: a cache fills up in the first batches and
    then stops growing, where a leak grows in every batch."""
    growth = []
    tracemalloc.start()
    try:
        gc.collect()
        low = tracemalloc.get_traced_memory()[0]
        for _ in range(batches):
            for _ in range(rounds):
                run()
            gc.collect()
            high = tracemalloc.get_traced_memory()[0]
            growth.append(high - low)
            low = high
    finally:
        tracemalloc.stop()
    return growth


def memory_growth(calls, warm, rounds):
    """Bytes the calls leave allocated over `rounds` rounds, after `warm`."""
    for _ in range(warm):
        run_calls(calls)
    return traced_growth(lambda: run_calls(calls), rounds)


def refcounts(objects):
    """sys.getrefcount of each object, with the garbage collected.  The
    free-threaded 3.14 counts some references to classes and module dicts
    per thread and adds those counts to the objects as a collection starts,
    so what a collection frees shows only in the next one."""
    gc.collect()
    gc.collect()
    return [sys.getrefcount(o) for o in objects]


def references_and_growth(calls, watched, warm, rounds):
    """Runs the calls (errors expected and ignored) and returns the reference
    counts of `watched` before and after, and the bytes left allocated."""
    def run():
        for call in calls:
            try:
                call()
            except Exception:  # noqa: BLE001 - the error paths are the point
                pass

    for _ in range(warm):
        run()
    counts = refcounts(watched)
    grown = traced_growth(run, rounds, warm)
    return counts, refcounts(watched), grown


# -- fixtures -------------------------------------------------------------------

def native_fixture(dotted, scope="module"):
    """A fixture `native`: the module `dotted`, or a skip while it is not built."""
    @pytest.fixture(scope=scope)
    def native():
        return pytest.importorskip(dotted)
    return native


def model_and_native(model, scope="module"):
    """A fixture that gives the test the pure-Python `model` (id "reference")
    and then the module of the fixture `native` (id "native")."""
    @pytest.fixture(scope=scope, params=["reference", "native"])
    def fixture(request):
        return model if request.param == "reference" else request.getfixturevalue("native")
    return fixture


# -- real glyph outlines --------------------------------------------------------

TESTS = os.path.dirname(os.path.abspath(__file__))
SAMPLE_UFOS = {"SourceSans_ExtraLight.ufo": os.path.join(TESTS, "data", "ufo", "SourceSans3-ExtraLight.ufo"),
               "SourceSans_Black.ufo": os.path.join(TESTS, "data", "ufo", "SourceSans3-Black.ufo")}


def corpus_dir():
    """The real-font corpus beside the checkout; VELLARY_CORPUS names another
    folder (an absent one tests a clone without it)."""
    default = os.path.join(TESTS, os.pardir, os.pardir, "shared", "corpus", "source-sans-roman")
    return os.environ.get("VELLARY_CORPUS", default)


def corpus_outlines_path():
    """outlines.json of the corpus, or None where the corpus is absent."""
    path = os.path.join(corpus_dir(), "outlines.json")
    return path if os.path.exists(path) else None


def read_glif_contours(path):
    """The contours of a .glif file as lists of [x, y, type], its anchors as
    one-point "move" contours, in the form of outlines.json."""
    root = ElementTree.parse(path).getroot()
    number = lambda s: float(s) if any(c in s for c in ".eE") else int(s)
    contours = [[[number(p.get("x")), number(p.get("y")), p.get("type", "offcurve")] for p in contour.iter("point")]
                for contour in root.iter("contour")]
    contours += [[[number(a.get("x")), number(a.get("y")), "move"]] for a in root.iter("anchor")]
    return contours


@functools.lru_cache(maxsize=None)
def _masters(outlines):
    if outlines:
        with open(outlines) as f:
            return json.load(f)["masters"]
    masters = {}
    for master, ufo in SAMPLE_UFOS.items():
        with open(os.path.join(ufo, "glyphs", "contents.plist"), "rb") as f:
            files = plistlib.load(f)
        glyphs = {name: read_glif_contours(os.path.join(ufo, "glyphs", file)) for name, file in files.items()}
        masters[master] = {name: contours for name, contours in glyphs.items()
                           if any(len(c) > 1 for c in contours)}
    return masters


def outline_masters():
    """{master: {glyph: contours}} of both masters: the whole corpus where it
    is present, else the sample UFOs kept in tests/data (a few dozen glyphs)."""
    return _masters(corpus_outlines_path())


def full_corpus_present():
    return corpus_outlines_path() is not None


def glyph_segments(limit=None, masters=None):
    """Line-free (quadratic and cubic) segments of the glyphs, in the masters'
    and glyphs' sorted order: tuples of (x, y) points."""
    masters = outline_masters() if masters is None else masters
    segments = []
    for master in sorted(masters):
        for name in sorted(masters[master]):
            for contour in masters[master][name]:
                run = []
                for x, y, kind in contour:
                    run.append((x, y))
                    if kind != "offcurve":
                        if len(run) in (3, 4):
                            segments.append(tuple(run))
                        run = [run[-1]]
                if limit and len(segments) >= limit:
                    return segments
    return segments
