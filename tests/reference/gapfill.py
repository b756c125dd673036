"""Pure-Python model of vellary.varLib.gapfill, used as the test oracle.

Every function is written statement for statement in the order the native
module evaluates it, so that a differential test can demand identical floats,
types, object identities and exceptions.  Keep it literal: a rewrite into an
"equivalent" form changes rounding, the order in which errors surface, or which
of the caller's objects come back.

What the native module does through its typed parameters and internal
operations is spelt out by the helpers at the top (`_double`, `_int`,
`_exact`, `_unpack2`).  The two internal operations, `gapfill_segment` and
`can_gapfill_in_between`, are not attributes of the native module; here they
are ordinary functions, but nothing should rebind them.
"""

from __future__ import annotations

COMPILED = False  # the native module says True

from typing import Sequence, Tuple, Union
from numbers import Integral, Real

_Point = Tuple[Real, Real]
_Delta = Tuple[Real, Real]
_PointSegment = Sequence[_Point]
_DeltaSegment = Sequence[_Delta]
_DeltaOrNone = Union[_Delta, None]
_DeltaOrNoneSegment = Sequence[_DeltaOrNone]
_Endpoints = Sequence[Integral]

MAX_LOOKBACK = 8


# -- conversions of the native frame -----------------------------------------

def _tp_name(t):
    # The C-level type name: dotted for static types outside builtins.  Heap
    # types made by C extensions also carry their module here; none of the
    # tests needs that case.
    if t.__module__ == "builtins" or t.__flags__ & (1 << 9):
        return t.__name__
    return f"{t.__module__}.{t.__qualname__}"


def _double(o):
    """A `double` argument: floats as they are, else __float__, else __index__.

    Unlike float(), strings are rejected.
    """
    if isinstance(o, float):
        return float.__float__(o)
    t = type(o)
    if hasattr(t, "__float__") or hasattr(t, "__index__"):
        return float(o)
    raise TypeError("must be real number, not %.50s" % _tp_name(t))


def _int(o):
    """An `int` argument: a 32-bit C int, reached through __int__ only."""
    if not isinstance(o, int):
        t = type(o)
        if not hasattr(t, "__int__"):
            raise TypeError("an integer is required")
        o = t.__int__(o)
        if not isinstance(o, int):
            raise TypeError("__int__ returned non-int (type %.200s)" % _tp_name(type(o)))
    if not -2**31 <= o < 2**31:
        raise OverflowError("value too large to convert to int")
    return int(o)


def _exact(name, o, t, none_ok):
    """A `list`/`set` argument: that very type, subclasses rejected."""
    if type(o) is t or (none_ok and o is None):
        return o
    e = TypeError("Argument '%.200s' has incorrect type (expected %.200s, got %.200s)"
                  % (name, t.__name__, _tp_name(type(o))))
    if isinstance(o, t):
        e.add_note("subclasses of built-in types are rejected")
    raise e


def _unpack2(seq):
    """`a, b = seq` with the frame's messages."""
    if type(seq) is tuple or type(seq) is list:
        items = list(seq)
        if len(items) > 2:
            raise ValueError("too many values to unpack (expected 2)")
    else:
        it = iter(seq)
        items = []
        for item in it:
            items.append(item)
            if len(items) == 2:
                break
        if len(items) == 2:
            for _ in it:
                raise ValueError("too many values to unpack (expected 2)")
    if len(items) < 2:
        k = len(items)
        raise ValueError("need more than %d value%s to unpack" % (k, "" if k == 1 else "s"))
    return items[0], items[1]


def _in_forced(v, forced):
    # `v in forced` on a set-typed parameter that may be None.
    if forced is None:
        raise TypeError("'NoneType' object is not iterable")
    return v in forced


# -- interpolation --------------------------------------------------------------

def gapfill_segment(coords, ref_coord1, ref_delta1, ref_coord2, ref_delta2):
    out = []
    for j in (0, 1):
        x1 = _double(ref_coord1[j])
        x2 = _double(ref_coord2[j])
        d1 = _double(ref_delta1[j])
        d2 = _double(ref_delta2[j])

        if x1 == x2:
            # The points' own coordinates are not read on this axis.
            m = len(coords)
            if d1 == d2:
                out.append([d1] * m)
            else:
                out.append([0] * m)
            continue

        if x1 > x2:
            x1, x2 = x2, x1
            d1, d2 = d2, d1

        # x2 - x1 cannot be zero here, so Python's division raises nothing
        # that C's would not.
        scale = (d2 - d1) / (x2 - x1)
        values = []
        for p in coords:
            x = _double(p[j])
            if x <= x1:
                values.append(d1)
            elif x >= x2:
                values.append(d2)
            else:
                values.append((x - x1) * scale + d1)
        out.append(values)
    return zip(out[0], out[1])


def gapfill_contour(deltas: _DeltaOrNoneSegment, coords: _PointSegment) -> _DeltaSegment:
    """gapfill_contour(deltas: _DeltaOrNoneSegment, coords: _PointSegment) -> _DeltaSegment

    For the contour given in `coords`, fill in the missing deltas of `deltas`
    and return the fully filled-out delta list.
    """
    assert len(deltas) == len(coords)
    if None not in deltas:
        return deltas

    n = len(deltas)
    indices = [i for i, v in enumerate(deltas) if v is not None]
    if not indices:
        return [(0, 0)] * n

    out = []
    start = indices[0]
    if start != 0:
        # The points before the first explicit one close the contour after
        # the last explicit one.
        last = indices[-1]
        out.extend(gapfill_segment(coords[0:start], coords[start], deltas[start],
                                   coords[last], deltas[last]))
    out.append(deltas[start])
    for end in indices[1:]:
        if end - start > 1:
            out.extend(gapfill_segment(coords[start + 1:end], coords[start], deltas[start],
                                       coords[end], deltas[end]))
        out.append(deltas[end])
        start = end
    if start != n - 1:
        first = indices[0]
        out.extend(gapfill_segment(coords[start + 1:n], coords[start], deltas[start],
                                   coords[first], deltas[first]))

    assert len(deltas) == len(out), (len(deltas), len(out))
    return out


def gapfill_delta(deltas: _DeltaOrNoneSegment, coords: _PointSegment, ends: _Endpoints) -> _DeltaSegment:
    """gapfill_delta(deltas: _DeltaOrNoneSegment, coords: _PointSegment, ends: _Endpoints) -> _DeltaSegment

    For the outline given in `coords`, with the contour end indices in sorted
    increasing order in `ends`, fill in the missing deltas and return the fully
    filled-out delta list.
    """
    assert sorted(ends) == ends and len(coords) == (ends[-1] + 1 if ends else 0) + 4
    n = len(coords)
    # The four phantom points are contours of one point each.
    ends = ends + [n - 4, n - 3, n - 2, n - 1]
    out = []
    start = 0
    for end in ends:
        end += 1
        contour = gapfill_contour(deltas[start:end], coords[start:end])
        out.extend(contour)
        start = end
    return out


# -- optimisation -----------------------------------------------------------------

def can_gapfill_in_between(deltas, coords, i, j, tolerance):
    assert j - i >= 2
    interp = gapfill_segment(coords[i + 1:j], coords[i], deltas[i], coords[j], deltas[j])
    for d, pq in zip(deltas[i + 1:j], interp):
        x, y = _unpack2(d)
        p, q = pq
        x = _double(x)
        y = _double(y)
        p = _double(p)
        q = _double(q)
        dx = x - p
        dy = y - q
        # The C modulus: an overflowing length is inf, not an error.
        try:
            dist = abs(complex(dx, dy))
        except OverflowError:
            dist = float("inf")
        if dist > tolerance:
            return False
    return True


def _gapfill_contour_bound_forced_set(deltas: _DeltaSegment, coords: _PointSegment, tolerance: Real = 0) -> set:
    """_gapfill_contour_bound_forced_set(deltas: _DeltaSegment, coords: _PointSegment, tolerance: Real = 0) -> set

    A conservative set of the points that must be encoded explicitly.  Knowing
    it speeds up the dynamic programming and breaks its circularity; it is
    precise in that no point in it can ever be interpolated.
    """
    assert len(deltas) == len(coords)
    n = len(deltas)
    forced = set()
    for i in range(n - 1, -1, -1):
        lc, ld = coords[i - 1], deltas[i - 1]
        c, d = coords[i], deltas[i]
        # i - n + 1 is the next point, counted from the end; 0 after the last.
        nc, nd = coords[i - n + 1], deltas[i - n + 1]

        for j in (0, 1):
            cj = _double(c[j])
            dj = _double(d[j])
            lcj = _double(lc[j])
            ldj = _double(ld[j])
            ncj = _double(nc[j])
            ndj = _double(nd[j])

            if lcj <= ncj:
                c1, c2, d1, d2 = lcj, ncj, ldj, ndj
            else:
                c1, c2, d1, d2 = ncj, lcj, ndj, ldj

            # Arithmetic and comparisons with `tolerance` are Python's: it is
            # an untyped object here.
            # NOTE: with tolerance > 0 these bounds are tight against the
            # neighbours' own deltas, not against their interpolated values,
            # so a point can be forced that a wider span would reproduce.
            force = False
            if c1 == c2:
                if abs(d1 - d2) > tolerance and abs(dj) > tolerance:
                    force = True
            elif c1 <= cj <= c2:
                if not (min(d1, d2) - tolerance <= dj <= max(d1, d2) + tolerance):
                    force = True
            elif cj < c1 and d1 != d2:
                if (abs(dj) > tolerance and abs(dj - d1) > tolerance
                        and ((dj - tolerance < d1) != (d1 < d2))):
                    force = True
            elif d1 != d2:
                if (abs(dj) > tolerance and abs(dj - d2) > tolerance
                        and ((d2 < dj + tolerance) != (d1 < d2))):
                    force = True

            if force:
                forced.add(i)
                break
    return forced


def _gapfill_contour_optimize_dp(deltas: _DeltaSegment, coords: _PointSegment, forced=set(), tolerance: Real = 0.0, lookback: Integral = None):
    """_gapfill_contour_optimize_dp(deltas: _DeltaSegment, coords: _PointSegment, set forced=set(), double tolerance: Real = 0, lookback: Integral = None)

    For each index i, the least costly encoding of points 0 to i with point i
    explicit.  The solution always encodes the last point explicitly; the
    caller removes that restriction.  The search stops at a forced point.
    """
    forced = _exact("forced", forced, set, True)
    tolerance = _double(tolerance)

    n = len(deltas)
    if lookback is None:
        lookback = n
    max_lookback = MAX_LOOKBACK
    lookback = max_lookback if max_lookback < lookback else lookback

    costs = {-1: 0}
    chain = {-1: None}
    for i in range(n):
        best_cost = _double(costs[i - 1] + 1)
        costs[i] = best_cost
        chain[i] = i - 1

        if _in_forced(i - 1, forced):
            continue

        for j in range(i - 2, max(i - lookback, -2), -1):
            cost = _double(costs[j] + 1)
            # Strictly cheaper only: on ties the nearest candidate stays.
            if cost < best_cost and can_gapfill_in_between(deltas, coords, j, i, tolerance):
                best_cost = cost
                costs[i] = cost
                chain[i] = j
            if _in_forced(j, forced):
                break
    return chain, costs


def _rot_list(l: list, k: int):
    """_rot_list(list l: list, int k: int)

    Rotate the list forward by k items: item 0 ends at position k.  k may be
    negative.
    """
    l = _exact("l", l, list, False)
    k = _int(k)
    n = len(l)
    k = k % n
    if k == 0:
        return l
    return l[n - k:] + l[:n - k]


def _rot_set(s: set, k: int, n: int):
    """_rot_set(set s: set, int k: int, int n: int)"""
    s = _exact("s", s, set, False)
    k = _int(k)
    n = _int(n)
    k = k % n
    if k == 0:
        return s
    return {(v + k) % n for v in s}


def gapfill_contour_optimize(deltas: _DeltaSegment, coords: _PointSegment, tolerance: Real = 0.0) -> _DeltaOrNoneSegment:
    """gapfill_contour_optimize(deltas: _DeltaSegment, coords: _PointSegment, tolerance: Real = 0.0) -> _DeltaOrNoneSegment

    Return the delta vector with the most None items that reproduces `deltas`
    within `tolerance` by interpolation.
    """
    n = len(deltas)
    # NOTE: apart from the all-equal case below, no path here ever returns a
    # single explicit delta, even where one would reproduce all the others.
    if all(abs(complex(*d)) <= tolerance for d in deltas):
        return [None] * n
    if n == 1:
        return deltas

    d0 = deltas[0]
    if all(d0 == d for d in deltas):
        return [d0] + [None] * (n - 1)

    forced = _gapfill_contour_bound_forced_set(deltas, coords, tolerance)
    if forced:
        # Rotate a forced point to the end: the DP encodes the last point
        # explicitly, which is then no restriction at all.
        k = (n - 1) - max(forced)
        assert k >= 0

        deltas = _rot_list(deltas, k)
        coords = _rot_list(coords, k)
        forced = _rot_set(forced, k, n)

        chain, costs = _gapfill_contour_optimize_dp(deltas, coords, forced, tolerance)

        solution = set()
        i = n - 1
        while i is not None:
            solution.add(i)
            i = chain[i]
        solution.remove(-1)

        assert forced <= solution, (forced, solution)

        deltas = [deltas[i] if i in solution else None for i in range(n)]
        deltas = _rot_list(deltas, -k)
    else:
        # Nothing is forced: solve the contour laid out twice and take the
        # cheapest chain that spans exactly one full turn.
        chain, costs = _gapfill_contour_optimize_dp(deltas + deltas, coords + coords, forced, tolerance, n)
        best_sol, best_cost = None, n + 1

        for start in range(n - 1, len(costs) - 1):
            solution = set()
            i = start
            while i > start - n:
                solution.add(i % n)
                i = chain[i]
            if i == start - n:
                cost = costs[start] - costs[start - n]
                # <=: of equally cheap turns the last one wins.
                if cost <= best_cost:
                    best_sol, best_cost = solution, cost

        assert forced <= best_sol, (forced, best_sol)

        deltas = [deltas[i] if i in best_sol else None for i in range(n)]

    return deltas


def gapfill_delta_optimize(deltas: _DeltaSegment, coords: _PointSegment, ends: _Endpoints, tolerance: Real = 0.0) -> _DeltaOrNoneSegment:
    """gapfill_delta_optimize(deltas: _DeltaSegment, coords: _PointSegment, ends: _Endpoints, tolerance: Real = 0.0) -> _DeltaOrNoneSegment

    For the outline given in `coords`, return the delta vector with the most
    None items that reproduces `deltas` within `tolerance` by interpolation.
    """
    assert sorted(ends) == ends and len(coords) == (ends[-1] + 1 if ends else 0) + 4
    n = len(coords)
    ends = ends + [n - 4, n - 3, n - 2, n - 1]
    out = []
    start = 0
    for end in ends:
        contour = gapfill_contour_optimize(deltas[start:end + 1], coords[start:end + 1], tolerance)
        assert len(contour) == end - start + 1
        out.extend(contour)
        start = end + 1
    return out


__test__ = {}
