"""Typed parameters: what each declared type accepts, and the errors it raises."""

import fractions

import pytest

from vellary.varLib import gapfill


@pytest.fixture(scope="module")
def split_gen():
    pytest.importorskip("vellary.demote.errors")
    from vellary.demote import demote

    return demote._split_cubic_into_n_gen


class Index:
    def __index__(self):
        return 3


class Floaty:
    def __float__(self):
        return 0.25


class Complexy:
    def __complex__(self):
        return 1 + 2j


@pytest.mark.parametrize("value, rotated", [(1, [4, 1, 2, 3]), (1.9, [4, 1, 2, 3]), (-1.9, [2, 3, 4, 1]), (True, [4, 1, 2, 3])])
def test_int_accepts_ints_and_truncates_floats(value, rotated):
    assert gapfill._rot_list([1, 2, 3, 4], value) == rotated


@pytest.mark.parametrize(
    "value, exc, message",
    [
        (2**40, OverflowError, "value too large to convert to int"),
        (-(2**40), OverflowError, "value too large to convert to int"),
        ("3", TypeError, "an integer is required"),
        (None, TypeError, "an integer is required"),
    ],
)
def test_int_rejections(value, exc, message):
    with pytest.raises(exc) as info:
        gapfill._rot_list([1, 2], value)
    assert str(info.value) == message
    assert info.value.__traceback__.tb_next.tb_lineno == gapfill._rot_list.__code__.co_firstlineno


@pytest.mark.parametrize("value", [0, 0.0, fractions.Fraction(1, 4), Floaty(), Index(), True])
def test_double_accepts_what_float_accepts(value):
    chain, costs = gapfill._gapfill_contour_optimize_dp([(0, 0)] * 3, [(0, 0), (1, 1), (2, 0)], set(), value)
    assert costs[-1] == 0


def test_double_rejects_str_with_the_interpreters_error():
    with pytest.raises(TypeError, match="^must be real number, not str$"):
        gapfill._gapfill_contour_optimize_dp([], [], set(), "0")


@pytest.mark.parametrize(
    "func, args, name, expected",
    [
        (gapfill._rot_list, ((1, 2), 1), "l", "list"),
        (gapfill._rot_list, (None, 1), "l", "list"),
        (gapfill._rot_set, ([0], 1, 2), "s", "set"),
        (gapfill._rot_set, (frozenset(), 1, 2), "s", "set"),
        (gapfill._gapfill_contour_optimize_dp, ([], [], [1]), "forced", "set"),
    ],
)
def test_containers_must_be_exact(func, args, name, expected):
    with pytest.raises(TypeError) as info:
        func(*args)
    got = type(args[0] if name in "ls" else args[2]).__name__
    assert str(info.value) == f"Argument '{name}' has incorrect type (expected {expected}, got {got})"
    assert not getattr(info.value, "__notes__", None)


@pytest.mark.parametrize("func, arg", [(gapfill._rot_list, type("L", (list,), {})([1])), (gapfill._rot_set, type("S", (set,), {})())])
def test_container_subclasses_are_rejected_with_a_note(func, arg):
    with pytest.raises(TypeError) as info:
        func(arg, 1, 2) if func is gapfill._rot_set else func(arg, 1)
    assert "has incorrect type" in str(info.value)
    assert len(info.value.__notes__) == 1 and "ubclass" in info.value.__notes__[0]


def test_none_passes_where_allowed():
    assert gapfill._gapfill_contour_optimize_dp([], [], None) == ({-1: None}, {-1: 0})


@pytest.mark.parametrize("point", [1, 1.5, 1 + 2j, True, Floaty(), Index(), Complexy()])
def test_complex_accepts_numbers(split_gen, point):
    (piece,) = split_gen(point, point, point, point, 1)
    assert piece[0] == complex(point)


@pytest.mark.parametrize("point", ["1", None, [1, 2]])
def test_complex_rejections_are_raised_at_the_call(split_gen, point):
    with pytest.raises(TypeError):
        split_gen(point, 0, 0, 0, 1)
