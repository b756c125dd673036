"""Module initialisation: the namespace it builds, re-import, sub-interpreters,
failure and recovery, running as the main module."""

import ctypes
import importlib
import importlib.util
import subprocess
import sys
import textwrap

import pytest

from vellary.misc import curvemath as cm

from support import free_threaded_only


def run_python(code, *args):
    return subprocess.run(
        [sys.executable, *args, "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=120
    )


def test_namespace():
    assert cm.__doc__ == "vellary.misc.curvemath.py -- tools for working with Bezier path segments."
    assert cm.COMPILED is True
    assert cm.EPSILON == 1e-9 and cm.epsilon == 1e-10 and cm.epsilonDigits == 6
    assert len(cm.__all__) == 28 and cm.__all__[17:19] == ["solveQuadratic", "solveCubic"]
    assert cm.__builtins__ is __builtins__ or cm.__builtins__ is sys.modules["builtins"]
    import collections
    import math

    assert cm.math is math and cm.namedtuple is collections.namedtuple
    assert (cm.sqrt, cm.acos, cm.cos, cm.pi) == (math.sqrt, math.acos, math.cos, math.pi)
    from vellary.misc import boxmath, transform

    assert (cm.calcBounds, cm.sectRect, cm.rectArea) == (boxmath.calcBounds, boxmath.sectRect, boxmath.rectArea)
    assert cm.Identity is transform.Identity
    assert cm.__package__ == "vellary.misc" and cm.__file__.endswith(".so")
    assert cm.__loader__ is not None and not hasattr(cm, "__path__")


def test_intersection_type():
    pt = cm.Intersection(pt=(1, 2), t1=0.5, t2=0.25)
    assert pt == ((1, 2), 0.5, 0.25) and cm.Intersection._fields == ("pt", "t1", "t2")
    import pickle

    assert pickle.loads(pickle.dumps(pt)) == pt


def test_second_import_is_the_same_module():
    again = importlib.import_module("vellary.misc.curvemath")
    assert again is cm and again.solveCubic is cm.solveCubic


def test_exec_on_another_module_object_is_refused():
    spec = importlib.util.find_spec("vellary.misc.curvemath")
    mod = importlib.util.module_from_spec(spec)  # create returns the held module
    assert mod is cm
    lib = ctypes.PyDLL(spec.origin)
    lib.PyInit_curvemath.restype = ctypes.c_void_p
    ctypes.pythonapi.PyModule_ExecDef.argtypes = [ctypes.py_object, ctypes.c_void_p]
    definition = lib.PyInit_curvemath()
    with pytest.raises(RuntimeError, match=r"^Module 'curvemath' has already been imported\. Re-initialisation is not supported\.$"):
        ctypes.pythonapi.PyModule_ExecDef(type(cm)("curvemath"), definition)
    ctypes.pythonapi.PyModule_ExecDef(cm, definition)  # the same object: nothing happens


@free_threaded_only
@pytest.mark.parametrize("module", ["vellary.misc.curvemath", "vellary.varLib.gapfill", "vellary.demote.demote"])
def test_gil_stays_disabled(module):
    r = run_python(f"""
        import sys, warnings
        warnings.simplefilter("error")
        import {module}
        assert not sys._is_gil_enabled()
        print("ok")
    """)
    assert r.stdout.strip() == "ok", r.stderr


def test_sub_interpreter_is_refused():
    r = run_python("""
        import _interpreters
        import vellary.misc.curvemath
        interp = _interpreters.create("legacy")
        err = _interpreters.run_string(interp, "import vellary.misc.curvemath")
        print(err.type.__name__ if hasattr(err.type, "__name__") else err.type)
        print(err.msg)
    """)
    out = r.stdout.splitlines()
    assert "ImportError" in out[0], r.stderr
    assert out[1] == "Interpreter change detected - this module can only be loaded into one interpreter per process."


def test_failed_exec_reports_init_entry_and_allows_retry():
    r = run_python("""
        import sys, traceback
        sys.modules["vellary.misc.boxmath"] = None
        try:
            import vellary.misc.curvemath
        except ImportError as e:
            tb = e.__traceback__
            entries = []
            while tb:
                entries.append((tb.tb_frame.f_code.co_name, tb.tb_frame.f_code.co_filename, tb.tb_lineno))
                tb = tb.tb_next
            print([e for e in entries if e[0].startswith("init ")])
        assert "vellary.misc.curvemath" not in sys.modules
        del sys.modules["vellary.misc.boxmath"]
        import vellary.misc.curvemath as cm
        print(cm.solveCubic(1, -6, 11, -6))
    """)
    lines = r.stdout.splitlines()
    assert lines == ["[('init vellary.misc.curvemath', 'misc/curvemath', 4)]", "[1.0, 2.0, 3.0]"], r.stderr


def test_missing_name_in_outside_module():
    r = run_python("""
        import sys, types
        stub = types.ModuleType("vellary.misc.transform")
        sys.modules["vellary.misc.transform"] = stub
        try:
            import vellary.misc.curvemath
        except ImportError as e:
            tb = e.__traceback__
            while tb.tb_next:
                tb = tb.tb_next
            print(e, tb.tb_lineno)
    """)
    assert r.stdout.strip() == "cannot import name Identity 5", r.stderr


MAIN_DRIVER = """
    import ctypes, doctest, importlib.machinery, importlib.util, sys
    spec = importlib.util.find_spec("vellary.misc.curvemath")
    lib = ctypes.PyDLL(spec.origin)
    lib.PyInit_curvemath.restype = ctypes.c_void_p
    api = ctypes.pythonapi
    api.PyModule_FromDefAndSpec2.restype = ctypes.py_object
    api.PyModule_FromDefAndSpec2.argtypes = [ctypes.c_void_p, ctypes.py_object, ctypes.c_int]
    api.PyModule_ExecDef.argtypes = [ctypes.py_object, ctypes.c_void_p]
    definition = lib.PyInit_curvemath()
    main_spec = importlib.machinery.ModuleSpec("__main__", None, origin=spec.origin)
    module = api.PyModule_FromDefAndSpec2(definition, main_spec, 1013)
    sys.modules["__main__"] = module
    real_testmod = doctest.testmod
    def testmod(*args, **kwargs):
        result = real_testmod(*args, **kwargs)
        print("attempted", result.attempted, "failed", result.failed, "test dict", hasattr(module, "__test__"))
        return result
    doctest.testmod = testmod
    try:
        api.PyModule_ExecDef(module, definition)
    except SystemExit as e:
        print("exit", e.code)
    print("registered", "vellary.misc.curvemath" in sys.modules)
"""


def test_running_as_main_runs_the_doctests():
    r = run_python(MAIN_DRIVER)
    lines = r.stdout.splitlines()
    assert lines[0].startswith("attempted ") and not lines[0].startswith("attempted 0 "), r.stderr
    assert lines[0].endswith("failed 0 test dict False")
    assert lines[1:] == ["exit 0", "registered True"]
