"""Feature-file lexer: what its methods read, write and call, and in which order.

The native module keeps a plain Lexer's state in C between the points where
Python code can run, and takes the written-out path for anything else (a
subclass, a patched class, an instance attribute that shadows a method, an
attribute of an unusual type).  Both must behave as the reference model does,
down to the order of attribute accesses that an observer can see.
"""

import io
import pathlib
import sys

import pytest
from hypothesis import given, settings, strategies as st

from vellary.feaLib.error import FeatureLibError
from vellary.feaLib.location import FeatureLibLocation
from reference import lexer as reference
from support import model_and_native, native_fixture, returning
from test_lexer import ACTIONS, MESSY, drive, norm_error, norm_token, state, stream


native = native_fixture("vellary.feaLib.lexer", scope="session")
impl = model_and_native(reference, scope="session")


class _Subclassed:
    """A module stand-in whose Lexer is a trivial subclass: same behaviour,
    but never the plain case."""

    def __init__(self, module):
        class Lexer(module.Lexer):
            pass

        self.Lexer = Lexer


@given(MESSY, st.sampled_from([None, "x.fea"]))
def test_plain_and_subclassed_lexers_agree(native, text, filename):
    expected = stream(reference.Lexer(text, filename), call=lambda lx: lx.next_())
    for module in (native, _Subclassed(native)):
        lexer = module.Lexer(text, filename)
        assert stream(lexer, call=lambda lx: lx.next_()) == expected
        assert stream(module.Lexer(text, filename)) == stream(reference.Lexer(text, filename))


@settings(max_examples=50)
@given(MESSY, ACTIONS)
def test_subclassed_lexer_actions_agree(native, text, actions):
    assert drive(_Subclassed(native), text, "t.fea", actions) == drive(reference, text, "t.fea", actions)


# --- the observable order of attribute accesses ------------------------------


def _watched(module):
    log = []

    class Watched(module.Lexer):
        def __getattribute__(self, name):
            if not name.startswith("__"):
                log.append(("get", name))
            return object.__getattribute__(self, name)

        def __setattr__(self, name, value):
            log.append(("set", name, value))
            object.__setattr__(self, name, value)

    return Watched, log


@pytest.mark.parametrize(
    "text",
    [
        'a b\n\r\n@x \\1 0x1 07 1.5 -2 "s\nt" # c\n include (f) ; ',
        "include foo", "include (open", '"open', "@a+b", "@", "1..2", "$", "",
    ],
)
def test_attribute_accesses_in_order(native, text):
    def run(module):
        cls, log = _watched(module)
        return stream(cls(text, "f.fea"), call=lambda lx: lx.next_()), log

    assert run(native) == run(reference)


def test_anonymous_block_accesses_in_order(native):
    def run(module):
        cls, log = _watched(module)
        lexer = cls("x {\nabc\n} t;", None)
        out = [norm_token(lexer.next_()), norm_token(lexer.next_()), norm_token(lexer.scan_anonymous_block(" t "))]
        try:
            lexer.scan_anonymous_block("u")
        except FeatureLibError as exc:
            out.append(norm_error(exc))
        return out, log

    assert run(native) == run(reference)


# --- instance attributes that shadow methods -------------------------------


@pytest.mark.parametrize("method", ["next_", "location_", "scan_over_", "scan_until_"])
def test_instance_attribute_shadows_a_method(impl, method):
    lexer = impl.Lexer('a  bc # c\n"s" x', "f.fea")
    calls = []
    original = getattr(lexer, method)

    def replacement(*args):
        calls.append(args)
        return original(*args)

    setattr(lexer, method, replacement)
    tokens = [(k, v, tuple(loc)) for k, v, loc in lexer]
    assert calls
    assert tokens == [("NAME", "a", ("f.fea", 1, 1)), ("NAME", "bc", ("f.fea", 1, 4)),
                      ("COMMENT", "# c", ("f.fea", 1, 7)), ("STRING", "s", ("f.fea", 2, 1)),
                      ("NAME", "x", ("f.fea", 2, 5))]


def test_shadowing_that_changes_behaviour(impl):
    lexer = impl.Lexer(" ab", None)
    lexer.scan_over_ = lambda valid: None  # nothing is ever skipped or consumed
    with pytest.raises(FeatureLibError, match="Unexpected character: ' '"):
        next(lexer)
    lexer = impl.Lexer("ab", None)
    lexer.location_ = lambda: "here"
    lexer.extra = 1
    assert list(lexer) == [("NAME", "ab", "here")]
    lexer = impl.Lexer("ab", None)
    lexer.next_ = lambda: ("NAME", "z", None)
    assert next(lexer) == ("NAME", "z", None)


# --- unusual attribute values -----------------------------------------------


def Truthy(value):  # noqa: N802 - named as the class of its objects
    return returning("__bool__", value, "Truthy")


POKES = [
    {"pos_": -1}, {"pos_": -5}, {"pos_": 10**30}, {"pos_": -(10**30)}, {"pos_": True}, {"pos_": 1.0},
    {"pos_": None}, {"text_length_": 1}, {"text_length_": 100}, {"text_length_": 2.5},
    {"line_": 1.5}, {"line_": None}, {"line_start_": -5}, {"line_start_": 10**30}, {"filename_": b"b.fea"},
    {"filename_": Truthy(False)}, {"filename_": Truthy(True)}, {"filename_": 0},
    {"mode_": "".join("FILENAME")},  # equal to the mode, but not the same object: normal mode
    {"mode_": reference.Lexer.MODE_FILENAME_}, {"text_": "ab"}, {"text_": "x" * 40},
]


@pytest.mark.parametrize("poke", POKES, ids=lambda p: repr(p)[:40])
@pytest.mark.parametrize("text", ["ab (c)\n9 ", '"q\nr" 1.5 @g', "#\n\r0x1"])
def test_unusual_attribute_values(native, poke, text):
    def run(module):
        lexer = module.Lexer(text, "p.fea")
        if "mode_" in poke and poke["mode_"] is reference.Lexer.MODE_FILENAME_:
            poke_ = {"mode_": module.Lexer.MODE_FILENAME_}
        else:
            poke_ = poke
        for name, value in poke_.items():
            setattr(lexer, name, value)
        out = stream(lexer, call=lambda lx: lx.next_(), limit=50)
        return out, (lexer.pos_, lexer.line_, lexer.line_start_, lexer.mode_ == "FILENAME")

    assert run(native) == run(reference)


def test_text_that_is_not_a_str(native):
    # The model would index a list of characters like a string; a lexer
    # reads only strings, and says so.
    lexer = native.Lexer("ab", None)
    lexer.text_ = ["a", "(", ")"]
    with pytest.raises(TypeError, match="a lexer reads a str, not 'list'"):
        lexer.next_()
    lexer.text_ = b"ab"
    with pytest.raises(TypeError, match="requires string as left operand"):
        lexer.next_()  # the blanks' scan meets it first, as in the model
    with pytest.raises(TypeError, match="requires string as left operand"):
        reference.Lexer(b"ab", None).next_()


def test_str_subclass_text(impl):
    class Text(str):
        pass

    tokens = list(impl.Lexer(Text("ab 1 @c"), None))
    assert [(k, v, type(v)) for k, v, _ in tokens] == [("NAME", "ab", str), ("NUMBER", 1, int),
                                                       ("GLYPHCLASS", "c", str)]


# --- tracebacks through methods called directly -----------------------------


def _names(exc):
    tb, out = exc.__traceback__, []
    while tb is not None:
        out.append(tb.tb_frame.f_code.co_name)
        tb = tb.tb_next
    return out


def test_traceback_of_a_failing_location(native, monkeypatch):
    def broken(*args):
        raise RuntimeError("no location")

    monkeypatch.setattr(native, "FeatureLibLocation", broken)
    with pytest.raises(RuntimeError) as info:
        next(native.Lexer("a", None))
    names = [n for n in _names(info.value) if n.startswith("vellary.")]
    assert names == ["vellary.feaLib.lexer.Lexer.__next__", "vellary.feaLib.lexer.Lexer.next_",
                     "vellary.feaLib.lexer.Lexer.location_"]
    with pytest.raises(RuntimeError) as info:
        next(native.IncludingLexer(io.StringIO("a")))
    names = [n for n in _names(info.value) if n.startswith("vellary.")]
    assert names == ["vellary.feaLib.lexer.IncludingLexer.__next__", "vellary.feaLib.lexer.Lexer.__next__",
                     "vellary.feaLib.lexer.Lexer.next_", "vellary.feaLib.lexer.Lexer.location_"]


def test_location_constructor_sees_the_state_of_the_time(impl, monkeypatch):
    seen = []
    lexer = impl.Lexer("  ab\n cd", None)

    def spy(file, line, column):
        seen.append((lexer.pos_, lexer.line_, lexer.line_start_, line, column))
        return FeatureLibLocation(file, line, column)

    monkeypatch.setattr(impl, "FeatureLibLocation", spy)
    assert [v for _, v, _ in lexer] == ["ab", "cd"]
    assert seen == [(2, 1, 0, 1, 3), (4, 1, 0, 1, 5), (6, 2, 5, 2, 2), (8, 2, 5, 2, 4)]


def test_location_constructor_may_move_the_lexer(impl, monkeypatch):
    lexer = impl.Lexer("abc def", None)

    def skipping(file, line, column):
        if lexer.pos_ == 0:
            lexer.pos_ = 4  # the token is read from where the lexer stands after the call
        return (line, column)

    monkeypatch.setattr(impl, "FeatureLibLocation", skipping)
    assert list(lexer) == [("NAME", "def", (1, 1))]


# --- the including lexer ------------------------------------------------------


def test_including_lexer_accesses_in_order(native, tmp_path):
    (tmp_path / "sub.fea").write_text("s t")
    main = tmp_path / "main.fea"
    main.write_text("a include (sub.fea); b include")

    def run(module):
        log = []

        class Watched(module.IncludingLexer):
            def __getattribute__(self, name):
                if not name.startswith("__"):
                    log.append(name)
                return object.__getattribute__(self, name)

        return stream(Watched(str(main))), log

    assert run(native) == run(reference)


def test_including_lexer_with_foreign_inner_lexers(impl):
    class Inner:
        def __init__(self, items):
            self.items = iter(items)

        def __iter__(self):
            return self

        def __next__(self):
            return next(self.items)

        def next(self):
            return next(self.items)

    lexer = impl.IncludingLexer(io.StringIO("z"))
    lexer.lexers_ = [Inner([("NAME", "a", 1), ("NAME", "include", 2)])]
    with pytest.raises(FeatureLibError) as info:
        list(lexer)
    assert info.value.args == ("Expected file name", 2)
    lexer.lexers_ = [Inner([[impl.Lexer.NAME, "x", 3], ("SYMBOL", ";", 4)])]
    assert list(lexer) == [("NAME", "x", 3), ("SYMBOL", ";", 4)]


# --- the direct path, in an interpreter where nothing has touched the class --

_FRESH = r'''
import io, pathlib, random, sys
sys.path.insert(0, sys.argv[1])
from reference import lexer as reference
import vellary.feaLib.lexer as native
from test_lexer import drive, stream

texts = [p.read_text("utf-8-sig") for p in sorted(pathlib.Path(sys.argv[2]).rglob("*.fea"))]
pieces = ["include", "include (a.fea);", "include x", "(", ")", "0", "0x", "08", "-", "-0", "1..2", "1.",
          "\\", "\\1", "@", "@a+b", '"', '"a\nb"', "#c", "}", "} t ;", "a", "b1", "+", ":", "$", "\xe9",
          "\ufeff", "\x0c", " ", "\t", "\n", "\r", "\r\n", ";", "9" * 30, "\u20ac", "\U0001f600"]
rng = random.Random(1234)
for _ in range(400):
    texts.append("".join(rng.choice(pieces) for _ in range(rng.randrange(30))))
for text in texts:
    assert stream(native.Lexer(text, "f.fea")) == stream(reference.Lexer(text, "f.fea")), text
    a, b = native.Lexer(text, None), reference.Lexer(text, None)
    assert stream(a, call=lambda lx: lx.next_()) == stream(b, call=lambda lx: lx.next_()), text
    assert (a.pos_, a.line_, a.line_start_, a.mode_, a.text_length_) == \
        (b.pos_, b.line_, b.line_start_, b.mode_, b.text_length_)
    actions = [rng.choice([("next_",), ("next",), ("__next__",), ("scan_anonymous_block", "t"),
                           ("scan_over_", " "), ("scan_until_", "\n")]) for _ in range(12)]
    assert drive(native, text, "t.fea", actions) == drive(reference, text, "t.fea", actions), (text, actions)
    n = native.NonIncludingLexer(io.StringIO(text))
    r = reference.NonIncludingLexer(io.StringIO(text))
    assert stream(n) == stream(r), text
# No references or memory kept, on the direct path too.
import os, tempfile
from vellary.feaLib.error import FeatureLibError
from support import growth_in_batches, refcounts
from test_lexer import _workload
with tempfile.TemporaryDirectory() as tmp:
    main = os.path.join(tmp, "main.fea")
    open(main, "w").write("a include (sub.fea); include (gone.fea);")
    open(os.path.join(tmp, "sub.fea"), "w").write("b \n" * 50)
    tracked = [native.Lexer, native.IncludingLexer, FeatureLibError, main, "t"]
    for _ in range(50):
        _workload(native, main, "t")
    before = refcounts(tracked)
    rounds = 150
    growth = growth_in_batches(lambda: _workload(native, main, "t"), rounds, 5)
    assert refcounts(tracked) == before
    assert min(growth) < rounds * 16, growth
# Nothing above may have retired the class's plain state.
assert native.Lexer.__dict__["CHAR_DIGIT_"] == "0123456789"
print("ok", len(texts))
'''


def test_direct_path_in_a_fresh_interpreter(native):
    import subprocess

    here = pathlib.Path(__file__).parent
    result = subprocess.run([sys.executable, "-c", _FRESH, str(here), str(here / "data" / "fea")],
                            capture_output=True, text=True, timeout=600)
    assert result.returncode == 0, result.stderr[-3000:]
    assert result.stdout.startswith("ok")


LOCATION_SCRIPT = r"""
import sys
from vellary.feaLib import lexer
from vellary.feaLib import location

def locs(text="a b"):
    return [loc for _, _, loc in lexer.Lexer(text, "f.fea")]

plain = locs()
assert [type(l) for l in plain] == [location.FeatureLibLocation] * 2 and plain[1] == ("f.fea", 1, 3)

class Other(tuple):
    def __new__(cls, *args):
        return tuple.__new__(cls, args)
lexer.FeatureLibLocation = Other
assert [type(l) for l in locs()] == [Other, Other]
lexer.FeatureLibLocation = location.FeatureLibLocation

seen = []
original = location.FeatureLibLocation.__new__
def spy(cls, file, line, column):
    seen.append((file, line, column))
    return original(cls, file, line, column)
location.FeatureLibLocation.__new__ = spy
assert locs() == plain and seen[:2] == [("f.fea", 1, 1), ("f.fea", 1, 3)]
print("ok")
"""


def test_location_type_changes_are_seen():
    # In a fresh process: the location type is recognised at import, and a
    # rebound name or a changed class must still be honoured afterwards.
    import subprocess

    r = subprocess.run([sys.executable, "-c", LOCATION_SCRIPT], capture_output=True, text=True, timeout=60)
    assert r.stdout.strip() == "ok", r.stderr
