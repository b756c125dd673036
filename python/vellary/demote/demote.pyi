from collections.abc import Generator, Iterable, Sequence

__all__ = ["curve_to_quadratic", "curves_to_quadratic"]

COMPILED: bool
MAX_N: int
NAN: float

# A point is anything whose items `complex()` accepts, normally (x, y).
_Point = Sequence[float]

def curve_to_quadratic(
    curve: Iterable[_Point], max_err: float, all_quadratic: bool = True
) -> list[tuple[float, float]]: ...
def curves_to_quadratic(
    curves: Iterable[Iterable[_Point]], max_errors: Sequence[float], all_quadratic: bool = True
) -> list[list[tuple[float, float]]]: ...
def _split_cubic_into_n_gen(
    p0: complex, p1: complex, p2: complex, p3: complex, n: int
) -> Generator[tuple[complex, complex, complex, complex], None, None]: ...
