import os
import re
from collections.abc import Iterator
from typing import ClassVar, Protocol

from .location import FeatureLibLocation

# NUMBER, HEXADECIMAL, OCTAL and CID values are ints, FLOAT values floats,
# all others strings.
_Token = tuple[str, str | int | float, FeatureLibLocation]

class _Readable(Protocol):
    def read(self) -> str: ...

class Lexer:
    NUMBER: ClassVar[str]
    HEXADECIMAL: ClassVar[str]
    OCTAL: ClassVar[str]
    NUMBERS: ClassVar[tuple[str, ...]]
    FLOAT: ClassVar[str]
    STRING: ClassVar[str]
    NAME: ClassVar[str]
    FILENAME: ClassVar[str]
    GLYPHCLASS: ClassVar[str]
    CID: ClassVar[str]
    SYMBOL: ClassVar[str]
    COMMENT: ClassVar[str]
    NEWLINE: ClassVar[str]
    ANONYMOUS_BLOCK: ClassVar[str]
    RE_GLYPHCLASS: ClassVar[re.Pattern[str]]
    def __init__(self, text: str, filename: str | None) -> None: ...
    def __iter__(self) -> Iterator[_Token]: ...
    def __next__(self) -> _Token: ...
    def next(self) -> _Token: ...
    def scan_anonymous_block(self, tag: str) -> _Token: ...

class IncludingLexer:
    featurefilepath: str | None
    includeDir: str | os.PathLike[str] | None
    def __init__(
        self, featurefile: str | os.PathLike[str] | _Readable, *, includeDir: str | os.PathLike[str] | None = None
    ) -> None: ...
    def __iter__(self) -> Iterator[_Token]: ...
    def __next__(self) -> _Token: ...
    def next(self) -> _Token: ...
    def scan_anonymous_block(self, tag: str) -> _Token: ...

class NonIncludingLexer(IncludingLexer):
    def __next__(self) -> _Token: ...
