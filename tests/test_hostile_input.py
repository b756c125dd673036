"""Hostile input never crashes or hangs the interpreter.

Every public function (and method) is called with each hostile kind of
argument in each position, and with its module's numeric constants rebound
to hostile values.  The calls run in batches in child processes, so that a
crash or a hang fails the case that caused it, by function and input, and
the rest of the batch still runs.  A call may raise any ordinary exception;
SystemError means the C code lost track of an error and fails too.
"""

import ast
import importlib
import inspect
import json
import os
import subprocess
import sys

import pytest

MODULES = ["vellary.misc.curvemath", "vellary.demote.demote", "vellary.promote.promote", "vellary.varLib.gapfill",
           "vellary.pens.integrator", "vellary.feaLib.lexer"]

SQUARE = "[(0, 0), (0, 100), (100, 100), (100, 0)]"
FEA = "'feature f { sub a by b; } f;\\n# c\\n@x = [a-z];'"
PEN = "(lambda pen: (pen.moveTo((0, 0)), pen)[1])(Integrator())"  # inside a contour
# Valid arguments of each function, into which one hostile value is put at a
# time (methods take `self` first).  A function missing here gets 1 for every
# required parameter (after `self`), which still reaches its binding and
# conversions.
GOOD = {
    "solveQuadratic": "1, -3, 2",
    "solveCubic": "1, -6, 11, -6",
    "curve_to_quadratic": f"{SQUARE}, 1",
    "curves_to_quadratic": f"[{SQUARE}, {SQUARE}], [1, 0.5]",
    "_split_cubic_into_n_gen": "0, 1j, 1+1j, 1, 5",
    "elevate_quadratic": "0, 3+3j, 6",
    "add_implicit_on_curves": "[0, 2, 4, 6, 8]",
    "quadratic_to_curves": "[[(0, 0), (0, 37.5), (30, 75), (70, 75), (100, 37.5), (100, 0)], "
                           "[(100, 0), (150, 50), (200, 0)]], 1",
    "spline_to_curves": "[0, 37.5j, 15+56j, 30+75j, 50+75j, 70+75j, 85+56j], [1, 2, 2, 3, 3, 4, 4], 1",
    "gapfill_contour": f"[(0, 0), None, (10, 20), None], {SQUARE}",
    "gapfill_delta": f"[(0, 0), None, (10, 20), None] + [(0, 0)] * 4, {SQUARE} * 2, [3]",
    "_gapfill_contour_bound_forced_set": f"[(0, 0), (0, 10), (10, 10), (10, 0)], {SQUARE}, 0.5",
    "_gapfill_contour_optimize_dp": f"[(0, 0), (0, 10), (10, 10), (10, 0)], {SQUARE}, set(), 0.5, 3",
    "_rot_list": "[1, 2, 3], 1",
    "_rot_set": "{0, 2}, 1, 3",
    "gapfill_contour_optimize": f"[(0, 0), (0, 10), (10, 10), (10, 0)], {SQUARE}, 0.5",
    "gapfill_delta_optimize": f"[(0, 0), (0, 10), (10, 10), (10, 0)] + [(0, 0)] * 4, {SQUARE} * 2, [3], 0.5",
    "Lexer": f"{FEA}, 'x.fea'",
    "IncludingLexer": f"io.StringIO({FEA})",
    "NonIncludingLexer": f"io.StringIO({FEA})",
    "Lexer.__init__": f"Lexer.__new__(Lexer), {FEA}, 'x.fea'",
    "Lexer.scan_over_": f"Lexer({FEA}, 'x.fea'), Lexer.CHAR_NAME_CONTINUATION_",
    "Lexer.scan_until_": f"Lexer({FEA}, 'x.fea'), Lexer.CHAR_NEWLINE_",
    "Lexer.scan_anonymous_block": "Lexer('{ x } f;', 'x.fea'), 'f'",
    "IncludingLexer.make_lexer_": f"io.StringIO({FEA}), None",
    "Integrator": "None",
    "Integrator.__init__": "Integrator.__new__(Integrator), None",
    "Integrator._moveTo": f"{PEN}, (5, 5)",
    "Integrator._lineTo": f"{PEN}, (10, 0)",
    "Integrator._qCurveToOne": f"{PEN}, (5, 5), (10, 0)",
    "Integrator._curveToOne": f"{PEN}, (1, 5), (9, 5), (10, 0)",
}
# The instance that other methods get as `self`.
INSTANCE = {
    "Lexer": f"Lexer({FEA}, 'x.fea')",
    "IncludingLexer": f"IncludingLexer(io.StringIO({FEA}))",
    "NonIncludingLexer": f"NonIncludingLexer(io.StringIO({FEA}))",
    "Integrator": PEN,
}

# The kinds of hostile value; each name is an expression in the child.
HOSTILE = {
    "None": "None",
    "str": "'\\x00\\ud800'",
    "nan": "nan",
    "inf": "-inf",
    "huge int": "2**100",
    "int limit": "2**31 - 1",
    "negative": "-1",
    "lying length": "Lying()",
    "raising dunders": "Raising()",
    "mutating dunders": "Mutating.list(1)",
    "NaN points": "[(nan, nan)] * 4",
    "lying points": "[Lying()] * 4",
    "raising points": "[Raising()] * 4",
    "mutating points": "Mutating.list(4)",
    "missing points": "[None] * 4",
}
CONSTANT_VALUES = ["nan", "inf", "-inf", "-1", "0", "2**64", "None", "Raising()"]

CHILD = r"""
import contextlib, io, itertools, json, math, sys
from math import nan, inf

class Lying:
    # A length far beyond what it holds.
    def __init__(self, items=()): self.items = list(items)
    def __len__(self): return sys.maxsize
    def __iter__(self): return iter(self.items)
    def __getitem__(self, i): return self.items[i]

def fail(*args):
    raise RuntimeError("hostile")

class Raising:
    pass

for name in ["__len__", "__iter__", "__getitem__", "__float__", "__index__", "__int__", "__complex__", "__eq__",
             "__ne__", "__lt__", "__le__", "__gt__", "__ge__", "__add__", "__radd__", "__sub__", "__rsub__",
             "__mul__", "__rmul__", "__truediv__", "__rtruediv__", "__abs__", "__neg__", "__bool__", "__hash__",
             "__contains__", "__str__", "__fspath__", "__getattr__", "read", "strip"]:
    setattr(Raising, name, fail)

class Mutating:
    # Point and number alike, which empties the list holding it when used.
    def __init__(self, owner): self.owner = owner
    @classmethod
    def list(cls, n):
        owner = []
        owner.extend(cls(owner) for _ in range(n))
        return owner
    def _use(self, value):
        self.owner.clear()
        return value
    def __len__(self): return self._use(2)
    def __iter__(self): return self._use(iter((0, 0)))
    def __getitem__(self, i): return self._use((0, 0)[i])
    def __float__(self): return self._use(0.0)
    def __index__(self): return self._use(0)
    def __complex__(self): return self._use(0j)
    def __eq__(self, other): return self._use(False)
    def __lt__(self, other): return self._use(False)
    __hash__ = object.__hash__

modules = [__import__(m, fromlist=["*"]) for m in json.loads(sys.argv[1])]
scope = {"io": io, "sys": sys, "nan": nan, "inf": inf, "Lying": Lying, "Raising": Raising, "Mutating": Mutating}
for m in modules:
    scope.update(vars(m))

def run(case):
    target, args, rebound = case
    fn = eval(target, scope)
    args = eval(f"({args},)" if args else "()", scope)
    saved = [(sys.modules[m], name, getattr(sys.modules[m], name)) for m, name, _ in rebound]
    for m, name, value in rebound:
        setattr(sys.modules[m], name, eval(value, scope))
    try:
        # what a function prints (printSegments) must not mix with the report
        with contextlib.redirect_stdout(io.StringIO()):
            result = fn(*args)
            if hasattr(result, "__next__"):
                list(itertools.islice(result, 200))
    finally:
        for m, name, value in saved:
            setattr(m, name, value)

for line in sys.stdin:
    key, case = json.loads(line)
    print(json.dumps(["start", key]), flush=True)
    try:
        run(case)
        outcome = "returned"
    except Exception as e:
        outcome = f"SystemError: {e}" if isinstance(e, SystemError) else type(e).__name__
    print(json.dumps(["done", key, outcome]), flush=True)
"""


def public_callables():
    """(module, expression) of every native function, class and method."""
    def native(fn):  # each module has a function type of its own
        return repr(type(fn)) == "<class 'vellary.function'>"

    for name in MODULES:
        for attr, value in vars(importlib.import_module(name)).items():
            methods = [m for m, fn in vars(value).items() if native(fn)] if inspect.isclass(value) else []
            if native(value) or methods:
                yield name, attr
            yield from ((name, f"{attr}.{m}") for m in methods)


def good_args(target):
    """The valid arguments of a target, as a list of expressions."""
    if target in GOOD:
        return split_args(GOOD[target])
    owner = target.split(".")[0]
    fn = eval(target, {o: getattr(importlib.import_module(m), o) for m, o in public_callables() if "." not in o})
    params = inspect.signature(fn).parameters.values()
    count = sum(p.kind is p.POSITIONAL_OR_KEYWORD and p.default is p.empty for p in params)
    if "." in target:
        return [INSTANCE[owner]] + ["1"] * (count - 1)
    return ["1"] * count


def table():
    """{(function, kind): {case key: (target, arguments, names rebound)}}"""
    cases = {}
    for module, target in public_callables():
        good = good_args(target)
        for kind, value in HOSTILE.items():
            group = cases.setdefault((target, kind), {})
            for i in range(len(good)):
                group[f"{target}/{kind}/{i}"] = (target, ", ".join(good[:i] + [value] + good[i + 1:]), [])
        for const, current in vars(importlib.import_module(module)).items():
            if type(current) in (int, float):
                group = cases.setdefault((target, f"{const} rebound"), {})
                for value in CONSTANT_VALUES:
                    group[f"{target}/{const}={value}"] = (target, ", ".join(good), [(module, const, value)])
    return cases


def split_args(text):
    """The expressions of an argument list."""
    return [ast.unparse(arg) for arg in ast.parse(f"f({text})", mode="eval").body.args]


TABLE = table()


def run_batch(cases, timeout=120):
    """Runs the cases in child processes: {key: outcome}.  After a crash or
    a hang, a new child takes the cases that remain."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p), PYTHONDONTWRITEBYTECODE="1")
    pending = list(cases.items())
    outcomes = {}
    while pending:
        feed = "".join(json.dumps([key, case]) + "\n" for key, case in pending)
        try:
            run = subprocess.run([sys.executable, "-c", CHILD, json.dumps(MODULES)], input=feed,
                                 capture_output=True, text=True, env=env, timeout=timeout)
            out, err, ending = run.stdout, run.stderr, f"crashed (exit status {run.returncode})"
        except subprocess.TimeoutExpired as e:
            out, err, ending = (e.stdout or b"").decode(), (e.stderr or b"").decode(), "did not end"
        started = None
        for line in out.splitlines():
            word, key, *outcome = json.loads(line)
            if word == "start":
                started = key
            else:
                outcomes[key] = outcome[0]
                started = None
        if started is not None:
            outcomes[started] = f"{ending}: {err[-2000:]}"
        elif len(outcomes) < len(cases):
            # The child failed before its first call.
            pytest.fail(f"the child process failed: {err[-2000:]}")
        pending = [(key, case) for key, case in pending if key not in outcomes]
    return outcomes


@pytest.fixture(scope="module")
def outcomes():
    everything = {key: case for group in TABLE.values() for key, case in group.items()}
    return run_batch(everything)


@pytest.mark.thread_unsafe(reason="runs child processes")
@pytest.mark.parametrize("function, kind", sorted(TABLE), ids=lambda v: v.replace(" ", "_"))
def test_hostile_input(outcomes, function, kind):
    # Sound outcomes are "returned" and the names of ordinary exceptions; a
    # case without one never reported back.
    failed = {key: outcomes.get(key, "no outcome") for key in TABLE[(function, kind)]
              if not outcomes.get(key, "no outcome").isidentifier()}
    assert not failed


GAPFILL = "vellary.varLib.gapfill"
# Lists sized by a lying __len__: the result of a contour whose deltas are all
# within the tolerance, and the chosen deltas of the search (its building
# blocks rebound, so that it reaches them).
HUGE_LISTS = {
    "all within": ("gapfill_contour_optimize", f"Lying(), {SQUARE}, 0.5", []),
    "chosen deltas": ("gapfill_contour_optimize", f"Lying([(1, 0), (0, 1)]), {SQUARE}, 0", [
        (GAPFILL, "_gapfill_contour_bound_forced_set", "lambda d, c, t: {sys.maxsize - 1}"),
        (GAPFILL, "_rot_list", "lambda l, k: l"),
        (GAPFILL, "_rot_set", "lambda s, k, n: s"),
        (GAPFILL, "_gapfill_contour_optimize_dp", "lambda *a: ({sys.maxsize - 1: -1, -1: None}, {})"),
    ]),
}


@pytest.mark.thread_unsafe(reason="runs child processes")
def test_lying_lengths_raise_memory_error():
    assert run_batch(HUGE_LISTS) == dict.fromkeys(HUGE_LISTS, "MemoryError")
