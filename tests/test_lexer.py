"""Feature-file lexer: the native module against its pure-Python model.

Tests taking ``impl`` run on both; differential tests need the native module
and skip until it is built.
"""

import contextlib
import gc
import inspect
import io
import os
import pathlib
import re
import tempfile
import threading
import warnings

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

from vellary.feaLib.error import FeatureLibError, IncludedFeaNotFound
from vellary.feaLib.location import FeatureLibLocation
from reference import lexer as reference
from support import gil_stays_off, growth_in_batches, model_and_native, native_fixture, refcounts, run_threads

DATA = pathlib.Path(__file__).parent / "data" / "fea"
TOP_FEA = DATA / "Roman" / "Instances" / "Regular" / "font.ufo" / "features.fea"

LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
NAME_START = LETTERS + "_+*:.^~!\\"
NAME_CONT = LETTERS + "0123456789" + "_.+*:^~!/-"


native = native_fixture("vellary.feaLib.lexer", scope="session")
impl = model_and_native(reference, scope="session")


# --- running a lexer and normalising what it produced ----------------------


def norm_value(value):
    # Floats by bit pattern, so that -0.0, inf and rounding all count.
    if type(value) is float:
        return ("float", value.hex())
    return (type(value).__name__, value)


def norm_location(loc):
    assert type(loc) is FeatureLibLocation
    return tuple(loc)


def norm_token(token):
    assert type(token) is tuple and len(token) == 3
    kind, value, loc = token
    return (kind, norm_value(value), norm_location(loc))


def norm_error(exc):
    if isinstance(exc, FeatureLibError):
        message, loc = exc.args
        cause = type(exc.__cause__).__name__ if exc.__cause__ is not None else None
        return ("error", type(exc).__name__, message, norm_location(loc), cause)
    return ("error", type(exc).__name__, str(exc))


def stream(lexer, call=next, limit=100000):
    """Every token until the end, or until the first error (included)."""
    out = []
    try:
        for _ in range(limit):
            out.append(norm_token(call(lexer)))
    except StopIteration:
        out.append("end")
    except Exception as exc:  # noqa: BLE001 - the error is the result
        out.append(norm_error(exc))
    return out


def state(lexer):
    return (lexer.pos_, lexer.line_, lexer.line_start_, lexer.mode_, lexer.text_length_)


def kinds_values(tokens):
    return [(kind, value) for kind, value, _ in tokens]


def write(path, text, bom=False):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes((b"\xef\xbb\xbf" if bom else b"") + text.encode("utf-8"))
    return path


# --- examples -------------------------------------------------------------


@pytest.mark.parametrize(
    "text, expected",
    [
        ("a b", [("NAME", "a"), ("NAME", "b")]),
        ("# comment\nx", [("COMMENT", "# comment"), ("NAME", "x")]),
        ("include (foo.fea);", [("NAME", "include"), ("FILENAME", "foo.fea"), ("SYMBOL", ";")]),
        ("include\n  ( a b\n);", [("NAME", "include"), ("FILENAME", " a b\n"), ("SYMBOL", ";")]),
        ("include # c\n(x)", [("NAME", "include"), ("COMMENT", "# c"), ("FILENAME", "x")]),
        ("@Cls-1.a", [("GLYPHCLASS", "Cls-1.a")]),
        ("\\123 \\a \\", [("CID", 123), ("NAME", "\\a"), ("NAME", "\\")]),
        ("\\12a", [("CID", 12), ("NAME", "a")]),
        ("0x1F 0X1f 017 00 12 -12 -0 -08", [("HEXADECIMAL", 31), ("HEXADECIMAL", 31), ("OCTAL", 15),
                                           ("OCTAL", 0), ("NUMBER", 12), ("NUMBER", -12),
                                           ("NUMBER", 0), ("NUMBER", -8)]),
        ("1.5 -0.5 1. 0.25 -0.0", [("FLOAT", 1.5), ("FLOAT", -0.5), ("FLOAT", 1.0), ("FLOAT", 0.25),
                                   ("FLOAT", -0.0)]),
        ("- , = ' -a", [("SYMBOL", "-"), ("SYMBOL", ","), ("SYMBOL", "="), ("SYMBOL", "'"),
                        ("SYMBOL", "-"), ("NAME", "a")]),
        ("+ : .5 -.5", [("NAME", "+"), ("NAME", ":"), ("NAME", ".5"), ("SYMBOL", "-"), ("NAME", ".5")]),
        ("a 0", [("NAME", "a"), ("NUMBER", 0)]),
        ("a -", [("NAME", "a"), ("SYMBOL", "-")]),
        ('"a\nb" "c\r\nd" ""', [("STRING", "ab"), ("STRING", "cd"), ("STRING", "")]),
        ("", []),
        (" \t \t", []),
    ],
)
def test_tokens(impl, text, expected):
    tokens = list(impl.Lexer(text, None))
    assert [(k, norm_value(v)) for k, v, _ in tokens] == [(k, norm_value(v)) for k, v in expected]


def test_newlines_and_locations(impl):
    lexer = impl.Lexer("a\nb", None)
    assert [(t[0], t[1], tuple(t[2])) for t in (lexer.next_(), lexer.next_(), lexer.next_())] == [
        ("NAME", "a", ("<features>", 1, 1)),
        ("NEWLINE", None, ("<features>", 1, 2)),
        ("NAME", "b", ("<features>", 2, 1)),
    ]
    with pytest.raises(StopIteration):
        lexer.next_()


@pytest.mark.parametrize(
    "text, line, column",
    [
        ("a\r\nb", 2, 1), ("a\rb", 2, 1), ("a\r\r\nb", 3, 1), ("a\n\rb", 3, 1), ("a\n\n  b", 3, 3),
        ('"x\ny" b', 1, 7),  # breaks inside strings are not counted
        ("include (x\ny) b", 1, 15),
        ("\t\tb", 1, 3),
    ],
)
def test_line_and_column_of_last_token(impl, text, line, column):
    *_, (_, _, loc) = list(impl.Lexer(text, None))
    assert (loc.line, loc.column) == (line, column)


@pytest.mark.parametrize("filename, shown", [(None, "<features>"), ("", "<features>"), ("f.fea", "f.fea")])
def test_location_file_name(impl, filename, shown):
    ((_, _, loc),) = list(impl.Lexer("a", filename))
    assert loc == FeatureLibLocation(shown, 1, 1)
    assert str(loc) == f"{shown}:1:1"


@pytest.mark.parametrize(
    "text, message, column",
    [
        ("include foo", "Expected '(' before file name", 9),
        ("include (foo", "Expected ')' after file name", 9),
        ("x @ y", "Expected glyph class name", 3),
        ("@", "Expected glyph class name", 1),
        ("@a+b", "Glyph class names must consist of letters, digits, underscore, period or hyphen", 1),
        ('a "abc', "Expected '\"' to terminate string", 3),
        ("$", "Unexpected character: '$'", 1),
        ("é", "Unexpected character: 'é'", 1),
        ("\x00", "Unexpected character: '\\x00'", 1),
        ("a\x0cb", "Unexpected character: '\\x0c'", 2),
        ("\ufeffa", "Unexpected character: '\\ufeff'", 1),
        ("a\u2028b", "Unexpected character: '\\u2028'", 2),
        ("\ud800", "Unexpected character: '\\ud800'", 1),
    ],
)
def test_lexical_errors(impl, text, message, column):
    with pytest.raises(FeatureLibError) as info:
        list(impl.Lexer(text, "e.fea"))
    assert type(info.value) is FeatureLibError
    assert info.value.args == (message, FeatureLibLocation("e.fea", 1, column))
    assert str(info.value) == f"e.fea:1:{column}: {message}"


@pytest.mark.parametrize("text", ["08", "0x", "1..2", "-1..", "1" * 5000, "\\" + "1" * 5000])
def test_conversion_errors_are_value_errors(impl, text):
    with pytest.raises(ValueError) as info:
        list(impl.Lexer(text, None))
    assert type(info.value) is ValueError


def test_huge_numbers(impl):
    tokens = list(impl.Lexer("9" * 400 + ". 0" + "7" * 5000 + " 0x" + "f" * 5000 + " " + "9" * 4000, None))
    assert [t[0] for t in tokens] == ["FLOAT", "OCTAL", "HEXADECIMAL", "NUMBER"]
    assert tokens[0][1] == float("inf")
    assert tokens[1][1] == int("7" * 5000, 8) and tokens[2][1] == int("f" * 5000, 16)


def test_error_leaves_position_so_it_repeats(impl):
    lexer = impl.Lexer("a $", None)
    next(lexer)
    for _ in range(2):
        with pytest.raises(FeatureLibError, match=re.escape("'$'")):
            next(lexer)
        assert lexer.pos_ == 2


def test_file_name_mode(impl):
    lexer = impl.Lexer("include foo", None)
    assert next(lexer)[1] == "include" and lexer.mode_ == "FILENAME"
    for _ in range(2):
        with pytest.raises(FeatureLibError, match="before file name"):
            next(lexer)
        assert (lexer.pos_, lexer.mode_) == (8, "FILENAME")
    lexer = impl.Lexer("include (a) include", None)
    next(lexer), next(lexer)
    assert lexer.mode_ == "NORMAL"
    next(lexer)
    assert lexer.mode_ == "FILENAME"
    with pytest.raises(StopIteration):
        next(lexer)


def test_end_stays_ended(impl):
    lexer = impl.Lexer(" \t ", None)
    for _ in range(3):
        with pytest.raises(StopIteration):
            next(lexer)
    assert iter(lexer) is lexer


def test_non_string_text_raises_type_error(impl):
    for text in (None, b"ab", 12):
        with pytest.raises(TypeError):
            next(impl.Lexer(text, None))


# --- anonymous blocks -------------------------------------------------------


def test_anonymous_block(impl):
    lexer = impl.Lexer("anon test {\nabc\n} test ;\nx", None)
    assert kinds_values([next(lexer) for _ in range(3)]) == [
        ("NAME", "anon"), ("NAME", "test"), ("SYMBOL", "{")]
    kind, value, loc = lexer.scan_anonymous_block(" test ")
    assert (kind, value, tuple(loc)) == ("ANONYMOUS_BLOCK", "abc\n", ("<features>", 1, 12))
    assert lexer.text_[lexer.pos_] == "}"
    assert kinds_values(lexer) == [("SYMBOL", "}"), ("NAME", "test"), ("SYMBOL", ";"), ("NAME", "x")]


@pytest.mark.parametrize(
    "rest, tag, block",
    [
        ("\nabc\n} test ;", "test", "abc\n"),
        ("\n\r\n\nabc}test;", "test", "abc"),
        ("skipped\n}x;} a.b ;", "a.b", "}x;"),
        ("\n} axb;", "a.b", None),
        ("\nabc", "test", None),
        ("\n}\n;", "", ""),
    ],
)
def test_anonymous_block_terminators(impl, rest, tag, block):
    lexer = impl.Lexer(rest, None)
    if block is None:
        with pytest.raises(FeatureLibError) as info:
            lexer.scan_anonymous_block(tag)
        assert info.value.args[0] == f"Expected '}} {tag};' to terminate anonymous block"
        assert tuple(info.value.args[1]) == ("<features>", 1, 1)
    else:
        assert lexer.scan_anonymous_block(tag)[1] == block
        assert lexer.text_[lexer.pos_] == "}" and lexer.line_ == 1


# --- well-formed texts against an independent model --------------------------


def _digits(min_size=1):
    return st.text("0123456789", min_size=min_size, max_size=5)


TOKEN_PIECES = st.one_of(
    st.builds(lambda s, c: [(s + c, "NAME", s + c)], st.sampled_from(NAME_START), st.text(NAME_CONT, max_size=6))
    .filter(lambda p: p[0][0] != "include" and not (p[0][0][0] == "\\" and p[0][0][1:2].isdigit())),
    st.builds(lambda b: [("@" + b, "GLYPHCLASS", b)], st.text(LETTERS + "0123456789_.-", min_size=1, max_size=6)),
    st.builds(lambda d: [("\\" + d, "CID", int(d))], _digits()),
    st.builds(lambda n, neg: [("-" * neg + str(n), "NUMBER", -n if neg else n)], st.integers(0, 10**30), st.booleans()),
    st.builds(lambda d: [("-0" + d, "NUMBER", -int(d))], _digits()),
    st.builds(lambda d: [("0" + d, "OCTAL", int(d, 8))], st.text("01234567", min_size=1, max_size=8)),
    st.builds(lambda x, d: [("0" + x + d, "HEXADECIMAL", int(d, 16))], st.sampled_from("xX"),
              st.text("0123456789abcdefABCDEF", min_size=1, max_size=8)),
    st.builds(lambda s, i, f: [(s + i + "." + f, "FLOAT", float(s + i + "." + f))],
              st.sampled_from(["", "-"]), st.sampled_from(["0"]) | st.from_regex(r"[1-9][0-9]{0,4}", fullmatch=True),
              _digits(0)),
    st.builds(lambda c: [(c, "SYMBOL", c)], st.sampled_from(",;'{}[]<>()=-")),
    st.builds(lambda s: [('"' + s + '"', "STRING", s.replace("\r", "").replace("\n", ""))],
              st.text(st.characters(exclude_characters='"'), max_size=8)),
    st.builds(lambda s: [("#" + s, "COMMENT", "#" + s)], st.text(st.characters(exclude_characters="\r\n"), max_size=8)),
    st.builds(lambda f: [("include", "NAME", "include"), ("(" + f + ")", "FILENAME", f)],
              st.text(st.characters(exclude_characters=")"), max_size=8)),
)
BLANKS = st.text(" \t", max_size=2)
BREAKS = st.lists(st.sampled_from(["\n", "\r", "\r\n"]), min_size=1, max_size=3).map("".join)


@st.composite
def well_formed(draw):
    """A text of separated tokens, and the tokens it must yield."""
    text, line, line_start, expected, after_comment = "", 1, 0, [], False
    for piece in draw(st.lists(TOKEN_PIECES, max_size=20)):
        for source, kind, value in piece:
            if after_comment:  # a comment runs to the line break, blanks included
                sep = draw(BREAKS) + draw(BLANKS)
            else:
                sep = draw(st.one_of(BLANKS.filter(bool), st.tuples(BLANKS, BREAKS, BLANKS).map("".join)))
            i = 0
            while i < len(sep):
                if sep[i] in "\r\n":
                    i += 2 if sep[i : i + 2] == "\r\n" else 1
                    line, line_start = line + 1, len(text) + i
                else:
                    i += 1
            text += sep
            expected.append((kind, norm_value(value), ("f.fea", line, len(text) - line_start + 1)))
            text += source
            after_comment = kind == "COMMENT"
    return text, expected


@given(well_formed())
def test_well_formed_texts(impl, case):
    text, expected = case
    assert stream(impl.Lexer(text, "f.fea")) == expected + ["end"]


# --- differential: native against reference --------------------------------


def _pieces(surrogates):
    chars = st.characters(codec="utf-8") if not surrogates else st.characters() | st.just("\udcff")
    return st.one_of(
        st.sampled_from([
            "include", "include ", "include (a.fea);", "include foo", "include (foo", "include\n(x)", "include #c\n(x)",
            "(", ")", "0", "0x", "0X", "08", "-", "-0", "-.5", "1..2", "1.", "\\", "\\1", "@", "@a+b", "@A.b-1",
            '"', "#", "}", "} test ;", "}test;", "anon", "test", "+", ":", "$", "é", "\x00", "\ufeff", "\x0c", "\xa0",
        ]),
        st.builds(str.__add__, st.sampled_from(NAME_START), st.text(NAME_CONT, max_size=5)),
        st.from_regex(r"-?[0-9]{1,4}(\.+[0-9]{0,3})?|0[xX][0-9a-fA-F]{0,4}|\\[0-9]{0,3}", fullmatch=True),
        st.builds(lambda b, e: '"' + b + e, st.text(chars, max_size=6), st.sampled_from(['"', ""])),
        st.builds(lambda b: "#" + b, st.text(chars, max_size=6)),
        st.builds(lambda b: "@" + b, st.text(NAME_CONT + "$ ", max_size=5)),
        st.sampled_from(",;:-+'{}[]<>()=\"#@"),
        chars,
        st.sampled_from(["", " ", "\t", "\n", "\r", "\r\n", "\n\r", " \t "]),
    )


MESSY = st.lists(_pieces(True), max_size=25).map("".join)
ACTIONS = st.lists(
    st.one_of(
        st.sampled_from([("next_",), ("next",), ("__next__",)]),
        st.tuples(st.just("scan_anonymous_block"), st.sampled_from(["test", " test ", "", "a.b", "anon"]) | st.text(max_size=3)),
        st.tuples(st.sampled_from(["scan_over_", "scan_until_"]),
                  st.sampled_from([" ", "\n", "", "abc", ("a", " "), frozenset("};")])),
    ),
    min_size=1, max_size=30,
)


def drive(module, text, filename, actions):
    """Run actions on a fresh lexer; record each result or error and the state."""
    lexer, out = module.Lexer(text, filename), []
    for name, *args in actions:
        call = (lambda: next(lexer)) if name == "__next__" else getattr(lexer, name)
        try:
            result = call(*args)
            out.append(norm_token(result) if result is not None else None)
        except StopIteration:
            out.append("end")
        except Exception as exc:  # noqa: BLE001
            out.append(norm_error(exc))
        out.append(state(lexer))
    return out


@given(MESSY, st.sampled_from([None, "", "x.fea"]))
def test_differential_streams(native, text, filename):
    assert stream(native.Lexer(text, filename)) == stream(reference.Lexer(text, filename))
    a, b = native.Lexer(text, filename), reference.Lexer(text, filename)
    assert stream(a, call=lambda lx: lx.next_()) == stream(b, call=lambda lx: lx.next_())
    assert state(a) == state(b)


@given(MESSY, ACTIONS)
def test_differential_actions(native, text, actions):
    assert drive(native, text, "t.fea", actions) == drive(reference, text, "t.fea", actions)


@given(MESSY, ACTIONS)
def test_model_fails_only_as_documented(text, actions):
    for item in drive(reference, text, None, actions):
        if isinstance(item, tuple) and item[0] == "error":
            assert item[1] in ("FeatureLibError", "ValueError"), item


# --- include trees --------------------------------------------------------


@pytest.mark.parametrize("as_", [str, pathlib.Path])
def test_include_in_place(impl, tmp_path, as_):
    main = write(tmp_path / "main.fea", "a include (sub.fea); b\n")
    write(tmp_path / "sub.fea", "x\n  y")
    lexer = impl.IncludingLexer(as_(main))
    assert lexer.featurefilepath == str(main) and lexer.includeDir is None
    tokens = list(lexer)
    assert [(k, v, tuple(loc)) for k, v, loc in tokens] == [
        ("NAME", "a", (str(main), 1, 1)),
        ("NAME", "x", (os.path.join(str(tmp_path), "sub.fea"), 1, 1)),
        ("NAME", "y", (os.path.join(str(tmp_path), "sub.fea"), 2, 3)),
        ("SYMBOL", ";", (str(main), 1, 20)),
        ("NAME", "b", (str(main), 1, 22)),
    ]
    assert lexer.lexers_ == []
    with pytest.raises(StopIteration):
        next(lexer)


def test_corpus_tree(impl):
    tokens = list(impl.IncludingLexer(str(TOP_FEA)))
    assert len(tokens) == 4005
    assert len({loc.file for _, _, loc in tokens}) == 13
    assert kinds_values(tokens[:3]) == [("NAME", "table"), ("NAME", "head"), ("SYMBOL", "{")]
    assert not any(v == "include" for _, v, _ in tokens)


def test_corpus_tree_differential(native):
    assert stream(native.IncludingLexer(str(TOP_FEA))) == stream(reference.IncludingLexer(str(TOP_FEA)))
    for path in sorted(DATA.rglob("*.fea")):
        assert stream(native.NonIncludingLexer(str(path))) == stream(reference.NonIncludingLexer(str(path)))


def test_nested_relative_paths_use_the_top_level_directory(impl, tmp_path):
    write(tmp_path / "main.fea", "include (inc/a.fea);")
    write(tmp_path / "inc" / "a.fea", "include (b.fea);")  # not inc/b.fea
    write(tmp_path / "b.fea", "top")
    write(tmp_path / "inc" / "b.fea", "wrong")
    assert kinds_values(impl.IncludingLexer(str(tmp_path / "main.fea"))) == [
        ("NAME", "top"), ("SYMBOL", ";"), ("SYMBOL", ";")]


def test_include_dir_and_absolute_paths(impl, tmp_path):
    other = write(tmp_path / "elsewhere" / "abs.fea", "absolute")
    write(tmp_path / "dir" / "rel.fea", "relative")
    write(tmp_path / "rel.fea", "wrong")
    main = write(tmp_path / "main.fea", f"include (rel.fea); include ({other});")
    lexer = impl.IncludingLexer(str(main), includeDir=str(tmp_path / "dir"))
    assert lexer.includeDir == str(tmp_path / "dir")
    tokens = list(lexer)
    assert [v for _, v, _ in tokens] == ["relative", ";", "absolute", ";"]
    assert tokens[0][2].file == os.path.join(str(tmp_path / "dir"), "rel.fea")
    assert tokens[2][2].file == str(other)


def test_file_object_without_name_resolves_against_cwd(impl, tmp_path, monkeypatch):
    write(tmp_path / "sub.fea", "s")
    lexer = impl.IncludingLexer(io.StringIO("a\ninclude (sub.fea);"))
    monkeypatch.chdir(tmp_path)  # the directory in force at the include counts
    assert lexer.featurefilepath is None
    tokens = list(lexer)
    assert [(v, tuple(loc)) for _, v, loc in tokens] == [
        ("a", ("<features>", 1, 1)), ("s", (os.path.join(str(tmp_path), "sub.fea"), 1, 1)),
        (";", ("<features>", 2, 18))]


def test_file_object_read_from_its_position_and_left_open(impl, tmp_path):
    path = write(tmp_path / "main.fea", "skipped a include (sub.fea);")
    write(tmp_path / "sub.fea", "s")
    with open(path, encoding="utf-8") as f:
        f.read(8)
        tokens = list(impl.IncludingLexer(f))
        assert not f.closed and f.read() == ""
    assert [v for _, v, _ in tokens] == ["a", "s", ";"]
    assert tokens[0][2] == FeatureLibLocation(str(path), 1, 1)  # column counts from the read position
    stream_ = io.StringIO("x y")
    stream_.seek(2)
    assert kinds_values(impl.NonIncludingLexer(stream_)) == [("NAME", "y")]
    assert not stream_.closed


def _chain(tmp_path, files):
    for i in range(files):
        body = f"a{i}\ninclude (f{i + 1}.fea);\nz{i}\n" if i < files - 1 else f"a{i}\n"
        write(tmp_path / f"f{i}.fea", body)
    return str(tmp_path / "f0.fea")


def test_four_nested_includes_work(impl, tmp_path):
    values = [v for _, v, _ in impl.IncludingLexer(_chain(tmp_path, 5))]
    assert values == ["a0", "a1", "a2", "a3", "a4", ";", "z3", ";", "z2", ";", "z1", ";", "z0"]


@pytest.mark.parametrize("case", ["chain", "self"])
def test_too_many_recursive_includes(impl, tmp_path, case):
    if case == "chain":
        top, where = _chain(tmp_path, 6), tmp_path / "f4.fea"
    else:
        top = where = str(write(tmp_path / "self.fea", "x include (self.fea);"))
    lexer = impl.IncludingLexer(top)
    with pytest.raises(FeatureLibError) as info:
        list(lexer)
    line, column = (2, 9) if case == "chain" else (1, 11)
    assert info.value.args == ("Too many recursive includes", FeatureLibLocation(str(where), line, column))
    assert len(lexer.lexers_) == 5


def test_missing_include(impl, tmp_path):
    main = write(tmp_path / "main.fea", "a\n include (gone.fea);\nb")
    lexer = impl.IncludingLexer(str(main))
    assert next(lexer)[1] == "a"
    with pytest.raises(IncludedFeaNotFound) as info:
        next(lexer)
    err = info.value
    assert err.args == ("gone.fea", FeatureLibLocation(str(main), 2, 10))
    assert type(err.__cause__) is FileNotFoundError
    assert err.__cause__.filename == os.path.join(str(tmp_path), "gone.fea")
    assert "gone.fea" in str(err)
    assert len(lexer.lexers_) == 1
    assert [v for _, v, _ in lexer] == [";", "b"]  # not reset: carries on after the statement


def test_missing_top_level_file(impl, tmp_path):
    with pytest.raises(FileNotFoundError):
        impl.IncludingLexer(str(tmp_path / "nope.fea"))


def test_other_open_errors_propagate_unchanged(impl, tmp_path):
    (tmp_path / "adir").mkdir()
    main = write(tmp_path / "main.fea", "include (adir);")
    with pytest.raises(OSError) as info:
        list(impl.IncludingLexer(str(main)))
    assert not isinstance(info.value, (FileNotFoundError, FeatureLibError))


@pytest.mark.parametrize(
    "main, last, values, where",
    [
        ("a include", None, ["a"], ("main", 1, 3)),
        ("a include\n\n  ", None, ["a"], ("main", 1, 3)),
        ("x include (last.fea); y", "b include", ["x", "b"], ("last", 1, 3)),
        ("x include (last.fea); y", "include\n", ["x"], ("last", 1, 1)),
    ],
)
def test_include_as_last_token(impl, tmp_path, main, last, values, where):
    paths = {"main": str(write(tmp_path / "main.fea", main))}
    if last is not None:
        write(tmp_path / "last.fea", last)
        paths["last"] = os.path.join(str(tmp_path), "last.fea")
    lexer = impl.IncludingLexer(paths["main"])
    got = []
    with pytest.raises(FeatureLibError) as info:
        for _, value, _ in lexer:
            got.append(value)
    assert got == values
    assert type(info.value) is FeatureLibError
    assert info.value.args == ("Expected file name", FeatureLibLocation(paths[where[0]], *where[1:]))


def test_include_followed_by_comment(impl):
    lexer = impl.IncludingLexer(io.StringIO("include # no\n(x.fea);"))
    with pytest.raises(FeatureLibError) as info:
        next(lexer)
    assert info.value.args == ("Expected file name", FeatureLibLocation("<features>", 1, 9))


def test_error_inside_included_file(impl, tmp_path):
    main = write(tmp_path / "main.fea", "include (bad.fea);")
    write(tmp_path / "bad.fea", "ok\n  $")
    lexer = impl.IncludingLexer(str(main))
    assert next(lexer)[1] == "ok"
    with pytest.raises(FeatureLibError) as info:
        next(lexer)
    assert info.value.args[1] == FeatureLibLocation(os.path.join(str(tmp_path), "bad.fea"), 2, 3)
    assert len(lexer.lexers_) == 2


def test_non_including_lexer_opens_nothing(impl, tmp_path):
    main = write(tmp_path / "main.fea", "include (x.fea);\na include")
    tokens = list(impl.NonIncludingLexer(str(main)))
    assert kinds_values(tokens) == [("NAME", "include"), ("FILENAME", "x.fea"), ("SYMBOL", ";"),
                                    ("NAME", "a"), ("NAME", "include")]


@pytest.mark.parametrize("newline", ["\n", "\r\n", "\r"])
def test_files_by_path_bom_and_newlines(impl, tmp_path, newline):
    body = newline.join(["a", '"s', 't" b', "include (sub.fea);"])
    write(tmp_path / "sub.fea", "x" + newline + "y", bom=True)
    plain = list(impl.IncludingLexer(str(write(tmp_path / "plain.fea", body))))
    marked = list(impl.IncludingLexer(str(write(tmp_path / "marked.fea", body, bom=True))))
    assert [(k, v, loc[1:]) for k, v, loc in plain] == [(k, v, loc[1:]) for k, v, loc in marked]
    assert [(v, tuple(loc)[1:]) for _, v, loc in plain] == [
        ("a", (1, 1)), ("st", (2, 1)), ("b", (2, 7)), ("x", (1, 1)), ("y", (2, 1)), (";", (3, 18))]


def test_bom_is_kept_in_a_callers_file_object(impl):
    with pytest.raises(FeatureLibError, match=re.escape("'\\ufeff'")):
        list(impl.IncludingLexer(io.StringIO("\ufeffa")))


def test_files_opened_by_path_are_closed(impl, tmp_path):
    main = write(tmp_path / "main.fea", "include (a.fea); include (a.fea);")
    write(tmp_path / "a.fea", "x")
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", ResourceWarning)
        lexer = impl.IncludingLexer(str(main))
        tokens = list(lexer)
        del lexer
        gc.collect()
    assert len(tokens) == 4
    assert not [w for w in caught if issubclass(w.category, ResourceWarning)]


def test_file_whose_read_fails_is_closed(impl, tmp_path):
    main = write(tmp_path / "main.fea", "include (bad.fea);")
    (tmp_path / "bad.fea").write_bytes(b"a \xff")
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", ResourceWarning)
        with pytest.raises(UnicodeDecodeError):
            list(impl.IncludingLexer(str(main)))
        gc.collect()
    assert not [w for w in caught if issubclass(w.category, ResourceWarning)]


def test_anonymous_block_through_including_lexer(impl, tmp_path):
    main = write(tmp_path / "main.fea", "include (sub.fea);")
    write(tmp_path / "sub.fea", "anon t {\nraw $ stuff\n} t;")
    lexer = impl.IncludingLexer(str(main))
    assert [next(lexer)[1] for _ in range(3)] == ["anon", "t", "{"]
    assert lexer.scan_anonymous_block("t")[1] == "raw $ stuff\n"
    assert [v for _, v, _ in lexer] == ["}", "t", ";", ";"]


_TARGETS = ["a.fea", "b.fea", "sub/c.fea", "missing.fea", "sub", "{ABS}/a.fea", "{ABS}/sub/missing.fea", "c.fea"]
INCLUDE_STMT = st.sampled_from(_TARGETS).map(lambda t: f"include ({t});")
FILE_TEXT = st.lists(st.one_of(st.lists(_pieces(False), max_size=6).map("".join), INCLUDE_STMT), max_size=8).map(" ".join)


@st.composite
def include_trees(draw):
    files = {name: (draw(FILE_TEXT), draw(st.booleans())) for name in ["main.fea", "a.fea", "b.fea", "sub/c.fea"]}
    return files, draw(st.sampled_from(["path", "fileobj", "stringio"])), draw(st.sampled_from([None, "sub"]))


@contextlib.contextmanager
def materialised(tree):
    files, top, include_dir = tree
    with tempfile.TemporaryDirectory() as tmp, contextlib.chdir(tmp):
        for name, (text, bom) in files.items():
            write(pathlib.Path(tmp) / name, text.replace("{ABS}", tmp), bom)
        main = os.path.join(tmp, "main.fea")
        include_dir = os.path.join(tmp, include_dir) if include_dir else None

        def run(module, cls="IncludingLexer"):
            if top == "path":
                source = main
            elif top == "fileobj":
                source = open(main, encoding="utf-8-sig")
            else:
                source = io.StringIO(pathlib.Path(main).read_text("utf-8-sig"))
            with contextlib.closing(source) if top != "path" else contextlib.nullcontext():
                try:
                    lexer = getattr(module, cls)(source, includeDir=include_dir)
                except Exception as exc:  # noqa: BLE001
                    return [norm_error(exc)]
                return stream(lexer) + [len(lexer.lexers_)]

        yield run


@settings(deadline=None, max_examples=60, suppress_health_check=[HealthCheck.too_slow])
@given(include_trees())
def test_differential_include_trees(native, tree):
    with materialised(tree) as run:
        assert run(native) == run(reference)
        assert run(native, "NonIncludingLexer") == run(reference, "NonIncludingLexer")


@settings(deadline=None, max_examples=60, suppress_health_check=[HealthCheck.too_slow])
@given(include_trees())
def test_model_include_trees_fail_only_as_documented(tree):
    with materialised(tree) as run:
        for item in run(reference):
            if isinstance(item, tuple) and item[0] == "error":
                assert item[1] in ("FeatureLibError", "IncludedFeaNotFound", "ValueError", "IsADirectoryError"), item


# --- classes, attributes and the module --------------------------------------


LEXER_ATTRIBUTES = [
    ("NUMBER", "NUMBER"), ("HEXADECIMAL", "HEXADECIMAL"), ("OCTAL", "OCTAL"),
    ("NUMBERS", ("NUMBER", "HEXADECIMAL", "OCTAL")), ("FLOAT", "FLOAT"), ("STRING", "STRING"), ("NAME", "NAME"),
    ("FILENAME", "FILENAME"), ("GLYPHCLASS", "GLYPHCLASS"), ("CID", "CID"), ("SYMBOL", "SYMBOL"),
    ("COMMENT", "COMMENT"), ("NEWLINE", "NEWLINE"), ("ANONYMOUS_BLOCK", "ANONYMOUS_BLOCK"),
    ("CHAR_WHITESPACE_", " \t"), ("CHAR_NEWLINE_", "\r\n"), ("CHAR_SYMBOL_", ",;:-+'{}[]<>()="),
    ("CHAR_DIGIT_", "0123456789"), ("CHAR_HEXDIGIT_", "0123456789ABCDEFabcdef"), ("CHAR_LETTER_", LETTERS),
    ("CHAR_NAME_START_", NAME_START), ("CHAR_NAME_CONTINUATION_", NAME_CONT),
    ("RE_GLYPHCLASS", re.compile(r"^[A-Za-z_0-9.\-]+$")), ("MODE_NORMAL_", "NORMAL"), ("MODE_FILENAME_", "FILENAME"),
]


def test_lexer_class_attributes(impl):
    names = [n for n in vars(impl.Lexer) if not n.startswith("__") and not callable(vars(impl.Lexer)[n])]
    assert names == [n for n, _ in LEXER_ATTRIBUTES]
    for name, value in LEXER_ATTRIBUTES:
        assert getattr(impl.Lexer, name) == value, name
    assert impl.Lexer.MODE_FILENAME_ is impl.Lexer.FILENAME


DOCS = {
    "Lexer": ["__init__", "__iter__", "next", "__next__", "location_", "next_", "scan_over_", "scan_until_",
              "scan_anonymous_block"],
    "IncludingLexer": ["__iter__", "next", "__next__", "make_lexer_", "scan_anonymous_block"],
    "NonIncludingLexer": ["__next__"],
}


@pytest.mark.parametrize("cls", DOCS)
def test_methods(impl, cls):
    klass = getattr(impl, cls)
    for name in DOCS[cls]:
        method = getattr(klass, name)
        assert method.__doc__ == f"{cls}.{name}{inspect.signature(method)}", name
        assert method.__qualname__ == f"{cls}.{name}"
    own = {n for n, v in vars(klass).items() if callable(v) or isinstance(v, staticmethod)}
    assert own == set(DOCS[cls]) | ({"__init__"} if cls == "IncludingLexer" else set())


def test_including_lexer_interface(impl):
    init = impl.IncludingLexer.__init__
    assert init.__doc__.startswith("IncludingLexer.__init__(self, featurefile, *, includeDir=None)\n\n")
    assert str(inspect.signature(init)) == "(self, featurefile, *, includeDir=None)"
    assert init.__kwdefaults__ == {"includeDir": None} and not init.__defaults__
    assert isinstance(vars(impl.IncludingLexer)["make_lexer_"], staticmethod)
    assert impl.IncludingLexer.__doc__ and impl.IncludingLexer.__bases__ == (object,)
    assert impl.NonIncludingLexer.__bases__ == (impl.IncludingLexer,)
    assert impl.NonIncludingLexer.__doc__ == "Lexer that does not follow `include` statements, emits them as-is."
    with pytest.raises(TypeError):
        impl.IncludingLexer(io.StringIO(""), "positional")
    with pytest.raises(TypeError):
        impl.Lexer("text")


def test_module_namespace(impl):
    names = {n for n in vars(impl) if not n.startswith("__")}
    assert names == {"FeatureLibError", "IncludedFeaNotFound", "FeatureLibLocation", "re", "os",
                     "Lexer", "IncludingLexer", "NonIncludingLexer"}
    assert impl.__test__ == {}
    assert impl.FeatureLibError is FeatureLibError and impl.FeatureLibLocation is FeatureLibLocation
    assert impl.re is re and impl.os is os


def _entries(exc):
    tb, out = exc.__traceback__, []
    while tb is not None:
        out.append((tb.tb_frame.f_code.co_filename, tb.tb_frame.f_code.co_name))
        tb = tb.tb_next
    return out


def test_native_module_objects_and_tracebacks(native, tmp_path):
    assert gil_stays_off()
    for cls in ("Lexer", "IncludingLexer", "NonIncludingLexer"):
        assert getattr(native, cls).__module__ == "vellary.feaLib.lexer"
    assert native.Lexer.next_.__module__ == "vellary.feaLib.lexer"
    assert native.Lexer.next_.__globals__ is vars(native)
    with pytest.raises(FeatureLibError) as info:
        list(native.Lexer("$", None))
    assert _entries(info.value)[-2:] == [("feaLib/lexer", "vellary.feaLib.lexer.Lexer.__next__"),
                                         ("feaLib/lexer", "vellary.feaLib.lexer.Lexer.next_")]
    with pytest.raises(IncludedFeaNotFound) as info:
        list(native.IncludingLexer(io.StringIO(f"include ({tmp_path / 'gone.fea'});")))
    assert _entries(info.value)[-1] == ("feaLib/lexer", "vellary.feaLib.lexer.IncludingLexer.__next__")


# --- rebinding, patching and subclassing -------------------------------------


def test_class_attributes_are_read_through_the_module_name(impl, monkeypatch):
    class Dollar(impl.Lexer):
        CHAR_SYMBOL_ = impl.Lexer.CHAR_SYMBOL_ + "$"

    with pytest.raises(FeatureLibError):  # an override in a subclass is not seen
        list(Dollar("$", None))
    original = impl.Lexer
    monkeypatch.setattr(impl, "Lexer", Dollar)
    assert kinds_values(original("a$", None)) == [("NAME", "a"), ("SYMBOL", "$")]
    assert type(impl.IncludingLexer(io.StringIO("a")).lexers_[0]) is Dollar
    monkeypatch.undo()
    monkeypatch.setattr(impl.Lexer, "CHAR_WHITESPACE_", " \t\x0c")
    assert kinds_values(impl.Lexer("a\x0cb", None)) == [("NAME", "a"), ("NAME", "b")]


def test_subclass_overrides_are_called_through_self(impl):
    class Upper(impl.Lexer):
        def next_(self):
            kind, value, loc = super().next_()
            return (kind, value.upper() if kind == "NAME" else value, loc)

        def location_(self):
            return FeatureLibLocation("sub", self.line_, self.pos_)

    assert [(v, tuple(loc)) for _, v, loc in Upper("ab\ncd", "x")] == [("AB", ("sub", 1, 0)), ("CD", ("sub", 2, 3))]
    with pytest.raises(FeatureLibError) as info:
        list(Upper("  $", None))
    assert info.value.args[1] == FeatureLibLocation("sub", 1, 2)


def test_newline_skip_compares_by_value_include_by_identity(impl, monkeypatch):
    class Copying(impl.Lexer):
        def next_(self):
            kind, value, loc = super().next_()
            return ("".join(list(kind)), value, loc)  # equal strings, other objects

    assert [k for k, _, _ in Copying("a\n\nb", None)] == ["NAME", "NAME"]
    monkeypatch.setattr(impl, "Lexer", Copying)
    values = [v for _, v, _ in impl.IncludingLexer(io.StringIO("include (nowhere.fea);"))]
    assert values == ["include", "nowhere.fea", ";"]


def test_including_lexer_subclass_with_its_own_files(impl):
    files = {os.path.join("virtual", "a.fea"): "from a include (b.fea);", os.path.join("virtual", "b.fea"): "from b"}

    class Virtual(impl.IncludingLexer):
        @staticmethod
        def make_lexer_(file_or_path):
            if hasattr(file_or_path, "read"):
                return impl.Lexer(file_or_path.read(), "top")
            return impl.Lexer(files[file_or_path], file_or_path)

    values = [v for _, v, _ in Virtual(io.StringIO("include (a.fea);"), includeDir="virtual")]
    assert values == ["from", "a", "from", "b", ";", ";"]


# --- resources and threads --------------------------------------------------


def _workload(module, tree_main, tag):
    for text in ("a b @c \\1 0x1F 017 -2 1.5 \"s\ttr\" # c\n;", "a $", "include foo", "08", '"open'):
        lexer = module.Lexer(text, "w.fea")
        try:
            while True:
                lexer.next_()
        except (StopIteration, FeatureLibError, ValueError):
            pass
    lexer = module.Lexer("{\nbody\n} t;", None)
    lexer.scan_anonymous_block(tag)
    with contextlib.suppress(FeatureLibError):
        module.Lexer("{\nbody", None).scan_anonymous_block(tag)
    try:
        list(module.IncludingLexer(tree_main))
    except IncludedFeaNotFound:
        pass


def test_no_leaks(impl, tmp_path):
    main = str(write(tmp_path / "main.fea", "a include (sub.fea); include (gone.fea);"))
    write(tmp_path / "sub.fea", "b\n" * 50)
    tag = "t"
    tracked = [impl.Lexer, impl.IncludingLexer, FeatureLibError, IncludedFeaNotFound, FeatureLibLocation, main, tag]
    for _ in range(50):
        _workload(impl, main, tag)
    before = refcounts(tracked)
    # The interpreter's own caches (codecs, file objects) fill up over the
    # first few hundred rounds; a leak shows in every batch, a cache does not.
    rounds = 150
    growth = growth_in_batches(lambda: _workload(impl, main, tag), rounds, 5)
    assert refcounts(tracked) == before
    assert min(growth) < rounds * 16, growth  # one leaked object per round exceeds this


def test_distinct_instances_in_threads(impl):
    expected = stream(impl.IncludingLexer(str(TOP_FEA)))
    results, barrier = [None] * 4, threading.Barrier(4)

    def work(i):
        barrier.wait()
        results[i] = stream(impl.IncludingLexer(str(TOP_FEA)))

    run_threads(work, 4, indexed=True)
    assert results == [expected] * 4
