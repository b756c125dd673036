"""Source positions of feature-file tokens."""

from typing import NamedTuple


class FeatureLibLocation(NamedTuple):
    """Where a token starts: the file name, the line and the column (both 1-based).

    A tuple, so that locations compare, hash and pickle by value; ``str()`` gives
    the ``file:line:column`` form that editors and compilers understand.
    """

    file: str
    line: int
    column: int

    def __str__(self):
        return f"{self.file}:{self.line}:{self.column}"
