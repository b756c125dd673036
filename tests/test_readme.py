"""The README's examples and the modules' docstring examples run as written,
on the native modules and on their pure-Python models."""

import doctest
import io
import pathlib
import re

import pytest

from reference import curvemath as curvemath_model

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"
# Each native module and its model in tests/reference (the packages that
# re-export them included).
MODELS = {"vellary.misc.curvemath": "reference.curvemath", "vellary.demote.demote": "reference.demote",
          "vellary.demote": "reference.demote", "vellary.promote.promote": "reference.promote",
          "vellary.promote": "reference.promote", "vellary.varLib.gapfill": "reference.gapfill",
          "vellary.pens.integrator": "reference.integrator", "vellary.feaLib.lexer": "reference.lexer"}


def on_models(test):
    """The doctest with its imports of native modules taken from the models."""
    pattern = re.compile(r"\bfrom (%s) import" % "|".join(re.escape(m) for m in sorted(MODELS, key=len, reverse=True)))
    for example in test.examples:
        example.source = pattern.sub(lambda m: f"from {MODELS[m.group(1)]} import", example.source)
    return test


def run(test):
    out = io.StringIO()
    result = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS).run(test, out=out.write)
    assert result.attempted > 0 and result.failed == 0, out.getvalue()


@pytest.mark.parametrize("impl", ["native", "model"])
def test_readme_examples(impl):
    pytest.importorskip("vellary.demote.errors")
    test = doctest.DocTestParser().get_doctest(README.read_text(), {}, README.name, str(README), 0)
    if impl == "model":
        test = on_models(test)
        assert any("reference." in e.source for e in test.examples)
    run(test)


def test_curve_docstring_examples_on_the_model():
    from vellary.misc import curvemath

    assert len(curvemath.__test__) >= 11
    for name, text in curvemath.__test__.items():
        run(doctest.DocTestParser().get_doctest(text, dict(vars(curvemath_model)), name, None, 0))
