"""Argument binding: the interpreter's TypeError texts, keyword rules, defaults."""

import ctypes

import pytest

from vellary.misc import curvemath as cm


def last_entry(excinfo):
    tb = excinfo.value.__traceback__
    while tb.tb_next:
        tb = tb.tb_next
    return tb.tb_frame.f_code.co_name, tb.tb_frame.f_code.co_filename, tb.tb_lineno


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: cm.solveCubic(1, 2, 3), "solveCubic() takes exactly 4 positional arguments (3 given)"),
        (lambda: cm.solveCubic(1, 2, 3, 4, 5), "solveCubic() takes exactly 4 positional arguments (5 given)"),
        (lambda: cm.solveCubic(), "solveCubic() takes exactly 4 positional arguments (0 given)"),
        (lambda: cm.solveQuadratic(1, 2), "solveQuadratic() takes at least 3 positional arguments (2 given)"),
        (lambda: cm.solveQuadratic(1, 2, 3, 4, 5), "solveQuadratic() takes at most 4 positional arguments (5 given)"),
        # With keywords, "given" is the position of the first missing parameter.
        (lambda: cm.solveQuadratic(a=1, c=2), "solveQuadratic() takes at least 3 positional arguments (1 given)"),
        (lambda: cm.solveCubic(1, b=2, d=4), "solveCubic() takes exactly 4 positional arguments (2 given)"),
        (lambda: cm.solveCubic(1, 2, 3, 4, a=1), "solveCubic() got multiple values for keyword argument 'a'"),
        (lambda: cm.solveCubic(1, 2, 3, 4, e=1), "solveCubic() got an unexpected keyword argument 'e'"),
        # Keywords are matched before missing parameters are reported.
        (lambda: cm.solveCubic(1, 2, 3, e=1), "solveCubic() got an unexpected keyword argument 'e'"),
        (lambda: cm.solveQuadratic(1, 2, 3, 4, sqrt=1), "solveQuadratic() got multiple values for keyword argument 'sqrt'"),
    ],
)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as excinfo:
        call()
    assert str(excinfo.value) == message
    name, filename, line = last_entry(excinfo)
    assert filename == "misc/curvemath"
    assert line == {"vellary.misc.curvemath.solveCubic": 847, "vellary.misc.curvemath.solveQuadratic": 814}[name]


@pytest.mark.parametrize(
    "kwargs",
    [dict(a=1, b=-6, c=11, d=-6), dict(d=-6, c=11, b=-6, a=1)],
)
def test_keywords_in_any_order(kwargs):
    assert cm.solveCubic(**kwargs) == [1.0, 2.0, 3.0]


def test_keyword_of_str_subclass_compares_by_value():
    class S(str):
        pass

    assert cm.solveCubic(1, -6, 11, **{S("d"): -6}) == [1.0, 2.0, 3.0]


def test_default_is_the_object_bound_at_definition():
    import math

    assert cm.solveQuadratic.__defaults__ == (math.sqrt,)
    assert cm.solveQuadratic(1, -3, 2, sqrt=lambda x: 0) == [1.5, 1.5]
    assert cm.solveQuadratic(1, -3, 2, lambda x: 0) == [1.5, 1.5]


def test_dict_keywords_must_be_strings():
    # type(f).__call__ hands the keyword dict to the call slot as it is.
    with pytest.raises(TypeError, match="^keywords must be strings$"):
        type(cm.solveCubic).__call__(cm.solveCubic, 1, 2, 3, **{1: 4})
    assert type(cm.solveCubic).__call__(cm.solveCubic, 1, -6, 11, **{"d": -6}) == [1.0, 2.0, 3.0]
    with pytest.raises(TypeError, match="got multiple values for keyword argument 'a'"):
        type(cm.solveCubic).__call__(cm.solveCubic, 1, 2, 3, 4, **{"a": 4})


def test_vectorcall_keywords_must_be_strings():
    api = ctypes.pythonapi
    api.PyObject_Vectorcall.restype = ctypes.py_object
    api.PyObject_Vectorcall.argtypes = [ctypes.py_object, ctypes.POINTER(ctypes.py_object), ctypes.c_size_t, ctypes.py_object]
    args = (ctypes.py_object * 4)(1, 2, 3, 4)
    with pytest.raises(TypeError, match=r"^solveCubic\(\) keywords must be strings$"):
        api.PyObject_Vectorcall(cm.solveCubic, args, 3, (7,))
    assert api.PyObject_Vectorcall(cm.solveCubic, args, 3, ("d",)) == cm.solveCubic(1, 2, 3, 4)


def test_functions_bind_as_methods():
    class K(float):
        solve = cm.solveQuadratic

    assert K(1.0).solve(-3, 2) == [2.0, 1.0]
    assert K.solve is cm.solveQuadratic
    assert K.__dict__["solve"].__get__(None, K) is cm.solveQuadratic
