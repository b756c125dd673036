"""The rectangle and transform helpers that curvemath builds on."""

import math

import pytest
from hypothesis import given, strategies as st

from vellary.misc.boxmath import calcBounds, rectArea, sectRect, unionRect
from vellary.misc.transform import Identity, Transform


@pytest.mark.parametrize("points, expected", [
    # The earliest of equal values wins, so the type of a bound tells which
    # point it came from.
    ([(0.0, 0.0), (0, 0), (100, 100)], (0.0, 0.0, 100, 100)),
    ([(0, 0), (0.0, 0.0), (100, 100)], (0, 0, 100, 100)),
    ([(100, 50.0), (0, 0), (100.0, 50)], (0, 0, 100, 50.0)),
    ([(3, -1)], (3, -1, 3, -1)),
])
def test_calc_bounds_ties_keep_the_earliest(points, expected):
    result = calcBounds(points)
    assert result == expected
    assert [type(v) for v in result] == [type(v) for v in expected]


@pytest.mark.parametrize("r1, r2, common", [
    ((0, 0, 10, 10), (5, 5, 20, 20), (5, 5, 10, 10)),
    ((0, 0, 10, 10), (10, 10, 20, 20), (10, 10, 10, 10)),  # corner contact
    ((0, 0, 10, 0), (5, -5, 6, 5), (5, 0, 6, 0)),  # zero-height box
    ((-3, 1, 8, 4), (0, -2, 2, 9), (0, 1, 2, 4)),  # a cross: each box supplies two sides
    ((0, 0, 10, 10), (10.5, 0, 20, 10), None),
    ((0, 0, 10, 10), (0, 11, 10, 20), None),
])
def test_sect_rect(r1, r2, common):
    for a, b in [(r1, r2), (r2, r1)]:
        assert sectRect(a, b) == ((True, common) if common else (False, (0, 0, 0, 0)))


def test_rect_area_and_union():
    assert rectArea((1, 2, 4, 6)) == 12
    assert rectArea((0, 0, 0, 5)) == 0
    assert unionRect((0, 0, 1, 1), (-1, 2, 0, 3)) == (-1, 0, 1, 3)


finite = st.floats(-1e3, 1e3)


@given(st.floats(-10, 10), finite, finite, finite, finite)
def test_alignment_translates_first_then_rotates(angle, sx, sy, px, py):
    t = Identity.rotate(-angle).translate(-sx, -sy)
    x, y = px - sx, py - sy
    c, s = math.cos(-angle), math.sin(-angle)
    expected = (c * x - s * y, s * x + c * y)
    got = t.transformPoint((px, py))
    assert got == pytest.approx(expected, abs=1e-9)
    assert t.transformPoints([(px, py), (sx, sy)]) == [got, (0.0, 0.0)]


@pytest.mark.parametrize("end", [(0, 7), (0, -7), (-7, 0), (7, 0)])
def test_axis_parallel_alignment_is_exact(end):
    start = (3, 4)
    points = [start, (start[0] + end[0] / 2, start[1] + end[1] / 2), (start[0] + end[0], start[1] + end[1])]
    angle = math.atan2(end[1], end[0])
    aligned = Identity.rotate(-angle).translate(-start[0], -start[1]).transformPoints(points)
    assert [y for _, y in aligned] == [0, 0, 0]
    assert [x for x, _ in aligned] == [0, 3.5, 7]


def test_transform_is_immutable_and_int_preserving():
    t = Identity.translate(2, 3).scale(2)
    assert Identity == Transform(1, 0, 0, 1, 0, 0)
    assert t.transformPoint((1, 1)) == (4, 5)
    assert all(type(v) is int for v in t.transformPoint((1, 1)))
    with pytest.raises(AttributeError):
        t.dx = 0
    back = t.inverse().transformPoint((4, 5))
    assert back == pytest.approx((1, 1))
