from .demote import curve_to_quadratic as curve_to_quadratic, curves_to_quadratic as curves_to_quadratic
from .errors import ApproxNotFoundError as ApproxNotFoundError, Error as Error

__all__ = ["Error", "ApproxNotFoundError", "curve_to_quadratic", "curves_to_quadratic"]
