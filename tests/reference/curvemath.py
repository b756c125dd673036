"""Pure-Python model of vellary.misc.curvemath, used as the test oracle.

Each function is written statement for statement in the order the native
module evaluates it, so that a differential test can demand identical
floats, types and exceptions.  Keep it plain: no shortcuts, no rewriting of
expressions into "equivalent" forms (they are not equivalent in floating
point, nor for objects with their own arithmetic).

Module constants are read through the module namespace at each call, as the
native functions do, so tests may rebind them here as well.

The complex (`C`) functions promote every real factor to a complex number
before multiplying, as C does; `_promoted` says so explicitly, because from
3.14 on Python multiplies a real and a complex number component-wise, which
gives other signs of zero and other results with infinities.
"""

import math
from math import sqrt, acos, cos, pi

from collections import namedtuple

from vellary.misc.boxmath import calcBounds, sectRect, rectArea
from vellary.misc.transform import Identity

Intersection = namedtuple("Intersection", ["pt", "t1", "t2"])

EPSILON = 1e-9

epsilonDigits = 6
epsilon = 1e-10


def solveQuadratic(a, b, c, sqrt=sqrt):
    """solveQuadratic(a, b, c, sqrt=sqrt)

    Real roots of a*x*x + b*x + c; neither sorted nor unique.
    """
    if abs(a) < epsilon:
        if abs(b) < epsilon:
            # No equation at all: no roots.
            return []
        return [-c / b]
    DD = b * b - 4.0 * a * c
    if DD >= 0.0:
        rDD = sqrt(DD)
        # A double root is listed twice.
        return [(-b + rDD) / 2.0 / a, (-b - rDD) / 2.0 / a]
    # Negative discriminant, or NaN.
    return []


def solveCubic(a, b, c, d):
    """solveCubic(a, b, c, d)

    Real roots of a*x*x*x + b*x*x + c*x + d; neither sorted nor unique.
    """
    if abs(a) < epsilon:
        # Called without sqrt: the default bound at definition applies.
        return solveQuadratic(b, c, d)
    a = float(a)
    a1 = b / a
    a2 = c / a
    a3 = d / a

    Q = (a1 * a1 - 3.0 * a2) / 9.0
    R = (2.0 * a1 * a1 * a1 - 9.0 * a1 * a2 + 27.0 * a3) / 54.0

    R2 = R * R
    Q3 = Q * Q * Q
    # The integer 0 is deliberate: it changes the types seen further on.
    if R2 < epsilon:
        R2 = 0
    if abs(Q3) < epsilon:
        Q3 = 0

    R2_Q3 = R2 - Q3

    if R2 == 0.0 and Q3 == 0.0:
        x = round(-a1 / 3.0, epsilonDigits)
        return [x, x, x]
    elif R2_Q3 <= epsilon * 0.5:
        # min/max keep the first operand on ties and for NaN; spelt out so
        # that the comparisons are exactly those of the builtins.
        m = R / sqrt(Q3)
        if 1.0 < m:
            m = 1.0
        if -1.0 > m:
            m = -1.0
        theta = acos(m)
        rQ2 = -2.0 * sqrt(Q)
        a1_3 = a1 / 3.0
        x0 = rQ2 * cos(theta / 3.0) - a1_3
        x1 = rQ2 * cos((theta + 2.0 * pi) / 3.0) - a1_3
        x2 = rQ2 * cos((theta + 4.0 * pi) / 3.0) - a1_3
        x0, x1, x2 = sorted([x0, x1, x2])
        if x1 - x0 < epsilon and x2 - x1 < epsilon:
            x0 = x1 = x2 = round((x0 + x1 + x2) / 3.0, epsilonDigits)
        elif x1 - x0 < epsilon:
            x0 = x1 = round((x0 + x1) / 2.0, epsilonDigits)
            x2 = round(x2, epsilonDigits)
        elif x2 - x1 < epsilon:
            x0 = round(x0, epsilonDigits)
            x1 = x2 = round((x1 + x2) / 2.0, epsilonDigits)
        else:
            x0 = round(x0, epsilonDigits)
            x1 = round(x1, epsilonDigits)
            x2 = round(x2, epsilonDigits)
        return [x0, x1, x2]
    else:
        x = (sqrt(R2_Q3) + abs(R)) ** (1 / 3)
        x = x + Q / x
        if R >= 0.0:
            x = -x
        x = round(x - a1 / 3.0, epsilonDigits)
        return [x]


def calcQuadraticParameters(pt1, pt2, pt3):
    x2, y2 = pt2
    x3, y3 = pt3
    cx, cy = pt1
    bx = (x2 - cx) * 2.0
    by = (y2 - cy) * 2.0
    ax = x3 - cx - bx
    ay = y3 - cy - by
    return (ax, ay), (bx, by), (cx, cy)


def calcCubicParameters(pt1, pt2, pt3, pt4):
    x2, y2 = pt2
    x3, y3 = pt3
    x4, y4 = pt4
    dx, dy = pt1
    cx = (x2 - dx) * 3.0
    cy = (y2 - dy) * 3.0
    bx = (x3 - x2) * 3.0 - cx
    by = (y3 - y2) * 3.0 - cy
    ax = x4 - dx - cx - bx
    ay = y4 - dy - cy - by
    return (ax, ay), (bx, by), (cx, cy), (dx, dy)


def _promoted(x):
    return complex(x)


def calcCubicParametersC(pt1, pt2, pt3, pt4):
    c = (pt2 - pt1) * _promoted(3.0)
    b = (pt3 - pt2) * _promoted(3.0) - c
    d = pt1
    a = pt4 - pt1 - c - b
    return (a, b, c, d)


def calcQuadraticPoints(a, b, c):
    ax, ay = a
    bx, by = b
    cx, cy = c
    x1 = cx
    y1 = cy
    x2 = (bx * 0.5) + cx
    y2 = (by * 0.5) + cy
    x3 = ax + bx + cx
    y3 = ay + by + cy
    return (x1, y1), (x2, y2), (x3, y3)


def calcCubicPoints(a, b, c, d):
    ax, ay = a
    bx, by = b
    cx, cy = c
    dx, dy = d
    x1 = dx
    y1 = dy
    x2 = (cx / 3.0) + dx
    y2 = (cy / 3.0) + dy
    x3 = (bx + cx) / 3.0 + x2
    y3 = (by + cy) / 3.0 + y2
    x4 = ax + dx + cx + bx
    y4 = ay + dy + cy + by
    return (x1, y1), (x2, y2), (x3, y3), (x4, y4)


def calcCubicPointsC(a, b, c, d):
    # A product with the double nearest to one third, not a quotient.
    p2 = c * _promoted(1 / 3) + d
    p3 = (b + c) * _promoted(1 / 3) + p2
    p4 = a + b + c + d
    return (d, p2, p3, p4)


def linePointAtT(pt1, pt2, t):
    return ((pt1[0] * (1 - t) + pt2[0] * t), (pt1[1] * (1 - t) + pt2[1] * t))


def quadraticPointAtT(pt1, pt2, pt3, t):
    x = (1 - t) * (1 - t) * pt1[0] + 2 * (1 - t) * t * pt2[0] + t * t * pt3[0]
    y = (1 - t) * (1 - t) * pt1[1] + 2 * (1 - t) * t * pt2[1] + t * t * pt3[1]
    return (x, y)


def cubicPointAtT(pt1, pt2, pt3, pt4, t):
    t2 = t * t
    _1_t = 1 - t
    _1_t_2 = _1_t * _1_t
    x = (
        _1_t_2 * _1_t * pt1[0]
        + 3 * (_1_t_2 * t * pt2[0] + _1_t * t2 * pt3[0])
        + t2 * t * pt4[0]
    )
    y = (
        _1_t_2 * _1_t * pt1[1]
        + 3 * (_1_t_2 * t * pt2[1] + _1_t * t2 * pt3[1])
        + t2 * t * pt4[1]
    )
    return (x, y)


def cubicPointAtTC(pt1, pt2, pt3, pt4, t):
    pt1, pt2, pt3, pt4, t = complex(pt1), complex(pt2), complex(pt3), complex(pt4), float(t)
    u = 1 - t
    u2 = u * u
    h = u * u2
    m = u2 * t
    p = t * t
    r = u * p
    y = t * p
    return ((pt1 * _promoted(h)) + ((pt2 * _promoted(m)) + (pt3 * _promoted(r))) * _promoted(3)) + pt4 * _promoted(y)


def segmentPointAtT(seg, t):
    if len(seg) == 2:
        return linePointAtT(*seg, t)
    elif len(seg) == 3:
        return quadraticPointAtT(*seg, t)
    elif len(seg) == 4:
        return cubicPointAtT(*seg, t)
    raise ValueError("Unknown curve degree")


def _line_t_of_pt(s, e, pt):
    sx, sy = s
    ex, ey = e
    px, py = pt
    if abs(sx - ex) < epsilon and abs(sy - ey) < epsilon:
        return -1
    if abs(sx - ex) > abs(sy - ey):
        return (px - sx) / (ex - sx)
    return (py - sy) / (ey - sy)


def _both_points_are_on_same_side_of_origin(a, b, origin):
    xDiff = (a[0] - origin[0]) * (b[0] - origin[0])
    yDiff = (a[1] - origin[1]) * (b[1] - origin[1])
    return not (xDiff <= 0.0 and yDiff <= 0.0)


def lineLineIntersections(s1, e1, s2, e2):
    s1x, s1y = s1
    e1x, e1y = e1
    s2x, s2y = s2
    e2x, e2y = e2
    if math.isclose(s2x, e2x) and math.isclose(s1x, e1x) and not math.isclose(s1x, s2x):
        return []
    if math.isclose(s2y, e2y) and math.isclose(s1y, e1y) and not math.isclose(s1y, s2y):
        return []
    if math.isclose(s2x, e2x) and math.isclose(s2y, e2y):
        return []
    if math.isclose(s1x, e1x) and math.isclose(s1y, e1y):
        return []
    if math.isclose(e1x, s1x):
        x = s1x
        slope34 = (e2y - s2y) / (e2x - s2x)
        y = slope34 * (x - s2x) + s2y
        pt = (x, y)
        return [Intersection(pt=pt, t1=_line_t_of_pt(s1, e1, pt), t2=_line_t_of_pt(s2, e2, pt))]
    if math.isclose(s2x, e2x):
        x = s2x
        slope12 = (e1y - s1y) / (e1x - s1x)
        y = slope12 * (x - s1x) + s1y
        pt = (x, y)
        return [Intersection(pt=pt, t1=_line_t_of_pt(s1, e1, pt), t2=_line_t_of_pt(s2, e2, pt))]
    slope12 = (e1y - s1y) / (e1x - s1x)
    slope34 = (e2y - s2y) / (e2x - s2x)
    if math.isclose(slope12, slope34):
        return []
    x = (slope12 * s1x - s1y - slope34 * s2x + s2y) / (slope12 - slope34)
    y = slope12 * (x - s1x) + s1y
    pt = (x, y)
    if _both_points_are_on_same_side_of_origin(pt, e1, s1) and _both_points_are_on_same_side_of_origin(pt, s2, e2):
        return [Intersection(pt=pt, t1=_line_t_of_pt(s1, e1, pt), t2=_line_t_of_pt(s2, e2, pt))]
    return []


def _alignment_transformation(segment):
    start = segment[0]
    end = segment[-1]
    angle = math.atan2(end[1] - start[1], end[0] - start[0])
    return Identity.rotate(-angle).translate(-start[0], -start[1])


def _curve_line_intersections_t(curve, line):
    aligned_curve = _alignment_transformation(line).transformPoints(curve)
    if len(curve) == 3:
        a, b, c = calcQuadraticParameters(*aligned_curve)
        intersections = solveQuadratic(a[1], b[1], c[1])
    elif len(curve) == 4:
        a, b, c, d = calcCubicParameters(*aligned_curve)
        intersections = solveCubic(a[1], b[1], c[1], d[1])
    else:
        raise ValueError("Unknown curve degree")
    return sorted(i for i in intersections if 0.0 <= i <= 1)


def curveLineIntersections(curve, line):
    if len(curve) == 3:
        pointFinder = quadraticPointAtT
    elif len(curve) == 4:
        pointFinder = cubicPointAtT
    else:
        raise ValueError("Unknown curve degree")
    intersections = []
    for t in _curve_line_intersections_t(curve, line):
        pt = pointFinder(*curve, t)
        line_t = _line_t_of_pt(*line, pt)
        pt = linePointAtT(*line, line_t)
        intersections.append(Intersection(pt=pt, t1=t, t2=line_t))
    return intersections


def _curve_bounds(c):
    if len(c) == 3:
        return calcQuadraticBounds(*c)
    elif len(c) == 4:
        return calcCubicBounds(*c)
    raise ValueError("Unknown curve degree")


def _split_segment_at_t(c, t):
    if len(c) == 2:
        s, e = c
        midpoint = linePointAtT(s, e, t)
        return [(s, midpoint), (midpoint, e)]
    if len(c) == 3:
        return splitQuadraticAtT(*c, t)
    elif len(c) == 4:
        return splitCubicAtT(*c, t)
    raise ValueError("Unknown curve degree")


def _curve_curve_intersections_t(curve1, curve2, precision=1e-3, range1=None, range2=None):
    if not precision > 0:
        raise ValueError("precision must be a positive number")
    bounds1 = _curve_bounds(curve1)
    bounds2 = _curve_bounds(curve2)
    if not range1:
        range1 = (0.0, 1.0)
    if not range2:
        range2 = (0.0, 1.0)
    intersects, _ = sectRect(bounds1, bounds2)
    if not intersects:
        return []

    def midpoint(r):
        return 0.5 * (r[0] + r[1])

    if rectArea(bounds1) < precision and rectArea(bounds2) < precision:
        return [(midpoint(range1), midpoint(range2))]
    c11, c12 = _split_segment_at_t(curve1, 0.5)
    c11_range = (range1[0], midpoint(range1))
    c12_range = (midpoint(range1), range1[1])
    c21, c22 = _split_segment_at_t(curve2, 0.5)
    c21_range = (range2[0], midpoint(range2))
    c22_range = (midpoint(range2), range2[1])
    found = []
    found.extend(_curve_curve_intersections_t(c11, c21, precision, range1=c11_range, range2=c21_range))
    found.extend(_curve_curve_intersections_t(c12, c21, precision, range1=c12_range, range2=c21_range))
    found.extend(_curve_curve_intersections_t(c11, c22, precision, range1=c11_range, range2=c22_range))
    found.extend(_curve_curve_intersections_t(c12, c22, precision, range1=c12_range, range2=c22_range))
    unique_key = lambda ts: (int(ts[0] / precision), int(ts[1] / precision))  # noqa: E731
    seen = set()
    unique_values = []
    for ts in found:
        key = unique_key(ts)
        if key in seen:
            continue
        seen.add(key)
        unique_values.append(ts)
    return unique_values


def _is_linelike(segment):
    maybeline = _alignment_transformation(segment).transformPoints(segment)
    return all(math.isclose(p[1], 0.0) for p in maybeline)


def curveCurveIntersections(curve1, curve2):
    if _is_linelike(curve1):
        line1 = curve1[0], curve1[-1]
        if _is_linelike(curve2):
            line2 = curve2[0], curve2[-1]
            return lineLineIntersections(*line1, *line2)
        else:
            intersections = curveLineIntersections(curve2, line1)
            return [Intersection(pt=i.pt, t1=i.t2, t2=i.t1) for i in intersections]
    elif _is_linelike(curve2):
        line2 = curve2[0], curve2[-1]
        return curveLineIntersections(curve1, line2)
    intersection_ts = _curve_curve_intersections_t(curve1, curve2)
    return [Intersection(pt=segmentPointAtT(curve1, ts[0]), t1=ts[0], t2=ts[1]) for ts in intersection_ts]


def segmentSegmentIntersections(seg1, seg2):
    swapped = False
    if len(seg2) > len(seg1):
        seg2, seg1 = seg1, seg2
        swapped = True
    if len(seg1) > 2:
        if len(seg2) > 2:
            intersections = curveCurveIntersections(seg1, seg2)
        else:
            intersections = curveLineIntersections(seg1, seg2)
    elif len(seg1) == 2 and len(seg2) == 2:
        intersections = lineLineIntersections(*seg1, *seg2)
    else:
        raise ValueError("Couldn't work out which intersection function to use")
    if not swapped:
        return intersections
    return [Intersection(pt=i.pt, t1=i.t2, t2=i.t1) for i in intersections]


def splitLine(pt1, pt2, where, isHorizontal):
    pt1x, pt1y = pt1
    pt2x, pt2y = pt2

    ax = pt2x - pt1x
    ay = pt2y - pt1y

    bx = pt1x
    by = pt1y

    a = (ax, ay)[isHorizontal]

    if a == 0:
        return [(pt1, pt2)]
    t = (where - (bx, by)[isHorizontal]) / a
    if 0 <= t < 1:
        midPt = ax * t + bx, ay * t + by
        return [(pt1, midPt), (midPt, pt2)]
    else:
        return [(pt1, pt2)]


def splitQuadratic(pt1, pt2, pt3, where, isHorizontal):
    a, b, c = calcQuadraticParameters(pt1, pt2, pt3)
    solutions = solveQuadratic(
        a[isHorizontal], b[isHorizontal], c[isHorizontal] - where
    )
    solutions = sorted(t for t in solutions if 0 <= t < 1)
    if not solutions:
        return [(pt1, pt2, pt3)]
    return _splitQuadraticAtT(a, b, c, *solutions)


def splitCubic(pt1, pt2, pt3, pt4, where, isHorizontal):
    a, b, c, d = calcCubicParameters(pt1, pt2, pt3, pt4)
    solutions = solveCubic(
        a[isHorizontal], b[isHorizontal], c[isHorizontal], d[isHorizontal] - where
    )
    solutions = sorted(t for t in solutions if 0 <= t < 1)
    if not solutions:
        return [(pt1, pt2, pt3, pt4)]
    return _splitCubicAtT(a, b, c, d, *solutions)


def splitQuadraticAtT(pt1, pt2, pt3, *ts):
    a, b, c = calcQuadraticParameters(pt1, pt2, pt3)
    return _splitQuadraticAtT(a, b, c, *ts)


def splitCubicAtT(pt1, pt2, pt3, pt4, *ts):
    a, b, c, d = calcCubicParameters(pt1, pt2, pt3, pt4)
    split = _splitCubicAtT(a, b, c, d, *ts)
    # The caller's own end points, not recomputed ones.
    split[0] = (pt1, *split[0][1:])
    split[-1] = (*split[-1][:-1], pt4)
    return split


def splitCubicAtTC(pt1, pt2, pt3, pt4, *ts):
    pt1, pt2, pt3, pt4 = complex(pt1), complex(pt2), complex(pt3), complex(pt4)
    return _splitCubicAtTC_outer(pt1, pt2, pt3, pt4, ts)


def _splitCubicAtTC_outer(pt1, pt2, pt3, pt4, ts):
    a, b, c, d = calcCubicParametersC(pt1, pt2, pt3, pt4)
    yield from _splitCubicAtTC(a, b, c, d, *ts)


def _double_complex(z):
    # A typed parameter: a new machine value, never the caller's object.
    z = complex(z)
    return complex(z.real, z.imag)


def splitCubicIntoTwoAtTC(pt1, pt2, pt3, pt4, t):
    pt1, pt2 = _double_complex(pt1), _double_complex(pt2)
    pt3, pt4, t = _double_complex(pt3), _double_complex(pt4), float(t)
    t2 = t * t
    _1_t = 1 - t
    _1_t_2 = _1_t * _1_t
    _2_t_1_t = 2 * t * _1_t
    pointAtT = (
        _promoted(_1_t_2 * _1_t) * pt1
        + _promoted(3) * (_promoted(_1_t_2 * t) * pt2 + _promoted(_1_t * t2) * pt3)
        + _promoted(t2 * t) * pt4
    )
    off1 = _promoted(_1_t_2) * pt1 + _promoted(_2_t_1_t) * pt2 + _promoted(t2) * pt3
    off2 = _promoted(_1_t_2) * pt2 + _promoted(_2_t_1_t) * pt3 + _promoted(t2) * pt4

    pt2 = pt1 + (pt2 - pt1) * _promoted(t)
    pt3 = pt4 + (pt3 - pt4) * _promoted(_1_t)

    return ((pt1, pt2, off1, pointAtT), (pointAtT, off2, pt3, pt4))


def _splitQuadraticAtT(a, b, c, *ts):
    ts = list(ts)
    segments = []
    ts.insert(0, 0.0)
    ts.append(1.0)
    ax, ay = a
    bx, by = b
    cx, cy = c
    for i in range(len(ts) - 1):
        t1 = ts[i]
        t2 = ts[i + 1]
        delta = t2 - t1
        delta_2 = delta * delta
        a1x = ax * delta_2
        a1y = ay * delta_2
        b1x = (2 * ax * t1 + bx) * delta
        b1y = (2 * ay * t1 + by) * delta
        t1_2 = t1 * t1
        c1x = ax * t1_2 + bx * t1 + cx
        c1y = ay * t1_2 + by * t1 + cy

        pt1, pt2, pt3 = calcQuadraticPoints((a1x, a1y), (b1x, b1y), (c1x, c1y))
        segments.append((pt1, pt2, pt3))
    return segments


def _splitCubicAtT(a, b, c, d, *ts):
    ts = list(ts)
    ts.insert(0, 0.0)
    ts.append(1.0)
    segments = []
    ax, ay = a
    bx, by = b
    cx, cy = c
    dx, dy = d
    for i in range(len(ts) - 1):
        t1 = ts[i]
        t2 = ts[i + 1]
        delta = t2 - t1

        delta_2 = delta * delta
        delta_3 = delta * delta_2
        t1_2 = t1 * t1
        t1_3 = t1 * t1_2

        a1x = ax * delta_3
        a1y = ay * delta_3
        b1x = (3 * ax * t1 + bx) * delta_2
        b1y = (3 * ay * t1 + by) * delta_2
        c1x = (2 * bx * t1 + cx + 3 * ax * t1_2) * delta
        c1y = (2 * by * t1 + cy + 3 * ay * t1_2) * delta
        d1x = ax * t1_3 + bx * t1_2 + cx * t1 + dx
        d1y = ay * t1_3 + by * t1_2 + cy * t1 + dy
        pt1, pt2, pt3, pt4 = calcCubicPoints(
            (a1x, a1y), (b1x, b1y), (c1x, c1y), (d1x, d1y)
        )
        segments.append((pt1, pt2, pt3, pt4))
    return segments


def _splitCubicAtTC(a, b, c, d, *ts):
    a, b, c, d = complex(a), complex(b), complex(c), complex(d)
    return _splitCubicAtTC_body(a, b, c, d, ts)


def _splitCubicAtTC_body(a, b, c, d, ts):
    ts = list(ts)
    ts.insert(0, 0.0)
    ts.append(1.0)
    for i in range(len(ts) - 1):
        t1 = float(ts[i])
        t2 = float(ts[i + 1])
        delta = t2 - t1

        delta_2 = delta * delta
        delta_3 = delta * delta_2
        t1_2 = t1 * t1
        t1_3 = t1 * t1_2

        a1 = a * _promoted(delta_3)
        b1 = (_promoted(3) * a * _promoted(t1) + b) * _promoted(delta_2)
        c1 = (_promoted(2) * b * _promoted(t1) + c + _promoted(3) * a * _promoted(t1_2)) * _promoted(delta)
        d1 = a * _promoted(t1_3) + b * _promoted(t1_2) + c * _promoted(t1) + d
        pt1, pt2, pt3, pt4 = calcCubicPointsC(a1, b1, c1, d1)
        yield (pt1, pt2, pt3, pt4)


def _segmentrepr(obj):
    try:
        it = iter(obj)
    except TypeError:
        return "%g" % obj
    else:
        return "(%s)" % ", ".join(_segmentrepr(x) for x in it)


def printSegments(segments):
    for segment in segments:
        print(_segmentrepr(segment))


def _finite(z):
    return math.isfinite(z.real) and math.isfinite(z.imag)


def calcCubicArcLength(pt1, pt2, pt3, pt4, tolerance=0.005):
    return calcCubicArcLengthC(
        complex(*pt1), complex(*pt2), complex(*pt3), complex(*pt4), tolerance
    )


def _split_cubic_into_two(p0, p1, p2, p3):
    mid = (p0 + 3 * (p1 + p2) + p3) * 0.125
    deriv3 = (p3 + p2 - p1 - p0) * 0.125
    return (
        (p0, (p0 + p1) * 0.5, mid - deriv3, mid),
        (mid, mid + deriv3, (p2 + p3) * 0.5, p3),
    )


def _calcCubicArcLengthCRecurse(mult, p0, p1, p2, p3):
    mult = float(mult)
    p0, p1, p2, p3 = (_double_complex(p) for p in (p0, p1, p2, p3))
    # Checked at every level: halves of huge finite points may overflow.
    if not (1.0 <= mult < math.inf):
        raise ValueError("mult must be a finite number >= 1.0")
    if not (_finite(p0) and _finite(p1) and _finite(p2) and _finite(p3)):
        raise ValueError("cannot measure a curve whose points are not finite")
    arch = abs(p0 - p3)
    box = abs(p0 - p1) + abs(p1 - p2) + abs(p2 - p3)
    if arch * mult + EPSILON >= box:
        return (arch + box) * 0.5
    one, two = _split_cubic_into_two(p0, p1, p2, p3)
    return _calcCubicArcLengthCRecurse(mult, *one) + _calcCubicArcLengthCRecurse(mult, *two)


def calcCubicArcLengthC(pt1, pt2, pt3, pt4, tolerance=0.005):
    pt1, pt2 = _double_complex(pt1), _double_complex(pt2)
    pt3, pt4, tolerance = _double_complex(pt3), _double_complex(pt4), float(tolerance)
    if not (0.0 <= tolerance < math.inf):
        raise ValueError("tolerance must be a finite number >= 0")
    mult = 1.0 + 1.5 * tolerance
    return _calcCubicArcLengthCRecurse(mult, pt1, pt2, pt3, pt4)


def _fdiv(a, b):
    # A quotient of typed doubles: the message of the compiled division.
    if b == 0:
        raise ZeroDivisionError("float division")
    return a / b


def _dot(v1, v2):
    return (v1 * v2.conjugate()).real


def _intSecAtan(x):
    return float(x * math.sqrt(x * x + 1) / 2 + math.asinh(x) / 2)


def calcQuadraticArcLength(pt1, pt2, pt3):
    return calcQuadraticArcLengthC(complex(*pt1), complex(*pt2), complex(*pt3))


def calcQuadraticArcLengthC(pt1, pt2, pt3):
    pt1, pt2, pt3 = _double_complex(pt1), _double_complex(pt2), _double_complex(pt3)
    d0 = pt2 - pt1
    d1 = pt3 - pt2
    d = d1 - d0
    n = d * 1j
    scale = abs(n)
    if scale == 0.0:
        return abs(pt3 - pt1)
    origDist = _dot(n, d0)
    if abs(origDist) < epsilon:
        if _dot(d0, d1) >= 0:
            return abs(pt3 - pt1)
        a, b = abs(d0), abs(d1)
        return _fdiv(a * a + b * b, a + b)
    x0 = _fdiv(_dot(d, d0), origDist)
    x1 = _fdiv(_dot(d, d1), origDist)
    Len = abs(_fdiv(2 * (_intSecAtan(x1) - _intSecAtan(x0)) * origDist, scale * (x1 - x0)))
    return Len


def approximateQuadraticArcLength(pt1, pt2, pt3):
    return approximateQuadraticArcLengthC(complex(*pt1), complex(*pt2), complex(*pt3))


def approximateQuadraticArcLengthC(pt1, pt2, pt3):
    pt1, pt2, pt3 = _double_complex(pt1), _double_complex(pt2), _double_complex(pt3)
    v0 = abs(_promoted(-0.492943519233745) * pt1 + _promoted(0.430331482911935) * pt2
             + _promoted(0.0626120363218102) * pt3)
    v1 = abs(pt3 - pt1) * 0.4444444444444444
    v2 = abs(_promoted(-0.0626120363218102) * pt1 - _promoted(0.430331482911935) * pt2
             + _promoted(0.492943519233745) * pt3)
    return v0 + v1 + v2


def approximateCubicArcLength(pt1, pt2, pt3, pt4):
    return approximateCubicArcLengthC(
        complex(*pt1), complex(*pt2), complex(*pt3), complex(*pt4)
    )


def approximateCubicArcLengthC(pt1, pt2, pt3, pt4):
    pt1, pt2 = _double_complex(pt1), _double_complex(pt2)
    pt3, pt4 = _double_complex(pt3), _double_complex(pt4)
    v0 = abs(pt2 - pt1) * 0.15
    v1 = abs(
        _promoted(-0.558983582205757) * pt1
        + _promoted(0.325650248872424) * pt2
        + _promoted(0.208983582205757) * pt3
        + _promoted(0.024349751127576) * pt4
    )
    v2 = abs(pt4 - pt1 + pt3 - pt2) * 0.26666666666666666
    v3 = abs(
        _promoted(-0.024349751127576) * pt1
        - _promoted(0.208983582205757) * pt2
        - _promoted(0.325650248872424) * pt3
        + _promoted(0.558983582205757) * pt4
    )
    v4 = abs(pt4 - pt3) * 0.15
    return v0 + v1 + v2 + v3 + v4


def calcQuadraticBounds(pt1, pt2, pt3):
    (ax, ay), (bx, by), (cx, cy) = calcQuadraticParameters(pt1, pt2, pt3)
    ax2 = ax * 2.0
    ay2 = ay * 2.0
    roots = []
    if ax2 != 0:
        roots.append(-bx / ax2)
    if ay2 != 0:
        roots.append(-by / ay2)
    points = [
        (ax * t * t + bx * t + cx, ay * t * t + by * t + cy)
        for t in roots
        if 0 <= t < 1
    ] + [pt1, pt3]
    return calcBounds(points)


def calcCubicBounds(pt1, pt2, pt3, pt4):
    (ax, ay), (bx, by), (cx, cy), (dx, dy) = calcCubicParameters(pt1, pt2, pt3, pt4)
    ax3 = ax * 3.0
    ay3 = ay * 3.0
    bx2 = bx * 2.0
    by2 = by * 2.0
    xRoots = [t for t in solveQuadratic(ax3, bx2, cx) if 0 <= t < 1]
    yRoots = [t for t in solveQuadratic(ay3, by2, cy) if 0 <= t < 1]
    roots = xRoots + yRoots
    points = [
        (
            ax * t * t * t + bx * t * t + cx * t + dx,
            ay * t * t * t + by * t * t + cy * t + dy,
        )
        for t in roots
    ] + [pt1, pt4]
    return calcBounds(points)
