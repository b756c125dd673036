"""The frame's formulas against the interpreter: the same values, types,
identities, float bits, exceptions and dunder calls, in the same order."""

import math
import struct
import sys
from decimal import Decimal
from fractions import Fraction

import pytest
from hypothesis import given, settings, strategies as st

probe = pytest.importorskip("vellary._probe")

# The probe's formulas, as the interpreter runs them (scale is the probe's
# module constant 0.5; atan2 and sqrt come from math).
scale = 0.5
FORMULAS = [
    lambda a, b, c, d: a + b * c - d,
    lambda a, b, c, d: (a - b) * 3,
    lambda a, b, c, d: a * b + c * d,
    lambda a, b, c, d: a / b / c,
    lambda a, b, c, d: -a + abs(b),
    lambda a, b, c, d: 2 * (1 - a) * b,
    lambda a, b, c, d: a ** b,
    lambda a, b, c, d: a // b,
    lambda a, b, c, d: a % b,
    lambda a, b, c, d: float(a) + int(b),
    lambda a, b, c, d: min(a, b),
    lambda a, b, c, d: max(a, 1.0),
    lambda a, b, c, d: bool(a != b),
    lambda a, b, c, d: bool(a == b),
    lambda a, b, c, d: bool(a < b or c >= d),
    lambda a, b, c, d: (a, b + c, a),
    lambda a, b, c, d: (a + b) * (c + d),
    lambda a, b, c, d: a - b - c - d,
    lambda a, b, c, d: (1 - a) * (1 - a) * b + 2 * (1 - a) * a * c + a * a * d,
    lambda a, b, c, d: a * scale + b / scale,
    lambda a, b, c, d: math.atan2(a, b) + math.sqrt(c),
    lambda a, b, c, d: (lambda x: [x, +c, -d])(a * b),
]


class Logged:
    """A number that records every dunder it runs, in order."""

    log = []

    def __init__(self, v):
        self.v = v

    def __repr__(self):
        return f"Logged({self.v!r})"

    def __eq__(self, other):
        return type(other) is Logged and canon(self.v) == canon(other.v)

    __hash__ = None


def _logged(name, swap=False, wrap=True):
    def method(self, *args):
        Logged.log.append((name, repr(self.v)))
        vals = [a.v if isinstance(a, Logged) else a for a in args]
        fn = getattr(type(self.v), name, None)
        if fn is None:
            return NotImplemented
        r = fn(self.v, *vals)
        if r is NotImplemented or not wrap:
            return r
        return Logged(r)
    method.__name__ = name
    return method


for _name in ("add", "sub", "mul", "truediv", "floordiv", "mod", "pow",
              "radd", "rsub", "rmul", "rtruediv", "rfloordiv", "rmod", "rpow", "neg", "pos", "abs"):
    setattr(Logged, f"__{_name}__", _logged(f"__{_name}__"))
for _name in ("lt", "le", "gt", "ge", "ne", "float", "int", "bool", "index"):
    setattr(Logged, f"__{_name}__", _logged(f"__{_name}__", wrap=False))


class MyInt(int):
    pass


class MyFloat(float):
    pass


def canon(v):
    """Exact type and float bits (a NaN is a NaN), recursively."""
    if type(v) is float:
        return ("float", "nan" if v != v else struct.pack("<d", v))
    if type(v) in (tuple, list):
        return (type(v), tuple(canon(x) for x in v))
    if type(v) is Logged:
        return ("Logged", canon(v.v))
    if type(v) is Decimal:
        return ("Decimal", str(v))
    return (type(v), repr(v))


# Formulas whose results hand back the caller's objects by definition
# (unchanged values, min/max, float() of a float, +x); elsewhere whether an
# int operation returns one of its operands is the interpreter's own detail.
KEEPS_IDENTITY = {9, 10, 11, 15, 21}


def run(fn, *args, identity=True):
    Logged.log.clear()
    try:
        r = fn(*args)
        out = ("ok", canon(r), identities(r, args) if identity else None)
    except Exception as e:  # noqa: BLE001 - the exception is the result
        out = ("raise", type(e), str(e))
    return out, list(Logged.log)


def identities(result, args):
    """Which results are which arguments, by identity."""
    items = result if type(result) in (tuple, list) else (result,)
    return tuple(next((i for i, a in enumerate(args) if x is a), None) for x in items)


small_ints = st.integers(-6, 6)
numbers = st.one_of(
    small_ints,
    st.integers(-2**70, 2**70),
    st.sampled_from([2**62, -2**63, 2**63 - 1, 2**53 + 1, 0]),
    st.floats(allow_nan=True, allow_infinity=True),
    st.floats(-8, 8),
    st.booleans(),
    st.builds(Fraction, small_ints, st.integers(1, 5)),
    st.builds(Decimal, small_ints),
    st.builds(MyInt, small_ints),
    st.builds(MyFloat, st.floats(-8, 8)),
    st.builds(Logged, st.one_of(small_ints, st.floats(-8, 8))),
)


@settings(max_examples=1500, deadline=None)
@given(st.integers(0, len(FORMULAS) - 1), numbers, numbers, numbers, numbers)
def test_formulas_run_as_the_interpreter_runs_them(index, a, b, c, d):
    if index == 6 and type(b) is int:
        b %= 64  # int powers stay cheap
    keep = index in KEEPS_IDENTITY
    expected = run(FORMULAS[index], a, b, c, d, identity=keep)
    got = run(lambda *args: probe.formula(index, *args), a, b, c, d, identity=keep)
    if expected[0][0] == "raise" and got[0][0] == "raise" and expected[0][1] is got[0][1]:
        # Overflow messages name the operation; the type and the calls are what count.
        assert got[1] == expected[1]
        return
    assert got == expected


OPS = ["+", "-", "*", "/", "//", "%", "<", "<=", "==", "!="]
EXPONENTS = st.sampled_from([0, 1, 3, -1, 0.5, 2.0, -2.5, Fraction(1, 2)])
UNARY = ["neg", "pos", "abs", "float", "int"]


def trees(leaves):
    return st.recursive(
        leaves,
        lambda inner: st.one_of(
            st.tuples(st.sampled_from(OPS), inner, inner),
            st.tuples(st.just("**"), inner, EXPONENTS),
            st.tuples(st.sampled_from(UNARY), inner),
        ),
        max_leaves=6,
    )


PY = {
    "+": lambda x, y: x + y, "-": lambda x, y: x - y, "*": lambda x, y: x * y, "/": lambda x, y: x / y,
    "//": lambda x, y: x // y, "%": lambda x, y: x % y, "**": lambda x, y: x ** y,
    "<": lambda x, y: bool(x < y), "<=": lambda x, y: bool(x <= y), "==": lambda x, y: bool(x == y),
    "!=": lambda x, y: bool(x != y),
    "neg": lambda x: -x, "pos": lambda x: +x, "abs": abs, "float": float, "int": int,
}


def py_evaluate(tree):
    if type(tree) is tuple:
        args = [py_evaluate(t) for t in tree[1:]]
        return PY[tree[0]](*args)
    return tree


@settings(max_examples=1500, deadline=None)
@given(trees(numbers))
def test_operations_give_the_interpreters_results(tree):
    expected = run(py_evaluate, tree, identity=False)
    got = run(probe.evaluate, tree, identity=False)
    if expected[0][0] == "raise" and got[0][0] == "raise" and expected[0][1] is got[0][1]:
        assert got[1] == expected[1]
        return
    assert got == expected


@pytest.mark.parametrize("unpacking", [False, True])
@given(x1=numbers, y1=numbers, x2=numbers, y2=numbers)
def test_points_read_by_index_and_by_unpacking(unpacking, x1, y1, x2, y2):
    t = 0.25

    def line(pt1, pt2, t):
        if unpacking:
            (a, b), (c, d) = pt1, pt2
            return (a * (1 - t) + c * t, b * (1 - t) + d * t)
        return (pt1[0] * (1 - t) + pt2[0] * t, pt1[1] * (1 - t) + pt2[1] * t)

    for pts in (((x1, y1), (x2, y2)), ([x1, y1], [x2, y2])):
        assert run(probe.point, *pts, t, unpacking) == run(line, *pts, t)


@pytest.mark.parametrize("make", [lambda: (1,), lambda: (1, 2, 3), list, lambda: iter([1, 2]), lambda: 5,
                                  lambda: "ab", lambda: {"a": 1, "b": 2}])
@pytest.mark.parametrize("unpacking", [False, True])
def test_point_errors_are_the_interpreters(make, unpacking):
    def line(pt1, pt2, t):
        if unpacking:
            (a, b), (c, d) = pt1, pt2
            return (a * (1 - t) + c * t, b * (1 - t) + d * t)
        return (pt1[0] * (1 - t) + pt2[0] * t, pt1[1] * (1 - t) + pt2[1] * t)

    pt = make()
    got = run(probe.point, pt, (0, 0), 1, unpacking)[0]
    if unpacking and isinstance(pt, (tuple, list)) and len(pt) != 2:
        # Unpacking says "need more than", as the frame's messages do.
        n = len(pt)
        msg = (f"need more than {n} value{'' if n == 1 else 's'} to unpack" if n < 2
               else "too many values to unpack (expected 2)")
        assert got == ("raise", ValueError, msg)
    else:
        expected = run(line, make(), (0, 0), 1)[0]
        assert got[:2] == expected[:2]


def test_module_constants_are_read_at_each_use():
    try:
        assert probe.formula(19, 1.0, 1.0, 0, 0) == 2.5
        probe.scale = 2
        assert probe.formula(19, 1.0, 1.0, 0, 0) == 2.5
        probe.scale = 4
        assert probe.formula(19, 1.0, 1.0, 0, 0) == 4.25
        probe.atan2 = lambda y, x: 100
        assert probe.formula(20, 1.0, 1.0, 4.0, 0) == 102.0
    finally:
        probe.scale = 0.5
        probe.atan2 = math.atan2
    del probe.scale
    try:
        with pytest.raises(NameError, match="name 'scale' is not defined"):
            probe.formula(19, 1.0, 1.0, 0, 0)
    finally:
        probe.scale = 0.5


INF, NAN = math.inf, math.nan


@pytest.mark.parametrize("z, w", [
    (1 + 2j, 3 - 4j), (complex(INF, NAN), 1 + 0j), (complex(NAN, INF), complex(0, 1)),
    (complex(INF, 0), complex(0, INF)), (complex(-0.0, 0.0), complex(-0.0, -0.0)), (1e308 + 1e308j, 10 + 10j),
])
def test_typed_complex_products_recover_infinities(z, w):
    def check_product(prod, z, w):
        naive = complex(z.real * w.real - z.imag * w.imag, z.real * w.imag + z.imag * w.real)
        parts = (z.real, z.imag, w.real, w.imag)
        if math.isnan(naive.real) and math.isnan(naive.imag) and any(map(math.isinf, parts)):
            assert math.isinf(prod.real) or math.isinf(prod.imag)
        else:
            assert canon((prod.real, prod.imag)) == canon((naive.real, naive.imag))

    prod, scaled, shifted, modulus = probe.complex_ops(z, w)
    check_product(prod, z, w)
    # A real constant enters as a complex number: its zero takes part.
    check_product(scaled, z, 3 + 0j)
    assert canon((shifted.real, shifted.imag)) == canon((z.real + 1.0, z.imag + 0.0))
    assert canon(modulus) == canon(math.hypot(z.real, z.imag))
