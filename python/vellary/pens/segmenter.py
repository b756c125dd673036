"""A base pen that hands its subclass one segment at a time.

A subclass implements the protected methods ``_moveTo(pt)``,
``_lineTo(pt)``, ``_qCurveToOne(pt1, pt2)`` (one quadratic segment: its
control point and end), ``_curveToOne(pt1, pt2, pt3)`` (one cubic segment),
``_closePath()`` and ``_endPath()``, and reads the start of the segment with
``_getCurrentPoint()``.  The public drawing calls break quadratic splines
into single segments, inserting the implied on-curve point halfway between
two consecutive off-curve points.
"""

__all__ = ["OpenContourError", "PenError", "Segmenter"]


class PenError(Exception):
    """A pen was asked to do something it cannot do."""


class OpenContourError(PenError):
    """A pen that measures closed contours was given an open one."""


class Segmenter:
    """Base class of pens that work segment by segment."""

    def __init__(self, glyphset=None):
        self.glyphSet = glyphset
        self._currentPoint = None

    def _getCurrentPoint(self):
        """The end of the last segment, or the point of the last moveTo;
        None outside a contour."""
        return self._currentPoint

    # -- the drawing calls ----------------------------------------------------

    def moveTo(self, pt):
        self._moveTo(pt)
        self._currentPoint = pt

    def lineTo(self, pt):
        self._lineTo(pt)
        self._currentPoint = pt

    def curveTo(self, *points):
        """A cubic segment (two controls and the end); one point draws a
        line, two a quadratic."""
        n = len(points)
        if n == 3:
            self._curveToOne(points[0], points[1], points[2])
        elif n == 2:
            self._qCurveToOne(*points)
        elif n == 1:
            self._lineTo(points[0])
        else:
            raise PenError(f"curveTo takes 1 to 3 points, not {n}")
        self._currentPoint = points[-1]

    def qCurveTo(self, *points):
        """A quadratic spline: off-curve points, then the on-curve end.  An
        end of None makes a closed contour of off-curve points only, whose
        first on-curve point is implied between its last and first ones; it
        starts a contour of its own."""
        n = len(points)
        if n == 0:
            raise PenError("qCurveTo needs at least one point")
        if points[-1] is None:
            if n < 2:
                raise PenError("a contour of off-curve points needs at least one of them")
            points = points[:-1]
            start = _midpoint(points[-1], points[0])
            self.moveTo(start)
            points = points + (start,)
            n = len(points)
        if n == 1:
            self.lineTo(points[0])
            return
        for i in range(n - 2):
            pt1 = points[i]
            end = _midpoint(pt1, points[i + 1])
            self._qCurveToOne(pt1, end)
            self._currentPoint = end
        self._qCurveToOne(points[-2], points[-1])
        self._currentPoint = points[-1]

    def closePath(self):
        self._closePath()
        self._currentPoint = None

    def endPath(self):
        self._endPath()
        self._currentPoint = None

    # -- what a subclass implements -----------------------------------------

    def _moveTo(self, pt):
        raise NotImplementedError

    def _lineTo(self, pt):
        raise NotImplementedError

    def _qCurveToOne(self, pt1, pt2):
        raise NotImplementedError

    def _curveToOne(self, pt1, pt2, pt3):
        raise NotImplementedError

    def _closePath(self):
        pass

    def _endPath(self):
        pass


def _midpoint(a, b):
    (ax, ay), (bx, by) = a, b
    return ((ax + bx) * 0.5, (ay + by) * 0.5)
