from typing import Any

from vellary.pens.segmenter import Segmenter

COMPILED: bool
__all__ = ["Integrator"]

class Integrator(Segmenter):
    """Signed area and first and second moments of area of the closed
    contours drawn into the pen."""

    area: float
    momentX: float
    momentY: float
    momentXX: float
    momentXY: float
    momentYY: float
    def __init__(self, glyphset: Any = None) -> None: ...
