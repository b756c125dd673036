from collections.abc import Callable
from typing import NamedTuple

# Coefficients may be any numbers with Python arithmetic; with int and float
# inputs every root is a float.

COMPILED: bool
EPSILON: float
epsilon: float
epsilonDigits: int

class Intersection(NamedTuple):
    pt: tuple[float, float]
    t1: float
    t2: float

def solveQuadratic(a: float, b: float, c: float, sqrt: Callable[[float], float] = ...) -> list[float]: ...
def solveCubic(a: float, b: float, c: float, d: float) -> list[float]: ...
