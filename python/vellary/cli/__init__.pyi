from collections.abc import Sequence

__all__ = ["main"]

EXIT_ERROR: int
EXIT_USAGE: int
EXIT_INTERRUPTED: int

def main(argv: Sequence[str] | None = None) -> int | str | None:
    """Run the command line `argv` (default: the process's arguments) and
    return the exit status."""
