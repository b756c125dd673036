"""The README's examples run as written."""

import doctest
import pathlib

import pytest

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"


def test_readme_examples():
    pytest.importorskip("vellary.demote.errors")
    result = doctest.testfile(str(README), module_relative=False, optionflags=doctest.ELLIPSIS)
    assert result.attempted > 0 and result.failed == 0
