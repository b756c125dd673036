"""Pure-Python model of vellary.demote.demote, used as the test oracle.

Every formula is written in the order the native module evaluates it, with
complex numbers treated as pairs of doubles: sums and differences are
Python's (componentwise), but scaling by a real goes through `_scale`,
because Python 3.13 multiplies a complex by a float as a full complex
product, which turns `-0.0` parts into `0.0` and `inf` parts into NaN.  The
modulus is C's `cabs`: `abs()` of a complex is the same `hypot`, except that
it raises where C gives inf.

Internal operations of the native module (everything but the three
functions the module binds) are ordinary functions here; nothing should
rebind them.  Module-level names that the native code looks up at each use
(`MAX_N`, `NAN`, `math`, `ApproxNotFoundError`, `_split_cubic_into_n_gen`)
are looked up here too, so tests may rebind them in both.
"""

COMPILED = False  # the native module says True

import math

from vellary.demote.errors import Error as DemoteError
from vellary.demote.errors import ApproxNotFoundError

__all__ = ["curve_to_quadratic", "curves_to_quadratic"]

MAX_N = 100
NAN = float("NaN")

TWO_THIRDS = 0.6666666666666666
ONE_27TH = 0.037037037037037035

# Deepest subdivision the tolerance test makes; see cubic_within_tolerance.
MAX_TOLERANCE_DEPTH = 64

_INF = float("inf")


# -- conversions of the native frame -----------------------------------------

def _tp_name(t):
    if t.__module__ == "builtins" or t.__flags__ & (1 << 9):
        return t.__name__
    return f"{t.__module__}.{t.__qualname__}"


def _double(o):
    """A `double` argument: floats as they are, else __float__, else __index__."""
    if isinstance(o, float):
        return float.__float__(o)
    t = type(o)
    if hasattr(t, "__float__") or hasattr(t, "__index__"):
        return float(o)
    raise TypeError("must be real number, not %.50s" % _tp_name(t))


def _double_complex(o):
    """A `double complex` argument: complex numbers as they are (subclasses
    too, without calling anything), else __complex__, else a real number."""
    if isinstance(o, complex):
        return complex(complex.real.__get__(o), complex.imag.__get__(o))
    t = type(o)
    if hasattr(t, "__complex__"):
        z = t.__complex__(o)
        if not isinstance(z, complex):
            raise TypeError("__complex__ returned non-complex (type %.200s)" % _tp_name(type(z)))
        return complex(complex.real.__get__(z), complex.imag.__get__(z))
    return complex(_double(o), 0.0)


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


def _unpack4(seq):
    """`a, b, c, d = seq` with the frame's messages."""
    if type(seq) is tuple or type(seq) is list:
        items = list(seq)
        if len(items) > 4:
            raise ValueError("too many values to unpack (expected 4)")
    else:
        it = iter(seq)
        items = []
        for item in it:
            items.append(item)
            if len(items) == 4:
                break
        if len(items) == 4:
            for _ in it:
                raise ValueError("too many values to unpack (expected 4)")
    if len(items) < 4:
        k = len(items)
        raise ValueError("need more than %d value%s to unpack" % (k, "" if k == 1 else "s"))
    return items


# -- complex doubles ------------------------------------------------------------

def _scale(z, k):
    return complex(z.real * k, z.imag * k)


def _cabs(z):
    try:
        return abs(z)
    except OverflowError:
        return _INF


# -- approximation core -----------------------------------------------------------

def vector_dot(u, v):
    r = u.real * v.real + u.imag * v.imag
    if abs(r) < 1e-15:
        return 0.0
    return r


def _complex_div_by_real(z, den):
    return complex(z.real / den, z.imag / den)


def calc_cubic_parameters(p0, p1, p2, p3):
    c = _scale(p1 - p0, 3.0)
    b = _scale(p2 - p1, 3.0) - c
    d = p0
    a = ((p3 - d) - c) - b
    return a, b, c, d


def calc_cubic_points(a, b, c, d):
    _1 = d
    _2 = _complex_div_by_real(c, 3.0) + d
    _3 = _complex_div_by_real(b + c, 3.0) + _2
    _4 = ((a + d) + c) + b
    return _1, _2, _3, _4


def split_cubic_into_two(p0, p1, p2, p3):
    mid = _scale((p0 + _scale(p1 + p2, 3.0)) + p3, 0.125)
    deriv3 = _scale(((p2 + p3) - p1) - p0, 0.125)
    return ((p0, _scale(p0 + p1, 0.5), mid - deriv3, mid),
            (mid, mid + deriv3, _scale(p2 + p3, 0.5), p3))


def split_cubic_into_three(p0, p1, p2, p3):
    k = ONE_27TH
    mid1 = _scale(((_scale(p0, 8.0) + _scale(p1, 12.0)) + _scale(p2, 6.0)) + p3, k)
    deriv1 = _scale((p3 + _scale(p2, 3.0)) - _scale(p0, 4.0), k)
    mid2 = _scale(((p0 + _scale(p1, 6.0)) + _scale(p2, 12.0)) + _scale(p3, 8.0), k)
    deriv2 = _scale((_scale(p3, 4.0) - _scale(p1, 3.0)) - p0, k)
    return ((p0, _complex_div_by_real(_scale(p0, 2.0) + p1, 3.0), mid1 - deriv1, mid1),
            (mid1, mid1 + deriv1, mid2 - deriv2, mid2),
            (mid2, mid2 + deriv2, _complex_div_by_real(p2 + _scale(p3, 2.0), 3.0), p3))


def _split_cubic_into_n_gen(p0, p1, p2, p3, n):
    """_split_cubic_into_n_gen(double complex p0, double complex p1, double complex p2, double complex p3, int n)"""
    # Converted at the call; the body runs on iteration.
    p0 = _double_complex(p0)
    p1 = _double_complex(p1)
    p2 = _double_complex(p2)
    p3 = _double_complex(p3)
    n = _int(n)
    return _split_cubic_into_n_body(p0, p1, p2, p3, n)


def _split_cubic_into_n_body(p0, p1, p2, p3, n):
    a, b, c, d = calc_cubic_parameters(p0, p1, p2, p3)
    if n == 0:
        raise ZeroDivisionError("float division")
    dt = 1.0 / n
    delta_2 = dt * dt
    delta_3 = delta_2 * dt
    for i in range(n):
        t1 = float(i) * dt
        t1_2 = t1 * t1
        a1 = _scale(a, delta_3)
        b1 = _scale(_scale(_scale(a, 3.0), t1) + b, delta_2)
        c1 = _scale((_scale(_scale(b, 2.0), t1) + c) + _scale(_scale(a, 3.0), t1_2), dt)
        d1 = ((_scale(_scale(a, t1), t1_2) + _scale(b, t1_2)) + _scale(c, t1)) + d
        yield calc_cubic_points(a1, b1, c1, d1)


# The generator objects carry the Python-visible function's names.
_split_cubic_into_n_body.__name__ = "_split_cubic_into_n_gen"
_split_cubic_into_n_body.__qualname__ = "_split_cubic_into_n_gen"


def split_cubic_into_n_iter(p0, p1, p2, p3, n):
    if n == 2:
        return iter(split_cubic_into_two(p0, p1, p2, p3))
    if n == 3:
        return iter(split_cubic_into_three(p0, p1, p2, p3))
    if n == 4:
        a, b = split_cubic_into_two(p0, p1, p2, p3)
        return iter(split_cubic_into_two(a[0], a[1], a[2], a[3])
                    + split_cubic_into_two(b[0], b[1], b[2], b[3]))
    if n == 6:
        a, b = split_cubic_into_two(p0, p1, p2, p3)
        return iter(split_cubic_into_three(a[0], a[1], a[2], a[3])
                    + split_cubic_into_three(b[0], b[1], b[2], b[3]))
    # A module-level name: rebinding it changes these counts.
    return _split_cubic_into_n_gen(p0, p1, p2, p3, n)


def quadratic_control_at(t, p0, p1, p2, p3):
    _p1 = p0 + _scale(p1 - p0, 1.5)
    _p2 = p3 + _scale(p2 - p3, 1.5)
    return _p1 + _scale(_p2 - _p1, t)


def calc_intersect(a, b, c, d):
    ab = b - a
    cd = d - c
    p = complex(-ab.imag, ab.real)
    den = vector_dot(p, cd)
    if den == 0.0:
        # Parallel lines: fine when they meet end to start in one point.
        if b == c and (a == b or c == d):
            return b
        nan = _double(NAN)
        return complex(nan, nan)
    h = vector_dot(p, a - c) / den
    return c + _scale(cd, h)


def cubic_within_tolerance(p0, p1, p2, p3, tolerance, depth=0):
    """Whether the whole curve lies within `tolerance` of the origin.

    Halving ends by itself only where the moduli decide: NaN points or a NaN
    tolerance never decide, and a piece that straddles the tolerance circle
    by a rounding step can have a half equal to itself.  So a piece still
    undecided at depth MAX_TOLERANCE_DEPTH counts as outside; the depth
    counts halvings from the caller's piece, first and second halves alike.
    The control points of a curve inside the tolerance disk lie within about
    6 tolerances of the origin, so after some 56 halvings a piece spans only
    a few units in the last place of its coordinates, and further halving
    merely replays rounding.  (Conversions of ordinary curves stay within 8
    levels, curves touching the circle within about 35.)
    """
    while True:
        if _cabs(p2) <= tolerance and _cabs(p1) <= tolerance:
            return True
        mid = _scale((p0 + _scale(p1 + p2, 3.0)) + p3, 0.125)
        if _cabs(mid) > tolerance:
            return False
        # Mended: the literal test need not end (see the docstring).
        if depth == MAX_TOLERANCE_DEPTH:
            return False
        depth += 1
        deriv3 = _scale(((p2 + p3) - p1) - p0, 0.125)
        if not cubic_within_tolerance(p0, _scale(p0 + p1, 0.5), mid - deriv3, mid, tolerance, depth):
            return False
        p0, p1, p2, p3 = mid, mid + deriv3, _scale(p2 + p3, 0.5), p3


def cubic_approx_quadratic(cubic, tolerance):
    q1 = calc_intersect(_double_complex(cubic[0]), _double_complex(cubic[1]),
                        _double_complex(cubic[2]), _double_complex(cubic[3]))
    if math.isnan(q1.imag):
        return None
    c0 = _double_complex(cubic[0])
    c3 = _double_complex(cubic[3])
    c1 = c0 + _scale(q1 - c0, TWO_THIRDS)
    c2 = c3 + _scale(q1 - c3, TWO_THIRDS)
    if not cubic_within_tolerance(0j, c1 - _double_complex(cubic[1]), c2 - _double_complex(cubic[2]), 0j,
                                  tolerance):
        return None
    return complex(c0), complex(q1), complex(c3)


def cubic_approx_spline(cubic, n, tolerance, all_quadratic):
    if n == 1:
        return cubic_approx_quadratic(cubic, tolerance)
    if n == 2 and all_quadratic == 0:
        return cubic

    cubics = split_cubic_into_n_iter(_double_complex(cubic[0]), _double_complex(cubic[1]),
                                     _double_complex(cubic[2]), _double_complex(cubic[3]), n)

    next_cubic = next(cubics)
    next_q1 = quadratic_control_at(0.0, _double_complex(next_cubic[0]), _double_complex(next_cubic[1]),
                                   _double_complex(next_cubic[2]), _double_complex(next_cubic[3]))
    q2 = _double_complex(cubic[0])
    d1 = 0j
    spline = [cubic[0], next_q1]
    for i in range(1, n + 1):
        c0, c1, c2, c3 = _unpack4(next_cubic)
        c0 = _double_complex(c0)
        c1 = _double_complex(c1)
        c2 = _double_complex(c2)
        c3 = _double_complex(c3)

        q0 = q2
        q1 = next_q1
        if i < n:
            next_cubic = next(cubics)
            next_q1 = quadratic_control_at(i / (n - 1), _double_complex(next_cubic[0]),
                                           _double_complex(next_cubic[1]), _double_complex(next_cubic[2]),
                                           _double_complex(next_cubic[3]))
            spline.append(next_q1)
            q2 = _scale(q1 + next_q1, 0.5)
        else:
            q2 = c3

        d0 = d1
        d1 = q2 - c3

        # A NaN modulus passes this test and is left to the next one.
        if _cabs(d1) > tolerance:
            return None
        if not cubic_within_tolerance(d0, (q0 + _scale(q1 - q0, TWO_THIRDS)) - c1,
                                      (q2 + _scale(q1 - q2, TWO_THIRDS)) - c2, d1, tolerance):
            return None
    spline.append(cubic[3])
    return spline


# -- conversion interface ------------------------------------------------------------

def _convert_curve(curve):
    return [complex(*(p if type(p) is tuple else tuple(p))) for p in curve]


def curve_to_quadratic(curve, max_err, all_quadratic=True):
    """curve_to_quadratic(curve, double max_err, int all_quadratic=True)

    Approximate a cubic Bezier curve by a spline of n quadratics, with the
    smallest n that keeps within the permitted deviation.

    `curve` holds the cubic's four control points as 2D tuples; `max_err` is
    the permitted deviation.  With `all_quadratic` true (the default) the
    result is a quadratic spline; with it false, the result may instead be
    a single quadratic (3 points) or the cubic itself (4 points).

    Raises vellary.demote.errors.ApproxNotFoundError when no spline of at
    most MAX_N segments is close enough.
    """
    max_err = _double(max_err)
    all_quadratic = _int(all_quadratic)

    curve = _convert_curve(curve)
    for n in range(1, MAX_N + 1):
        spline = cubic_approx_spline(curve, _int(n), max_err, all_quadratic)
        if spline is not None:
            return [(s.real, s.imag) for s in spline]
    raise ApproxNotFoundError(curve)


def _unreachable(max_n):
    return isinstance(max_n, float) and not math.isfinite(max_n)


def curves_to_quadratic(curves, max_errors, all_quadratic=True):
    """curves_to_quadratic(curves, max_errors, int all_quadratic=True)

    Return quadratic Bezier splines that approximate the given cubic Beziers,
    all with the same, smallest number of segments.

    `curves` is a sequence of n curves of four 2D tuples each; `max_errors`
    a sequence of n floats, the permitted deviation from each curve.

        >>> curves_to_quadratic([
        ...     [(50, 50), (100, 100), (150, 100), (200, 50)],
        ...     [(75, 50), (120, 100), (150, 75), (200, 60)],
        ... ], [1, 1])
        [[(50.0, 50.0), (75.0, 75.0), (125.0, 91.66666666666666), (175.0, 75.0), (200.0, 50.0)], [(75.0, 50.0), (97.5, 75.0), (135.41666666666666, 82.08333333333333), (175.0, 67.5), (200.0, 60.0)]]

    Between two consecutive off-curve points of a spline lies an implied
    on-curve point at their midpoint, as TrueType outlines expect: above, the
    first segment of the first spline ends at (100, 83.333...).  With
    `all_quadratic` false, each result may instead be one quadratic or the
    cubic itself.  An empty `curves` gives an empty list.

    Raises ValueError when `max_errors` does not match the number of curves,
    and vellary.demote.errors.ApproxNotFoundError when no count up to MAX_N
    suits every curve.
    """
    all_quadratic = _int(all_quadratic)

    curves = [_convert_curve(curve) for curve in curves]
    if len(max_errors) != len(curves):
        raise ValueError("max_errors must match the number of curves")

    l = len(curves)
    if not l:
        return []
    splines = [None] * l
    last_i = i = 0
    n = 1
    # Mended: a count that can never reach MAX_N must not run forever; an
    # exhausted range fails at once, as in curve_to_quadratic, and `>=`
    # below also ends the search when MAX_N is lowered while it runs.  No
    # count reaches a NaN or infinite MAX_N either.
    if _unreachable(MAX_N) or MAX_N < 1:
        raise ApproxNotFoundError(curves)
    while True:
        spline = cubic_approx_spline(curves[i], _int(n), _double(max_errors[i]), all_quadratic)
        if spline is None:
            if _unreachable(MAX_N) or n >= MAX_N:
                break
            n += 1
            last_i = i
            continue
        splines[i] = spline
        i = (i + 1) % l
        if i == last_i:
            return [[(s.real, s.imag) for s in spline] for spline in splines]

    raise ApproxNotFoundError(curves)


def _test_text(doc):
    # The __test__ value: the description as written in the source.
    return doc.split("\n\n", 1)[1]


__test__ = {"curves_to_quadratic (line 504)": _test_text(curves_to_quadratic.__doc__)}
