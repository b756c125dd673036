"""Every module of the API in use, as an application would write it: it runs,
and `mypy --strict` accepts it against the shipped stubs."""

import io
import random

import vellary
from vellary.demote import ApproxNotFoundError, curve_to_quadratic, curves_to_quadratic
from vellary.demote.benchmark import generate_curve
from vellary.feaLib.error import FeatureLibError
from vellary.feaLib.lexer import IncludingLexer, Lexer, NonIncludingLexer
from vellary.feaLib.location import FeatureLibLocation
from vellary.misc.boxmath import calcBounds, rectArea, sectRect, unionRect
from vellary.misc.curvemath import Intersection, solveCubic, solveQuadratic
from vellary.misc.transform import Identity, Offset, Transform
from vellary.varLib.gapfill import gapfill_contour, gapfill_contour_optimize

Point = tuple[float, float]


def spline_segments(cubic: list[Point], tolerance: float) -> int:
    try:
        return len(curve_to_quadratic(cubic, tolerance)) - 2
    except ApproxNotFoundError as e:
        assert isinstance(e.curve, list)
        return -1


def names(text: str) -> list[str]:
    found: list[str] = []
    for kind, value, location in Lexer(text, "example.fea"):
        assert isinstance(location, FeatureLibLocation) and location.line >= 1
        if kind == Lexer.NAME and isinstance(value, str):
            found.append(value)
    return found


def main() -> None:
    assert vellary.__version__.count(".") == 2
    roots: list[float] = sorted(solveCubic(1, -6, 11, -6)) + solveQuadratic(1.0, -3.0, 2.0)
    assert roots == [1.0, 2.0, 3.0, 2.0, 1.0]
    assert Intersection(pt=(0.0, 0.0), t1=0.5, t2=0.25).t2 == 0.25

    cubic: list[Point] = [(0, 0), (0, 100), (100, 100), (100, 0)]
    assert spline_segments(cubic, 1) == 4 and spline_segments(cubic, 0) == -1
    pair = curves_to_quadratic([cubic, generate_curve(random.Random(1))], [1.0, 1.0])
    assert len(pair[0]) == len(pair[1])

    moved: Transform = Offset(10, 0).transform(Identity.scale(2))
    box = calcBounds(moved.transformPoints(cubic))
    overlap, common = sectRect(box, unionRect(box, (0, 0, 1, 1)))
    assert overlap and rectArea(common) == rectArea(box)

    filled = gapfill_contour([(0, 0), None, (10, 20)], [(0, 0), (5, 5), (10, 10)])
    assert list(filled[1]) == [5.0, 10.0]
    assert gapfill_contour_optimize([(1, 1), (1, 1)], [(0, 0), (10, 0)]) == [(1, 1), None]

    assert names("sub f i by f_i;") == ["sub", "f", "i", "by", "f_i"]
    kinds = [token[0] for token in NonIncludingLexer(io.StringIO("include(other.fea);"))]
    assert kinds == [Lexer.NAME, Lexer.FILENAME, Lexer.SYMBOL]
    try:
        list(IncludingLexer(io.StringIO("include(missing.fea);"), includeDir="."))
    except FeatureLibError as e:
        assert e.location is not None


if __name__ == "__main__":
    main()
