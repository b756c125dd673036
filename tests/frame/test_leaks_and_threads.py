"""Reference counts and memory stay flat over many calls, on success and on
every error path of the frame; calls with keywords from many threads."""

import gc
import sys
import threading
import tracemalloc

import pytest

from vellary.misc import curvemath as cm
from vellary.varLib import gapfill

from support import gil_stays_off

pytestmark = pytest.mark.thread_unsafe


def grows(call, rounds=2000):
    """True when `call` leaks: memory in use keeps growing over many rounds."""
    for _ in range(200):
        call()
    gc.collect()
    tracemalloc.start()
    try:
        before = tracemalloc.get_traced_memory()[0]
        for _ in range(rounds):
            call()
        gc.collect()
        after = tracemalloc.get_traced_memory()[0]
    finally:
        tracemalloc.stop()
    return after - before > 64 * 1024


def swallow(exc_type, func, *args, **kwargs):
    def call():
        try:
            func(*args, **kwargs)
        except exc_type:
            pass

    return call


CALLS = {
    "success": lambda: cm.solveCubic(1.5, -6, 11, -6),
    "keywords": lambda: cm.solveQuadratic(a=1.0, b=-3.0, c=2.0),
    "dict keywords": lambda: type(cm.solveCubic).__call__(cm.solveCubic, 1, 2, **{"c": 3, "d": 4}),
    "too few": swallow(TypeError, cm.solveCubic, 1, 2),
    "unexpected keyword": swallow(TypeError, cm.solveCubic, 1, 2, 3, 4, e=5),
    "duplicate keyword": swallow(TypeError, cm.solveCubic, 1, 2, 3, 4, a=5),
    "body error": swallow(TypeError, cm.solveCubic, "x", 2, 3, 4),
    "typed conversion": swallow(TypeError, gapfill._rot_list, (1, 2), 1),
    "subclass note": swallow(TypeError, gapfill._rot_list, type("L", (list,), {})([1]), 1),
    "int overflow": swallow(OverflowError, gapfill._rot_list, [1], 2**40),
    "result dicts": lambda: gapfill._gapfill_contour_optimize_dp([(0, 0), (1, 1), (0, 0)], [(0, 0), (1, 1), (2, 0)]),
}


@pytest.mark.parametrize("name", CALLS)
def test_no_leak(name):
    assert not grows(CALLS[name])


def test_argument_refcounts_are_restored():
    a, b, c, d = 1.5, -6.0, 11.0, -6.0
    kw = {"d": d}
    before = [sys.getrefcount(o) for o in (a, b, c, d, cm.solveCubic)]
    for _ in range(1000):
        cm.solveCubic(a, b, c, **kw)
        try:
            cm.solveCubic(a, b, c, d, e=1)
        except TypeError:
            pass
    assert [sys.getrefcount(o) for o in (a, b, c, d, cm.solveCubic)] == before


def test_keyword_calls_from_many_threads():
    barrier = threading.Barrier(4)
    failures = []

    def work(k):
        barrier.wait()
        kwargs = {"b": -6.0 * k, "c": 11.0 * k, "d": -6.0 * k}
        for _ in range(2000):
            if cm.solveCubic(k, **kwargs) != [1.0, 2.0, 3.0]:
                failures.append(k)
                return

    threads = [threading.Thread(target=work, args=(k,)) for k in (1.0, 2.0, 3.0, 4.0)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []
    assert gil_stays_off()
