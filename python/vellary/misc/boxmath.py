"""Axis-aligned rectangles and point bounds.

A rectangle is a 4-tuple ``(xMin, yMin, xMax, yMax)``.  The functions work
with whatever numbers they are given and never convert them: an ``int``
coordinate comes back as that same ``int``, so callers can tell which bound
came from which point.
"""

__all__ = ["calcBounds", "normRect", "sectRect", "unionRect", "rectArea"]


def calcBounds(array):
    """Return the bounding rectangle ``(xMin, yMin, xMax, yMax)`` of 2D points.

    ``array`` is a sequence of (x, y) pairs.  Among equal coordinates the one
    of the earliest point wins, for the minima and the maxima alike (that is
    how the builtin ``min`` and ``max`` pick), so ``0.0`` listed before ``0``
    gives ``0.0``.  An empty sequence gives ``(0, 0, 0, 0)``.

    >>> calcBounds([(0.0, 5), (0, 5.0), (10, -1)])
    (0.0, -1, 10, 5)
    """
    if not array:
        return 0, 0, 0, 0
    xs = [x for x, y in array]
    ys = [y for x, y in array]
    return min(xs), min(ys), max(xs), max(ys)


def normRect(rect):
    """Return ``rect`` with its corners ordered so that min <= max.

    >>> normRect((10, 5, 0, 0))
    (0, 0, 10, 5)
    """
    xMin, yMin, xMax, yMax = rect
    return min(xMin, xMax), min(yMin, yMax), max(xMin, xMax), max(yMin, yMax)


def sectRect(rect1, rect2):
    """Intersect two rectangles; return ``(intersects, rect)``.

    ``intersects`` is a bool and ``rect`` the common part.  Rectangles that
    only share an edge or a corner count as intersecting, with a rectangle of
    zero width or height as their common part: a degenerate box (of a flat
    curve, say) has zero area and must still be able to meet another box.
    When the rectangles are disjoint, ``rect`` is ``(0, 0, 0, 0)``.

    >>> sectRect((0, 0, 10, 10), (5, 5, 20, 20))
    (True, (5, 5, 10, 10))
    >>> sectRect((0, 0, 10, 10), (10, 0, 20, 10))
    (True, (10, 0, 10, 10))
    >>> sectRect((0, 0, 10, 10), (11, 0, 20, 10))
    (False, (0, 0, 0, 0))
    """
    xMin1, yMin1, xMax1, yMax1 = rect1
    xMin2, yMin2, xMax2, yMax2 = rect2
    xMin, yMin = max(xMin1, xMin2), max(yMin1, yMin2)
    xMax, yMax = min(xMax1, xMax2), min(yMax1, yMax2)
    if xMin > xMax or yMin > yMax:
        return False, (0, 0, 0, 0)
    return True, (xMin, yMin, xMax, yMax)


def unionRect(rect1, rect2):
    """Return the smallest rectangle that contains both rectangles.

    >>> unionRect((0, 0, 1, 1), (5, -2, 6, 0))
    (0, -2, 6, 1)
    """
    xMin1, yMin1, xMax1, yMax1 = rect1
    xMin2, yMin2, xMax2, yMax2 = rect2
    return min(xMin1, xMin2), min(yMin1, yMin2), max(xMax1, xMax2), max(yMax1, yMax2)


def rectArea(rect):
    """Return the area of a rectangle (never negative for a normalised one).

    >>> rectArea((0, 0, 10, 2.5))
    25.0
    """
    xMin, yMin, xMax, yMax = rect
    return (xMax - xMin) * (yMax - yMin)
