class Error(Exception): ...

class ApproxNotFoundError(Error):
    # The input as the converter saw it: complex points of one curve, or a
    # list of such lists for several curves.
    curve: list[complex] | list[list[complex]]
    def __init__(self, curve: list[complex] | list[list[complex]]) -> None: ...
