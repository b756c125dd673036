from .promote import quadratic_to_curves as quadratic_to_curves

__all__ = ["quadratic_to_curves"]
