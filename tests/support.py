"""Helpers shared by the test modules."""

import contextlib


@contextlib.contextmanager
def rebound(name, value, *modules):
    """Bind `name` to `value` in each module, restoring the old values afterwards."""
    saved = [getattr(m, name) for m in modules]
    for m in modules:
        setattr(m, name, value)
    try:
        yield
    finally:
        for m, v in zip(modules, saved):
            setattr(m, name, v)
