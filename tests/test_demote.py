"""vellary.demote.demote: cubic-to-quadratic conversion.

Tests taking `impl` run on the native module and on its pure-Python model in
tests/reference; differential tests feed both the same random curves and
demand the same float bits, shapes and exceptions.  Native cases skip until
the module is built.
"""

import doctest
import json
import math
import os
import pickle
import random
import subprocess
import sys
import threading
import types
from fractions import Fraction
from xml.etree import ElementTree

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

from vellary.demote import errors
from vellary.demote.errors import ApproxNotFoundError
from reference import demote as ref
from support import (bits, canon, gil_stays_off, model_and_native, native_fixture, rebound, references_and_growth,
                     returning, run_threads)

NATIVE = "vellary.demote.demote"
SOURCE = "demote/demote"

single_threaded = pytest.mark.thread_unsafe(reason="rebinds module names or measures the process")


native = native_fixture(NATIVE)
impl = model_and_native(ref)


def outcome(fn, *args):
    try:
        return ("returns", canon(fn(*args)))
    except ApproxNotFoundError as e:
        return ("not found", type(e), canon(e.args))
    except Exception as e:  # noqa: BLE001 - the exception is the result
        return ("raises", type(e), str(e))




SQUARE = [(0, 0), (0, 100), (100, 100), (100, 0)]
ARCH = [(0, 0), (50, 100), (150, 100), (200, 0)]
SQUARE_4 = [(0.0, 0.0), (0.0, 37.5), (30.208333333333332, 75.0), (69.79166666666667, 75.0), (100.0, 37.5),
            (100.0, 0.0)]
SQUARE_ITSELF = [(0.0, 0.0), (0.0, 100.0), (100.0, 100.0), (100.0, 0.0)]


# -- examples ------------------------------------------------------------------------

@pytest.mark.parametrize("args, expected", [
    ((SQUARE, 1), SQUARE_4),
    ((SQUARE, 1, False), SQUARE_ITSELF),
    ((ARCH, 100), [(0.0, 0.0), (100.0, 200.0), (200.0, 0.0)]),
    (([(0, 0)] * 4, 0), [(0.0, 0.0)] * 3),
    # Collinear: no intersection for one segment.
    (([(0, 0), (100, 100), (200, 200), (300, 300)], 1), [(0.0, 0.0), (75.0, 75.0), (225.0, 225.0), (300.0, 300.0)]),
    # Points after the fourth are unused, except when the cubic itself comes back.
    ((SQUARE + [(7, 7)], 1), SQUARE_4),
    ((SQUARE + [(7, 7)], 1, 0.5), SQUARE_ITSELF + [(7.0, 7.0)]),
    # A point is whatever complex() takes as its arguments.
    (([[0, 0], (100j,), "0", range(100, 101)], 1e9), [(0.0, 0.0), (0.0, 0.0), (100.0, 0.0)]),
    ((dict.fromkeys(SQUARE), Fraction(1)), SQUARE_4),
])
def test_curve_to_quadratic_examples(impl, args, expected):
    assert canon(impl.curve_to_quadratic(*args)) == canon(expected)


def test_curves_to_quadratic_examples(impl):
    out = impl.curves_to_quadratic([[(50, 50), (100, 100), (150, 100), (200, 50)],
                                    [(75, 50), (120, 100), (150, 75), (200, 60)]], [1, 1])
    assert canon(out) == canon([
        [(50.0, 50.0), (75.0, 75.0), (125.0, 91.66666666666666), (175.0, 75.0), (200.0, 50.0)],
        [(75.0, 50.0), (97.5, 75.0), (135.41666666666666, 82.08333333333333), (175.0, 67.5), (200.0, 60.0)]])
    # One segment would do for ARCH alone.
    arch_4 = [(0.0, 0.0), (18.75, 37.5), (71.35416666666667, 75.0), (128.64583333333334, 75.0), (181.25, 37.5),
              (200.0, 0.0)]
    assert canon(impl.curves_to_quadratic([SQUARE, ARCH], (1, 100))) == canon([SQUARE_4, arch_4])
    assert impl.curves_to_quadratic(max_errors=[1, 100], curves=[SQUARE, ARCH], all_quadratic=0) == [
        SQUARE_ITSELF, [(0.0, 0.0), (50.0, 100.0), (150.0, 100.0), (200.0, 0.0)]]
    assert impl.curves_to_quadratic([], []) == [] and impl.curves_to_quadratic(iter([]), {}) == []
    assert impl.curves_to_quadratic([SQUARE], {0: 1}) == [SQUARE_4]
    assert impl.curve_to_quadratic(max_err=1, curve=SQUARE) == SQUARE_4


def complex_error(*args):
    """What complex() itself says of these arguments: points are read by
    calling it, and 3.14 words some of its messages differently."""
    try:
        complex(*args)
    except (TypeError, ValueError) as e:
        return str(e)
    raise AssertionError(args)


@pytest.mark.parametrize("call, error, message", [
    (lambda m: m.curve_to_quadratic([(0, 0), (1, 1), (2, 2)], 1), IndexError, "list index out of range"),
    (lambda m: m.curve_to_quadratic([], 1, 0), IndexError, "list index out of range"),
    (lambda m: m.curve_to_quadratic([(0, 0), 5], 1), TypeError, "'int' object is not iterable"),
    (lambda m: m.curve_to_quadratic([(0, 0, 0)], 1), TypeError, complex_error(0, 0, 0)),
    (lambda m: m.curve_to_quadratic(["ab"], 1), TypeError, complex_error("a", "b")),
    (lambda m: m.curve_to_quadratic([("x",)], 1), ValueError, complex_error("x")),
    # Typed parameters are converted before the curve is read.
    (lambda m: m.curve_to_quadratic(5, "1"), TypeError, "must be real number, not str"),
    (lambda m: m.curve_to_quadratic(5, 1, None), TypeError, "an integer is required"),
    (lambda m: m.curve_to_quadratic(SQUARE, 10**400), OverflowError, "int too large to convert to float"),
    (lambda m: m.curve_to_quadratic(SQUARE, 1, 2**40), OverflowError, "value too large to convert to int"),
    (lambda m: m.curves_to_quadratic([SQUARE], [1, 2]), ValueError, "max_errors must match the number of curves"),
    (lambda m: m.curves_to_quadratic([[5]], [1, 2]), TypeError, "'int' object is not iterable"),
    (lambda m: m.curves_to_quadratic([SQUARE], 5), TypeError, "object of type 'int' has no len()"),
    (lambda m: m.curves_to_quadratic([SQUARE], {1}), TypeError, "'set' object is not subscriptable"),
    # An item of max_errors is converted when it is first used.
    (lambda m: m.curves_to_quadratic([SQUARE, SQUARE], [1, "x"]), TypeError, "must be real number, not str"),
])
def test_errors(impl, call, error, message):
    with pytest.raises(error) as info:
        call(impl)
    assert type(info.value) is error and str(info.value) == message


def test_approx_not_found_carries_converted_input(impl):
    with pytest.raises(ApproxNotFoundError) as info:
        impl.curve_to_quadratic(SQUARE, 0)
    assert canon(info.value.args) == canon(([0j, 100j, 100 + 100j, 100 + 0j],))
    with pytest.raises(ApproxNotFoundError) as info:
        impl.curves_to_quadratic([SQUARE, ARCH], [100, 0])
    assert canon(info.value.args) == canon(([[complex(*p) for p in SQUARE], [complex(*p) for p in ARCH]],))
    again = pickle.loads(pickle.dumps(info.value))
    assert type(again) is ApproxNotFoundError and isinstance(again, errors.Error) and str(again) == str(info.value)


def test_model_core_gives_the_worked_examples():
    # The model's internal operations, which the native module does not expose.
    cubic = [0j, 100j, 100 + 100j, 100 + 0j]
    assert [ref.cubic_approx_spline(cubic, n, 1, 1) for n in (1, 2, 3)] == [None] * 3
    spline = ref.cubic_approx_spline(cubic, 4, 1, 1)
    assert canon(spline) == canon([0j, 37.5j, 30.208333333333332 + 75j, 69.79166666666667 + 75j, 100 + 37.5j, 100 + 0j])
    assert spline[0] is cubic[0] and spline[-1] is cubic[3] and ref.cubic_approx_spline(cubic, 2, 1, 0) is cubic
    degenerate = [0j, 0j, 0j, 10 + 0j]
    quadratic = ref.cubic_approx_quadratic(degenerate, 5)
    assert ref.cubic_approx_quadratic(degenerate, 1) is None and quadratic == (0, 0, 10) and type(quadratic) is tuple
    assert [ref.cubic_within_tolerance(0j, c, c, 0j, 1.0) for c in (1.2 + 0j, 2 + 0j, 1 + 0j)] == [True, False, True]
    assert canon(ref.vector_dot(1e-8 + 0j, 1e-8 + 0j)) == canon(0.0)
    first, _, last = ref.split_cubic_into_three(*cubic)
    assert canon(first) == canon((0j, 33.333333333333336j, 11.11111111111111 + 55.55555555555554j,
                                  25.925925925925924 + 66.66666666666666j)) and last[3] == 100
    assert ref.quadratic_control_at(0.0, *cubic) == 150j and ref.quadratic_control_at(1.0, *cubic) == 100 + 150j


# -- the generator ------------------------------------------------------------------

CUBIC = (0, 100j, 100 + 100j, 100)


@pytest.mark.parametrize("n, index, expected", [
    (5, 1, (10.400000000000002 + 48j, 16.800000000000004 + 60j, 25.60000000000001 + 68j, 35.20000000000001 + 72j)),
    (1, 0, (0j, 100j, 100 + 100j, 100 + 0j)),
    (2.9, 1, (50 + 75j, 75 + 75j, 100 + 50j, 100 + 0j)),
    # Not quite the closed-form split into three.
    (3, 0, (0j, None, 11.111111111111109 + 55.55555555555556j, None)),
    (3, 2, (None, None, None, 100.00000000000001 + 2.842170943040401e-14j)),
])
def test_generator_pieces(impl, n, index, expected):
    pieces = list(impl._split_cubic_into_n_gen(*CUBIC, n))
    assert len(pieces) == int(n) and all(type(p) is tuple and len(p) == 4 for p in pieces)
    assert all(type(z) is complex for p in pieces for z in p)
    assert [canon(z) for z, e in zip(pieces[index], expected) if e is not None] == [
        canon(complex(e)) for e in expected if e is not None]


class ComplexSub(complex):
    def __complex__(self):
        raise AssertionError("a complex number is read directly")


@pytest.mark.parametrize("points", [
    (False, returning("__complex__", 100j), 100 + 100j, Fraction(100)),
    (0, ComplexSub(0, 100), 100 + 100j, True * 100),
])
def test_generator_point_conversions(impl, points):
    assert canon(list(impl._split_cubic_into_n_gen(*points, 4))) == canon(list(impl._split_cubic_into_n_gen(*CUBIC, 4)))


@pytest.mark.parametrize("args, error, message", [
    (("x", 0, 0, 0, 1), TypeError, "must be real number, not str"),
    ((returning("__complex__", 1.5), 0, 0, 0, 1), TypeError, "__complex__ returned non-complex (type float)"),
    ((0, 0, 0, 0, "1"), TypeError, "an integer is required"),
    ((0, 0, 0, 0, 2**31), OverflowError, "value too large to convert to int"),
    ((0, 0, 10**400, 0, 1), OverflowError, "int too large to convert to float"),
])
def test_generator_arguments_fail_at_the_call(impl, args, error, message):
    with pytest.raises(error) as info:
        impl._split_cubic_into_n_gen(*args)
    assert str(info.value) == message


def test_generator_protocol(impl):
    gen = impl._split_cubic_into_n_gen(*CUBIC, 3)
    assert iter(gen) is gen and gen.__name__ == gen.__qualname__ == "_split_cubic_into_n_gen"
    assert isinstance(gen.gi_code, types.CodeType) and gen.gi_yieldfrom is None and gen.gi_running is False
    with pytest.raises(TypeError, match="^can't send non-None value to a just-started generator$"):
        gen.send(1)
    # A value sent into a started generator is dropped.
    pieces = [gen.send(None), gen.send("dropped"), next(gen)]
    assert canon(pieces) == canon(list(impl._split_cubic_into_n_gen(*CUBIC, 3)))
    with pytest.raises(StopIteration):
        next(gen)
    assert gen.gi_frame is None and gen.close() is None

    for throw, error in [(StopIteration, RuntimeError), (KeyError("x"), KeyError), (None, None)]:
        gen = impl._split_cubic_into_n_gen(*CUBIC, 5)
        next(gen)
        if throw is None:
            gen.close()
        else:
            with pytest.raises(error) as info:
                gen.throw(throw)
            if error is RuntimeError:
                assert str(info.value) == "generator raised StopIteration"
                assert type(info.value.__cause__) is StopIteration
        assert gen.gi_frame is None and list(gen) == []

    gen = impl._split_cubic_into_n_gen(*CUBIC, 0)
    with pytest.raises(ZeroDivisionError, match="^float division$"):
        next(gen)
    assert list(gen) == [] and list(impl._split_cubic_into_n_gen(*CUBIC, -1)) == []


@pytest.mark.thread_unsafe(reason="starts its own threads")
def test_generator_shared_by_threads(native):
    # Every piece comes out once; a thread that finds the generator busy is told so.
    n, pieces, messages, barrier = 20000, [], [], threading.Barrier(8)
    gen = native._split_cubic_into_n_gen(*CUBIC, n)

    def work():
        barrier.wait()
        while True:
            try:
                pieces.append(next(gen))
            except StopIteration:
                return
            except ValueError as e:
                messages.append(str(e))

    run_threads(work, 8)
    assert sorted(map(canon, pieces)) == sorted(map(canon, native._split_cubic_into_n_gen(*CUBIC, n)))
    assert set(messages) <= {"generator already executing"}


# -- the mended faults: every conversion ends ------------------------------------------

ENDING_SCRIPT = """
import importlib, math, sys
m = importlib.import_module(sys.argv[1])
SQUARE = [(0, 0), (0, 100), (100, 100), (100, 0)]
nan, inf = math.nan, math.inf

def with_max_n(value, fn, *args):
    saved, m.MAX_N = m.MAX_N, value
    try:
        return fn(*args)
    finally:
        m.MAX_N = saved

class Lowering:
    # Lowers MAX_N below the count already reached.
    reads = 0
    def __len__(self):
        return 1
    def __getitem__(self, i):
        self.reads += 1
        if self.reads == 4:
            m.MAX_N = 2
        return 0

CASES = [
    # The tolerance equals a point's modulus: one count's test would loop.
    lambda: m.curve_to_quadratic([(-11, -49), (-28, 95), (-80, -33), (9, -64)], 0.010795099402292303),
    lambda: m.curve_to_quadratic(SQUARE, nan),
    lambda: m.curve_to_quadratic([(0, 0), (0, nan), (100, 100), (100, 0)], 1),
    lambda: m.curve_to_quadratic([(0, 0), (0, inf), (100, 100), (100, 0)], 100),
    lambda: m.curve_to_quadratic([(inf, 0)] * 4, inf),
    lambda: m.curves_to_quadratic([SQUARE, SQUARE], [1, nan]),
    lambda: with_max_n(0, m.curves_to_quadratic, [SQUARE], [1]),
    lambda: with_max_n(-3, m.curves_to_quadratic, [SQUARE], [1000]),
    lambda: with_max_n(2.5, m.curves_to_quadratic, [SQUARE], [1]),
    lambda: with_max_n(nan, m.curves_to_quadratic, [SQUARE], [-1]),
    lambda: with_max_n(inf, m.curves_to_quadratic, [SQUARE, SQUARE], [1, -1]),
    lambda: with_max_n(100, m.curves_to_quadratic, [SQUARE], Lowering()),
    lambda: with_max_n(0, m.curve_to_quadratic, SQUARE, 1000),
]
for case in CASES:
    try:
        out = case()
        print("returns", len(out), [[x.hex() for x in p] for p in out], flush=True)
    except Exception as e:
        print(type(e).__name__, len(e.args[0]) if e.args and type(e.args[0]) is list else e, flush=True)
"""


def run_ending_script(name):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p), PYTHONDONTWRITEBYTECODE="1")
    try:
        run = subprocess.run([sys.executable, "-c", ENDING_SCRIPT, name], capture_output=True, text=True,
                             env=env, timeout=120)
    except subprocess.TimeoutExpired as e:
        run, done = None, (e.stdout or b"").count(b"\n")
    if run is None:
        case = [line.strip() for line in ENDING_SCRIPT.splitlines() if line.startswith("    lambda:")][done]
        pytest.fail(f"{name}: case {done} did not end: {case}")
    assert run.returncode == 0, run.stderr
    return run.stdout.splitlines()


def test_conversions_end(impl):
    lines = run_ending_script(impl.__name__)
    counts = [line.split()[1] for line in lines[1:]]
    assert lines[0].split()[:2] == ["returns", "25"]
    assert all(line.startswith("ApproxNotFoundError") for line in lines[1:])
    assert counts == ["4"] * 4 + ["2"] + ["1"] * 4 + ["2", "1", "4"]
    if impl is not ref:
        assert lines == run_ending_script(ref.__name__)


def test_model_tolerance_test_ends_on_hard_pieces():
    # One half of this piece is the piece itself.
    p = complex(-0.011204840772652203, 0.021116815302322827)
    q = complex(-0.011204840772652203, 0.02111681530232283)
    assert ref.cubic_within_tolerance(p, p, q, p, 0.023905404101434987) is False
    nan = complex(math.nan, 0)
    assert ref.cubic_within_tolerance(0j, nan, nan, 0j, 1) is False
    assert ref.cubic_within_tolerance(0j, 1j, 1j, 0j, math.nan) is False


# -- module names read at each use ----------------------------------------------------

@single_threaded
@pytest.mark.parametrize("max_n, found", [(1, "--+"), (3, "--+"), (4, "+++")])
def test_rebound_max_n(impl, max_n, found):
    with rebound("MAX_N", max_n, impl):
        results = [outcome(impl.curve_to_quadratic, SQUARE, 1),
                   outcome(impl.curves_to_quadratic, [SQUARE, ARCH], [1, 100]),
                   outcome(impl.curve_to_quadratic, ARCH, 100)]
    assert "".join("+" if r[0] == "returns" else "-" for r in results) == found


class Counted:
    def __init__(self, gen):
        self.gen, self.counts = gen, []

    def __call__(self, p0, p1, p2, p3, n):
        self.counts.append(n)
        return self.gen(p0, p1, p2, p3, n)


@single_threaded
def test_rebound_names(impl):
    collinear = [(0, 0), (100, 100), (200, 200), (300, 300)]
    with rebound("NAN", 7.0, impl):
        # The fallback point of parallel lines now passes the NaN test.
        assert impl.curve_to_quadratic(collinear, 1000) == [(0.0, 0.0), (7.0, 7.0), (300.0, 300.0)]
    # The attribute of the imported module is read at each use too.
    before = impl.curve_to_quadratic(ARCH, 100)
    real_isnan = math.isnan
    try:
        math.isnan = lambda x: 1
        assert len(impl.curve_to_quadratic(ARCH, 100)) == 4
    finally:
        math.isnan = real_isnan
    assert impl.curve_to_quadratic(ARCH, 100) == before
    with rebound("math", types.SimpleNamespace(isnan=lambda x: 1), impl):
        assert len(impl.curve_to_quadratic(ARCH, 100)) == 4
    with rebound("ApproxNotFoundError", KeyError, impl), pytest.raises(KeyError):
        impl.curve_to_quadratic(SQUARE, 0)
    # Only the counts without a closed-form split go through the generator.
    counted = Counted(impl._split_cubic_into_n_gen)
    with rebound("_split_cubic_into_n_gen", counted, impl), rebound("MAX_N", 8, impl):
        assert outcome(impl.curve_to_quadratic, SQUARE, 0.01)[0] == "not found"
    assert counted.counts == [5, 7, 8]


@single_threaded
@pytest.mark.parametrize("pieces", [
    lambda p0, p1, p2, p3, n: iter([[0, 1, 1, 1], (1, 1, 2, 2), (2, 3, 3, 3)] * n),
    lambda p0, p1, p2, p3, n: iter([(0, 1, 1)] * n),
    lambda p0, p1, p2, p3, n: iter([(0, 1, 1, 1, 1)] * n),
    lambda p0, p1, p2, p3, n: iter([range(4), range(4), "ab"]),
    lambda p0, p1, p2, p3, n: iter([(0, 0, 0, 0)]),
])
def test_rebound_generator_matches_reference(native, pieces):
    # Five segments for the first tolerance, seven for the second.
    with rebound("_split_cubic_into_n_gen", pieces, native, ref), rebound("MAX_N", 7, native, ref):
        for curve, err in [(SQUARE, 0.5), (SQUARE, 0.2)]:
            assert outcome(native.curve_to_quadratic, curve, err) == outcome(ref.curve_to_quadratic, curve, err)


# -- differential tests ----------------------------------------------------------------

SPECIAL = [0.0, -0.0, 5e-324, 1e-300, 1e300, 1.7976931348623157e308, math.inf, -math.inf, math.nan]
SCALES = {
    "ordinary": st.integers(-1000, 1000) | st.floats(-1000, 1000),
    "tiny": st.floats(-1e-3, 1e-3),
    "huge": st.floats(-1e300, 1e300),
    "special": st.sampled_from(SPECIAL) | st.integers(-5, 5),
}


@st.composite
def cubics(draw):
    number = SCALES[draw(st.sampled_from(sorted(SCALES)))]
    shape = draw(st.sampled_from(["free", "repeated", "collinear"]))
    if shape == "free":
        points = [(draw(number), draw(number)) for _ in range(4)]
    elif shape == "repeated":
        pool = [(draw(number), draw(number)) for _ in range(draw(st.integers(1, 2)))]
        points = [draw(st.sampled_from(pool)) for _ in range(4)]
    else:
        (x, y), (dx, dy) = (draw(number), draw(number)), (draw(number), draw(number))
        points = [(x + t * dx, y + t * dy) for t in draw(st.lists(st.sampled_from([0, 1, 2, 3, 0.5, -1]),
                                                                  min_size=4, max_size=4))]
    form = draw(st.sampled_from([tuple, list, "complex"]))
    return [(complex(x, y),) if form == "complex" else form((x, y)) for x, y in points]


@st.composite
def compatible_curves(draw):
    """1 to 4 masters of one outline: a base cubic moved point by point."""
    base = draw(cubics())
    curves = [base]
    for _ in range(draw(st.integers(0, 3))):
        moves = [(draw(st.integers(-30, 30)), draw(st.floats(-30, 30))) for _ in range(4)]
        curves.append([(complex(*p).real + dx, complex(*p).imag + dy) for p, (dx, dy) in zip(base, moves)])
    return curves, draw(st.sampled_from([list, tuple]))(draw(tolerances) for _ in curves)


tolerances = st.floats(1e-3, 100) | st.sampled_from([1e-3, 0.5, 1, 100, 0, -1, math.inf, math.nan])
all_quadratic = st.sampled_from([True, False, 0, 1, 0.5, 7])
differential = settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])


@differential
@given(cubics(), tolerances, all_quadratic)
def test_curve_to_quadratic_matches_reference(native, curve, tolerance, aq):
    args = (curve, tolerance, aq)
    assert outcome(native.curve_to_quadratic, *args) == outcome(ref.curve_to_quadratic, *args)


@differential
@given(compatible_curves(), all_quadratic)
def test_curves_to_quadratic_matches_reference(native, case, aq):
    curves, errs = case
    assert outcome(native.curves_to_quadratic, curves, errs, aq) == outcome(ref.curves_to_quadratic, curves, errs, aq)


BAD_POINTS = [5, None, (1, 2, 3), "ab", ("x",), (10**400, 0), ("1+2j",), [], [1j, 1j]]


# 3.14 deprecates complex() with complex parts, which some bad points have:
# both implementations call complex(), and warn alike.
@pytest.mark.filterwarnings(r"ignore:complex\(\) argument '\w+' must be a real number, not complex")
@differential
@given(compatible_curves(), st.data())
def test_malformed_input_matches_reference(native, case, data):
    curves, errs = case
    curves = [list(c) for c in curves]
    what = data.draw(st.sampled_from(["point", "length", "error", "errors"]))
    i = data.draw(st.integers(0, len(curves) - 1))
    if what == "point":
        curves[i][data.draw(st.integers(0, 3))] = data.draw(st.sampled_from(BAD_POINTS))
    elif what == "length":
        curves[i] = curves[i][:data.draw(st.integers(0, 3))] + curves[i][:data.draw(st.integers(0, 2))]
    elif what == "error":
        errs = list(errs)
        errs[i] = data.draw(st.sampled_from(["1", None, 1j, 10**400, Fraction(1, 3), True]))
    else:
        errs = data.draw(st.sampled_from([errs[:-1], list(errs) + [1], 1, None, set(errs)]))
    assert outcome(native.curves_to_quadratic, curves, errs) == outcome(ref.curves_to_quadratic, curves, errs)
    for args in [(curves[i], errs), (curves[i], 1, 0)]:
        assert outcome(native.curve_to_quadratic, *args) == outcome(ref.curve_to_quadratic, *args)


@differential
@given(cubics(), st.integers(-3, 12), st.sampled_from([0, 1, 2, 3, 5, 6, 7, 10]))
def test_generator_and_max_n_match_reference(native, curve, n, max_n):
    points = [complex(*p) for p in curve]
    assert outcome(lambda: list(native._split_cubic_into_n_gen(*points, n))) == outcome(
        lambda: list(ref._split_cubic_into_n_gen(*points, n)))
    with rebound("MAX_N", max_n, native, ref):
        assert outcome(native.curves_to_quadratic, [curve], [1]) == outcome(ref.curves_to_quadratic, [curve], [1])


# -- module shell and tracebacks ----------------------------------------------------------

SHELL = ["COMPILED", "math", "DemoteError", "ApproxNotFoundError", "__all__", "MAX_N", "NAN",
         "_split_cubic_into_n_gen", "curve_to_quadratic", "curves_to_quadratic", "__test__"]
SIGNATURES = {
    "_split_cubic_into_n_gen": "_split_cubic_into_n_gen(double complex p0, double complex p1, double complex p2,"
                               " double complex p3, int n)",
    "curve_to_quadratic": "curve_to_quadratic(curve, double max_err, int all_quadratic=True)",
    "curves_to_quadratic": "curves_to_quadratic(curves, max_errors, int all_quadratic=True)",
}


def test_module_shell(impl):
    assert [k for k in vars(impl) if k in SHELL] == SHELL
    assert impl.__all__ == ["curve_to_quadratic", "curves_to_quadratic"] and math.isnan(impl.NAN)
    assert type(impl.MAX_N) is int and impl.MAX_N == 100 and impl.math is math
    assert impl.DemoteError is errors.Error and impl.ApproxNotFoundError is ApproxNotFoundError
    assert impl.curve_to_quadratic.__defaults__ == impl.curves_to_quadratic.__defaults__ == (True,)
    for name, signature in SIGNATURES.items():
        assert getattr(impl, name).__doc__.split("\n")[0] == signature
    assert list(impl.__test__) == ["curves_to_quadratic (line 504)"]
    test = doctest.DocTestParser().get_doctest(impl.__test__["curves_to_quadratic (line 504)"],
                                               {"curves_to_quadratic": impl.curves_to_quadratic}, "t", None, 0)
    assert len(test.examples) == 1 and doctest.DocTestRunner().run(test, out=lambda s: None).failed == 0


def test_native_shell(native):
    import vellary.demote
    assert native.COMPILED is True and native.__doc__ is None and gil_stays_off()
    assert vellary.demote.curve_to_quadratic is native.curve_to_quadratic
    assert vellary.demote.curves_to_quadratic is native.curves_to_quadratic
    assert not hasattr(native, "cubic_approx_spline") and not hasattr(native, "cubic_within_tolerance")
    assert native._split_cubic_into_n_gen(*CUBIC, 2).gi_code is native._split_cubic_into_n_gen.__code__
    lines = [getattr(native, name).__code__.co_firstlineno for name in SIGNATURES]
    assert 1 < lines[0] < lines[1] < lines[2] == 504


def entries(exc):
    tb, out = exc.__traceback__, []
    while tb is not None:
        code = tb.tb_frame.f_code
        if code.co_filename == SOURCE:
            out.append((code.co_name.removeprefix(NATIVE + "."), tb.tb_lineno))
        tb = tb.tb_next
    return out


@pytest.mark.parametrize("call, error, name, where", [
    (lambda m: m.curves_to_quadratic([]), TypeError, "curves_to_quadratic", "def"),
    (lambda m: m.curves_to_quadratic([], [], "x"), TypeError, "curves_to_quadratic", "def"),
    (lambda m: m.curve_to_quadratic(SQUARE, 1, 2, 3), TypeError, "curve_to_quadratic", "def"),
    (lambda m: m.curve_to_quadratic(SQUARE, "1"), TypeError, "curve_to_quadratic", "def"),
    (lambda m: m._split_cubic_into_n_gen(0, 0, 0, 0, None), TypeError, "_split_cubic_into_n_gen", "def"),
    (lambda m: m.curve_to_quadratic(SQUARE, 0), ApproxNotFoundError, "curve_to_quadratic", "body"),
    (lambda m: m.curve_to_quadratic([5], 0), TypeError, "curve_to_quadratic", "body"),
    (lambda m: m.curve_to_quadratic([(0, 0)] * 3, 1), IndexError, "curve_to_quadratic", "body"),
    (lambda m: m.curves_to_quadratic([SQUARE], [0]), ApproxNotFoundError, "curves_to_quadratic", "body"),
    (lambda m: m.curves_to_quadratic([SQUARE], []), ValueError, "curves_to_quadratic", "body"),
    (lambda m: next(m._split_cubic_into_n_gen(0, 0, 0, 0, 0)), ZeroDivisionError, "_split_cubic_into_n_gen", None),
])
def test_traceback_entries(native, call, error, name, where):
    with pytest.raises(error) as info:
        call(native)
    found = entries(info.value)
    first_line = getattr(native, name).__code__.co_firstlineno
    assert found and found[0][0] == name
    if where == "def":
        assert found == [(name, first_line)]
    elif where == "body":
        assert found[0][1] > first_line


# -- threads and leaks ------------------------------------------------------------------

def corpus():
    rng = random.Random(5)
    curves = [[(rng.uniform(-500, 500), rng.randint(-500, 500)) for _ in range(4)] for _ in range(60)]
    return curves, [rng.choice([0.01, 0.1, 1, 10]) for _ in curves]


@pytest.mark.thread_unsafe(reason="starts its own threads")
def test_threads(native):
    curves, errs = corpus()
    work = [(native.curve_to_quadratic, (c, e)) for c, e in zip(curves, errs)]
    work += [(native.curves_to_quadratic, (curves[i:i + 3], errs[i:i + 3])) for i in range(0, 60, 3)]
    work += [(native.curve_to_quadratic, (SQUARE, 0)), (native.curve_to_quadratic, ([5], 1))]
    expected = [outcome(getattr(ref, f.__name__), *args) for f, args in work]
    barrier, failures = threading.Barrier(8), []

    def run():
        barrier.wait()
        for _ in range(5):
            if [outcome(f, *args) for f, args in work] != expected:
                failures.append(True)

    run_threads(run, 8)
    assert not failures


@single_threaded
def test_no_leaks(native):
    curves, errs = corpus()
    curves, errs = curves[:6], errs[:6]
    floats = [p[0] + 0.5 for c in curves for p in c]
    calls = [
        lambda: native.curve_to_quadratic(curves[0], errs[0]),
        lambda: native.curve_to_quadratic(curves[1], 1, False),
        lambda: native.curves_to_quadratic(curves, errs),
        lambda: list(native._split_cubic_into_n_gen(*floats[:4], 7)),
        lambda: native._split_cubic_into_n_gen(*floats[:4], 7).close(),
        lambda: next(native._split_cubic_into_n_gen(*floats[:4], 7)),
        # Error paths.
        lambda: native.curve_to_quadratic(curves[2], 0),
        lambda: native.curves_to_quadratic(curves, [0] * 6),
        lambda: native.curves_to_quadratic(curves, errs[:-1] + ["x"]),
        lambda: native.curve_to_quadratic(curves[3][:3], 1),
        lambda: native.curve_to_quadratic([floats[:3]], 1),
        lambda: native._split_cubic_into_n_gen(*floats[:4], "x"),
        lambda: next(native._split_cubic_into_n_gen(*floats[:4], 0)),
        lambda: native._split_cubic_into_n_gen(*floats[:4], 2).throw(KeyError(floats[0])),
    ]
    watched = [curves, errs, floats, *curves, *floats, *(p for c in curves for p in c)]

    counts, after, grown = references_and_growth(calls, watched, 20, 300)
    assert after == counts
    assert grown < 64 * 1024


def test_benchmark(capsys):
    from vellary.demote import benchmark
    curve = benchmark.generate_curve()
    assert len(curve) == 4 and all(len(p) == 2 and all(type(v) is float for v in p) for p in curve)
    assert benchmark.main(["--curves", "3", "--repeat", "1", "--reference", ref.__file__]) == 0
    assert "conversions per second" in capsys.readouterr().out


def test_benchmark_writes_json_and_chart(tmp_path):
    from vellary.demote import benchmark
    table, chart = tmp_path / "table.json", tmp_path / "chart.svg"
    assert benchmark.main(["--curves", "2", "--repeat", "1", "--reference", ref.__file__,
                           "--json", str(table), "--svg", str(chart)]) == 0
    rows = json.loads(table.read_text())["rows"]
    assert [r["tolerance"] for r in rows] == list(benchmark.TOLERANCES)
    assert all(r["ratio"] == r["native"] / r["reference"] > 0 for r in rows)
    bars = ElementTree.parse(chart).getroot().findall("{http://www.w3.org/2000/svg}rect")
    assert len(bars) == len(rows)


@pytest.mark.parametrize("argv, message", [
    (["--repeat", "0"], "must be at least 1: 0"),
    (["--curves", "-3"], "must be at least 1: -3"),
    (["--curves", "many"], "not a whole number"),
    (["--reference", "{tmp}/missing.py"], "no such file"),
    (["--json", "{tmp}/missing/table.json"], "no such folder"),
    (["--reference", "{tmp}/empty.py"], "defines no curve_to_quadratic"),
])
def test_benchmark_rejects_bad_options(capsys, tmp_path, argv, message):
    from vellary.demote import benchmark
    (tmp_path / "empty.py").write_text("")
    with pytest.raises(SystemExit) as info:
        benchmark.main([a.format(tmp=tmp_path) for a in argv])
    assert info.value.code == 2 and message in capsys.readouterr().err
