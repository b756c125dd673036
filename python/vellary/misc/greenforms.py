"""Closed forms of area integrals over Bezier outlines, by Green's theorem.

For an integrand f(x, y) let F(x, y) be the integral of f(x, s) ds from 0 to
y.  Over a closed contour the double integral of f over the enclosed region
(counter-clockwise positive, y up) is the sum over the contour's segments of

    -integral from 0 to 1 of F(x(t), y(t)) * x'(t) dt,

where (x(t), y(t)) is the segment as a Bezier curve.  For a polynomial f that
is a polynomial in the control points' coordinates x0, y0, x1, y1, ...;
this module derives it with exact rational arithmetic and prints the source
of a pen that accumulates such totals:

    >>> from vellary.misc.greenforms import x, y, greenForm
    >>> print(formText(greenForm(x * y, 1)))
    (3*x0**2*y0**2 + 2*x0**2*y0*y1 + x0**2*y1**2 - 2*x0*y0**2*x1 + 2*x0*x1*y1**2 - y0**2*x1**2 - 2*y0*x1**2*y1 - 3*x1**2*y1**2) / 24
"""

import math
import sys
from fractions import Fraction

__all__ = ["Poly", "x", "y", "greenForm", "formText", "printGreenPen"]

# Every polynomial here is over these variables; a monomial is the tuple of
# their exponents.  Terms print in decreasing lexicographic order of the
# control points' exponents, x0 first.
_VARS = ("x", "y", "t", "x0", "y0", "x1", "y1", "x2", "y2", "x3", "y3")
_INDEX = {name: i for i, name in enumerate(_VARS)}
_ONE = (0,) * len(_VARS)
_COORDS = slice(3, None)


class Poly:
    """A polynomial with rational coefficients."""

    __slots__ = ("terms",)

    def __init__(self, terms=None):
        self.terms = {m: Fraction(c) for m, c in (terms or {}).items() if c}

    @classmethod
    def var(cls, name):
        m = [0] * len(_VARS)
        m[_INDEX[name]] = 1
        return cls({tuple(m): 1})

    @classmethod
    def of(cls, value):
        if isinstance(value, Poly):
            return value
        if isinstance(value, (int, Fraction)):
            return cls({_ONE: value})
        return NotImplemented

    def __add__(self, other):
        other = Poly.of(other)
        if other is NotImplemented:
            return other
        terms = dict(self.terms)
        for m, c in other.terms.items():
            terms[m] = terms.get(m, 0) + c
        return Poly(terms)

    __radd__ = __add__

    def __neg__(self):
        return Poly({m: -c for m, c in self.terms.items()})

    def __sub__(self, other):
        other = Poly.of(other)
        return other if other is NotImplemented else self + -other

    def __rsub__(self, other):
        return -self + other

    def __mul__(self, other):
        other = Poly.of(other)
        if other is NotImplemented:
            return other
        terms = {}
        for m1, c1 in self.terms.items():
            for m2, c2 in other.terms.items():
                m = tuple(a + b for a, b in zip(m1, m2))
                terms[m] = terms.get(m, 0) + c1 * c2
        return Poly(terms)

    __rmul__ = __mul__

    def __truediv__(self, other):
        if not isinstance(other, (int, Fraction)):
            return NotImplemented
        return Poly({m: c / other for m, c in self.terms.items()})

    def __pow__(self, n):
        if not isinstance(n, int) or n < 0:
            return NotImplemented
        result = Poly({_ONE: 1})
        for _ in range(n):
            result = result * self
        return result

    def __eq__(self, other):
        other = Poly.of(other)
        return other is not NotImplemented and self.terms == other.terms

    __hash__ = None

    def __repr__(self):
        return f"Poly({formText(self)})"

    def __call__(self, **values):
        """The value at the given variables (exact for ints and Fractions);
        the result is a Poly when some variables are left."""
        result = Poly()
        for m, c in self.terms.items():
            rest = list(m)
            for name, v in values.items():
                i = _INDEX[name]
                c = c * Fraction(v) ** m[i]
                rest[i] = 0
            result = result + Poly({tuple(rest): c})
        if all(m == _ONE for m in result.terms):
            return result.terms.get(_ONE, Fraction(0))
        return result

    def substitute(self, **polys):
        """The polynomial with variables replaced by polynomials."""
        result = Poly()
        for m, c in self.terms.items():
            term = Poly({tuple(0 if _VARS[i] in polys else e for i, e in enumerate(m)): c})
            for name, p in polys.items():
                term = term * p ** m[_INDEX[name]]
            result = result + term
        return result

    def integral(self, name):
        """The antiderivative in `name` that vanishes where `name` is 0."""
        i = _INDEX[name]
        return Poly({m[:i] + (m[i] + 1,) + m[i + 1:]: c / (m[i] + 1) for m, c in self.terms.items()})

    def derivative(self, name):
        i = _INDEX[name]
        return Poly({m[:i] + (m[i] - 1,) + m[i + 1:]: c * m[i] for m, c in self.terms.items() if m[i]})


x = Poly.var("x")
y = Poly.var("y")
_t = Poly.var("t")


def _bezier(coord, degree):
    """x(t) or y(t) of a Bezier segment in Bernstein form."""
    return sum((math.comb(degree, i) * (1 - _t) ** (degree - i) * _t ** i * Poly.var(f"{coord}{i}")
                for i in range(degree + 1)), Poly())


def greenForm(f, degree):
    """The contribution of one segment of the given degree (1 for a line, 2
    for a quadratic, 3 for a cubic) to the area integral of `f`, a polynomial
    in x and y: a polynomial in the control points' coordinates."""
    if degree not in (1, 2, 3):
        raise ValueError("degree must be 1, 2 or 3")
    F = Poly.of(f).integral("y")
    bx, by = _bezier("x", degree), _bezier("y", degree)
    integrand = -F.substitute(x=bx, y=by) * bx.derivative("t")
    antiderivative = integrand.integral("t")
    return antiderivative(t=1)


def formText(poly, power="**"):
    """The polynomial as one Python expression: integer-coefficient terms in
    decreasing lexicographic order over a common denominator."""
    terms = sorted(poly.terms.items(), key=lambda mc: mc[0][_COORDS], reverse=True)
    denominator = math.lcm(*(c.denominator for _, c in terms)) if terms else 1
    parts = []
    for m, c in terms:
        n = c * denominator
        factors = [name if e == 1 else f"{name}{power}{e}" for name, e in zip(_VARS, m) if e]
        if abs(n) != 1 or not factors:
            factors.insert(0, str(abs(n)))
        text = "*".join(factors)
        if not parts:
            parts.append("-" + text if n < 0 else text)
        else:
            parts.append((" - " if n < 0 else " + ") + text)
    body = "".join(parts) or "0"
    return body if denominator == 1 else f"({body}) / {denominator}"


_SEGMENTS = (
    ("_lineTo", ("p1",), 1),
    ("_qCurveToOne", ("p1", "p2"), 2),
    ("_curveToOne", ("p1", "p2", "p3"), 3),
)


def printGreenPen(penName, funcs, file=None):
    """Print the source of a pen class `penName` that accumulates, for each
    (attribute name, integrand) of `funcs`, the area integral of the
    integrand over the closed contours drawn into it."""
    out = file if file is not None else sys.stdout
    funcs = [(name, Poly.of(f)) for name, f in funcs]
    lines = [
        "from vellary.pens.segmenter import OpenContourError, Segmenter",
        "",
        "",
        f"class {penName}(Segmenter):",
        "    def __init__(self, glyphset=None):",
        "        Segmenter.__init__(self, glyphset)",
    ]
    lines += [f"        self.{name} = 0" for name, _ in funcs]
    lines += [
        "",
        "    def _moveTo(self, p0):",
        "        self._startPoint = p0",
        "",
        "    def _closePath(self):",
        "        p0 = self._getCurrentPoint()",
        "        if p0 != self._startPoint:",
        "            self._lineTo(self._startPoint)",
        "",
        "    def _endPath(self):",
        "        p0 = self._getCurrentPoint()",
        "        if p0 != self._startPoint:",
        '            raise OpenContourError("Glyph statistics is not defined on open contours.")',
    ]
    for method, params, degree in _SEGMENTS:
        lines += ["", f"    def {method}(self, {', '.join(params)}):", "        x0, y0 = self._getCurrentPoint()"]
        lines += [f"        x{i}, y{i} = {p}" for i, p in enumerate(params, 1)]
        lines.append("")
        lines += [f"        self.{name} += {formText(greenForm(f, degree))}" for name, f in funcs]
    print("\n".join(lines), file=out)
