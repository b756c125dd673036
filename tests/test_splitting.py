"""Curve parameters, points at t, splitting and segment printing: the
documented examples, differential tests against the pure-Python model,
identities, the generator protocol, tracebacks, threads and leaks."""

import cmath
import doctest
import io
import operator
import struct
import threading
from contextlib import redirect_stdout
from fractions import Fraction

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

from reference import curvemath as ref
from support import frame_message, gil_stays_off, refcounts, run_threads, traced_growth

QUALNAME = "vellary.misc.curvemath."


@pytest.fixture(scope="module")
def cm():
    from vellary.misc import curvemath

    return curvemath


def canon(value, args=()):
    """Exact types, float bits, and which leaves are argument objects."""
    for i, a in enumerate(args):
        if value is a:
            return ("arg", i)
    if type(value) is float:
        return ("float", "nan" if value != value else struct.pack("<d", value))
    if type(value) is complex:
        return ("complex", canon(value.real), canon(value.imag))
    if type(value) in (tuple, list):
        return (type(value), tuple(canon(v, args) for v in value))
    return (type(value), repr(value))


def leaves(args):
    out = []
    for a in args:
        out.append(a)
        if type(a) in (tuple, list):
            out.extend(leaves(a))
    return out


def outcome(func, *args):
    try:
        result = func(*args)
        if type(result).__name__ == "generator":
            result = list(result)
        return ("ok", canon(result, leaves(args)))
    except Exception as e:  # noqa: BLE001 - the exception is the result
        return ("raise", type(e), frame_message(e))


# -- examples ------------------------------------------------------------------

def test_documented_examples_pass(cm):
    assert len(cm.__test__) >= 11
    for name, text in cm.__test__.items():
        test = doctest.DocTestParser().get_doctest(text, dict(cm.__dict__), name, None, 0)
        out = io.StringIO()
        assert doctest.DocTestRunner().run(test, out=out.write).failed == 0, out.getvalue()


def test_coefficients_keep_the_first_points_objects(cm):
    x, y = 10**30, Fraction(1, 3)
    p = (x, y)
    (a, b, c) = cm.calcQuadraticParameters(p, (50, 100), (100, 0))
    assert c[0] is x and c[1] is y
    assert cm.calcCubicParameters((0, 0), (25, 100), (75, 100), (100, 0)) == (
        (-50.0, 0.0), (75.0, -300.0), (75.0, 300.0), (0, 0))
    assert cm.calcCubicPoints((-50.0, 0.0), (75.0, -300.0), (75.0, 300.0), (0, 0)) == (
        (0, 0), (25.0, 100.0), (75.0, 100.0), (100.0, 0.0))
    assert cm.calcQuadraticPoints((0.0, -200.0), (100.0, 200.0), (0, 0)) == ((0, 0), (50.0, 100.0), (100.0, 0.0))


def test_points_at_t(cm):
    assert canon(cm.linePointAtT((0, 0), (10, 20), 1)) == canon((10, 20))
    assert canon(cm.quadraticPointAtT((0, 0), (50, 100), (100, 0), 0)) == canon((0, 0))
    assert cm.cubicPointAtT((0, 0), (25, 100), (75, 100), (100, 0), 0.5) == (50.0, 75.0)
    assert cm.cubicPointAtTC(0j, 25 + 100j, 75 + 100j, 100 + 0j, 0.5) == 50 + 75j
    assert cm.segmentPointAtT([(0, 0), (100, 100)], 0.25) == (25.0, 25.0)
    with pytest.raises(ValueError, match="^Unknown curve degree$"):
        cm.segmentPointAtT([(0, 0)] * 5, 0.5)
    with pytest.raises(ValueError, match=r"^too many values to unpack \(expected 2\)$"):
        cm.calcCubicParameters((0, 0, 0), (1, 1), (2, 2), (3, 3))
    with pytest.raises(ValueError, match="^need more than 1 value to unpack$"):
        cm.calcCubicParameters((0, 0), (1,), (2, 2), (3, 3))


def test_split_results_hold_the_callers_points(cm):
    p1, p2 = [0, 0], [100, 100]
    (s1, s2) = cm.splitLine(p1, p2, 50, True)
    assert s1[0] is p1 and s2[1] is p2 and s1[1] is s2[0]
    assert cm.splitLine(p1, p2, 5, -2)[0][1] == (5.0, 5.0)  # a negative index picks x
    p4 = (100, 0)
    (seg,) = cm.splitCubicAtT(p1, (25, 100), (75, 100), p4)
    assert seg[0] is p1 and seg[3] is p4
    (seg,) = cm.splitCubic(p1, (25, 100), (75, 100), p4, 150, False)
    assert seg[0] is p1 and seg[3] is p4


def test_segment_printing(cm, capsys):
    assert cm._segmentrepr(()) == "()" and cm._segmentrepr([7]) == "(7)"
    assert cm._segmentrepr(100.0) == "100" and cm._segmentrepr(-7.105427357601002e-15) == "-7.10543e-15"
    assert cm.printSegments([((0, 0), (50, 50)), ((50, 50), (100, 100))]) is None
    assert cm.printSegments([]) is None
    assert capsys.readouterr().out == "((0, 0), (50, 50))\n((50, 50), (100, 100))\n"
    with pytest.raises(TypeError):
        cm._segmentrepr([1j])
    nested = []
    nested.append(nested)
    with pytest.raises(RecursionError):
        cm._segmentrepr(nested)


# -- differential tests ---------------------------------------------------------

numbers = st.one_of(
    st.integers(-1000, 1000),
    st.floats(-1e6, 1e6, allow_nan=False),
    st.booleans(),
    st.fractions(max_denominator=50).filter(lambda f: abs(f) < 1000),
)
points = st.tuples(numbers, numbers).flatmap(lambda p: st.sampled_from([p, list(p)]))
params = st.one_of(st.sampled_from([0, 1, 0.0, 1.0, -0.5, 1.5, 0.5, Fraction(1, 3), True]),
                   st.floats(-2, 3, allow_nan=False))
ts_lists = st.lists(params, max_size=4)
differential = settings(max_examples=150, deadline=None, suppress_health_check=[HealthCheck.too_slow])


@differential
@given(st.lists(points, min_size=4, max_size=4), params, ts_lists, numbers, st.sampled_from([0, 1, False, True]))
def test_point_functions_match_model(cm, pts, t, ts, where, horizontal):
    p1, p2, p3, p4 = pts
    calls = [
        ("calcQuadraticParameters", (p1, p2, p3)), ("calcCubicParameters", (p1, p2, p3, p4)),
        ("calcQuadraticPoints", (p1, p2, p3)), ("calcCubicPoints", (p1, p2, p3, p4)),
        ("linePointAtT", (p1, p2, t)), ("quadraticPointAtT", (p1, p2, p3, t)),
        ("cubicPointAtT", (p1, p2, p3, p4, t)), ("segmentPointAtT", (pts[: 2 + len(ts) % 3], t)),
        ("splitLine", (p1, p2, where, horizontal)), ("splitQuadratic", (p1, p2, p3, where, horizontal)),
        ("splitCubic", (p1, p2, p3, p4, where, horizontal)), ("splitQuadraticAtT", (p1, p2, p3, *ts)),
        ("splitCubicAtT", (p1, p2, p3, p4, *ts)), ("_segmentrepr", (pts,)),
    ]
    for name, args in calls:
        assert outcome(getattr(cm, name), *args) == outcome(getattr(ref, name), *args), name


class Logged:
    """A number that records each operation it takes part in, so that the
    order of operations, not only their results, is compared."""

    log = None

    def __init__(self, v):
        self.v = v

    def __repr__(self):
        return f"L({self.v!r})"

    def __float__(self):
        return float(self.v)

    def __index__(self):
        return int(self.v)


def _logged_op(name, fn, reflected, compare):
    def op(self, other):
        o = other.v if isinstance(other, Logged) else other
        Logged.log.append((name, self.v, o))
        r = fn(o, self.v) if reflected else fn(self.v, o)
        return r if compare else Logged(r)
    return op


for _name in ["add", "sub", "mul", "truediv", "lt", "le", "gt", "ge", "eq", "ne"]:
    _compare = _name in ("lt", "le", "gt", "ge", "eq", "ne")
    setattr(Logged, f"__{_name}__", _logged_op(_name, getattr(operator, _name), False, _compare))
    if not _compare:
        setattr(Logged, f"__r{_name}__", _logged_op("r" + _name, getattr(operator, _name), True, False))


@differential
@given(st.lists(st.tuples(numbers, numbers), min_size=4, max_size=4), numbers, ts_lists, numbers)
def test_operations_run_in_the_models_order(cm, pts, t, ts, where):
    def run(module):
        Logged.log = []
        lp = [tuple(Logged(c) for c in p) for p in pts]
        calls = [("calcCubicParameters", lp), ("calcQuadraticPoints", lp[:3]), ("cubicPointAtT", [*lp, Logged(t)]),
                 ("quadraticPointAtT", [*lp[:3], Logged(t)]), ("linePointAtT", [*lp[:2], Logged(t)]),
                 ("splitLine", [*lp[:2], Logged(where), 1]), ("splitCubicAtT", [*lp, *map(Logged, ts)]),
                 ("splitQuadraticAtT", [*lp[:3], *map(Logged, ts)])]
        return [(outcome(getattr(module, name), *args)[0], Logged.log[:]) for name, args in calls
                if not Logged.log.clear()]

    assert run(cm) == run(ref)


finite = st.floats(-1e6, 1e6, allow_nan=False)
complexes = st.builds(complex, finite, finite)


@differential
@given(st.lists(complexes, min_size=4, max_size=4), st.floats(-2, 3, allow_nan=False),
       st.lists(st.one_of(st.floats(-2, 3, allow_nan=False), st.sampled_from([0, 1, 0.5, 0.5])), max_size=4))
def test_complex_functions_match_model(cm, pts, t, ts):
    for name, args in [("cubicPointAtTC", (*pts, t)), ("splitCubicIntoTwoAtTC", (*pts, t)),
                       ("splitCubicAtTC", (*pts, *ts)), ("_splitCubicAtTC", (*pts, *ts))]:
        assert outcome(getattr(cm, name), *args) == outcome(getattr(ref, name), *args), name


def test_complex_products_recover_infinities(cm):
    # (1 + 0j) * (inf + nanj) is an infinity in C's complex product, not NaN.
    first, _ = cm.splitCubicIntoTwoAtTC(complex("inf+nanj"), 0j, 0j, 0j, 0.0)
    assert cmath.isinf(first[3])
    assert cm.cubicPointAtTC(complex("inf"), 0j, 0j, 0j, 0.0).real == float("inf")


# -- the generators -------------------------------------------------------------

def test_generator_converts_ts_lazily(cm):
    g = cm.splitCubicAtTC(0j, 1j, 2j, 3j, 0.5, "x")
    assert len(next(g)) == 4
    with pytest.raises(TypeError) as e:
        next(g)
    assert tb_entries(e.value)[-2:] == [("splitCubicAtTC", 664), ("_splitCubicAtTC", 790)]


def test_delegation_reaches_the_inner_generator(cm, monkeypatch):
    seen = []

    def inner(a, b, c, d, *ts):
        try:
            while True:
                try:
                    seen.append(("sent", (yield (a, ts))))
                except KeyError as e:
                    seen.append(("thrown", e.args))
        finally:
            seen.append("closed")

    monkeypatch.setattr(cm, "_splitCubicAtTC", inner)
    g = cm.splitCubicAtTC(0j, 3j, 6j, 9j, 0.25)
    assert g.gi_yieldfrom is None
    assert next(g) == (0j, (0.25,))
    assert g.gi_yieldfrom.__name__ == "inner"
    assert g.send(7) == (0j, (0.25,))
    assert g.throw(KeyError("k")) == (0j, (0.25,))
    g.close()
    assert seen == [("sent", 7), ("thrown", ("k",)), "closed"]
    with pytest.raises(StopIteration):
        next(g)


def test_error_closing_the_inner_generator_propagates(cm, monkeypatch):
    def inner(*args):
        try:
            yield 1
        except GeneratorExit:
            raise KeyError("inner") from None

    monkeypatch.setattr(cm, "_splitCubicAtTC", inner)
    g = cm.splitCubicAtTC(0j, 0j, 0j, 0j)
    next(g)
    with pytest.raises(KeyError) as e:
        g.close()
    assert tb_entries(e.value) == [("splitCubicAtTC", 664)]
    assert g.gi_frame is None and list(g) == []


def test_closing_a_running_generator_is_refused(cm, monkeypatch):
    outer = []

    def inner(*args):
        with pytest.raises(ValueError, match="generator already executing"):
            outer[0].close()
        yield 1

    monkeypatch.setattr(cm, "_splitCubicAtTC", inner)
    outer.append(cm.splitCubicAtTC(0j, 0j, 0j, 0j))
    assert next(outer[0]) == 1
    outer[0].close()
    assert outer[0].gi_frame is None


def test_native_inner_generator_is_delegated_to(cm):
    g = cm.splitCubicAtTC(0j, 3j, 6j, 9j, 0.5)
    next(g)
    assert type(g.gi_yieldfrom) is type(g) and g.gi_yieldfrom.__name__ == "_splitCubicAtTC"
    with pytest.raises(TypeError, match="just-started"):
        cm.splitCubicAtTC(0j, 0j, 0j, 0j).send(1)
    g.close()
    assert g.gi_yieldfrom is None and list(g) == []


# -- tracebacks and look-ups ------------------------------------------------------

def tb_entries(exc):
    out, tb = [], exc.__traceback__
    while tb:
        code = tb.tb_frame.f_code
        if code.co_filename == "misc/curvemath":
            out.append((code.co_name.rsplit(".", 1)[-1], tb.tb_lineno))
        tb = tb.tb_next
    return out


@pytest.mark.parametrize("name, args, exc, entries", [
    ("calcCubicParameters", ((0, 0), (1, 1), (2,), (3, 3)), ValueError, [("calcCubicParameters", 957)]),
    ("cubicPointAtT", ((0, 0), (1, 1), (2, 2), (3,), 0.5), IndexError, [("cubicPointAtT", 1088)]),
    ("segmentPointAtT", ([1] * 5, 0), ValueError, [("segmentPointAtT", 1125)]),
    ("splitLine", ((0, 0), (1, 1), 0.5, "y"), TypeError, [("splitLine", 494)]),
    ("splitCubicAtT", ((0, 0), (1, 1), (2, 2), (3, 3), "t"), TypeError, [("splitCubicAtT", 633),
                                                                           ("_splitCubicAtT", 746)]),
    ("splitQuadratic", ((0, 0), (1, 1), (2, 2, 2), 1, 0), ValueError, [("splitQuadratic", 541),
                                                                       ("calcQuadraticParameters", 946)]),
    ("splitCubicIntoTwoAtTC", (0j, 0j, 0j, 0j, "t"), TypeError, [("splitCubicIntoTwoAtTC", 681)]),
    ("splitCubicAtTC", ("x", 0j, 0j, 0j), TypeError, [("splitCubicAtTC", 653)]),
    ("_splitCubicAtTC", (0j, 0j, None, 0j), TypeError, [("_splitCubicAtTC", 784)]),
    ("splitCubicAtTC", (0j, 0j, 0j), TypeError, [("splitCubicAtTC", 643)]),
    ("_segmentrepr", ([1j],), TypeError, [("_segmentrepr", 1484), ("_segmentrepr", 1482)]),
])
def test_traceback_entries(cm, name, args, exc, entries):
    with pytest.raises(exc) as e:
        getattr(cm, name)(*args)
    assert tb_entries(e.value) == entries


@pytest.mark.thread_unsafe(reason="rebinds module names")
def test_module_functions_are_looked_up_at_each_call(cm, monkeypatch):
    monkeypatch.setattr(cm, "calcCubicPoints", lambda *abcd: ("p", "q", "r", abcd[3]))
    first, last = cm.splitCubicAtT((0, 0), (1, 1), (2, 2), (3, 3), 0.5)
    assert first == ((0, 0), "q", "r", (0.0, 0.0)) and last == ("p", "q", "r", (3, 3))
    monkeypatch.setattr(cm, "_splitCubicAtT", lambda *args: [args[4:]])
    assert cm.splitCubic((0, 0), (1, 1), (2, 2), (3, 3), 1.5, 0) == [(1 / 2,)]
    monkeypatch.setattr(cm, "cubicPointAtT", lambda *args: args)
    assert cm.segmentPointAtT([1, 2, 3, 4], 5) == (1, 2, 3, 4, 5)


@pytest.mark.thread_unsafe(reason="rebinds module names")
@pytest.mark.parametrize("split", [
    [], [[1, 2, 3]], [(1,), [2, 3, 4, 5], range(3)], ((1, 2), (3, 4)), [(9, 8, 7, 6)] * 2, [(1, 2, 3)], [5],
])
def test_end_points_replaced_in_what_the_split_returns(cm, monkeypatch, split):
    """Whatever _splitCubicAtT returns is indexed, sliced and assigned to as
    the statements would; the model does the same."""
    results = []
    for module in (cm, ref):
        monkeypatch.setattr(module, "_splitCubicAtT", lambda *args: type(split)(list(split)))
        results.append(outcome(module.splitCubicAtT, (0, 0), (1, 1), (2, 2), (3, 3)))
    assert results[0] == results[1]


# -- threads and leaks ------------------------------------------------------------

def _calls(cm):
    pts = [(0, 0), (25.5, 100), (75, Fraction(100, 3)), (100, 0)]
    return [
        (cm.splitCubicAtT, (*pts, 0.25, 0.75)), (cm.splitQuadraticAtT, (*pts[:3], 0.5)),
        (cm.splitCubic, (*pts, 25, True)), (cm.splitQuadratic, (*pts[:3], 10, False)),
        (cm.splitLine, (pts[0], pts[1], 10, 1)), (cm.cubicPointAtT, (*pts, 0.3)),
        (cm.splitCubicAtTC, (0j, 1 + 3j, 4j, 5 + 0j, 0.5, 0.75)), (cm.splitCubicIntoTwoAtTC, (0j, 1j, 2j, 3j, 0.4)),
        (cm.segmentPointAtT, (pts, 0.5)), (cm._segmentrepr, (pts,)),
        (cm.splitCubicAtTC, (0j, 0j, 0j, 0j, 0.5, None)), (cm.splitLine, (pts[0], pts[1], "w", 0)),
        (cm.calcCubicPoints, (pts[0], pts[1], (1, 2, 3), pts[3])), (cm.segmentPointAtT, (pts * 2, 0)),
    ]


@pytest.mark.thread_unsafe(reason="starts its own threads")
def test_concurrent_calls(cm):
    calls = _calls(cm)
    expected = [outcome(f, *args) for f, args in calls]
    errors = []
    barrier = threading.Barrier(4)

    def worker():
        try:
            barrier.wait()
            for _ in range(300):
                for (f, args), want in zip(calls, expected):
                    assert outcome(f, *args) == want
        except BaseException as e:  # noqa: BLE001 - reported below
            errors.append(e)

    run_threads(worker, 4)
    assert not errors and gil_stays_off()


@pytest.mark.thread_unsafe(reason="measures process memory")
def test_no_leaks(cm):
    calls = _calls(cm)

    def run():
        for f, args in calls:
            outcome(f, *args)
        g = cm.splitCubicAtTC(0j, 1j, 2j, 3j, 0.5)
        next(g)
        g.close()
        with redirect_stdout(io.StringIO()):
            cm.printSegments([[1, 2]])

    watched = [a for _, args in calls for a in args] + [cm.__dict__, cm._splitCubicAtTC]
    for _ in range(50):
        run()
    counts = refcounts(watched)
    growth = traced_growth(run, 2000)
    assert growth < 64 * 1024
    assert refcounts(watched) == counts
