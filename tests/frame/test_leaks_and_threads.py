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


def test_leak_check_sees_a_leak():
    kept = []
    assert grows(lambda: kept.append(bytes(100)))


def test_argument_refcounts_are_restored():
    # Made at run time: code constants and the module's own objects are
    # immortal, and their counts would show nothing.
    a, b, c, d = (float(x) for x in ("1.5", "-6", "11", "-6"))
    kw = {"d": d}
    before = [sys.getrefcount(o) for o in (a, b, c, d)]
    for _ in range(1000):
        cm.solveCubic(a, b, c, **kw)
        try:
            cm.solveCubic(a, b, c, d, e=1)
        except TypeError:
            pass
    assert [sys.getrefcount(o) for o in (a, b, c, d)] == before


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


def test_throw_into_a_fresh_generator_races_with_next():
    # Either next() starts the generator first (and throw() reaches it at its
    # yield, or finds it running), or throw() ends it before it ever ran (and
    # next() finds it finished); never both.
    from vellary.demote import demote

    class Boom(Exception):
        pass

    def first(g, out):
        barrier.wait()
        try:
            out.append(("value", next(g)))
        except StopIteration:
            out.append(("stopped",))
        except ValueError as e:
            out.append(("busy", str(e)))

    def second(g, out):
        barrier.wait()
        try:
            g.throw(Boom)
        except Boom as e:
            out.append(("thrown", e.__traceback__.tb_next.tb_lineno if e.__traceback__.tb_next else None))
        except ValueError as e:
            out.append(("busy", str(e)))

    for _ in range(300):
        g = demote._split_cubic_into_n_gen(0j, 1j, 1 + 1j, 1, 2)
        barrier = threading.Barrier(2)
        a, b = [], []
        threads = [threading.Thread(target=first, args=(g, a)), threading.Thread(target=second, args=(g, b))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        (got,), (threw,) = a, b
        if got[0] == "value":
            assert threw in (("thrown", 150), ("busy", "generator already executing"))
        else:
            assert got == ("stopped",) and threw == ("thrown", 133)
        assert not g.gi_running
