"""vellary.varLib.gapfill: delta interpolation and optimisation.

Examples run against both the native module and its pure-Python model in
tests/reference; the differential tests feed both the same random contours
and demand the same values, types, object identities and exceptions.
"""

import math
import os
import struct
import subprocess
import sys
import threading
from decimal import Decimal
from fractions import Fraction

import pytest
from hypothesis import HealthCheck, assume, given, settings, strategies as st

from reference import gapfill as ref
from support import (gil_stays_off, model_and_native, native_fixture, rebound, references_and_growth, returning,
                     run_threads)

NATIVE = "vellary.varLib.gapfill"


native = native_fixture(NATIVE)
impl = model_and_native(ref)


# -- comparison ---------------------------------------------------------------

def canon(obj, args=()):
    """A comparable form of `obj`: exact types, float bits, and which of the
    caller's containers (`args` and their items) it is or holds."""
    known = {}
    for a, arg in enumerate(args):
        known.setdefault(id(arg), ("arg", a))
        if isinstance(arg, (list, tuple)):
            for i, item in enumerate(arg):
                if isinstance(item, (list, tuple)):
                    known.setdefault(id(item), ("item", a, i))

    def walk(o):
        if isinstance(o, (list, tuple, set, dict)) and id(o) in known:
            return known[id(o)]
        t = type(o)
        if t is float:
            return ("float", "nan" if o != o else struct.pack("<d", o))
        if t in (list, tuple):
            return (t.__name__, [walk(x) for x in o])
        if t is set:
            return ("set", sorted((walk(x) for x in o), key=repr))
        if t is dict:
            return ("dict", [(walk(k), walk(v)) for k, v in o.items()])
        return (t.__name__, repr(o))

    return walk(obj)


def outcome(fn, *args):
    try:
        result = fn(*args)
    except Exception as e:
        return ("raises", type(e), str(e), bool(getattr(e, "__notes__", None)))
    return ("returns", canon(result, args))


def assert_same(native, name, *args):
    assert outcome(getattr(native, name), *args) == outcome(getattr(ref, name), *args)




# -- examples -------------------------------------------------------------------

SQUARE = [(0, 0), (0, 100), (100, 100), (100, 0)]
SCALED = [(0, 0), (0, 10), (10, 10), (10, 0)]
LINE = [(0, 0), (10, 0), (20, 0), (30, 0), (40, 0)]
LINE_DELTAS = [(0, 0), (10, 0), (20, 0), (30, 0), (0, 0)]


@pytest.mark.parametrize("deltas, coords, expected", [
    ([(0, 0), None, (10, 20)], [(0, 0), (5, 5), (10, 10)], [(0, 0), (5.0, 10.0), (10, 20)]),
    ([None, (3, 4), None], [(0, 0), (1, 1), (2, 2)], [(3.0, 4.0), (3, 4), (3.0, 4.0)]),
    # Beyond both references on x, between them on y; the tail wraps around, then the head.
    ([(1, 1), (3, 5), None], [(0, 0), (10, 10), (20, 5)], [(1, 1), (3, 5), (3.0, 3.0)]),
    ([None, (0, 0), None, (20, 40)], [(5, 5), (0, 0), (10, 10), (20, 20)],
     [(5.0, 10.0), (0, 0), (10.0, 20.0), (20, 40)]),
    # Equal reference coordinates: the integer 0 when the deltas differ ...
    ([(0, 0), None, None, (30, 30)], [(0, 0), (10, 0), (20, 0), (30, 0)],
     [(0, 0), (10.0, 0), (20.0, 0), (30, 30)]),
    # ... else the first reference's delta as a float, wherever the point is.
    ([(2, 0), None, (2, 10)], [(5, 0), (100, 50), (5, 10)], [(2, 0), (2.0, 10.0), (2, 10)]),
    ([(-0.0, 1), None, (0.0, 1)], [(5, 0), (7, 5), (5, 10)], [(-0.0, 1), (-0.0, 1.0), (0.0, 1)]),
    # References in falling order.
    ([(10, 0), None, (0, 0)], [(10, 0), (15, 0), (0, 0)], [(10, 0), (10.0, 0.0), (0, 0)]),
    ([(0, 0), None, (10, 20)], [(0, 0), (Fraction(5), Decimal(5)), (10, 10)], [(0, 0), (5.0, 10.0), (10, 20)]),
])
def test_gapfill_contour_examples(impl, deltas, coords, expected):
    out = impl.gapfill_contour(deltas, coords)
    assert canon(out) == canon(expected)
    assert all(o is d for o, d in zip(out, deltas) if d is not None)


def test_gapfill_contour_special_results(impl):
    zeros = impl.gapfill_contour([None, None], [(0, 0), (1, 1)])
    assert canon(zeros) == canon([(0, 0), (0, 0)]) and zeros[0] is zeros[1]
    for full in ([(1, 2), (3, 4)], ((1, 2), (3, 4)), []):
        assert impl.gapfill_contour(full, [(0, 0), (1, 1)][:len(full)]) is full


@pytest.mark.parametrize("deltas, coords, ends, expected", [
    ([(0, 0), None, (10, 20), None, (1, 1), None, None],
     [(0, 0), (5, 5), (10, 10), (0, 0), (0, 0), (0, 0), (0, 0)], [2],
     [(0, 0), (5.0, 10.0), (10, 20), (0, 0), (1, 1), (0, 0), (0, 0)]),
    ([None, (1, 2), None, (3, 4)], SQUARE, [], [(0, 0), (1, 2), (0, 0), (3, 4)]),
])
def test_gapfill_delta_examples(impl, deltas, coords, ends, expected):
    ends_before = list(ends)
    out = impl.gapfill_delta(deltas, coords, ends)
    assert canon(out) == canon(expected) and ends == ends_before
    assert all(o is d for o, d in zip(out, deltas) if d is not None)


@pytest.mark.skipif(not __debug__, reason="assertions are off")
@pytest.mark.parametrize("call", [
    lambda m: m.gapfill_delta([None] * 8, [(0, 0)] * 8, [3, 1]),
    lambda m: m.gapfill_delta([None] * 6, [(0, 0)] * 6, (1,)),
    lambda m: m.gapfill_delta([None] * 6, [(0, 0)] * 6, [2]),
    lambda m: m.gapfill_delta_optimize([(0, 0)] * 5, [(0, 0)] * 5, []),
    lambda m: m.gapfill_contour([None, (1, 1)], [(0, 0)]),
    lambda m: m._gapfill_contour_bound_forced_set([(1, 1)], []),
])
def test_assertions(impl, call):
    with pytest.raises(AssertionError) as info:
        call(impl)
    assert info.value.args == ()


@pytest.mark.parametrize("name, args, expected", [
    ("gapfill_contour_optimize", ([(0, 0)] * 4, SQUARE), [None] * 4),
    ("gapfill_contour_optimize", ([], []), []),
    ("gapfill_contour_optimize", ([(2, 3)] * 4, SQUARE), [(2, 3), None, None, None]),
    ("gapfill_contour_optimize", (SCALED, SQUARE), [None, (0, 10), None, (10, 0)]),
    ("gapfill_contour_optimize", (tuple(SCALED), tuple(SQUARE)), [None, (0, 10), None, (10, 0)]),
    ("gapfill_contour_optimize", (LINE_DELTAS, LINE), [(0, 0), None, None, (30, 0), (0, 0)]),
    ("gapfill_contour_optimize", (LINE_DELTAS, LINE, 30), [None] * 5),
    ("_gapfill_contour_bound_forced_set", (SCALED, SQUARE), set()),
    ("_gapfill_contour_bound_forced_set", (LINE_DELTAS, LINE), {3}),
    ("_gapfill_contour_bound_forced_set", (LINE_DELTAS, LINE, Fraction(10)), set()),
    ("_gapfill_contour_optimize_dp", (LINE_DELTAS, LINE),
     ({-1: None, 0: -1, 1: 0, 2: 0, 3: 0, 4: 3}, {-1: 0, 0: 1.0, 1: 2.0, 2: 2.0, 3: 2.0, 4: 3.0})),
    ("_gapfill_contour_optimize_dp", (LINE_DELTAS, LINE, {3}, 0, 3),
     ({-1: None, 0: -1, 1: 0, 2: 0, 3: 2, 4: 3}, {-1: 0, 0: 1.0, 1: 2.0, 2: 2.0, 3: 3.0, 4: 4.0})),
    ("_gapfill_contour_optimize_dp", ([], [], None), ({-1: None}, {-1: 0})),
    ("gapfill_delta_optimize",
     (SCALED + [(0, 0), (0, 0), (5, 5), (0, 0)], SQUARE + [(0, 0)] * 4, [3]),
     [None, (0, 10), None, (10, 0), None, None, (5, 5), None]),
    ("_rot_list", ([1, 2, 3, 4], 1), [4, 1, 2, 3]),
    ("_rot_list", ([1, 2, 3, 4], -1), [2, 3, 4, 1]),
    ("_rot_list", ([1, 2, 3], 2.7), [2, 3, 1]),
    ("_rot_list", ([1, 2, 3], -2.7), [3, 1, 2]),
    ("_rot_list", ([1, 2, 3], True), [3, 1, 2]),
    ("_rot_list", ([1, 2, 3], 2**31 - 1), [3, 1, 2]),
    ("_rot_set", ({0, 3}, 1, 4), {0, 1}),
    ("_rot_set", ({0, 3}, 5, 4), {0, 1}),
    ("_rot_set", ({0, 3.5}, 1, 4.9), {1, 0.5}),
])
def test_optimizer_examples(impl, name, args, expected):
    out = getattr(impl, name)(*args)
    assert canon(out) == canon(expected)
    if isinstance(out, list) and name.endswith("optimize"):
        assert all(o is d for o, d in zip(out, args[0]) if o is not None)


@pytest.mark.parametrize("name, args", [
    ("gapfill_contour_optimize", ([(1, 1)], [(5, 5)])),
    ("gapfill_contour_optimize", ([(1, 1)], [(5, 5)], -1)),
    ("_rot_list", ([1, 2, 3, 4], 4)),
    ("_rot_set", ({0, 3}, -8, 4)),
])
def test_argument_returned_itself(impl, name, args):
    assert getattr(impl, name)(*args) is args[0]


class ListSub(list):
    pass


class SetSub(set):
    pass


@pytest.mark.parametrize("call, error, message", [
    (lambda m: m._rot_list((1, 2), 1), TypeError, "Argument 'l' has incorrect type (expected list, got tuple)"),
    (lambda m: m._rot_list(None, 1), TypeError, "Argument 'l' has incorrect type (expected list, got NoneType)"),
    (lambda m: m._rot_list([1], "1"), TypeError, "an integer is required"),
    (lambda m: m._rot_list([1], returning("__index__", 1)), TypeError, "an integer is required"),
    (lambda m: m._rot_list([1], 2**40), OverflowError, "value too large to convert to int"),
    (lambda m: m._rot_list([1], -2**31 - 1), OverflowError, "value too large to convert to int"),
    (lambda m: m._rot_set(frozenset(), 1, 2), TypeError, "Argument 's' has incorrect type (expected set, got frozenset)"),
    (lambda m: m._rot_set(None, 1, 2), TypeError, "Argument 's' has incorrect type (expected set, got NoneType)"),
    (lambda m: m._rot_set({1}, 1, None), TypeError, "an integer is required"),
    (lambda m: m._rot_set({1}, 2**31, "x"), OverflowError, "value too large to convert to int"),
    (lambda m: m._rot_list([], 1), ZeroDivisionError, None),
    (lambda m: m._rot_set({1}, 1, 0), ZeroDivisionError, None),
    (lambda m: m._gapfill_contour_optimize_dp([], [], [1]), TypeError,
     "Argument 'forced' has incorrect type (expected set, got list)"),
    (lambda m: m._gapfill_contour_optimize_dp([], [], frozenset(), "x"), TypeError,
     "Argument 'forced' has incorrect type (expected set, got frozenset)"),
    (lambda m: m._gapfill_contour_optimize_dp([], [], set(), "0.5"), TypeError, "must be real number, not str"),
    (lambda m: m._gapfill_contour_optimize_dp([], [], None, 10**400), OverflowError, "int too large to convert to float"),
    (lambda m: m._gapfill_contour_optimize_dp([(1, 1)], [(0, 0)], None), TypeError, "'NoneType' object is not iterable"),
    # Only the non-empty forced case rotates, and rotation takes lists only.
    (lambda m: m.gapfill_contour_optimize(tuple(LINE_DELTAS), LINE), TypeError,
     "Argument 'l' has incorrect type (expected list, got tuple)"),
    (lambda m: m.gapfill_contour_optimize(LINE_DELTAS, tuple(LINE)), TypeError,
     "Argument 'l' has incorrect type (expected list, got tuple)"),
    # Python's complex modulus, which refuses to overflow.
    (lambda m: m.gapfill_contour_optimize([(1.7e308, 1.7e308)], [(0, 0)]), OverflowError, "absolute value too large"),
    (lambda m: m.gapfill_contour([None, (1, "2")], SQUARE[:2]), TypeError, "must be real number, not str"),
    # The first point is the first to be unpacked, as the one point between the last and the second.
    (lambda m: m._gapfill_contour_optimize_dp([(1,), (0, 0), (0, 0)], [(0, 0)] * 3), ValueError,
     "need more than 1 value to unpack"),
    (lambda m: m._gapfill_contour_optimize_dp([[], (0, 0), (0, 0)], [(0, 0)] * 3), ValueError,
     "need more than 0 values to unpack"),
    (lambda m: m._gapfill_contour_optimize_dp([range(1), (0, 0), (0, 0)], [(0, 0)] * 3), ValueError,
     "need more than 1 value to unpack"),
    (lambda m: m._gapfill_contour_optimize_dp([range(3), (0, 0), (0, 0)], [(0, 0)] * 3), ValueError,
     "too many values to unpack (expected 2)"),
    (lambda m: m._gapfill_contour_optimize_dp([(1, 2, 3), (0, 0), (0, 0)], [(0, 0)] * 3), ValueError,
     "too many values to unpack (expected 2)"),
])
def test_argument_errors(impl, call, error, message):
    with pytest.raises(error) as info:
        call(impl)
    assert message is None or str(info.value) == message
    assert not getattr(info.value, "__notes__", None)


@pytest.mark.parametrize("call", [
    lambda m: m._rot_list(ListSub([1]), 1),
    lambda m: m._rot_set(SetSub(), 1, 2),
    lambda m: m._gapfill_contour_optimize_dp([], [], SetSub()),
])
def test_builtin_subclasses_rejected_with_note(impl, call):
    with pytest.raises(TypeError, match="has incorrect type .* got (List|Set)Sub") as info:
        call(impl)
    assert len(info.value.__notes__) == 1


def test_keywords_and_defaults(impl):
    assert impl._rot_list(k=1, l=[1, 2]) == [2, 1]
    assert impl.gapfill_contour(coords=[(0, 0)], deltas=[None]) == [(0, 0)]
    assert impl.gapfill_contour_optimize(coords=LINE, deltas=LINE_DELTAS, tolerance=30) == [None] * 5
    assert impl.gapfill_delta_optimize(SCALED, SQUARE, ends=[], tolerance=0) == [None] + SCALED[1:]
    chain, costs = impl._gapfill_contour_optimize_dp(LINE_DELTAS, LINE, lookback=3)
    assert chain[3] == 2 and costs[4] == 4.0


# -- module shell ------------------------------------------------------------------

SIGNATURES = {
    "gapfill_contour": "gapfill_contour(deltas: _DeltaOrNoneSegment, coords: _PointSegment) -> _DeltaSegment",
    "gapfill_delta": "gapfill_delta(deltas: _DeltaOrNoneSegment, coords: _PointSegment, ends: _Endpoints)"
                     " -> _DeltaSegment",
    "_gapfill_contour_bound_forced_set": "_gapfill_contour_bound_forced_set(deltas: _DeltaSegment,"
                                         " coords: _PointSegment, tolerance: Real = 0) -> set",
    "_gapfill_contour_optimize_dp": "_gapfill_contour_optimize_dp(deltas: _DeltaSegment, coords: _PointSegment,"
                                    " set forced=set(), double tolerance: Real = 0, lookback: Integral = None)",
    "_rot_list": "_rot_list(list l: list, int k: int)",
    "_rot_set": "_rot_set(set s: set, int k: int, int n: int)",
    "gapfill_contour_optimize": "gapfill_contour_optimize(deltas: _DeltaSegment, coords: _PointSegment,"
                                " tolerance: Real = 0.0) -> _DeltaOrNoneSegment",
    "gapfill_delta_optimize": "gapfill_delta_optimize(deltas: _DeltaSegment, coords: _PointSegment,"
                              " ends: _Endpoints, tolerance: Real = 0.0) -> _DeltaOrNoneSegment",
}
ATTRIBUTES = ["COMPILED", "Sequence", "Tuple", "Union", "Integral", "Real", "_Point", "_Delta",
              "_PointSegment", "_DeltaSegment", "_DeltaOrNone", "_DeltaOrNoneSegment", "_Endpoints",
              "MAX_LOOKBACK", *SIGNATURES, "__test__"]


def test_module_attributes(impl):
    import typing
    import numbers
    assert [k for k in vars(impl) if k in ATTRIBUTES] == ATTRIBUTES
    assert impl.MAX_LOOKBACK == 8 and type(impl.MAX_LOOKBACK) is int and impl.__test__ == {}
    assert (impl.Sequence, impl.Integral, impl.Real) == (typing.Sequence, numbers.Integral, numbers.Real)
    assert impl._DeltaOrNoneSegment == typing.Sequence[typing.Union[typing.Tuple[numbers.Real, numbers.Real], None]]
    assert impl._Endpoints == typing.Sequence[numbers.Integral]
    for name, signature in SIGNATURES.items():
        doc = getattr(impl, name).__doc__
        assert doc.startswith(signature + ("\n\n" if name != "_rot_set" else ""))
    assert impl.gapfill_contour.__annotations__ == {
        "deltas": "_DeltaOrNoneSegment", "coords": "_PointSegment", "return": "_DeltaSegment"}
    assert impl._rot_list.__annotations__ == {"l": "list", "k": "int"}
    assert impl._gapfill_contour_optimize_dp.__annotations__ == {
        "deltas": "_DeltaSegment", "coords": "_PointSegment", "tolerance": "Real", "lookback": "Integral"}
    assert canon([impl._gapfill_contour_bound_forced_set.__defaults__, impl.gapfill_contour_optimize.__defaults__,
                  impl.gapfill_delta_optimize.__defaults__]) == canon([(0,), (0.0,), (0.0,)])


def test_native_shell(native):
    assert native.COMPILED is True and native.__doc__ is None
    assert gil_stays_off()
    # Internal operations are called directly, never through the namespace.
    assert not hasattr(native, "gapfill_segment") and not hasattr(native, "can_gapfill_in_between")


# -- rebinding module names ---------------------------------------------------------

def test_gapfill_delta_calls_rebound_gapfill_contour(impl):
    calls = []

    def contour(deltas, coords):
        calls.append((deltas, coords))
        return ["x"] * len(deltas)

    with rebound("gapfill_contour", contour, impl):
        out = impl.gapfill_delta([None] * 7, [(i, i) for i in range(7)], [2])
    assert out == ["x"] * 7
    assert calls == [([None] * 3, [(0, 0), (1, 1), (2, 2)])] + [([None], [(i, i)]) for i in range(3, 7)]


def test_rebound_helpers_of_contour_optimize(impl):
    with rebound("_gapfill_contour_bound_forced_set", lambda d, c, t: set(), impl):
        # An empty forced set takes the doubled path, where tuples are fine.
        out = impl.gapfill_contour_optimize(tuple(LINE_DELTAS), tuple(LINE))
    assert out == [(0, 0), None, None, (30, 0), (0, 0)]
    rotations, rot_list = [], impl._rot_list
    with rebound("_rot_list", lambda l, k: rotations.append(k) or rot_list(l, k), impl):
        impl.gapfill_contour_optimize(LINE_DELTAS[1:] + LINE_DELTAS[:1], LINE[1:] + LINE[:1])
    assert rotations == [2, 2, -2]
    with rebound("gapfill_contour_optimize", lambda d, c, t: [t] * len(d), impl):
        assert impl.gapfill_delta_optimize(SCALED, SQUARE, [], 7) == [7] * 4


@pytest.mark.parametrize("lookback", [0, 1, 2, 3, 4, 8, 30])
def test_max_lookback_bounds_gaps(impl, lookback):
    coords = [(i, 0) for i in range(20)]
    deltas = [(i, 0) for i in range(19)] + [(0, 0)]
    with rebound("MAX_LOOKBACK", lookback, impl):
        out = impl.gapfill_contour_optimize(deltas, coords)
    assert max_gap(out) <= max(min(lookback, 20) - 2, 0)
    if lookback == 30:
        assert out == [deltas[0]] + [None] * 17 + [deltas[18], deltas[19]]


def max_gap(out):
    """The longest run of None, going around the contour."""
    run = best = 0
    for d in out + out:
        run = run + 1 if d is None else 0
        best = max(best, run)
    return min(best, len(out))


# -- random contours ------------------------------------------------------------------

number = st.one_of(st.integers(-30, 30), st.floats(-100, 100, allow_nan=False), st.sampled_from([0, 0.0, -0.0, 10]))


@st.composite
def contour_coords(draw, min_size=1, max_size=30):
    n = draw(st.integers(min_size, max_size))
    # A few shared values per axis make equal coordinates common.
    pools = [draw(st.lists(number, min_size=1, max_size=4)) for _ in range(2)]
    kind = draw(st.sampled_from([tuple, list]))
    return [kind(draw(st.sampled_from(pool) | number) for pool in pools) for _ in range(n)]


@st.composite
def sparse_deltas(draw, n):
    delta = st.tuples(number, number) | st.lists(number, min_size=2, max_size=2)
    return [draw(st.none() | delta) for _ in range(n)]


@st.composite
def ends_for(draw, n):
    """Sorted contour ends for n points, the last one n - 1."""
    return sorted(draw(st.sets(st.integers(0, n - 1), max_size=5)) | {n - 1})


@st.composite
def interpolation_case(draw):
    coords = draw(contour_coords())
    return draw(sparse_deltas(len(coords))), coords


@st.composite
def optimizer_case(draw, max_size=30):
    coords = draw(contour_coords(max_size=max_size))
    n = len(coords)
    explicit = draw(st.sets(st.integers(0, n - 1), min_size=1, max_size=6))
    sparse = [(draw(st.integers(-20, 20)), draw(st.integers(-20, 20))) if i in explicit else None
              for i in range(n)]
    deltas = list(ref.gapfill_contour(sparse, coords))
    # Points a subnormal distance apart scale a delta to infinity, and no
    # tolerance holds then.
    assume(all(math.isfinite(v) for d in deltas for v in d))
    mode = draw(st.sampled_from(["exact", "round", "noise"]))
    for i, d in enumerate(deltas):
        if mode == "round":
            deltas[i] = (round(d[0]), round(d[1]))
        elif mode == "noise" and draw(st.booleans()):
            deltas[i] = (d[0] + draw(st.floats(-3, 3)), d[1] + draw(st.integers(-2, 2)))
    tolerance = draw(st.sampled_from([0, 0.5, 1, 5, Fraction(1, 2)]))
    return deltas, coords, tolerance


def outline(deltas, coords):
    phantoms = [(0, 0), (7, 0), (0, 9), (0, -3)]
    return deltas + [(1, 0), (0, 0), (0.25, 0.25), (0, -2)], coords + phantoms


hsettings = settings(max_examples=200, deadline=None, suppress_health_check=[HealthCheck.too_slow])


@hsettings
@given(interpolation_case(), st.data())
def test_interpolation_matches_reference(native, case, data):
    deltas, coords = case
    assert_same(native, "gapfill_contour", deltas, coords)
    assert_same(native, "gapfill_contour", tuple(deltas), tuple(coords))
    ends = data.draw(ends_for(len(coords)))
    assert_same(native, "gapfill_delta", *outline(deltas, coords), ends)


@hsettings
@given(optimizer_case(), st.data())
def test_optimizer_matches_reference(native, case, data):
    deltas, coords, tolerance = case
    assert_same(native, "gapfill_contour_optimize", deltas, coords, tolerance)
    assert_same(native, "gapfill_contour_optimize", tuple(deltas), tuple(coords), tolerance)
    assert_same(native, "_gapfill_contour_bound_forced_set", deltas, coords, tolerance)
    forced = ref._gapfill_contour_bound_forced_set(deltas, coords, tolerance)
    assert_same(native, "_gapfill_contour_optimize_dp", deltas, coords, forced, tolerance)
    assert_same(native, "_gapfill_contour_optimize_dp", deltas + deltas, coords + coords, set(), tolerance,
                len(deltas))
    ends = data.draw(ends_for(len(coords)))
    assert_same(native, "gapfill_delta_optimize", *outline(deltas, coords), ends, tolerance)
    k = data.draw(st.integers(-2**31, 2**31 - 1))
    assert_same(native, "_rot_list", deltas, k)
    assert_same(native, "_rot_set", forced, k, len(deltas))


@settings(max_examples=60, deadline=None)
@given(optimizer_case(max_size=14), st.sampled_from([1, 3, 4, 5, 30]))
def test_rebound_max_lookback_matches_reference(native, case, lookback):
    deltas, coords, tolerance = case
    with rebound("MAX_LOOKBACK", lookback, native, ref):
        assert_same(native, "gapfill_contour_optimize", deltas, coords, tolerance)
        assert_same(native, "_gapfill_contour_optimize_dp", deltas, coords, set(), tolerance)


BAD_NUMBERS = ["1", None, Fraction(1, 3), Decimal("2.5"), True, 10**400, 1j, [1]]
BAD_POINTS = [5, None, (1,), "ab", [1, 2, 3], ()]
BAD_DELTAS = [(1, 2, 3), (1,), "ab", "abc", [1, 2], ("1", 2), (None, 0), (2, 10**400)]


# 3.14 deprecates complex() with complex parts, which some bad deltas have:
# both implementations call complex(), and warn alike.
@pytest.mark.filterwarnings(r"ignore:complex\(\) argument '\w+' must be a real number, not complex")
@hsettings
@given(optimizer_case(max_size=10), st.data())
def test_malformed_input_matches_reference(native, case, data):
    deltas, coords, tolerance = case
    deltas, coords = list(deltas), [list(p) for p in coords]
    i = data.draw(st.integers(0, len(deltas) - 1))
    where = data.draw(st.sampled_from(["coordinate item", "point", "delta item", "delta"]))
    if where == "coordinate item":
        coords[i][data.draw(st.integers(0, 1))] = data.draw(st.sampled_from(BAD_NUMBERS))
    elif where == "point":
        coords[i] = data.draw(st.sampled_from(BAD_POINTS))
    elif where == "delta item":
        deltas[i] = list(deltas[i])
        deltas[i][data.draw(st.integers(0, 1))] = data.draw(st.sampled_from(BAD_NUMBERS))
    else:
        deltas[i] = data.draw(st.sampled_from(BAD_DELTAS))
    sparse = [d if data.draw(st.booleans()) else None for d in deltas]
    assert_same(native, "gapfill_contour", sparse, coords)
    assert_same(native, "gapfill_contour_optimize", deltas, coords, tolerance)
    assert_same(native, "_gapfill_contour_bound_forced_set", deltas, coords, tolerance)
    assert_same(native, "_gapfill_contour_optimize_dp", deltas, coords, set(), tolerance)


@settings(max_examples=150, deadline=None)
@given(optimizer_case(), st.data())
def test_optimized_deltas_interpolate_back(impl, case, data):
    deltas, coords, tolerance = case
    ends = data.draw(ends_for(len(coords)))
    deltas, coords = outline(deltas, coords)
    # Interpolation between extreme coordinates can overflow; an infinite
    # delta is never within a tolerance of itself.
    assume(all(math.isfinite(v) for d in deltas for v in d))
    out = impl.gapfill_delta_optimize(deltas, coords, ends, tolerance)
    assert all(o is d for o, d in zip(out, deltas) if o is not None)
    back = impl.gapfill_delta(out, coords, ends)
    for (x, y), (p, q) in zip(deltas, back):
        assert abs(complex(x - p, y - q)) <= tolerance
    contour = impl.gapfill_contour_optimize(deltas[:-4], coords[:-4], tolerance)
    if sum(d is not None for d in contour) >= 2:
        assert max_gap(contour) <= impl.MAX_LOOKBACK - 2


# -- tracebacks --------------------------------------------------------------------

def entries(exc, every=False):
    """(co_name, tb_lineno) of the traceback entries in the module's source file."""
    tb, out = exc.__traceback__, []
    while tb is not None:
        code = tb.tb_frame.f_code
        if every or code.co_filename == "varLib/gapfill":
            out.append((code.co_name, tb.tb_lineno))
        tb = tb.tb_next
    return out


def first_line(native, name):
    return getattr(native, name).__code__.co_firstlineno


def test_definition_lines_follow_module_order(native):
    lines = [first_line(native, name) for name in SIGNATURES]
    assert lines == sorted(set(lines)) and lines[0] > 1


@pytest.mark.parametrize("name, call, error", [
    ("gapfill_contour", lambda m: m.gapfill_contour([None]), TypeError),
    ("gapfill_delta", lambda m: m.gapfill_delta([], [], [], x=1), TypeError),
    ("_rot_set", lambda m: m._rot_set({1}, 1), TypeError),
    ("gapfill_contour_optimize", lambda m: m.gapfill_contour_optimize([], [], 0, 1), TypeError),
    ("_rot_list", lambda m: m._rot_list((), 1), TypeError),
    ("_rot_set", lambda m: m._rot_set({1}, 1, 2**32), OverflowError),
    ("_gapfill_contour_optimize_dp", lambda m: m._gapfill_contour_optimize_dp([], [], set(), "0"), TypeError),
])
def test_argument_errors_carry_definition_line(native, name, call, error):
    with pytest.raises(error) as info:
        call(native)
    assert entries(info.value) == [(f"{NATIVE}.{name}", first_line(native, name))]


@pytest.mark.parametrize("names, call", [
    (["gapfill_contour", "gapfill_segment"], lambda m: m.gapfill_contour([None, (1, 1)], [(0, 0), ("x", 0)])),
    (["gapfill_delta", "gapfill_contour", "gapfill_segment"],
     lambda m: m.gapfill_delta([None, (1, 1)] + [None] * 4, [(0, 0), (0, "y")] + [(0, 0)] * 4, [1])),
    (["gapfill_delta_optimize", "gapfill_contour_optimize", "_gapfill_contour_bound_forced_set"],
     lambda m: m.gapfill_delta_optimize([(1, 1), (2, 2)] + [(0, 0)] * 4, [(0, 0), ("x", 0)] + [(0, 0)] * 4, [1])),
    (["gapfill_contour_optimize"], lambda m: m.gapfill_contour_optimize([None, (1, 1)], [(0, 0)] * 2)),
    (["_gapfill_contour_optimize_dp", "can_gapfill_in_between"],
     lambda m: m._gapfill_contour_optimize_dp([(1, 2, 3), (0, 0), (0, 0)], [(0, 0)] * 3)),
])
def test_body_errors_name_each_function(native, names, call):
    with pytest.raises((TypeError, ValueError)) as info:
        call(native)
    found = entries(info.value)
    assert [name for name, line in found] == [f"{NATIVE}.{n}" for n in names]
    name, line = found[0]
    assert line > first_line(native, names[0])


def test_rebound_python_function_appears_in_traceback(native):
    def contour(deltas, coords):
        raise KeyError("boom")

    with rebound("gapfill_contour", contour, native), pytest.raises(KeyError) as info:
        native.gapfill_delta([None] * 4, [(0, 0)] * 4, [])
    assert [name for name, line in entries(info.value, every=True)][-2:] == [f"{NATIVE}.gapfill_delta", "contour"]


# -- threads, leaks, optimisation flag --------------------------------------------------

def corpus_like_cases():
    cases = []
    for n in range(3, 40, 3):
        coords = [((i * 37) % 101, (i * 53) % 89) for i in range(n)]
        sparse = [((i * 7) % 11 - 5, (i * 3) % 7) if i % 4 == 0 else None for i in range(n)]
        deltas = [(round(x), round(y)) for x, y in ref.gapfill_contour(sparse, coords)]
        cases.append((sparse, deltas, coords))
    return cases


def test_threads(native):
    cases = corpus_like_cases()

    def results(m):
        return [(canon(m.gapfill_contour(s, c), (s,)), canon(m.gapfill_contour_optimize(d, c, 1), (d,)))
                for s, d, c in cases]

    expected, barrier, failures = results(ref), threading.Barrier(8), []

    def work():
        barrier.wait()
        for _ in range(20):
            if results(native) != expected:
                failures.append(True)

    run_threads(work, 8)
    assert not failures


def test_no_leaks(native):
    sparse, deltas, coords = corpus_like_cases()[8]
    line_deltas, line = [(x + 0, y) for x, y in LINE_DELTAS], [(x + 0, y) for x, y in LINE]
    calls = [
        lambda: native.gapfill_contour(sparse, coords),
        lambda: native.gapfill_delta(*outline(sparse, coords), [5]),
        lambda: native.gapfill_contour_optimize(deltas, coords, 0.5),
        lambda: native.gapfill_contour_optimize(line_deltas, line),
        lambda: native.gapfill_delta_optimize(*outline(deltas, coords), [3, 9], 1),
        lambda: native._gapfill_contour_optimize_dp(deltas, coords, {3}, 1, 5),
        lambda: native._rot_set({1, 2}, 3, 7),
        # Error paths.
        lambda: native.gapfill_contour([None] + sparse[1:], [(0, "x")] + coords[1:]),
        lambda: native.gapfill_contour_optimize(tuple(line_deltas), line),
        lambda: native.gapfill_delta(sparse, coords, [1]),
        lambda: native._rot_list(deltas, 2**40),
        lambda: native._gapfill_contour_optimize_dp(deltas, coords, None),
        lambda: native.gapfill_contour(sparse),
    ]
    watched = [sparse, deltas, coords, line_deltas, line, *sparse, *deltas, *coords]

    counts, after, grown = references_and_growth(calls, watched, 50, 500)
    assert after == counts
    assert grown < 100_000


ASSERT_SCRIPT = """
import importlib, sys
sys.path.insert(0, sys.argv[1])
m = importlib.import_module(sys.argv[2])
for call in (lambda: m.gapfill_delta([None] * 4, [(0, 0)] * 4, ()),
             lambda: m.gapfill_contour([(1, 2), None], [(0, 0), (5, 5), (9, 9)])):
    try:
        print(call())
    except Exception as e:
        print(type(e).__name__)
"""


@pytest.mark.parametrize("optimise", [False, True])
def test_assertions_follow_optimisation_flag(impl, optimise):
    name = NATIVE if impl is not ref else "reference.gapfill"
    flags = ["-O"] if optimise else []
    env = dict(os.environ, PYTHONDONTWRITEBYTECODE="1")
    run = subprocess.run([sys.executable, *flags, "-c", ASSERT_SCRIPT, os.path.dirname(__file__), name],
                         capture_output=True, text=True, env=env, check=True)
    expected = ["TypeError", "[(1, 2), (1.0, 2.0)]"] if optimise else ["AssertionError", "AssertionError"]
    assert run.stdout.split("\n")[:2] == expected


# -- Python code that changes `ends` while the native loop runs -----------------

def _shared_ends_case():
    # `ends + [...]` returns a list that the coordinates' __float__ empties
    # while the loop still runs over it.
    shared = []

    class Ends(list):
        def __add__(self, other):
            shared[:] = list(self) + list(other)
            return shared

    class Coord:
        def __float__(self):
            shared.clear()
            return 5.0

    deltas = [(0, 0), None, (10, 20), None, (1, 1), None, None]
    coords = [(0, 0), (Coord(), 5), (10, 10), (0, 0), (0, 0), (0, 0), (0, 0)]
    return deltas, coords, Ends([2])


def _len_touches_ends_case():
    # len(coords) runs after sorted(ends) == ends and before ends[-1] is read.
    ends = [2]

    class Coords(list):
        def __len__(self):
            ends.append(3)
            return 8

    deltas = [(1, 1), None, (3, 3), (4, 4), None, None, None, None]
    return deltas, Coords([(0, 0), (1, 1), (2, 2), (3, 3), (0, 0), (0, 0), (0, 0), (0, 0)]), ends


@pytest.mark.parametrize("case", [_shared_ends_case, _len_touches_ends_case])
def test_ends_changed_by_python_code_in_the_loop(native, case):
    assert outcome(native.gapfill_delta, *case()) == outcome(ref.gapfill_delta, *case())


def test_ends_mutated_by_another_thread(native):
    # A list subclass hands out a list that another thread keeps resizing.
    shared = list(range(3)) + [3, 4, 5, 6]
    stop = threading.Event()

    class Ends(list):
        def __add__(self, other):
            return shared

    def churn():
        while not stop.is_set():
            shared.append(6)
            del shared[3:]
            shared.extend([3, 4, 5, 6])

    deltas = [(1.0, 1.0), None, (3.0, 3.0), None, None, None, None]
    coords = [(0.0, 0.0), (1.0, 1.0), (2.0, 2.0), (0, 0), (0, 0), (0, 0), (0, 0)]
    worker = threading.Thread(target=churn)
    worker.start()
    try:
        for _ in range(2000):
            try:
                out = native.gapfill_delta(deltas, coords, Ends([2]))
            except IndexError:
                continue
            assert all(d is None or isinstance(d, tuple) for d in out)
    finally:
        stop.set()
        worker.join()


def test_unsorted_ends_without_assertions():
    # With assertions off nothing checks `ends`: a contour may then end
    # before it starts, and its slices are empty, as Python's are.
    code = (
        "import sys; sys.path.insert(0, 'tests')\n"
        "from reference import gapfill as ref\n"
        "from vellary.varLib.gapfill import gapfill_delta\n"
        "d = [(1, 1), None, (2, 2), None, (0, 0), None, (1, 1)] + [(0, 0)] * 4\n"
        "c = [(i, i % 3) for i in range(11)]\n"
        "for ends in ([5, 2], [3, 6], [6, 3, 1]):\n"
        "    for seq in (list, tuple):\n"
        "        assert gapfill_delta(seq(d), seq(c), ends) == ref.gapfill_delta(seq(d), seq(c), ends), ends\n"
    )
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    run = subprocess.run([sys.executable, "-O", "-c", code], cwd=root, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
