"""Contours as chains of segments, and the two conversions on them.

A closed contour is its first on-curve point and the segments that follow,
the last of which closes the contour back at that point; off-curve points
written before the first on-curve point belong to that closing segment.  An
open contour starts at its `move` point.  A segment is its type (the type of
the on-curve point that ends it), its off-curve points and that end point.
"""

from ..demote.errors import ApproxNotFoundError
from ._ufo import Point, UfoError


class Segment:
    __slots__ = ("type", "offs", "end")

    def __init__(self, type, offs, end):
        self.type, self.offs, self.end = type, offs, end


class Shape:
    """One contour as segments.  `lead` is how many off-curve points the
    contour was written with before its first on-curve point; `implied` marks
    a closed quadratic contour without any on-curve point, whose start is
    the implied point between its last and first off-curve points."""

    __slots__ = ("closed", "start", "segments", "lead", "implied")

    def __init__(self, closed, start, segments, lead=0, implied=False):
        self.closed, self.start, self.segments, self.lead, self.implied = closed, start, segments, lead, implied

    def points(self):
        """The points in file order."""
        body = [self.start]
        segments = self.segments
        if not self.closed:
            for s in segments:
                body += s.offs
                body.append(s.end)
            return body
        for s in segments[:-1]:
            body += s.offs
            body.append(s.end)
        closing = segments[-1].offs
        if self.implied:
            return closing
        if self.lead:
            lead = len(closing) if self.lead > len(closing) else self.lead
            return closing[len(closing) - lead:] + body + closing[:len(closing) - lead]
        return body + closing

    def reversed(self):
        """The same outline drawn the other way round, from the same first
        point: each on-curve point keeps its attributes and takes the type of
        the segment that now ends at it."""
        segs = self.segments
        if not segs:
            return self
        ends = [self.start] + [s.end for s in segs]  # ends[k] starts segs[k]
        if self.closed:
            ends = ends[:-1]
            n = len(segs)
            # the new segment into ends[k] is the old one out of it, backwards
            new = [Segment(segs[k].type, segs[k].offs[::-1], ends[k]) for k in range(n - 1, 0, -1)]
            new.append(Segment(segs[0].type, segs[0].offs[::-1], ends[0]))
            for s in new:
                s.end.type = s.type
            return Shape(True, self.start, new, self.lead, self.implied)
        new = [Segment(segs[k].type, segs[k].offs[::-1], ends[k]) for k in range(len(segs) - 1, -1, -1)]
        start = ends[-1]
        for s in new:
            s.end.type = s.type
        start.type = "move"
        return Shape(False, start, new)


def _fail(path, glyph, point, message):
    raise UfoError(path, message, point.line, glyph)


def shape(points, path, glyph, implied_start=False):
    """The segments of a contour's points; UfoError for a sequence of point
    types that UFO does not define.  A closed contour of off-curve points
    only gets an implied start when `implied_start` is true; otherwise it
    comes back as None, as does an empty contour."""
    ons = [k for k, p in enumerate(points) if p.type != "offcurve"]
    if not ons:
        if not points or not implied_start:
            return None
        a, b = points[-1], points[0]
        start = Point((a.x + b.x) * 0.5, (a.y + b.y) * 0.5, "qcurve")
        return Shape(True, start, [Segment("qcurve", list(points), start)], implied=True)
    for k in ons[1:]:
        if points[k].type == "move":
            _fail(path, glyph, points[k], "a move point that does not start its contour")
    closed = points[0].type != "move"
    if not closed and ons[-1] != len(points) - 1:
        _fail(path, glyph, points[-1], "an open contour that ends with off-curve points")
    first = ons[0]
    order = points[first + 1:] + points[:first + 1] if closed else points[1:]
    segments, offs = [], []
    for p in order:
        if p.type == "offcurve":
            offs.append(p)
            continue
        if p.type == "line" and offs:
            _fail(path, glyph, p, "off-curve points before a line point")
        if p.type == "curve" and len(offs) != 2 and offs:
            _fail(path, glyph, p, f"a curve point after {len(offs)} off-curve points (a cubic has 2)")
        if p.type == "curve" and not offs:
            _fail(path, glyph, p, "a curve point after no off-curve point (write a line point)")
        segments.append(Segment(p.type, offs, p))
        offs = []
    return Shape(closed, points[first], segments, lead=first if closed else 0)


def structure(contours):
    """What must agree between masters for a glyph to convert compatibly."""
    return tuple(tuple(p.type for p in c.points) for c in contours)


# -- cubic to quadratic --------------------------------------------------------

def _starts(s):
    return [s.start] + [seg.end for seg in s.segments[:-1]]


class NoFit(Exception):
    """No spline within the error was found for the curve that ends at `point`."""

    def __init__(self, point):
        super().__init__(point)
        self.point = point


def _cubic(start, seg):
    return [start.xy, seg.offs[0].xy, seg.offs[1].xy, seg.end.xy]


def _replace(seg, cubic, spline, pairs, stats):
    seg.offs = [Point(x, y) for x, y in spline[1:-1]]
    seg.type = seg.end.type = "qcurve"
    pairs.append((cubic, spline))
    stats.curves += 1
    stats.segments += len(spline) - 2


def demote_shapes(masters, max_errors, compatible, convert, stats):
    """Replace each cubic segment of the shapes (one list per master) by a
    quadratic spline, in place.  With `compatible` the masters' corresponding
    cubics are converted together, so their splines have the same number of
    segments; otherwise each master on its own.  Returns the (cubic, spline)
    pairs, for measuring the error."""
    pairs = []
    try:
        if not compatible:
            for shapes, e in zip(masters, max_errors):
                for s in filter(None, shapes):
                    for seg, start in zip(s.segments, _starts(s)):
                        if seg.type == "curve":
                            failed = seg.end
                            cubic = _cubic(start, seg)
                            _replace(seg, cubic, convert.curve_to_quadratic(cubic, e), pairs, stats)
            return pairs
        for group in zip(*masters):
            if group[0] is None:
                continue
            starts = [_starts(s) for s in group]
            for j, seg in enumerate(group[0].segments):
                if seg.type != "curve":
                    continue
                failed = seg.end
                cubics = [_cubic(st[j], s.segments[j]) for s, st in zip(group, starts)]
                splines = convert.curves_to_quadratic(cubics, max_errors)
                for s, cubic, spline in zip(group, cubics, splines):
                    _replace(s.segments[j], cubic, spline, pairs, stats)
    except ApproxNotFoundError:
        raise NoFit(failed) from None
    return pairs


def spline_error(cubic, spline):
    """The largest distance between a cubic and its quadratic spline at the
    quarter points of each piece, each piece matched to its equal share of
    the cubic's parameter, as the conversion cuts it."""
    p0, p1, p2, p3 = (complex(*p) for p in cubic)
    q = [complex(*p) for p in spline]
    n = len(q) - 2
    worst = 0.0
    for i in range(n):
        a = q[0] if i == 0 else (q[i] + q[i + 1]) * 0.5
        c = q[-1] if i == n - 1 else (q[i + 1] + q[i + 2]) * 0.5
        b = q[i + 1]
        for s in (0.25, 0.5, 0.75):
            t = (i + s) / n
            u = 1 - t
            cub = u * u * u * p0 + 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t * p3
            v = 1 - s
            quad = v * v * a + 2 * v * s * b + s * s * c
            d = abs(cub - quad)
            if d > worst:
                worst = d
    return worst


# -- quadratic to cubic --------------------------------------------------------

def promote_shape(s, max_err, all_cubic, convert, stats):
    """Merge each run of quadratic segments of the shape into as few cubic
    (and quadratic) curves as `max_err` allows, in place."""
    segs = s.segments
    starts = _starts(s)
    out, k = [], 0
    while k < len(segs):
        if segs[k].type != "qcurve" or not segs[k].offs:
            out.append(segs[k])
            k += 1
            continue
        j = k
        while j < len(segs) and segs[j].type == "qcurve" and segs[j].offs:
            j += 1
        run = segs[k:j]
        splines = [[starts[k].xy] + [p.xy for p in run[0].offs] + [run[0].end.xy]]
        splines += [[starts[i].xy] + [p.xy for p in segs[i].offs] + [segs[i].end.xy] for i in range(k + 1, j)]
        curves = convert.quadratic_to_curves(splines, max_err, all_cubic)
        stats.curves += sum(len(sg.offs) for sg in run)
        stats.segments += len(curves)
        stats.cubics += sum(len(c) == 4 for c in curves)
        out += _merged(run, curves)
        k = j
    if out != segs:
        s.segments = out
        s.implied = False  # the start is an on-curve point of the new curves


def _merged(run, curves):
    if all(len(c) == 3 for c in curves) and [c[1] for c in curves] == [p.xy for sg in run for p in sg.offs]:
        return run  # nothing merged: keep the points as they were written
    ends = [sg.end for sg in run]
    at, new = 0, []
    for c in curves:
        end = c[-1]
        for i in range(at, len(ends)):
            if ends[i].xy == end:
                point, at = ends[i], i + 1
                break
        else:
            point = Point(end[0], end[1], "qcurve")
        kind = "curve" if len(c) == 4 else "qcurve"
        point.type = kind
        new.append(Segment(kind, [Point(x, y) for x, y in c[1:-1]], point))
    return new
