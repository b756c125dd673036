"""Ctrl-C stops long native loops, and what they held is released.

Each loop below would run for minutes; a child process starts it, simulates
Ctrl-C shortly after, and reports how the call ended, how long it took and
whether its arguments' reference counts came back.
"""

import json
import os
import subprocess
import sys

import pytest

CHILD = r"""
import collections, gc, itertools, json, signal, sys, time
from vellary.demote import demote
from vellary.pens.integrator import Integrator
from vellary.varLib import gapfill
from vellary.feaLib.lexer import Lexer

gc.disable()  # building the big inputs is quadratic with collections on
SQUARE = [(0, 0), (0, 100), (100, 100), (100, 0)]
demote.MAX_N = gapfill.MAX_LOOKBACK = 10**9
drain = collections.deque(maxlen=0).extend  # a C loop that runs no Python code

class Text(str):  # not an exact str: the lexer's loops as written
    pass

pen = Integrator()
pen.moveTo((0, 0))
forever = itertools.repeat((3.5, 7.25))

n = 2000  # nothing forced, every span tried: cubic in n
contour = [(i, 0) for i in range(n)], [(i, i * i % 11) for i in range(n)]
CASES = {
    "curve_to_quadratic": (demote.curve_to_quadratic, SQUARE, -1),
    "curves_to_quadratic": (demote.curves_to_quadratic, [SQUARE], [-1]),
    "split generator": (lambda *a: drain(demote._split_cubic_into_n_gen(*a)), 0, 1j, 1 + 1j, 1, 2**31 - 1),
    "gapfill_contour_optimize": (gapfill.gapfill_contour_optimize, *contour, 0),
    # Native segment methods called from a C loop: the signal lands in the
    # current-point lookup they call back into.
    "pen segments": (lambda p: drain(map(pen._curveToOne, p, p, p)), forever),
    "lexer tokens": (lambda text: drain(Lexer(text, "x")), "a b ;\n" * 20_000_000),
    "lexer newlines": (lambda text: next(Lexer(text, "x")), "\n" * 300_000_000),
    "lexer comment as written": (lambda text: next(Lexer(text, "x")), Text("#" + "x" * 100_000_000)),
}
# A real signal, as Ctrl-C sends one: with a GIL, a thread could not run
# while the native loop holds it.
signal.signal(signal.SIGALRM, signal.default_int_handler)
for name in json.loads(sys.argv[1]):
    fn, *args = CASES[name]
    before = [sys.getrefcount(a) for a in args]
    signal.setitimer(signal.ITIMER_REAL, 0.3)
    start = time.monotonic()
    try:
        fn(*args)
        outcome = "finished"
    except BaseException as e:
        outcome = type(e).__name__
    seconds = time.monotonic() - start
    signal.setitimer(signal.ITIMER_REAL, 0)
    try:
        time.sleep(0.5)  # an interrupt that came too late lands here
    except KeyboardInterrupt:
        pass
    print(json.dumps([name, outcome, seconds, [sys.getrefcount(a) for a in args] == before]), flush=True)
"""

CASES = ["curve_to_quadratic", "curves_to_quadratic", "split generator", "gapfill_contour_optimize", "pen segments",
         "lexer tokens", "lexer newlines", "lexer comment as written"]


@pytest.fixture(scope="module")
def endings():
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p), PYTHONDONTWRITEBYTECODE="1")
    try:
        run = subprocess.run([sys.executable, "-c", CHILD, json.dumps(CASES)], capture_output=True, text=True,
                             env=env, timeout=300)
        out, err = run.stdout, run.stderr
    except subprocess.TimeoutExpired as e:
        out, err = (e.stdout or b"").decode(), "did not end"
    return {name: rest for name, *rest in map(json.loads, out.splitlines())}, err


@pytest.mark.thread_unsafe(reason="runs a child process")
@pytest.mark.parametrize("case", CASES)
def test_ctrl_c_stops_the_loop(endings, case):
    results, err = endings
    assert case in results, err[-2000:]
    outcome, seconds, references_back = results[case]
    assert outcome == "KeyboardInterrupt"
    assert seconds < 10  # the interrupt comes at 0.3 s; sanitizers slow the input's set-up, not the poll
    assert references_back
