"""Bounds and arc lengths: the documented examples, differential tests against
the pure-Python model on random and real curves, module constants and
functions looked up at each call, hostile inputs, deep recursion, threads
and leaks."""

import math
import types
from fractions import Fraction

import pytest
from hypothesis import given, settings, strategies as st

from reference import curvemath as ref
from support import concurrency_and_leak_tests, glyph_segments, rebound, run_in_small_stack
from test_splitting import outcome, tb_entries

POINT_FUNCTIONS = {
    "calcQuadraticBounds": 3, "calcCubicBounds": 4, "calcCubicArcLength": 4, "calcQuadraticArcLength": 3,
    "approximateQuadraticArcLength": 3, "approximateCubicArcLength": 4,
}
COMPLEX_FUNCTIONS = {
    "calcCubicArcLengthC": 4, "calcQuadraticArcLengthC": 3, "approximateQuadraticArcLengthC": 3,
    "approximateCubicArcLengthC": 4, "_split_cubic_into_two": 4,
}


@pytest.fixture(scope="module")
def cm():
    from vellary.misc import curvemath

    return curvemath


def same(cm, name, *args):
    assert outcome(getattr(cm, name), *args) == outcome(getattr(ref, name), *args), (name, args)


def corpus_segments(limit=400):
    """Quadratic and cubic segments: shapes that stress the special cases,
    then real glyph outlines (the sample font where the corpus is absent)."""
    segments = [
        ((0, 0), (0, 0), (0, 0)), ((0, 0), (40, 0), (-40, 0)), ((0, 0), (40, 0), (0, 0)),
        ((0, 0), (50, 20), (100, 40)), ((0, 0), (100, 0), (100, 100)), ((1, 1), (1, 1), (1, 1), (1, 1)),
        ((0, 0), (50, 0), (100, 0), (-50, 0)), ((50, 0), (0, 100), (100, 100), (50, 0)),
        ((0, 0), (0, 0), (100, 100), (100, 100)), ((0, 0), (100, 100), (0, 100), (100, 0)),
        ((0.5, 0.25), (0.5, 1e-12), (0.5, -7.0)), ((-3, 2), (-3, 2), (8, 9.5), (8, 9.5)),
    ]
    return segments + glyph_segments(limit)
    return segments


# -- examples ------------------------------------------------------------------

def test_documented_examples(cm):
    assert cm.calcCubicBounds((0, 0), (0, 0), (0, 0), (0, 0)) == (0, 0, 0, 0)
    assert cm.calcQuadraticBounds((0, 0), (0, 0), (0, 0)) == (0, 0, 0, 0)
    assert cm.calcQuadraticBounds((0, 0), (50, 50), (100, 100)) == (0, 0, 100, 100)
    assert [type(v) for v in cm.calcQuadraticBounds((0, 0), (100, 0), (100, 100))] == [float, float, int, int]
    assert cm.calcCubicArcLength((0, 0), (50, 0), (100, 0), (150, 0)) == 150.0
    assert cm.calcCubicArcLength((1, 2), (1, 2), (1, 2), (1, 2)) == 0.0
    assert abs(cm.calcCubicArcLength((0, 0), (25, 100), (75, 100), (100, 0)) - 190.834) < 1e-3
    assert cm._split_cubic_into_two(0, 3, 6, 9) == ((0, 1.5, 3.0, 4.5), (4.5, 6.0, 7.5, 9))
    one, two = cm._split_cubic_into_two(0j, 25 + 100j, 75 + 100j, 100 + 0j)
    assert one == (0j, 12.5 + 50j, 31.25 + 75j, 50 + 75j) and two == (50 + 75j, 68.75 + 75j, 87.5 + 50j, 100 + 0j)
    assert one[3] is two[0]
    assert cm.calcCubicArcLength.__defaults__ == cm.calcCubicArcLengthC.__defaults__ == (0.005,)


# -- differential tests ---------------------------------------------------------

def test_match_model_on_corpus(cm):
    for seg in corpus_segments():
        names = [n for n, k in POINT_FUNCTIONS.items() if k == len(seg)]
        for name in names:
            same(cm, name, *seg)
        z = [complex(*p) for p in seg]
        for name in (n for n, k in COMPLEX_FUNCTIONS.items() if k == len(seg)):
            same(cm, name, *z)


coordinate = st.one_of(st.integers(-1000, 1000), st.floats(-1e6, 1e6), st.sampled_from([0, 0.0, -0.0, 1e-300]))
point = st.tuples(coordinate, coordinate)


@settings(max_examples=150, deadline=None)
@given(st.lists(point, min_size=4, max_size=4), st.sampled_from([0.005, 0.05, 0.5]))
def test_match_model_on_random_points(cm, pts, tolerance):
    for name, k in POINT_FUNCTIONS.items():
        same(cm, name, *pts[:k])
    same(cm, "calcCubicArcLength", *pts, tolerance)
    z = [complex(*p) for p in pts]
    for name, k in COMPLEX_FUNCTIONS.items():
        same(cm, name, *z[:k])
    same(cm, "_split_cubic_into_two", *[p[0] for p in pts])


@pytest.mark.parametrize("args", [
    ((0, 0), (1, 1), (2,)), ((0, 0), (1, "1"), (2, 2)), ((0, 0), (1, 1), (2, 2, 2)), ((0, 0), 5, (2, 2)),
    ((0, 0), (1, 1), ("2", 2)), ((0, 0), (math.inf, 1), (2, 2)), ((0, 0), (math.nan, 1), (2, 2)),
])
def test_bad_points_match_model(cm, args):
    # the unpacking messages are the frame's own: compare the outcome's kind
    for name, k in POINT_FUNCTIONS.items():
        seg = (args + ((3, 3),))[:k]
        assert outcome(getattr(cm, name), *seg)[:2] == outcome(getattr(ref, name), *seg)[:2], name


@pytest.mark.thread_unsafe(reason="rebinds module constants")
@pytest.mark.parametrize("name, value", [
    ("EPSILON", 1000.0), ("EPSILON", 0), ("EPSILON", Fraction(1, 10**6)),
    ("epsilon", 1e3), ("epsilon", 0.0), ("epsilon", -1.0), ("epsilon", 10),
])
def test_rebound_constants(cm, name, value):
    cases = [((0, 0), (25, 100), (75, 100), (100, 0)), ((0, 0), (50, 20), (100, 40), (7, 7)),
             ((0, 0), (40, 0), (-40, 0), (0, 0)), ((0, 0), (0, 50), (100, 0), (1, 1)),
             ((3, 3), (3, 3), (3, 3), (3, 3))]
    with rebound(name, value, cm, ref):
        for seg in cases:
            same(cm, "calcCubicArcLength", *seg)
            same(cm, "calcQuadraticArcLength", *seg[:3])
            same(cm, "calcCubicBounds", *seg)
        if name == "EPSILON" and value == 1000.0:
            assert cm.calcCubicArcLength(*cases[0]) == pytest.approx(178.078, abs=1e-3)


@pytest.mark.thread_unsafe(reason="rebinds module names")
def test_module_names_looked_up_at_each_call(cm, monkeypatch):
    seen = []
    monkeypatch.setattr(cm, "calcBounds", lambda points: seen.append(points) or "box")
    assert cm.calcCubicBounds((0, 0), (25, 100), (75, 100), (100, 0)) == "box"
    assert seen[0][-2:] == [(0, 0), (100, 0)] and seen[0][0] == (50.0, 75.0)
    for module in (cm, ref):
        monkeypatch.setattr(module, "_split_cubic_into_two", lambda *p: ((0j, 0j, 0j, 3j), (3j, 3j, 3j, 4j)))
    same(cm, "calcCubicArcLength", (0, 0), (25, 100), (75, 100), (100, 0))
    monkeypatch.undo()
    monkeypatch.setattr(cm, "_calcCubicArcLengthCRecurse", lambda *a: a)
    assert cm.calcCubicArcLength((0, 0), (1, 0), (2, 0), (3, 0), 2) == (4.0, 0j, 1 + 0j, 2 + 0j, 3 + 0j)
    monkeypatch.setattr(cm, "calcQuadraticArcLengthC", lambda *a: a)
    assert cm.calcQuadraticArcLength((1, 2), (3, 4), (5, 6)) == (1 + 2j, 3 + 4j, 5 + 6j)
    monkeypatch.undo()
    fake = types.SimpleNamespace(sqrt=lambda x: Fraction(3), asinh=lambda x: 1)
    for module in (cm, ref):
        monkeypatch.setattr(module, "math", fake)
    same(cm, "calcQuadraticArcLength", (0, 0), (0, 100), (100, 0))


@pytest.mark.parametrize("name, args, exc, entries", [
    ("calcQuadraticBounds", ((0, 0), (1, 1), (2,)), ValueError, [("calcQuadraticBounds", 315),
                                                                 ("calcQuadraticParameters", 946)]),
    ("calcCubicBounds", ((0, 0), (1, "a"), (2, 2), (3, 3)), TypeError, [("calcCubicBounds", 429),
                                                                         ("calcCubicParameters", 961)]),
    ("calcCubicArcLength", ((0, 0), (1, 1), (2, 2, 2), (3, 3)), TypeError, [("calcCubicArcLength", 69)]),
    ("calcCubicArcLength", ((0, 0), (1, 1), (2, 2), (3, 3), "t"), TypeError, [("calcCubicArcLength", 69),
                                                                               ("calcCubicArcLengthC", 103)]),
    ("calcCubicArcLengthC", (0j, 1j, 2j, 3j, -1), ValueError, [("calcCubicArcLengthC", 124)]),
    ("calcCubicArcLength", ((0, 0), (1, 1), (2, math.inf), (3, 3)), ValueError,
     [("calcCubicArcLength", 69), ("calcCubicArcLengthC", 125), ("_calcCubicArcLengthCRecurse", 92)]),
    ("calcQuadraticArcLength", ((0, 0), (1, 1), ("2x",)), ValueError, [("calcQuadraticArcLength", 182)]),
    ("_calcCubicArcLengthCRecurse", (0.5, 0j, 1j, 2j, 3j), ValueError, [("_calcCubicArcLengthCRecurse", 92)]),
])
def test_traceback_entries(cm, name, args, exc, entries):
    with pytest.raises(exc) as e:
        getattr(cm, name)(*args)
    assert tb_entries(e.value) == entries


# -- hostile inputs and recursion --------------------------------------------------

@pytest.mark.parametrize("tolerance", [-0.001, -1, math.nan, math.inf])
def test_unusable_tolerance_is_refused(cm, tolerance):
    with pytest.raises(ValueError, match="tolerance must be a finite number >= 0"):
        cm.calcCubicArcLength((0, 0), (25, 100), (75, 100), (100, 0), tolerance)
    same(cm, "calcCubicArcLength", (0, 0), (25, 100), (75, 100), (100, 0), tolerance)


@pytest.mark.parametrize("bad", [math.inf, -math.inf, math.nan, 1e308])
def test_non_finite_points_are_refused(cm, bad):
    pts = [(0, 0), (bad, 100), (75, bad), (100, 0)]
    with pytest.raises(ValueError, match="not finite"):
        cm.calcCubicArcLength(*pts)
    same(cm, "calcCubicArcLength", *pts)


@pytest.mark.thread_unsafe(reason="rebinds a module constant")
def test_endless_subdivision_ends_in_recursion_error(cm):
    with rebound("EPSILON", -1.0, cm):
        with pytest.raises(RecursionError):
            cm.calcCubicArcLength((0, 0), (25, 100), (75, 100), (100, 0))
    assert cm.calcCubicArcLength((0, 0), (50, 0), (100, 0), (150, 0)) == 150.0


@pytest.mark.thread_unsafe(reason="starts its own thread with a small stack")
def test_deep_recursion_in_a_small_thread_stack(cm):
    result = []

    def work():
        try:
            with rebound("EPSILON", -1.0, cm):
                cm.calcCubicArcLength((0, 0), (25, 100), (75, 100), (100, 0))
        except RecursionError as e:
            result.append(e)

    run_in_small_stack(work)
    assert len(result) == 1


# -- threads and leaks ---------------------------------------------------------------

def _calls(cm):
    cubic = [(0, 0), (25.5, 100), (75, Fraction(100, 3)), (100, 0)]
    return [
        (cm.calcCubicBounds, cubic), (cm.calcQuadraticBounds, cubic[:3]),
        (cm.calcCubicArcLength, cubic), (cm.calcQuadraticArcLength, cubic[:3]),
        (cm.approximateCubicArcLength, cubic), (cm.approximateQuadraticArcLength, cubic[:3]),
        (cm._split_cubic_into_two, (1j, 2, 3.5, 4)), (cm.calcCubicBounds, [(0, 0), (1, "a"), (2, 2), (3, 3)]),
        (cm.calcCubicArcLength, [(0, 0), (math.nan, 0), (2, 2), (3, 3)]),
        (cm.calcQuadraticArcLength, [(0, 0), (1, 1), (2, 2, 2)]),
    ]


test_concurrent_calls, test_no_leaks = concurrency_and_leak_tests(
    _calls, thread_rounds=200, warm=50, rounds=2000, watched=lambda calls: calls[0][1][0])
