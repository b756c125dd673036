"""Cubic-to-quadratic conversion of Bezier curves.

The converters live in the native submodule ``demote``; the exceptions in
the pure-Python ``errors``, which stays importable without the native build.
"""

from .errors import Error, ApproxNotFoundError

__all__ = ["Error", "ApproxNotFoundError"]

try:
    from .demote import curve_to_quadratic, curves_to_quadratic
except ModuleNotFoundError as e:
    # Only a missing native module is tolerated, not a failure inside it.
    if e.name != __name__ + ".demote":
        raise
else:
    __all__ += ["curve_to_quadratic", "curves_to_quadratic"]
