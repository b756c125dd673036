"""Pure-Python model of vellary.misc.curvemath, used as the test oracle.

Each function is written statement for statement in the order the native
module evaluates it, so that a differential test can demand identical
floats, types and exceptions.  Keep it plain: no shortcuts, no rewriting of
expressions into "equivalent" forms (they are not equivalent in floating
point, nor for objects with their own arithmetic).

Module constants are read through the module namespace at each call, as the
native functions do, so tests may rebind them here as well.
"""

from math import sqrt, acos, cos, pi

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
