"""Immutable 2D affine transforms.

A ``Transform`` holds the six numbers ``(xx, xy, yx, yy, dx, dy)`` and maps
a point (x, y) to::

    x' = xx * x + yx * y + dx
    y' = xy * x + yy * y + dy

Every operation returns a new transform; nothing is modified in place.

Composition: ``t.op(...)`` returns a transform that applies ``op`` to the
point *first* and ``t`` afterwards, so a chain reads outermost first.  For
example ``Identity.rotate(-a).translate(-sx, -sy)`` moves a point by
(-sx, -sy) and then rotates it by -a: it brings (sx, sy) to the origin and
the direction ``a`` onto the positive x axis.

>>> t = Identity.translate(10, 0).scale(2)
>>> t.transformPoint((1, 1))
(12, 2)
"""

import math
from typing import NamedTuple

__all__ = ["Transform", "Identity", "Offset", "Scale"]

# sin and cos of multiples of a quarter turn come out as 6.1e-17 and the
# like; snapping them makes quarter-turn rotations exact, so that points on
# an axis-parallel line land exactly on an axis after alignment.
_SNAP = 1e-15


def _snap(v):
    if abs(v) < _SNAP:
        return 0.0
    if abs(v - 1.0) < _SNAP:
        return 1.0
    if abs(v + 1.0) < _SNAP:
        return -1.0
    return v


class Transform(NamedTuple):
    """An affine transform ``(xx, xy, yx, yy, dx, dy)``; the default is the identity.

    Being a tuple, a transform compares, hashes and unpacks like its six
    numbers.  Coordinates keep their own arithmetic: ``int`` points under an
    ``int`` transform stay ``int``.
    """

    xx: float = 1
    xy: float = 0
    yx: float = 0
    yy: float = 1
    dx: float = 0
    dy: float = 0

    def transform(self, other):
        """Return the transform that applies ``other`` first, then ``self``.

        ``other`` is a Transform or any sequence of six numbers.

        >>> Identity.scale(2).transform((1, 0, 0, 1, 5, 0)).transformPoint((0, 0))
        (10, 0)
        """
        xx1, xy1, yx1, yy1, dx1, dy1 = other
        xx2, xy2, yx2, yy2, dx2, dy2 = self
        return Transform(
            xx1 * xx2 + xy1 * yx2,
            xx1 * xy2 + xy1 * yy2,
            yx1 * xx2 + yy1 * yx2,
            yx1 * xy2 + yy1 * yy2,
            xx2 * dx1 + yx2 * dy1 + dx2,
            xy2 * dx1 + yy2 * dy1 + dy2,
        )

    def translate(self, x=0, y=0):
        """Return ``self`` preceded by a move by (x, y).

        >>> Identity.translate(3, 4).transformPoint((1, 1))
        (4, 5)
        """
        return self.transform((1, 0, 0, 1, x, y))

    def scale(self, x=1, y=None):
        """Return ``self`` preceded by a scaling by x horizontally and y
        (default: x) vertically.

        >>> Identity.scale(2, 3).transformPoint((1, 1))
        (2, 3)
        """
        if y is None:
            y = x
        return self.transform((x, 0, 0, y, 0, 0))

    def rotate(self, angle):
        """Return ``self`` preceded by a counter-clockwise rotation by
        ``angle`` radians about the origin.

        >>> Identity.rotate(math.pi / 2).transformPoint((1, 0))
        (0.0, 1.0)
        """
        c = _snap(math.cos(angle))
        s = _snap(math.sin(angle))
        return self.transform((c, s, -s, c, 0, 0))

    def inverse(self):
        """Return the transform that undoes ``self``.

        Raises ZeroDivisionError when ``self`` is singular.

        >>> t = Identity.translate(5, 0).scale(2)
        >>> t.inverse().transformPoint(t.transformPoint((3, 4)))
        (3.0, 4.0)
        """
        xx, xy, yx, yy, dx, dy = self
        det = xx * yy - xy * yx
        xx, xy, yx, yy = yy / det, -xy / det, -yx / det, xx / det
        return Transform(xx, xy, yx, yy, -(xx * dx + yx * dy), -(xy * dx + yy * dy))

    def transformPoint(self, p):
        """Return the image of the point ``p = (x, y)`` as a tuple."""
        x, y = p
        return (self.xx * x + self.yx * y + self.dx, self.xy * x + self.yy * y + self.dy)

    def transformPoints(self, points):
        """Return the images of a sequence of points, as a list of tuples in
        the same order."""
        xx, xy, yx, yy, dx, dy = self
        return [(xx * x + yx * y + dx, xy * x + yy * y + dy) for x, y in points]


Identity = Transform()


def Offset(x=0, y=0):
    """Return a transform that moves points by (x, y)."""
    return Transform(1, 0, 0, 1, x, y)


def Scale(x, y=None):
    """Return a transform that scales by x and y (default: x)."""
    if y is None:
        y = x
    return Transform(x, 0, 0, y, 0, 0)
