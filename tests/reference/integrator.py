"""Pure-Python model of vellary.pens.integrator, used as the test oracle.

The closed forms are written term for term in the order the native module
evaluates them (every coordinate converted to a float first, powers with
``**``), so that a differential test can demand identical floats.
"""

from vellary.pens.segmenter import OpenContourError, Segmenter


def _double(o):
    """A coordinate as a C double: floats as they are, else __float__ or
    __index__; unlike float(), strings are rejected."""
    if isinstance(o, float):
        return float.__float__(o)
    t = type(o)
    if hasattr(t, "__float__") or hasattr(t, "__index__"):
        return float(o)
    raise TypeError("must be real number, not %.50s" % t.__name__)


def _point(p):
    """`x, y = p` with the native module's messages, then each a double."""
    if type(p) is tuple or type(p) is list:
        items = list(p)
        if len(items) > 2:
            raise ValueError("too many values to unpack (expected 2)")
    else:
        it = iter(p)
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
    x, y = items
    return _double(x), _double(y)


class Integrator(Segmenter):
    """Integrator(glyphset=None): signed area and moments of the closed
    contours drawn into it."""

    def __init__(self, glyphset=None):
        Segmenter.__init__(self, glyphset)
        self.area = 0
        self.momentX = 0
        self.momentY = 0
        self.momentXX = 0
        self.momentXY = 0
        self.momentYY = 0

    def _moveTo(self, p0):
        self._startPoint = p0

    def _closePath(self):
        p0 = self._getCurrentPoint()
        if p0 != self._startPoint:
            self._lineTo(self._startPoint)

    def _endPath(self):
        p0 = self._getCurrentPoint()
        if p0 != self._startPoint:
            raise OpenContourError("Glyph statistics is not defined on open contours.")

    def _lineTo(self, p1):
        x0, y0 = _point(self._getCurrentPoint())
        x1, y1 = _point(p1)

        self.area += (x0*y0 + x0*y1 - y0*x1 - x1*y1) / 2
        self.momentX += (2*x0**2*y0 + x0**2*y1 - x0*y0*x1 + x0*x1*y1 - y0*x1**2 - 2*x1**2*y1) / 6
        self.momentY += (x0*y0**2 + x0*y0*y1 + x0*y1**2 - y0**2*x1 - y0*x1*y1 - x1*y1**2) / 6
        self.momentXX += (3*x0**3*y0 + x0**3*y1 - x0**2*y0*x1 + x0**2*x1*y1 - x0*y0*x1**2 + x0*x1**2*y1 - y0*x1**3 - 3*x1**3*y1) / 12
        self.momentXY += (3*x0**2*y0**2 + 2*x0**2*y0*y1 + x0**2*y1**2 - 2*x0*y0**2*x1 + 2*x0*x1*y1**2 - y0**2*x1**2 - 2*y0*x1**2*y1 - 3*x1**2*y1**2) / 24
        self.momentYY += (x0*y0**3 + x0*y0**2*y1 + x0*y0*y1**2 + x0*y1**3 - y0**3*x1 - y0**2*x1*y1 - y0*x1*y1**2 - x1*y1**3) / 12

    def _qCurveToOne(self, p1, p2):
        x0, y0 = _point(self._getCurrentPoint())
        x1, y1 = _point(p1)
        x2, y2 = _point(p2)

        self.area += (3*x0*y0 + 2*x0*y1 + x0*y2 - 2*y0*x1 - y0*x2 + 2*x1*y2 - 2*y1*x2 - 3*x2*y2) / 6
        self.momentX += (10*x0**2*y0 + 4*x0**2*y1 + x0**2*y2 - 4*x0*y0*x1 - x0*y0*x2 + 2*x0*x1*y1 + 2*x0*x1*y2 + x0*x2*y2 - 2*y0*x1**2 - 2*y0*x1*x2 - y0*x2**2 + 2*x1**2*y2 - 2*x1*y1*x2 + 4*x1*x2*y2 - 4*y1*x2**2 - 10*x2**2*y2) / 30
        self.momentY += (5*x0*y0**2 + 4*x0*y0*y1 + x0*y0*y2 + 2*x0*y1**2 + 2*x0*y1*y2 + x0*y2**2 - 4*y0**2*x1 - y0**2*x2 - 2*y0*x1*y1 - 2*y0*y1*x2 - y0*x2*y2 + 2*x1*y1*y2 + 4*x1*y2**2 - 2*y1**2*x2 - 4*y1*x2*y2 - 5*x2*y2**2) / 30
        self.momentXX += (105*x0**3*y0 + 30*x0**3*y1 + 5*x0**3*y2 - 30*x0**2*y0*x1 - 5*x0**2*y0*x2 + 20*x0**2*x1*y1 + 10*x0**2*x1*y2 + 2*x0**2*y1*x2 + 3*x0**2*x2*y2 - 20*x0*y0*x1**2 - 12*x0*y0*x1*x2 - 3*x0*y0*x2**2 + 8*x0*x1**2*y1 + 12*x0*x1**2*y2 + 12*x0*x1*x2*y2 - 2*x0*y1*x2**2 + 5*x0*x2**2*y2 - 8*y0*x1**3 - 12*y0*x1**2*x2 - 10*y0*x1*x2**2 - 5*y0*x2**3 + 8*x1**3*y2 - 8*x1**2*y1*x2 + 20*x1**2*x2*y2 - 20*x1*y1*x2**2 + 30*x1*x2**2*y2 - 30*y1*x2**3 - 105*x2**3*y2) / 420
        self.momentXY += (105*x0**2*y0**2 + 60*x0**2*y0*y1 + 10*x0**2*y0*y2 + 20*x0**2*y1**2 + 12*x0**2*y1*y2 + 3*x0**2*y2**2 - 60*x0*y0**2*x1 - 10*x0*y0**2*x2 + 8*x0*y0*x1*y2 - 8*x0*y0*y1*x2 + 16*x0*x1*y1**2 + 24*x0*x1*y1*y2 + 12*x0*x1*y2**2 + 8*x0*y1*x2*y2 + 10*x0*x2*y2**2 - 20*y0**2*x1**2 - 12*y0**2*x1*x2 - 3*y0**2*x2**2 - 16*y0*x1**2*y1 - 24*y0*x1*y1*x2 - 8*y0*x1*x2*y2 - 12*y0*y1*x2**2 - 10*y0*x2**2*y2 + 16*x1**2*y1*y2 + 20*x1**2*y2**2 - 16*x1*y1**2*x2 + 60*x1*x2*y2**2 - 20*y1**2*x2**2 - 60*y1*x2**2*y2 - 105*x2**2*y2**2) / 840
        self.momentYY += (35*x0*y0**3 + 30*x0*y0**2*y1 + 5*x0*y0**2*y2 + 20*x0*y0*y1**2 + 12*x0*y0*y1*y2 + 3*x0*y0*y2**2 + 8*x0*y1**3 + 12*x0*y1**2*y2 + 10*x0*y1*y2**2 + 5*x0*y2**3 - 30*y0**3*x1 - 5*y0**3*x2 - 20*y0**2*x1*y1 - 2*y0**2*x1*y2 - 10*y0**2*y1*x2 - 3*y0**2*x2*y2 - 8*y0*x1*y1**2 + 2*y0*x1*y2**2 - 12*y0*y1**2*x2 - 12*y0*y1*x2*y2 - 5*y0*x2*y2**2 + 8*x1*y1**2*y2 + 20*x1*y1*y2**2 + 30*x1*y2**3 - 8*y1**3*x2 - 20*y1**2*x2*y2 - 30*y1*x2*y2**2 - 35*x2*y2**3) / 420

    def _curveToOne(self, p1, p2, p3):
        x0, y0 = _point(self._getCurrentPoint())
        x1, y1 = _point(p1)
        x2, y2 = _point(p2)
        x3, y3 = _point(p3)

        self.area += (10*x0*y0 + 6*x0*y1 + 3*x0*y2 + x0*y3 - 6*y0*x1 - 3*y0*x2 - y0*x3 + 3*x1*y2 + 3*x1*y3 - 3*y1*x2 - 3*y1*x3 + 6*x2*y3 - 6*y2*x3 - 10*x3*y3) / 20
        self.momentX += (280*x0**2*y0 + 105*x0**2*y1 + 30*x0**2*y2 + 5*x0**2*y3 - 105*x0*y0*x1 - 30*x0*y0*x2 - 5*x0*y0*x3 + 45*x0*x1*y1 + 45*x0*x1*y2 + 15*x0*x1*y3 - 3*x0*y1*x3 + 18*x0*x2*y2 + 12*x0*x2*y3 + 3*x0*y2*x3 + 5*x0*x3*y3 - 45*y0*x1**2 - 45*y0*x1*x2 - 12*y0*x1*x3 - 18*y0*x2**2 - 15*y0*x2*x3 - 5*y0*x3**2 + 27*x1**2*y2 + 18*x1**2*y3 - 27*x1*y1*x2 - 18*x1*y1*x3 + 27*x1*x2*y2 + 45*x1*x2*y3 + 30*x1*x3*y3 - 27*y1*x2**2 - 45*y1*x2*x3 - 30*y1*x3**2 + 45*x2**2*y3 - 45*x2*y2*x3 + 105*x2*x3*y3 - 105*y2*x3**2 - 280*x3**2*y3) / 840
        self.momentY += (140*x0*y0**2 + 105*x0*y0*y1 + 30*x0*y0*y2 + 5*x0*y0*y3 + 45*x0*y1**2 + 45*x0*y1*y2 + 12*x0*y1*y3 + 18*x0*y2**2 + 15*x0*y2*y3 + 5*x0*y3**2 - 105*y0**2*x1 - 30*y0**2*x2 - 5*y0**2*x3 - 45*y0*x1*y1 + 3*y0*x1*y3 - 45*y0*y1*x2 - 15*y0*y1*x3 - 18*y0*x2*y2 - 3*y0*x2*y3 - 12*y0*y2*x3 - 5*y0*x3*y3 + 27*x1*y1*y2 + 18*x1*y1*y3 + 27*x1*y2**2 + 45*x1*y2*y3 + 30*x1*y3**2 - 27*y1**2*x2 - 18*y1**2*x3 - 27*y1*x2*y2 - 45*y1*y2*x3 - 30*y1*x3*y3 + 45*x2*y2*y3 + 105*x2*y3**2 - 45*y2**2*x3 - 105*y2*x3*y3 - 140*x3*y3**2) / 840
        self.momentXX += (2310*x0**3*y0 + 630*x0**3*y1 + 126*x0**3*y2 + 14*x0**3*y3 - 630*x0**2*y0*x1 - 126*x0**2*y0*x2 - 14*x0**2*y0*x3 + 378*x0**2*x1*y1 + 210*x0**2*x1*y2 + 42*x0**2*x1*y3 + 42*x0**2*y1*x2 + 63*x0**2*x2*y2 + 21*x0**2*x2*y3 + 9*x0**2*y2*x3 + 5*x0**2*x3*y3 - 378*x0*y0*x1**2 - 252*x0*y0*x1*x2 - 42*x0*y0*x1*x3 - 63*x0*y0*x2**2 - 30*x0*y0*x2*x3 - 5*x0*y0*x3**2 + 126*x0*x1**2*y1 + 189*x0*x1**2*y2 + 63*x0*x1**2*y3 - 18*x0*x1*y1*x3 + 162*x0*x1*x2*y2 + 90*x0*x1*x2*y3 + 30*x0*x1*y2*x3 + 30*x0*x1*x3*y3 - 27*x0*y1*x2**2 - 30*x0*y1*x2*x3 - 9*x0*y1*x3**2 + 45*x0*x2**2*y2 + 45*x0*x2**2*y3 + 18*x0*x2*y2*x3 + 42*x0*x2*x3*y3 + 14*x0*x3**2*y3 - 126*y0*x1**3 - 189*y0*x1**2*x2 - 45*y0*x1**2*x3 - 135*y0*x1*x2**2 - 90*y0*x1*x2*x3 - 21*y0*x1*x3**2 - 45*y0*x2**3 - 63*y0*x2**2*x3 - 42*y0*x2*x3**2 - 14*y0*x3**3 + 81*x1**3*y2 + 45*x1**3*y3 - 81*x1**2*y1*x2 - 45*x1**2*y1*x3 + 135*x1**2*x2*y2 + 135*x1**2*x2*y3 + 27*x1**2*y2*x3 + 63*x1**2*x3*y3 - 135*x1*y1*x2**2 - 162*x1*y1*x2*x3 - 63*x1*y1*x3**2 + 81*x1*x2**2*y2 + 189*x1*x2**2*y3 + 252*x1*x2*x3*y3 - 42*x1*y2*x3**2 + 126*x1*x3**2*y3 - 81*y1*x2**3 - 189*y1*x2**2*x3 - 210*y1*x2*x3**2 - 126*y1*x3**3 + 126*x2**3*y3 - 126*x2**2*y2*x3 + 378*x2**2*x3*y3 - 378*x2*y2*x3**2 + 630*x2*x3**2*y3 - 630*y2*x3**3 - 2310*x3**3*y3) / 9240
        self.momentXY += (2310*x0**2*y0**2 + 1260*x0**2*y0*y1 + 252*x0**2*y0*y2 + 28*x0**2*y0*y3 + 378*x0**2*y1**2 + 252*x0**2*y1*y2 + 42*x0**2*y1*y3 + 63*x0**2*y2**2 + 30*x0**2*y2*y3 + 5*x0**2*y3**2 - 1260*x0*y0**2*x1 - 252*x0*y0**2*x2 - 28*x0*y0**2*x3 + 168*x0*y0*x1*y2 + 42*x0*y0*x1*y3 - 168*x0*y0*y1*x2 - 42*x0*y0*y1*x3 + 12*x0*y0*x2*y3 - 12*x0*y0*y2*x3 + 252*x0*x1*y1**2 + 378*x0*x1*y1*y2 + 108*x0*x1*y1*y3 + 162*x0*x1*y2**2 + 120*x0*x1*y2*y3 + 30*x0*x1*y3**2 - 18*x0*y1**2*x3 + 108*x0*y1*x2*y2 + 60*x0*y1*x2*y3 + 12*x0*y1*x3*y3 + 90*x0*x2*y2**2 + 108*x0*x2*y2*y3 + 42*x0*x2*y3**2 + 18*x0*y2**2*x3 + 42*x0*y2*x3*y3 + 28*x0*x3*y3**2 - 378*y0**2*x1**2 - 252*y0**2*x1*x2 - 42*y0**2*x1*x3 - 63*y0**2*x2**2 - 30*y0**2*x2*x3 - 5*y0**2*x3**2 - 252*y0*x1**2*y1 + 18*y0*x1**2*y3 - 378*y0*x1*y1*x2 - 108*y0*x1*y1*x3 - 108*y0*x1*x2*y2 - 60*y0*x1*y2*x3 - 12*y0*x1*x3*y3 - 162*y0*y1*x2**2 - 120*y0*y1*x2*x3 - 30*y0*y1*x3**2 - 90*y0*x2**2*y2 - 18*y0*x2**2*y3 - 108*y0*x2*y2*x3 - 42*y0*x2*x3*y3 - 42*y0*y2*x3**2 - 28*y0*x3**2*y3 + 162*x1**2*y1*y2 + 90*x1**2*y1*y3 + 135*x1**2*y2**2 + 162*x1**2*y2*y3 + 63*x1**2*y3**2 - 162*x1*y1**2*x2 - 90*x1*y1**2*x3 + 108*x1*y1*x2*y3 - 108*x1*y1*y2*x3 + 162*x1*x2*y2**2 + 378*x1*x2*y2*y3 + 252*x1*x2*y3**2 + 168*x1*y2*x3*y3 + 252*x1*x3*y3**2 - 135*y1**2*x2**2 - 162*y1**2*x2*x3 - 63*y1**2*x3**2 - 162*y1*x2**2*y2 - 378*y1*x2*y2*x3 - 168*y1*x2*x3*y3 - 252*y1*y2*x3**2 - 252*y1*x3**2*y3 + 252*x2**2*y2*y3 + 378*x2**2*y3**2 - 252*x2*y2**2*x3 + 1260*x2*x3*y3**2 - 378*y2**2*x3**2 - 1260*y2*x3**2*y3 - 2310*x3**2*y3**2) / 18480
        self.momentYY += (770*x0*y0**3 + 630*x0*y0**2*y1 + 126*x0*y0**2*y2 + 14*x0*y0**2*y3 + 378*x0*y0*y1**2 + 252*x0*y0*y1*y2 + 42*x0*y0*y1*y3 + 63*x0*y0*y2**2 + 30*x0*y0*y2*y3 + 5*x0*y0*y3**2 + 126*x0*y1**3 + 189*x0*y1**2*y2 + 45*x0*y1**2*y3 + 135*x0*y1*y2**2 + 90*x0*y1*y2*y3 + 21*x0*y1*y3**2 + 45*x0*y2**3 + 63*x0*y2**2*y3 + 42*x0*y2*y3**2 + 14*x0*y3**3 - 630*y0**3*x1 - 126*y0**3*x2 - 14*y0**3*x3 - 378*y0**2*x1*y1 - 42*y0**2*x1*y2 - 210*y0**2*y1*x2 - 42*y0**2*y1*x3 - 63*y0**2*x2*y2 - 9*y0**2*x2*y3 - 21*y0**2*y2*x3 - 5*y0**2*x3*y3 - 126*y0*x1*y1**2 + 18*y0*x1*y1*y3 + 27*y0*x1*y2**2 + 30*y0*x1*y2*y3 + 9*y0*x1*y3**2 - 189*y0*y1**2*x2 - 63*y0*y1**2*x3 - 162*y0*y1*x2*y2 - 30*y0*y1*x2*y3 - 90*y0*y1*y2*x3 - 30*y0*y1*x3*y3 - 45*y0*x2*y2**2 - 18*y0*x2*y2*y3 - 45*y0*y2**2*x3 - 42*y0*y2*x3*y3 - 14*y0*x3*y3**2 + 81*x1*y1**2*y2 + 45*x1*y1**2*y3 + 135*x1*y1*y2**2 + 162*x1*y1*y2*y3 + 63*x1*y1*y3**2 + 81*x1*y2**3 + 189*x1*y2**2*y3 + 210*x1*y2*y3**2 + 126*x1*y3**3 - 81*y1**3*x2 - 45*y1**3*x3 - 135*y1**2*x2*y2 - 27*y1**2*x2*y3 - 135*y1**2*y2*x3 - 63*y1**2*x3*y3 - 81*y1*x2*y2**2 + 42*y1*x2*y3**2 - 189*y1*y2**2*x3 - 252*y1*y2*x3*y3 - 126*y1*x3*y3**2 + 126*x2*y2**2*y3 + 378*x2*y2*y3**2 + 630*x2*y3**3 - 126*y2**3*x3 - 378*y2**2*x3*y3 - 630*y2*x3*y3**2 - 770*x3*y3**3) / 9240
