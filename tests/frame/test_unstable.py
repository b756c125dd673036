"""What the frame assumes of interpreter internals, checked against the
running interpreter: one test per assumption."""

import gc
import io
import os
import subprocess
import sys
import sysconfig
import textwrap

import pytest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from reference import lexer as reference  # noqa: E402
from support import gil_stays_off  # noqa: E402
from vellary.demote import demote  # noqa: E402
from vellary.feaLib import lexer as native  # noqa: E402
from vellary.misc import curvemath as cm  # noqa: E402
from vellary.varLib import gapfill  # noqa: E402

MODULE_OBJECTS = {  # name: (object, check that it still works, tracked by the collector)
    "function": (lambda: cm.solveCubic, lambda f: f(1.0, -6.0, 11.0, -6.0) == [1.0, 2.0, 3.0], True),
    "method": (lambda: native.Lexer.__dict__["next_"], lambda f: f(native.Lexer("a", None))[1] == "a", True),
    "float constant": (lambda: demote.NAN, lambda v: v != v, False),
    "list constant": (lambda: demote.__all__, lambda v: "curve_to_quadratic" in v, True),
    "default set": (lambda: gapfill._gapfill_contour_optimize_dp.__defaults__[0], lambda v: v == set(), True),
}


@pytest.mark.skipif(not sysconfig.get_config_var("Py_GIL_DISABLED"),
                    reason="with the GIL no other core contends for a reference count: nothing is marked")
@pytest.mark.parametrize("name", MODULE_OBJECTS)
def test_module_objects_are_long_lived(name):
    get, works, tracked = MODULE_OBJECTS[name]
    if sys.version_info[:2] == (3, 14):
        # Deferred reference counting, which 3.14 offers for objects its
        # collector tracks; the interpreter marks such a count with a bias of
        # sys.maxsize // 8.
        if not tracked:
            pytest.skip("3.14 defers the counts of collector-tracked objects only; a float keeps an ordinary count")
        assert sys.getrefcount(get()) >= sys.maxsize // 8
    else:
        # Immortal: the count is never written, new references leave it as it is.
        before = sys.getrefcount(get())
        refs = [get() for _ in range(1000)]
        assert sys.getrefcount(get()) == before
        del refs
    gc.collect()
    assert works(get())


def test_results_stay_mortal():
    result = cm.solveCubic(1.0, -6.0, 11.0, -6.0)
    before = sys.getrefcount(result)
    refs = [result] * 10
    assert sys.getrefcount(result) == before + 10
    del refs


def test_type_lookup_finds_descriptors_along_the_mro():
    # The plain-instance path is taken only when no class on the MRO has a
    # descriptor of the attribute; a property in a base class must run.
    def tokens(impl):
        gets = []

        class Watch:
            @property
            def lexers_(self):
                gets.append(1)
                return self.__dict__["_lexers"]

            @lexers_.setter
            def lexers_(self, value):
                self.__dict__["_lexers"] = value

        class Watched(impl.IncludingLexer, Watch):
            pass

        return list(Watched(io.StringIO("a b ; c"))), len(gets)

    assert tokens(native) == tokens(reference)


def test_version_tag_changes_with_the_class():
    # A class attribute rebound between two tokens reaches the next token.
    def run(impl):
        lexer = impl.Lexer("a;b;c", "f.fea")
        out = [next(lexer)]
        impl.Lexer.CHAR_SYMBOL_, saved = ",", impl.Lexer.CHAR_SYMBOL_
        try:
            out += [next(lexer)]
        except Exception as e:
            out.append((type(e).__name__, str(e)))
        finally:
            impl.Lexer.CHAR_SYMBOL_ = saved
        return out

    assert run(native) == run(reference)


SHAPE_SCRIPT = textwrap.dedent("""
    import vellary.feaLib.location as location
    ns = {"_tuple_new": tuple.__new__}
    exec("def __new__(_cls, file, line, column): return _tuple_new(_cls, (column, line, file))", ns)
    location.FeatureLibLocation = type("FeatureLibLocation", (tuple,), {"__new__": ns["__new__"]})
    from vellary.feaLib import lexer
    print([loc for _, _, loc in lexer.Lexer("a b", "f.fea")])
""")


def test_location_type_is_recognised_by_its_code():
    # A class of the shape of the named tuple's, whose __new__ does something
    # else: the code, not only its shape, tells it apart.
    r = subprocess.run([sys.executable, "-c", SHAPE_SCRIPT], capture_output=True, text=True, timeout=60)
    assert r.stdout.strip() == "[(1, 1, 'f.fea'), (3, 1, 'f.fea')]", r.stderr


def test_code_objects_describe_the_signature():
    code = gapfill.gapfill_delta_optimize.__code__
    assert (code.co_argcount, code.co_kwonlyargcount, code.co_varnames[:4]) == (
        4, 0, ("deltas", "coords", "ends", "tolerance"))
    assert native.IncludingLexer.__init__.__code__.co_kwonlyargcount == 1


def test_modules_run_without_the_gil():
    assert gil_stays_off()


REBINDINGS = {
    "setattr": lambda eps: setattr(cm, "epsilon", eps),
    "item": lambda eps: vars(cm).__setitem__("epsilon", eps),
    "update": lambda eps: vars(cm).update(epsilon=eps),
    "setdefault after del": lambda eps: (vars(cm).pop("epsilon"), vars(cm).setdefault("epsilon", eps)),
}


@pytest.mark.parametrize("rebind", REBINDINGS)
def test_module_dict_changes_are_seen(rebind):
    # Module numbers are remembered while the module dict is unchanged: any
    # modification, even to an equal value, must be seen.
    try:
        for eps in (1e-3, 1e-10, 1e-3, 0.5):
            REBINDINGS[rebind](eps)
            assert cm.solveQuadratic(eps / 2, 1, -2) == [2.0]
        cm.epsilonDigits = 1
        assert cm.solveCubic(1, 0, 0, -8.5) == [2.0]
        vars(cm)["epsilonDigits"] = 3
        assert cm.solveCubic(1, 0, 0, -8.5) == [2.041]
        del cm.epsilon
        with pytest.raises(NameError, match="'epsilon'"):
            cm.solveQuadratic(1, 2, -3)
    finally:
        cm.epsilon, cm.epsilonDigits = 1e-10, 6


def test_module_dict_changes_are_seen_across_threads():
    # A thread that keeps calling sees the last rebinding another thread made.
    import threading
    stop = threading.Event()
    seen = []

    def call():
        while not stop.is_set():
            seen.append(cm.solveQuadratic(cm.epsilon / 2, 1, -2))
        seen.append(cm.solveQuadratic(0.25, 1, -2))

    t = threading.Thread(target=call)
    t.start()
    try:
        for i in range(2000):
            cm.epsilon = 1e-3 if i % 2 else 1e-10
        cm.epsilon = 0.5
        stop.set()
        t.join()
        assert seen[-1] == [2.0]
    finally:
        cm.epsilon = 1e-10


@pytest.mark.parametrize("get", [lambda: native.Lexer.NAME, lambda: native.Lexer.MODE_NORMAL_,
                                 lambda: native.Lexer.CHAR_NAME_CONTINUATION_, lambda: cm.solveCubic.__name__],
                         ids=["token type", "mode", "character set", "identifier"])
@pytest.mark.skipif(not sysconfig.get_config_var("Py_GIL_DISABLED"),
                    reason="with the GIL interned strings are mortal, and no other core contends for their counts")
def test_text_constants_are_immortal(get):
    # The free-threaded builds make interned strings immortal.
    before = sys.getrefcount(get())
    refs = [get() for _ in range(1000)]
    assert sys.getrefcount(get()) == before
    del refs


def test_module_names_are_seen_rebound_between_tokens(monkeypatch):
    # Lexer and FeatureLibLocation are trusted per version of the module
    # dict: a rebinding between two tokens reaches the second.
    def run(impl):
        lexer = impl.Lexer("a,b,c", "f.fea")
        out = [next(lexer)]

        class Narrow(impl.Lexer):
            CHAR_SYMBOL_ = ";"

        monkeypatch.setattr(impl, "Lexer", Narrow)
        try:
            out.append(next(lexer))
        except Exception as e:
            out.append((type(e).__name__, str(e)))
        monkeypatch.undo()
        out.append(next(lexer))
        return out

    assert run(native) == run(reference)


def test_recorded_method_yields_to_shadowing_and_rebinding(monkeypatch):
    # The pen calls the base class's _getCurrentPoint directly only while
    # nothing could make the look-up find another.
    from reference import integrator as model
    from vellary.pens import integrator
    from vellary.pens.segmenter import Segmenter

    def totals(cls, patch):
        pen = cls()
        pen.moveTo((0, 0))
        pen.lineTo((10, 0))
        patch(pen)
        pen.lineTo((10, 10))
        pen.curveTo((5, 15), (0, 15), (0, 10))
        pen.closePath()
        monkeypatch.undo()
        return pen.area, pen.momentX, pen.momentYY

    def shadow(pen):
        pen._getCurrentPoint = lambda: (1.0, 2.0)

    def rebind(pen):
        monkeypatch.setattr(Segmenter, "_getCurrentPoint", lambda self: (3.0, -1.0))

    def shadow_line(pen):
        # The closing line is a method call too.
        pen._lineTo = lambda p: None

    for patch in (shadow, rebind, shadow_line, lambda pen: None):
        assert totals(integrator.Integrator, patch) == totals(model.Integrator, patch)
