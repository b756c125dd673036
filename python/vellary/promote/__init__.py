"""Quadratic-to-cubic conversion of Bezier splines.

The converter lives in the native submodule ``promote``.
"""

__all__ = []

try:
    from .promote import quadratic_to_curves
except ModuleNotFoundError as e:
    # Only a missing native module is tolerated, not a failure inside it.
    if e.name != __name__ + ".promote":
        raise
else:
    __all__ += ["quadratic_to_curves"]
