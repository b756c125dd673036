"""Exceptions raised while reading feature files."""


class FeatureLibError(Exception):
    """A problem in a feature file, found at an optional source location.

    ``args`` stays ``(message, location)``, so that the error pickles and
    compares like any exception; the location is also kept as ``location``.
    ``str()`` puts the location in front of the message when there is one.
    """

    def __init__(self, message, location=None):
        Exception.__init__(self, message, location)
        self.location = location

    @property
    def message(self):
        return self.args[0]

    def __str__(self):
        if self.location is not None:
            return f"{self.location}: {self.args[0]}"
        return str(self.args[0])


class IncludedFeaNotFound(FeatureLibError):
    """An ``include`` statement names a feature file that does not exist.

    The message is the file name as the statement wrote it. The path it was
    resolved to is only known to the ``FileNotFoundError`` that the lexer
    chains as ``__cause__``; ``str()`` shows it when it is there.
    """

    def __str__(self):
        text = f"included feature file not found: {self.args[0]}"
        cause = self.__cause__
        if isinstance(cause, OSError) and cause.filename is not None:
            text += f" (looked for {cause.filename})"
        if self.location is not None:
            return f"{self.location}: {text}"
        return text
