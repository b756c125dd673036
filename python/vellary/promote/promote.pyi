from collections.abc import Sequence
from typing import Any, NamedTuple, Union

__all__ = ["quadratic_to_curves"]

COMPILED: bool

Point = Union[tuple[float, float], complex]

class Solution(NamedTuple):
    num_points: int
    error: float
    start_index: int
    is_cubic: bool

def elevate_quadratic(p0: complex, p1: complex, p2: complex) -> tuple[complex, complex, complex, complex]: ...
def add_implicit_on_curves(p: Sequence[Any]) -> list[Any]: ...
def quadratic_to_curves(
    quads: list[Sequence[Point]], max_err: float = 0.5, all_cubic: bool = False
) -> list[tuple[Point, ...]]: ...
def spline_to_curves(
    q: Sequence[complex], costs: Sequence[int], tolerance: float = 0.5, all_cubic: int = False
) -> list[tuple[complex, complex, complex, complex] | list[complex]]: ...
def main() -> None: ...
