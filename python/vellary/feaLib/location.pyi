from typing import NamedTuple

class FeatureLibLocation(NamedTuple):
    file: str
    line: int
    column: int
