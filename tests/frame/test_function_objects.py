"""Function objects look and behave like Python functions to tools."""

import functools
import importlib
import inspect
import pickle
import pydoc
import types

import pytest

from vellary.misc import curvemath as cm


def test_attributes():
    f = cm.solveQuadratic
    assert f.__name__ == f.__qualname__ == "solveQuadratic"
    assert f.__module__ == "vellary.misc.curvemath"
    assert f.__globals__ is vars(cm)
    assert f.__closure__ is None
    assert f.__kwdefaults__ is None
    assert cm.solveCubic.__defaults__ is None
    assert f.__annotations__ == {}
    f.__dict__["note"] = 1
    assert f.note == 1
    del f.note


def test_docstrings_begin_with_the_signature_line():
    assert cm.solveQuadratic.__doc__.startswith("solveQuadratic(a, b, c, sqrt=sqrt)\n\n")
    assert cm.solveCubic.__doc__.startswith("solveCubic(a, b, c, d)\n\nSolve a cubic equation.\n\nFinds")
    # The description is dedented in __doc__ and kept as written in __test__.
    assert "\n        >>> solveCubic(1, 1, -6, 0)" in cm.__test__["solveCubic (line 847)"]
    assert "\n    >>> solveCubic(1, 1, -6, 0)\n    [-3.0, -0.0, 2.0]" in cm.solveCubic.__doc__
    assert not cm.__test__["solveCubic (line 847)"].startswith("solveCubic(")


def test_code_objects():
    code = cm.solveQuadratic.__code__
    assert code.co_name == "solveQuadratic"
    assert code.co_qualname == "solveQuadratic"
    assert code.co_filename == "misc/curvemath"
    assert code.co_firstlineno == 814
    assert code.co_argcount == 4
    assert code.co_kwonlyargcount == 0
    assert code.co_varnames[:4] == ("a", "b", "c", "sqrt")
    assert cm.solveCubic.__code__.co_firstlineno == 847


def test_inspect_and_help_understand_them():
    sig = inspect.signature(cm.solveQuadratic)
    assert list(sig.parameters) == ["a", "b", "c", "sqrt"]
    assert sig.parameters["sqrt"].default is cm.sqrt
    assert str(inspect.signature(cm.solveCubic)) == "(a, b, c, d)"
    assert inspect.isroutine(cm.solveCubic)
    assert "Solve a cubic equation." in pydoc.render_doc(cm.solveCubic)


def test_pickled_by_reference():
    assert pickle.loads(pickle.dumps(cm.solveCubic)) is cm.solveCubic


@pytest.mark.parametrize("module, qualname", [
    ("vellary.misc.curvemath", "solveCubic"),
    ("vellary.demote.demote", "_split_cubic_into_n_gen"),
    ("vellary.feaLib.lexer", "IncludingLexer.__init__"),
])
def test_code_objects_raise_when_executed(module, qualname):
    fn = functools.reduce(getattr, qualname.split("."), importlib.import_module(module))
    stub = types.FunctionType(fn.__code__, {}, None, fn.__defaults__)
    stub.__kwdefaults__ = fn.__kwdefaults__
    assert inspect.signature(stub) == inspect.signature(fn)
    assert inspect.isgeneratorfunction(stub) == inspect.isgeneratorfunction(fn)
    with pytest.raises(RuntimeError, match=rf"^{module}\.{qualname}\(\) is implemented in native code"):
        result = stub(*[None] * fn.__code__.co_argcount)
        next(result)  # a generator's body runs on iteration
