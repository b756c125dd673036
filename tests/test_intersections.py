"""Line, curve-line and curve-curve intersections: the documented examples, differential
tests against the pure-Python model on random and real curves, identities,
tracebacks, rebinding module names, threads and leaks."""

import random
from fractions import Fraction

import pytest

from reference import curvemath as ref
from support import concurrency_and_leak_tests, frame_message, rebound, run_in_small_stack
from test_bounds import corpus_segments
from test_splitting import canon, leaves, tb_entries


@pytest.fixture(scope="module")
def cm():
    from vellary.misc import curvemath

    return curvemath


def plain(value):
    """Intersection records as tagged tuples, so that both models' compare."""
    if type(value).__name__ == "Intersection":
        return ("Intersection", *map(plain, value))
    if type(value) in (tuple, list):
        return type(value)(map(plain, value))
    return value


def outcome(func, *args):
    try:
        return ("ok", canon(plain(func(*args)), leaves(args)))
    except Exception as e:  # noqa: BLE001 - the exception is the result
        return ("raise", type(e), frame_message(e))


def same(cm, name, *args):
    assert outcome(getattr(cm, name), *args) == outcome(getattr(ref, name), *args), (name, args)


# -- examples ------------------------------------------------------------------

def test_documented_examples(cm):
    (i,) = cm.lineLineIntersections((310, 389), (453, 222), (289, 251), (447, 367))
    assert i == ((374.44882952482897, 313.73458370177315), 0.45069111555824465, 0.5408153767394238)
    assert type(i) is cm.Intersection and i._fields == ("pt", "t1", "t2")
    found = cm.curveLineIntersections([(100, 240), (30, 60), (210, 230), (160, 30)], [(25, 260), (230, 20)])
    assert len(found) == 3 and found[0].pt == (84.9000930760723, 189.87306176459828)
    assert cm.curveLineIntersections([(0, 0), (50, 100), (100, 0)], [(0, 50), (100, 50)]) == [
        ((50.0, 50.0), 0.5, 0.5)] * 2
    assert [cm._line_t_of_pt((0, 0), (0, 0), (5, 5)), cm._line_t_of_pt((0, 0), (10, 5), (5, 100)),
            cm._line_t_of_pt((0, 0), (10, 10), (5, 3))] == [-1, 0.5, 0.3]
    assert type(cm._line_t_of_pt((0, 0), (0, 0), (5, 5))) is int
    assert cm._both_points_are_on_same_side_of_origin((1, 1), (2, -1), (0, 0)) is True
    assert cm._both_points_are_on_same_side_of_origin((1, -1), (-1, 1), (0, 0, 9)) is False
    assert cm._curve_line_intersections_t([(0, 0), (50, 100), (100, 0)], [(0, 0), (100, 0)]) == [0.0, 1.0]


@pytest.mark.parametrize("args, expected", [
    (((0, 0), (0, 10), (5, 0), (5, 10)), []),        # parallel vertical
    (((0, 0), (10, 0), (0, 5), (10, 5)), []),        # parallel horizontal
    (((0, 0), (10, 0), (20, 0), (30, 0)), []),       # same horizontal line
    (((0, 0), (10, 10), (0, 5), (10, 15)), []),      # equal slopes
    (((0, 0), (10, 10), (3, 3), (3, 3)), []),        # zero-length line
    (((0, 0), (0, 10), (1, 1), (2, 2)), [((0, 0), 0.0, -1.0)]),  # crossing beyond the second's ends
])
def test_line_line_cases(cm, args, expected):
    assert cm.lineLineIntersections(*args) == expected
    same(cm, "lineLineIntersections", *args)


@pytest.mark.parametrize("name, args, message", [
    ("curveLineIntersections", ([(0, 0), (1, 1)], [(0, 0), (1, 0)]), "Unknown curve degree"),
    ("curveLineIntersections", ([(0, 0)] * 5, [(0, 0), (1, 0)]), "Unknown curve degree"),
    ("_curve_line_intersections_t", ([(0, 0)] * 5, [(0, 0), (1, 0)]), "Unknown curve degree"),
])
def test_unknown_degree(cm, name, args, message):
    with pytest.raises(ValueError, match=message):
        getattr(cm, name)(*args)


def test_caller_objects_and_degenerate_line(cm):
    x = 10**20
    (i,) = cm.lineLineIntersections((x, 0), (x, 10), (0, 0), (1, 1))
    assert i.pt[0] is x
    # a zero-length line: angle 0 and a back-projection parameter of -1
    found = cm.curveLineIntersections([(0, -1), (5, 3), (10, -1)], [(2, 0), (2, 0)])
    assert [i.t2 for i in found] == [-1, -1]


@pytest.mark.parametrize("name, args, exc, entries", [
    ("_line_t_of_pt", ((0, 0), (1, 2, 3), (0, 0)), ValueError, [("_line_t_of_pt", 1135)]),
    ("lineLineIntersections", ((0, 0), (1, "a"), (0, 1), (1, 0)), TypeError, [("lineLineIntersections", 1213)]),
    ("lineLineIntersections", ((0, 0), (0, 1), (0, 2), (0, 3)), ZeroDivisionError, [("lineLineIntersections", 1194)]),
    ("curveLineIntersections", ([(0, 0), (1, 1), (2, "x")], [(0, 0), (1, 1)]), TypeError,
     [("curveLineIntersections", 1282), ("_curve_line_intersections_t", 1242)]),
])
def test_traceback_lines(cm, name, args, exc, entries):
    with pytest.raises(exc) as info:
        getattr(cm, name)(*args)
    got = tb_entries(info.value)
    assert got[:len(entries)] == entries
    same(cm, name, *args)


def test_module_names_are_read_at_each_call(cm):
    with rebound("epsilon", 100.0, cm, ref):
        assert cm._line_t_of_pt((0, 0), (10, 5), (5, 100)) == -1
        same(cm, "_line_t_of_pt", (0, 0), (10, 5), (5, 100))
    with rebound("Intersection", lambda **kw: sorted(kw), cm):
        assert cm.lineLineIntersections((0, 0), (2, 2), (0, 2), (2, 0)) == [["pt", "t1", "t2"]]


# -- differential ----------------------------------------------------------------

def _random_point(rng):
    kind = rng.random()
    if kind < 0.3:
        return (rng.randint(-5, 5), rng.randint(-5, 5))
    if kind < 0.4:
        return (Fraction(rng.randint(-9, 9), 4), rng.randint(-3, 3))
    return (rng.uniform(-100, 100), rng.uniform(-100, 100))


def test_random_lines_and_curves_match_the_model(cm):
    rng = random.Random(1107)
    for _ in range(400):
        pts = [_random_point(rng) for _ in range(6)]
        same(cm, "lineLineIntersections", *pts[:4])
        same(cm, "_both_points_are_on_same_side_of_origin", *pts[:3])
        same(cm, "_line_t_of_pt", *pts[:3])
        n = rng.choice((3, 4))
        pts = [(float(x), float(y)) if isinstance(x, Fraction) else (x, y) for x, y in pts]
        same(cm, "curveLineIntersections", pts[:n], pts[4:6])
        same(cm, "_curve_line_intersections_t", pts[:n], pts[4:6])


def test_corpus_curves_match_the_model(cm):
    segments = corpus_segments(300)
    lines = [((0, 0), (1000, 0)), ((300, -500), (300, 1500)), ((0, 0), (600, 700)), ((250, 250), (250, 250))]
    for k, seg in enumerate(segments):
        for line in lines + [(seg[0], seg[-1]), segments[k - 1][:2]]:
            same(cm, "curveLineIntersections", list(seg), list(line))
        same(cm, "lineLineIntersections", seg[0], seg[-1], *segments[k - 1][:2])


# -- curve-curve and segments ------------------------------------------------------

C1 = [(10, 100), (90, 30), (40, 140), (220, 220)]
C2 = [(5, 150), (180, 20), (80, 250), (210, 190)]
C3 = [(100, 240), (30, 60), (210, 230), (160, 30)]
LINE = [(25, 260), (230, 20)]


def test_curve_curve_examples(cm):
    found = cm.curveCurveIntersections(C1, C2)
    assert len(found) == 3 and found[0].pt == (81.7831487395506, 109.88904552375288)
    assert cm.segmentSegmentIntersections(C1, C2) == found
    assert cm.segmentSegmentIntersections(C3, LINE)[0].pt == (84.9000930760723, 189.87306176459828)
    assert cm._curve_curve_intersections_t(C1, [(p[0] + 500, p[1]) for p in C2]) == []
    tiny = [(0, 0), (0.01, 0.01), (0.02, 0)]
    assert cm._curve_curve_intersections_t(tiny, tiny) == [(0.5, 0.5)]
    s, e = (0, 0), (10, 0)
    (a, m), (m2, b) = cm._split_segment_at_t([s, e], 0.5)
    assert a is s and b is e and m is m2 and m == (5.0, 0.0)
    # a flat cubic is line-like: t1 is measured along its chord
    flat = [(0, 0), (10, 0), (20, 0), (30, 0)]
    assert cm._is_linelike(flat) and not cm._is_linelike(C1)
    found = cm.curveCurveIntersections(flat, [(5, -5), (5, 5), (15, 5), (15, -5)])
    assert [i.t1 for i in found] == [i.pt[0] / 30 for i in found]


@pytest.mark.parametrize("name, args, message", [
    ("_curve_bounds", ([(0, 0)] * 5,), "Unknown curve degree"),
    ("_split_segment_at_t", ([(0, 0)] * 5, 0.5), "Unknown curve degree"),
    ("segmentSegmentIntersections", ([(0, 0), (1, 1)], [(0, 0)]), "Couldn't work out which intersection function"),
    ("_curve_curve_intersections_t", (C1, C2, 0), "precision must be a positive number"),
    ("_curve_curve_intersections_t", (C1, C2, -1e-3), "precision must be a positive number"),
    ("_curve_curve_intersections_t", (C1, C2, float("nan")), "precision must be a positive number"),
])
def test_segment_errors(cm, name, args, message):
    with pytest.raises(ValueError, match=message):
        getattr(cm, name)(*args)
    same(cm, name, *args)


def test_nested_functions_report_their_qualified_names(cm):
    with pytest.raises(TypeError) as info:
        cm._curve_curve_intersections_t(C1, C2, 1e-3, ("a", "b"))
    codes = []
    tb = info.value.__traceback__
    while tb:
        codes.append((tb.tb_frame.f_code.co_qualname, tb.tb_lineno))
        tb = tb.tb_next
    assert codes[-1] == ("vellary.misc.curvemath._curve_curve_intersections_t.<locals>.midpoint", 1329)


@pytest.mark.thread_unsafe(reason="rebinds module names")
def test_deep_recursion_in_a_small_thread_stack(cm):
    result = []

    def work():
        try:
            with rebound("sectRect", lambda a, b: (True, None), cm), rebound("rectArea", lambda r: 1.0, cm):
                cm._curve_curve_intersections_t(C1, C2)
        except RecursionError as e:
            result.append(e)

    run_in_small_stack(work)
    assert len(result) == 1


def _random_segment(rng, n):
    return [(rng.randint(-50, 50), rng.uniform(-50, 50)) for _ in range(n)]


def test_random_segments_match_the_model_and_are_symmetric(cm):
    rng = random.Random(1108)
    for _ in range(60):
        a, b = _random_segment(rng, rng.choice((2, 3, 4))), _random_segment(rng, rng.choice((2, 3, 4)))
        same(cm, "segmentSegmentIntersections", a, b)
        forward, backward = cm.segmentSegmentIntersections(a, b), cm.segmentSegmentIntersections(b, a)
        if len(a) != len(b):
            assert [(i.pt, i.t1, i.t2) for i in forward] == [(i.pt, i.t2, i.t1) for i in backward]
        same(cm, "_curve_curve_intersections_t", a if len(a) > 2 else a + [a[-1]], b if len(b) > 2 else b + [b[0]],
             0.5)


def test_corpus_pairs_match_the_model(cm):
    segments = corpus_segments(60)
    for k, seg in enumerate(segments):
        # neighbours touch at an end point; the shifted copy overlaps its box
        for other in (segments[k - 1], [(x + 3, y - 2) for x, y in seg], [(x, 7) for x, _ in seg]):
            same(cm, "segmentSegmentIntersections", list(seg), list(other))
    small = [(0, 0), (0.05, 0.1), (0.1, 0)]
    same(cm, "curveCurveIntersections", small, small)


# -- threads and leaks ---------------------------------------------------------------

def _calls(cm):
    cubic = [(100, 240), (30, 60), (210, 230), (160, 30)]
    return [
        (cm.curveLineIntersections, (cubic, [(25, 260), (230, 20)])),
        (cm.curveLineIntersections, (cubic[:3], [(0, 50), (100, 50.5)])),
        (cm.lineLineIntersections, ((310, 389), (453, 222), (289, 251), (447, 367))),
        (cm.lineLineIntersections, ((0, 0), (0, 1), (0, 2), (0, 3))),
        (cm.curveLineIntersections, ([(0, 0), (1, "a"), (2, 2)], [(0, 0), (1, 1)])),
        (cm._line_t_of_pt, ((0, 0), (1, 1, 1), (0, 0))),
        (cm.segmentSegmentIntersections, (C1, C2)),
        (cm.segmentSegmentIntersections, (LINE, C3[:3])),
        (cm._curve_curve_intersections_t, (C1, C2, 1e-3, ("a", "b"))),
        (cm._curve_curve_intersections_t, (C1, C2, 0)),
    ]


test_concurrent_calls, test_no_leaks = concurrency_and_leak_tests(
    _calls, thread_rounds=30, warm=20, rounds=200, watched=lambda calls: calls[0][1][0][0])
