from collections.abc import Sequence

COMPILED: bool
MAX_LOOKBACK: int

# Points and deltas are read by index; explicit deltas come back as the same
# objects, interpolated ones as new (dx, dy) tuples.
_Point = Sequence[float]
_Delta = Sequence[float]

def gapfill_contour(deltas: Sequence[_Delta | None], coords: Sequence[_Point]) -> Sequence[_Delta]: ...
def gapfill_delta(
    deltas: Sequence[_Delta | None], coords: Sequence[_Point], ends: Sequence[int]
) -> Sequence[_Delta]: ...
def gapfill_contour_optimize(
    deltas: Sequence[_Delta], coords: Sequence[_Point], tolerance: float = 0.0
) -> list[_Delta | None]: ...
def gapfill_delta_optimize(
    deltas: Sequence[_Delta], coords: Sequence[_Point], ends: Sequence[int], tolerance: float = 0.0
) -> list[_Delta | None]: ...
