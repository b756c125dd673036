"""Exceptions of the cubic-to-quadratic conversion."""


class Error(Exception):
    """Base class of the conversion's errors."""


class ApproxNotFoundError(Error):
    """No spline of at most ``MAX_N`` segments stays within the tolerance.

    The one argument is the input as the converter saw it: the list of
    complex points of one curve, or the list of such lists for several
    curves.  It stays the only item of ``args`` (so that the error pickles and
    compares like any exception) and is also kept as ``curve``.
    """

    def __init__(self, curve):
        super().__init__(curve)
        self.curve = curve

    def __str__(self):
        return f"no approximation found: {self.curve!r}"
