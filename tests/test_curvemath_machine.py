"""The machine-number run of curvemath against its general run.

Points given as tuples of exact ints and floats take the run on machine
numbers; the same numbers in lists take the general run, which computes with
the interpreter's own arithmetic.  Both must give the same values, types,
float bits, shared objects, exceptions and traceback lines, and a rebound
module-level name must reach the next call of either."""

import math
import sys

import pytest
from hypothesis import example, given, settings, strategies as st

from reference import curvemath as ref
from support import canon, rebound, references_and_growth

single_threaded = pytest.mark.thread_unsafe(reason="rebinds module names")


@pytest.fixture(scope="module")
def cm():
    from vellary.misc import curvemath

    return curvemath


def leaves(o, out):
    out.append(o)
    if isinstance(o, (tuple, list)):
        for x in o:
            leaves(x, out)
    return out


def shaped(func, args):
    """The outcome: the result with each given object (a point or a number
    of the arguments) marked as that one, computed numbers by type and bits,
    and which computed objects are one object twice."""
    given = [x for a in args for x in leaves(a, [])]
    try:
        result = func(*args)
    except Exception as e:  # noqa: BLE001 - the exception is the result
        tb = e.__traceback__
        while tb.tb_next:
            tb = tb.tb_next
        return ("raise", type(e), str(e), tb.tb_frame.f_code.co_name, tb.tb_lineno)
    seen = []

    def image(o):
        mine = next((i for i, g in enumerate(given) if g is o), None)
        if mine is not None:
            return ("given", mine)
        again = next((i for i, x in enumerate(seen) if x is o), None)
        seen.append(o)
        if isinstance(o, (tuple, list)):
            return (type(o).__name__, again, [image(x) for x in o])
        return (again, canon(o))

    return ("ok", image(result))


def as_lists(args):
    """The same numbers in lists, which the machine run leaves alone."""
    return tuple(list(a) if type(a) is tuple else a for a in args)


small_ints = st.integers(-3000, 3000)
ints = small_ints | st.integers(-(2**62), 2**62) | st.integers(-(2**70), 2**70) | st.sampled_from([2**53, 2**53 + 1])
floats = st.floats(-3000, 3000) | st.floats(width=64) | st.sampled_from([0.0, -0.0, math.inf, -math.nan])
coordinates = small_ints | ints | floats
points = st.tuples(coordinates, coordinates)
ts = st.sampled_from([0, 1, 0.5, -0.0]) | floats | small_ints

FUNCTIONS = {
    "calcQuadraticParameters": (3, False), "calcCubicParameters": (4, False),
    "calcQuadraticPoints": (3, False), "calcCubicPoints": (4, False),
    "linePointAtT": (2, True), "quadraticPointAtT": (3, True), "cubicPointAtT": (4, True),
    "calcQuadraticBounds": (3, False), "calcCubicBounds": (4, False),
    "splitQuadraticAtT": (3, "*"), "splitCubicAtT": (4, "*"), "_splitQuadraticAtT": (3, "*"),
    "_splitCubicAtT": (4, "*"),
}
FIXED = [
    ((0, 0), (50, 100), (100, 0), (100, 5)), ((0, 0), (100, 0), (100, 100), (7, 7)),
    ((0, 0), (25, 100), (75, 100), (100, 0)), ((50, 0), (0, 100), (100, 100), (50, 0)),
    ((0, 0), (0, 0), (0, 0), (0, 0)), ((0.0, 0), (0, 0.0), (-0.0, 0), (0, -0.0)),
    ((2**53 + 1, 3), (1, 2**62), (5.5, -(2**62)), (2**63, 1)), ((math.nan, 1), (2, math.inf), (3, 4), (5, 6)),
    ((1e308, -1e308), (-1e308, 1e308), (1e308, 1e308), (0, 0)),
]


def arguments(name, pts, t, more=()):
    """The arguments of `name`, each point a tuple of its own."""
    n, with_t = FUNCTIONS[name]
    pts = [(x, y) for x, y in pts]
    if with_t == "*":
        return tuple(pts[:n]) + (t, *more)[: len(more) + (t is not None)]
    return tuple(pts[:n]) + ((t,) if with_t else ())


@pytest.mark.parametrize("name", FUNCTIONS)
@given(pts=st.lists(points, min_size=4, max_size=4), t=ts | st.none(), more=st.lists(ts, max_size=2))
@example(pts=list(FIXED[0]), t=0.5, more=[])
@settings(max_examples=300, deadline=None)
def test_machine_run_matches_general_run(cm, name, pts, t, more):
    func = getattr(cm, name)
    args = arguments(name, pts, 0.5 if t is None and FUNCTIONS[name][1] is True else t, more)
    assert shaped(func, args) == shaped(func, as_lists(args))


@pytest.mark.parametrize("pts", FIXED)
@pytest.mark.parametrize("name", FUNCTIONS)
def test_fixed_cases_match_general_run_and_model(cm, name, pts):
    for t in (0, 1, 0.25, 2**53 + 1):
        args = arguments(name, pts, t, (0.75, 0.5))
        fast = shaped(getattr(cm, name), args)
        assert fast == shaped(getattr(cm, name), as_lists(args))
        assert fast == shaped(getattr(ref, name), args)


def test_ints_stay_ints(cm):
    d = (0, 0)
    assert cm.calcCubicParameters(d, (1, 2), (3, 4), (5, 7)) == ((-1.0, 1.0), (3.0, 0.0), (3.0, 6.0), (0, 0))
    assert cm.calcCubicParameters(d, (1, 2), (3, 4), (5, 7))[3][0] is d[0]
    x, y = cm.linePointAtT((2, 4), (10, 20), 1)
    assert (type(x), type(y), x, y) == (int, int, 10, 20)
    assert cm.quadraticPointAtT((0, 0), (50, 100), (100, 0), 0) == (0, 0)
    b = cm.calcCubicBounds((0, 0), (25, 100), (75, 100), (100, 0))
    assert list(map(type, b)) == [int, int, int, float]
    big = 2**62
    assert cm.linePointAtT((big, 0), (big, 0), 3) == (big * -2 + big * 3, 0)


# --------------------------------------------------------------------------
# A rebound name reaches the next call

class Recorder:
    def __init__(self, func):
        self.func, self.calls = func, 0

    def __call__(self, *args, **kwargs):
        self.calls += 1
        return self.func(*args, **kwargs)


CALLED = [
    ("calcCubicBounds", "calcCubicParameters", 1), ("calcCubicBounds", "solveQuadratic", 2),
    ("calcCubicBounds", "calcBounds", 1), ("calcQuadraticBounds", "calcQuadraticParameters", 1),
    ("calcQuadraticBounds", "calcBounds", 1), ("splitCubicAtT", "calcCubicParameters", 1),
    ("splitCubicAtT", "_splitCubicAtT", 1), ("splitCubicAtT", "calcCubicPoints", 2),
    ("splitQuadraticAtT", "calcQuadraticParameters", 1), ("splitQuadraticAtT", "_splitQuadraticAtT", 1),
    ("splitQuadraticAtT", "calcQuadraticPoints", 2),
]


@single_threaded
@pytest.mark.parametrize("caller, callee, times", CALLED)
def test_rebinding_a_called_name_reaches_the_next_call(cm, caller, callee, times):
    args = (0, 0), (25, 100), (75, 100), (100, 0)
    args = args[:3] if "Quadratic" in caller else args
    args += (0.5,) if "split" in caller else ()
    func = getattr(cm, caller)
    before = shaped(func, args)
    for _ in range(3):  # the machine run is warm
        func(*args)
    recorder = Recorder(getattr(cm, callee))
    with rebound(callee, recorder, cm):
        assert shaped(func, args) == before
        assert recorder.calls == times
    func(*args)
    assert recorder.calls == times and shaped(func, args) == before


@single_threaded
def test_rebinding_epsilon_reaches_the_bounds(cm):
    args = (0, 0), (25, 100), (75, 100), (100, 0)
    cm.calcCubicBounds(*args)
    with rebound("epsilon", 1e300, cm, ref):
        assert shaped(cm.calcCubicBounds, args) == shaped(ref.calcCubicBounds, args)
        assert cm.calcCubicBounds(*args) == (0, 0, 100, 0)
    assert cm.calcCubicBounds(*args) == (0, 0, 100, 75.0)


@single_threaded
def test_the_helpers_own_names_and_code_are_followed(cm):
    from vellary.misc import boxmath

    args = (0, 0), (25, 100), (75, 100), (100, 0)
    cm.calcCubicBounds(*args)
    boxmath.min = lambda xs: "least"
    try:
        assert cm.calcCubicBounds(*args) == ("least", "least", 100, 75.0)
    finally:
        del boxmath.min
    assert cm.calcCubicBounds(*args) == (0, 0, 100, 75.0)
    code = boxmath.calcBounds.__code__
    boxmath.calcBounds.__code__ = (lambda array: "swapped").__code__
    try:
        assert cm.calcCubicBounds(*args) == "swapped"
    finally:
        boxmath.calcBounds.__code__ = code
    assert cm.calcCubicBounds(*args) == (0, 0, 100, 75.0)


# --------------------------------------------------------------------------
# Leaks

def test_no_reference_leaks(cm):
    shared = (0.5, 2**62, 7, 1e300)
    pts = [(shared[0], shared[1]), (shared[2], shared[3]), (3, 4.5), (shared[0], 9)]
    calls = [lambda f=getattr(cm, name), a=arguments(name, pts, shared[0]): f(*a) for name in FUNCTIONS]
    calls += [lambda f=getattr(cm, name), a=as_lists(arguments(name, pts, 2)): f(*a) for name in FUNCTIONS]
    calls += [lambda: cm.calcCubicBounds((0, 0), (1, 2), (3,), (4, 4)), lambda: cm.linePointAtT((0,), (1, 1), 0.5),
              lambda: cm._curve_curve_intersections_t(((0, 0), (shared[2], 9), (9, shared[0])),
                                                      ((0, 9), (3, 0.5), (9, 0)), 0.5)]
    before, after, grown = references_and_growth(calls, shared, 20, 300)
    assert after == before
    assert grown < 64 * 1024


# --------------------------------------------------------------------------
# Curve-curve subdivision

small = st.integers(-50, 150) | st.floats(-50, 150)
curves = st.lists(st.tuples(small, small), min_size=3, max_size=4).map(tuple)


@given(curve1=curves, curve2=curves, precision=st.sampled_from([0.01, 0.5, 2]))
@example(curve1=((10, 100), (90, 30), (40, 140), (220, 220)), curve2=((5, 150), (180, 20), (80, 250), (210, 190)),
         precision=1e-3)
@example(curve1=((0, 0), (50, 100), (100, 0)), curve2=((0, 0), (50, 100), (100, 0)), precision=0.5)
@settings(max_examples=40, deadline=None)
def test_curve_curve_subdivision_machine_run_matches_general_run(cm, curve1, curve2, precision):
    func = cm._curve_curve_intersections_t
    fast = shaped(func, (curve1, curve2, precision))
    assert fast == shaped(func, (list(curve1), list(curve2), precision))
    ranges = ((0, 1), (0.25, 0.5))
    assert shaped(func, (curve1, curve2, precision, *ranges)) == \
        shaped(func, (list(curve1), list(curve2), precision, *ranges))


@single_threaded
@pytest.mark.parametrize("callee", ["_curve_bounds", "sectRect", "rectArea", "_split_segment_at_t",
                                    "calcCubicBounds", "splitCubicAtT", "_curve_curve_intersections_t"])
def test_rebinding_a_name_of_the_subdivision_reaches_the_next_call(cm, callee):
    args = ((10, 100), (90, 30), (40, 140), (220, 220)), ((5, 150), (180, 20), (80, 250), (210, 190))
    func = cm._curve_curve_intersections_t
    before = shaped(func, args)
    func(*args)
    recorder = Recorder(getattr(cm, callee))
    with rebound(callee, recorder, cm):
        assert shaped(func, args) == before
        assert recorder.calls > 0
    calls = recorder.calls
    func(*args)
    assert recorder.calls == calls
