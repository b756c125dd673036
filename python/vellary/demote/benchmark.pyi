import random
from collections.abc import Sequence

TOLERANCES: tuple[float, ...]

def generate_curve(rng: random.Random = ...) -> list[tuple[float, float]]: ...
def main(argv: Sequence[str] | None = None) -> int: ...
