"""Helpers shared by the test modules."""

import contextlib
import sys
import sysconfig

import pytest


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


# The ordinary build always runs with the GIL: tests about it staying off
# apply to the free-threaded build only.
FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
free_threaded_only = pytest.mark.skipif(not FREE_THREADED, reason="the ordinary build of CPython always has the GIL")


def gil_stays_off():
    """False only if importing the modules turned the GIL back on."""
    return not FREE_THREADED or not sys._is_gil_enabled()
