"""solveQuadratic / solveCubic: fixed cases, differential tests against the
pure-Python model, name lookups, tracebacks, threads and leaks."""

import builtins
import math
import random
import struct
import threading
from contextlib import contextmanager
from decimal import Decimal
from fractions import Fraction

import pytest
from hypothesis import HealthCheck, example, given, settings, strategies as st

from reference import curvemath as ref
from support import gil_stays_off, model_and_native, refcounts, run_threads, traced_growth

QUALNAME = "vellary.misc.curvemath."
SOURCE = "misc/curvemath"

single_threaded = pytest.mark.thread_unsafe(reason="rebinds module or builtin names")


@pytest.fixture(scope="module")
def native():
    from vellary.misc import curvemath

    return curvemath


# The fixed cases run on the model too, so that the oracle is checked.
cm = model_and_native(ref)


def canon(value):
    """A comparable image of a result: exact type, and float bit patterns so
    that -0.0 counts (a NaN is a NaN: its sign is the compiler's choice)."""
    if type(value) is float:
        return ("float", "nan" if value != value else struct.pack("<d", value))
    if type(value) is list:
        return ("list", tuple(canon(v) for v in value))
    return (type(value), repr(value))


def outcome(func, *args, **kwargs):
    try:
        return ("ok", canon(func(*args, **kwargs)))
    except Exception as e:  # noqa: BLE001 - the exception is the result
        return ("raise", type(e), str(e))


@contextmanager
def rebound(modules, name, value):
    """Bind ``name`` to ``value`` in each module (or delete it, for the
    sentinel ``rebound.DELETE``), restoring the previous state afterwards."""
    saved = [(m, m.__dict__.get(name, rebound.MISSING)) for m in modules]
    try:
        for m in modules:
            if value is rebound.DELETE:
                delattr(m, name)
            else:
                setattr(m, name, value)
        yield
    finally:
        for m, old in saved:
            if old is rebound.MISSING:
                m.__dict__.pop(name, None)
            else:
                setattr(m, name, old)


rebound.MISSING = object()
rebound.DELETE = object()


# --------------------------------------------------------------------------
# Fixed cases

QUADRATIC_CASES = [
    ((0, 2, -4), [2.0]),
    ((1e-11, 2, -4), [2.0]),
    ((0, 0, 1), []),
    ((0, 0, 0), []),
    ((1, 0, 1), []),
    ((1, 2, 1), [-1.0, -1.0]),
    # -b of the int 0 is 0, so both roots are +0.0 ...
    ((2, 0, 0), [0.0, 0.0]),
    # ... but -b of 0.0 is -0.0, and -0.0 - 0.0 stays negative.
    ((2.0, 0.0, 0.0), [0.0, -0.0]),
    ((1, -3, 2), [2.0, 1.0]),
    ((-1, 3, -2), [1.0, 2.0]),
    ((math.nan, 1, 1), []),
    ((1, math.nan, 1), []),
]

CUBIC_CASES = [
    ((1, 1, -6, 0), [-3.0, -0.0, 2.0]),
    ((-10.0, -9.0, 48.0, -29.0), [-2.9, 1.0, 1.0]),
    ((-9.875, -9.0, 47.625, -28.75), [-2.911392, 1.0, 1.0]),
    ((1.0, -4.5, 6.75, -3.375), [1.5, 1.5, 1.5]),
    ((-12.0, 18.0, -9.0, 1.50023651123), [0.5, 0.5, 0.5]),
    ((9.0, 0.0, 0.0, -7.62939453125e-05), [-0.0, -0.0, -0.0]),
    ((1, 0, 0, 0), [-0.0, -0.0, -0.0]),
    ((1, -6, 11, -6), [1.0, 2.0, 3.0]),
    ((1, 0, 0, -8), [2.0]),
    ((2, -3, 0, 1), [-0.5, 1.0, 1.0]),
    ((0, 1, -3, 2), [2.0, 1.0]),
    ((1e-11, 1, -3, 2), [2.0, 1.0]),
    ((0, 0, 2, -4), [2.0]),
]


@pytest.mark.parametrize("args, expected", QUADRATIC_CASES)
def test_solve_quadratic_cases(cm, args, expected):
    assert canon(cm.solveQuadratic(*args)) == canon(expected)


@pytest.mark.parametrize("args, expected", CUBIC_CASES)
def test_solve_cubic_cases(cm, args, expected):
    assert canon(cm.solveCubic(*args)) == canon(expected)


def test_nan_leading_coefficient_gives_one_nan_root(cm):
    (root,) = cm.solveCubic(math.nan, 1, 2, 3)
    assert math.isnan(root)


@pytest.mark.parametrize("call", [
    lambda m: m.solveQuadratic(0, 0, 1),
    lambda m: m.solveQuadratic(1, 2, 1),
    lambda m: m.solveCubic(1, 0, 0, 0),
])
def test_every_call_returns_a_fresh_list(cm, call):
    first = call(cm)
    first.append("scribble")
    assert "scribble" not in call(cm)


# --------------------------------------------------------------------------
# The sqrt parameter

def test_sqrt_parameter_is_used(cm):
    seen = []

    def fake_sqrt(x):
        seen.append(x)
        return 0

    assert cm.solveQuadratic(1, -3, 2, sqrt=fake_sqrt) == [1.5, 1.5]
    assert cm.solveQuadratic(1, -3, 2, fake_sqrt) == [1.5, 1.5]
    # 3*3 - (4.0*1)*2: the discriminant handed over is a float.
    assert canon(seen) == canon([1.0, 1.0])


class Boom(Exception):
    pass


def _boom(x):
    raise Boom(x)


def test_raising_sqrt_propagates(cm):
    with pytest.raises(Boom) as info:
        cm.solveQuadratic(1, -3, 2, sqrt=_boom)
    assert info.value.args == (1.0,)


@pytest.mark.parametrize("args", [(1, 0, 1), (0, 1, 2), (0, 0, 0), (math.nan, 1, 1)])
def test_sqrt_not_called_without_real_discriminant(cm, args):
    cm.solveQuadratic(*args, sqrt=_boom)


# --------------------------------------------------------------------------
# Differential tests against the model

FLOAT_SPECIALS = [
    0.0, -0.0, 0.5, 1 / 3, 1.0, -1.0,
    1e-10, -1e-10, math.nextafter(1e-10, 0), math.nextafter(1e-10, 1), 5e-11, 1e-11,
    1e-300, 5e-324, 1e300, -1e300, 1.7976931348623157e308,
    math.inf, -math.inf, math.nan, -math.nan,
]
INT_SPECIALS = [0, 1, -1, 2**53 + 1, 2**63, -(2**63), 2**64 + 1, 2**1023, 2**1024, -(10**400)]

floats = st.one_of(
    st.sampled_from(FLOAT_SPECIALS),
    st.floats(-100, 100),
    st.floats(-1e-8, 1e-8),
    st.floats(),
)
ints = st.one_of(
    st.sampled_from(INT_SPECIALS),
    st.integers(-10, 10),
    st.integers(-(2**70), 2**70),
    st.integers(-(2**1100), 2**1100),
)
coefficient = st.one_of(ints, floats)
root = st.one_of(st.integers(-5, 5), st.sampled_from([0.5, 1 / 3, -2.25, 1e-6, 1.0001, 1.00001]))
lead = st.sampled_from([1, -2, 3, 0.5, -12.0, 9.0, 1e-9, 1e-11, 0])


@st.composite
def quadratic_from_roots(draw):
    """Coefficients with real, often repeated, roots: the random ones above
    rarely reach the two-root branch with a small discriminant."""
    a, r1, r2 = draw(lead), draw(root), draw(root)
    return (a, -a * (r1 + r2), a * (r1 * r2))


@st.composite
def cubic_from_roots(draw):
    """Reaches the three-root branch and its merges, which random
    coefficients almost never do."""
    a, r1, r2, r3 = draw(lead), draw(root), draw(root), draw(root)
    return (a, -a * (r1 + r2 + r3), a * (r1 * r2 + r1 * r3 + r2 * r3), -a * (r1 * r2 * r3))


quadratics = st.one_of(st.tuples(coefficient, coefficient, coefficient), quadratic_from_roots())
cubics = st.one_of(st.tuples(coefficient, coefficient, coefficient, coefficient), cubic_from_roots())


class F(float):
    pass


class I(int):
    pass


def as_subclass(x):
    return F(x) if isinstance(x, float) else I(x)


def as_fraction(x):
    return Fraction(x) if isinstance(x, int) or math.isfinite(x) else x


def as_complex(x):
    try:
        return complex(x)
    except OverflowError:
        return x


WRAPPERS = {
    "plain": lambda x: x,
    "subclass": as_subclass,
    "fraction": as_fraction,
    "decimal": Decimal,
    "complex": as_complex,
    "bool": lambda x: bool(x) if isinstance(x, int) else x,
}
wrapper = st.sampled_from(sorted(WRAPPERS))

differential = settings(max_examples=400, deadline=None, suppress_health_check=[HealthCheck.too_slow])


@differential
@given(quadratics)
@example((1, -3, 2))
@example((2**1024, 1, 1))
@example((0, 3, 10**400))
def test_solve_quadratic_matches_model(native, args):
    assert outcome(native.solveQuadratic, *args) == outcome(ref.solveQuadratic, *args)


@differential
@given(cubics)
@example((1, -6, 11, -6))
@example((1e-5, 1e200, 1, 1))
@example((1, 3e51, 0, 0))
def test_solve_cubic_matches_model(native, args):
    assert outcome(native.solveCubic, *args) == outcome(ref.solveCubic, *args)


class Epsilon(float):
    """epsilon's value, held by an object the machine path does not read."""


def shaped(func, *args):
    """The outcome, and which items of a result are one object."""
    result = outcome(func, *args)
    if result[0] == "ok" and result[1][0] == "list":
        r = func(*args)
        return result, tuple(next(j for j in range(len(r)) if r[j] is x) for x in r)
    return result


@single_threaded
@pytest.mark.parametrize("name, strategy", [("solveQuadratic", quadratics), ("solveCubic", cubics)])
@differential
@given(data=st.data())
@example(data=None)
def test_machine_path_matches_generic_path(native, name, strategy, data):
    """Float and small-int coefficients are computed on machine doubles;
    with epsilon held by a float subclass the same call runs the generic
    path.  Both give the same values, types, exceptions and shared items."""
    func = getattr(native, name)
    cases = [data.draw(strategy)] if data else [
        (1.0, -3.0, 3.0, -1.0), (1, -4, 5, -2), (1, -5, 8, -4), (1, 0, -1, 0), (1e-300, 1, 1, 1)]
    for args in cases:
        args = args[: 3 if name == "solveQuadratic" else 4]
        fast = shaped(func, *args)
        with rebound([native], "epsilon", Epsilon(native.epsilon)):
            assert shaped(func, *args) == fast


@pytest.mark.parametrize("name, arity", [("solveQuadratic", 3), ("solveCubic", 4)])
@differential
@given(data=st.data())
def test_generic_path_matches_model(native, name, arity, data):
    """Each coefficient gets its own wrapper, so fast-path and generic
    operands meet inside one expression."""
    strategy = quadratics if arity == 3 else cubics
    plain = data.draw(strategy)
    kinds = data.draw(st.tuples(*[wrapper] * arity))
    wrapped = tuple(WRAPPERS[k](x) for k, x in zip(kinds, plain))
    assert outcome(getattr(native, name), *wrapped) == outcome(getattr(ref, name), *wrapped)


@pytest.mark.parametrize("name, strategy", [("solveQuadratic", quadratics), ("solveCubic", cubics)])
@differential
@given(data=st.data())
def test_trivial_subclasses_behave_like_their_base(cm, name, strategy, data):
    """A subclass of float or int computes exactly as its base type does, so
    the generic path must give what the fast path gives."""
    plain = data.draw(strategy)
    func = getattr(cm, name)
    assert outcome(func, *map(as_subclass, plain)) == outcome(func, *plain)


# --------------------------------------------------------------------------
# Module names are looked up at each call

def _scaled_sqrt(x):
    return math.sqrt(x) * 2


REBINDINGS = [
    # name, value, function, arguments, whether the result changes
    ("epsilon", 1e-3, "solveQuadratic", (1e-5, 2, -4), True),
    ("epsilon", 1e-3, "solveCubic", (1e-5, 1, -3, 2), True),
    ("epsilon", 1e-3, "solveCubic", (1, -5.0001, 7.0004, -3.0003), True),  # roots 1, 1.0001, 3 merge
    ("epsilonDigits", 2, "solveCubic", (3, -1, 0, 0), True),
    ("epsilonDigits", 2, "solveCubic", (1, -3, 0, 0), False),
    ("sqrt", _scaled_sqrt, "solveCubic", (1, -6, 11, -6), True),
    ("sqrt", _scaled_sqrt, "solveCubic", (1, 0, 0, -8), True),
    # solveQuadratic's default was bound when it was defined.
    ("sqrt", _scaled_sqrt, "solveQuadratic", (1, -3, 2), False),
    ("sqrt", _scaled_sqrt, "solveCubic", (0, 1, -3, 2), False),
    ("acos", lambda x: 0.0, "solveCubic", (1, -6, 11, -6), True),
    ("cos", lambda x: 0.5, "solveCubic", (1, -6, 11, -6), True),
    ("pi", 0.0, "solveCubic", (1, -6, 11, -6), True),
    ("solveQuadratic", lambda b, c, d: ["delegated", b, c, d], "solveCubic", (0, 1, -3, 2), True),
    ("epsilon", rebound.DELETE, "solveQuadratic", (1, -3, 2), True),
    ("epsilonDigits", rebound.DELETE, "solveCubic", (1, -6, 11, -6), True),
    ("sqrt", rebound.DELETE, "solveCubic", (1, 0, 0, -8), True),
]


@single_threaded
@pytest.mark.parametrize("name, value, func, args, changes", REBINDINGS)
def test_module_names_are_read_at_each_call(native, name, value, func, args, changes):
    before = outcome(getattr(native, func), *args)
    with rebound([native, ref], name, value):
        during = outcome(getattr(native, func), *args)
        assert during == outcome(getattr(ref, func), *args)
    assert (during != before) == changes
    assert outcome(getattr(native, func), *args) == before


@single_threaded
@pytest.mark.parametrize("where", ["module", "builtins"])
def test_round_is_cached(native, where):
    target = native if where == "module" else builtins
    with rebound([target], "round", lambda *args: 42):
        assert native.solveCubic(1, -6, 11, -6) == [1.0, 2.0, 3.0]
        assert native.solveCubic(1, 0, 0, -8) == [2.0]
        assert native.solveCubic(1, 0, 0, 0) == [-0.0, -0.0, -0.0]


# --------------------------------------------------------------------------
# Tracebacks

def _entries(exc):
    tb, out = exc.__traceback__, []
    while tb is not None:
        out.append((tb.tb_frame.f_code.co_name, tb.tb_frame.f_code.co_filename, tb.tb_lineno))
        tb = tb.tb_next
    return out


@pytest.mark.parametrize("func, args, exc_type, line", [
    ("solveQuadratic", ("x", 1, 2), TypeError, 828),
    ("solveQuadratic", (0, "x", 2), TypeError, 829),
    ("solveQuadratic", (0, 1, "x"), TypeError, 834),
    ("solveQuadratic", (1, "x", 2), TypeError, 837),
    ("solveQuadratic", (1, 0, 1j), TypeError, 838),
    ("solveQuadratic", (1, -3, 2, "not callable"), TypeError, 839),
    ("solveQuadratic", (0, 3, 10**400), OverflowError, 834),
    ("solveCubic", ("x", 1, 2, 3), TypeError, 885),
    ("solveCubic", (1j, 0, 0, 0), TypeError, 889),
    ("solveCubic", (1, "x", 0, 0), TypeError, 890),
    ("solveCubic", (1, 0, "x", 0), TypeError, 891),
    ("solveCubic", (1, 0, 0, "x"), TypeError, 892),
])
def test_traceback_entry(native, func, args, exc_type, line):
    with pytest.raises(exc_type) as info:
        getattr(native, func)(*args)
    assert _entries(info.value)[-1] == (QUALNAME + func, SOURCE, line)


def test_traceback_through_delegation(native):
    with pytest.raises(TypeError) as info:
        native.solveCubic(0, 0, "x", 2)
    assert _entries(info.value)[-2:] == [
        (QUALNAME + "solveCubic", SOURCE, 888),
        (QUALNAME + "solveQuadratic", SOURCE, 829),
    ]


def test_traceback_of_raising_sqrt(native):
    with pytest.raises(Boom) as info:
        native.solveQuadratic(1, -3, 2, sqrt=_boom)
    *_, caller, callee = _entries(info.value)
    assert caller == (QUALNAME + "solveQuadratic", SOURCE, 839)
    assert callee[0] == "_boom"


# --------------------------------------------------------------------------
# Threads

def _corpus(n, seed):
    rng = random.Random(seed)
    cases = []
    for _ in range(n):
        kind = rng.randrange(4)
        if kind == 0:
            c = [rng.randint(-20, 20) for _ in range(4)]
        elif kind == 1:
            c = [rng.uniform(-50, 50) for _ in range(4)]
        else:
            a = rng.choice([1, -2, 0.5, 3.0])
            r = [rng.choice([rng.randint(-4, 4), rng.uniform(-3, 3)]) for _ in range(3)]
            c = [a, -a * (r[0] + r[1] + r[2]), a * (r[0] * r[1] + r[0] * r[2] + r[1] * r[2]),
                 -a * r[0] * r[1] * r[2]]
            if kind == 3:
                c[0] = rng.choice([0, 1e-12, -1e-11])
        cases.append(tuple(c))
    return cases


THREADS = 8


def _run_threads(worker):
    barrier = threading.Barrier(THREADS)
    errors = []

    def run(index):
        try:
            barrier.wait()
            worker(index)
        except BaseException as e:  # noqa: BLE001 - reported below
            errors.append(e)

    run_threads(run, THREADS, indexed=True)
    assert not errors, errors[:3]


@pytest.mark.thread_unsafe(reason="starts its own threads")
def test_concurrent_calls(native):
    assert gil_stays_off()
    cases = _corpus(1500, seed=7)
    calls = [(native.solveCubic, c) for c in cases] + [(native.solveQuadratic, c[1:]) for c in cases]
    calls.append((native.solveQuadratic, ("x", 1, 2)))
    expected = [outcome(f, *args) for f, args in calls]

    def worker(index):
        order = list(range(len(calls)))
        random.Random(index).shuffle(order)
        for _ in range(3):
            for i in order:
                f, args = calls[i]
                got = outcome(f, *args)
                assert got == expected[i], (f.__name__, args, got, expected[i])

    _run_threads(worker)


@pytest.mark.thread_unsafe(reason="rebinds epsilon while other threads call")
def test_concurrent_rebinding_of_epsilon(native):
    args = (1e-5, 2, -4)
    small = outcome(native.solveQuadratic, *args)
    with rebound([native], "epsilon", 1e-3):
        large = outcome(native.solveQuadratic, *args)
    assert small != large
    stop = threading.Event()
    original = native.epsilon

    def worker(index):
        if index == 0:
            try:
                for i in range(20000):
                    native.epsilon = 1e-3 if i % 2 else original
            finally:
                native.epsilon = original
                stop.set()
        else:
            while not stop.is_set():
                assert outcome(native.solveQuadratic, *args) in (small, large)

    _run_threads(worker)


# --------------------------------------------------------------------------
# Leaks

def _make_args():
    # Fresh objects (not immortal, not interned) so that their counts move.
    return {
        "a": float("1.5"), "b": float("-4.25"), "c": float("2.0"),
        "big": 2**100 + 7, "s": "".join(["not ", "a number"]),
        "fr": Fraction(3, 7),
    }


def _workload(cm, v):
    sq, cu = cm.solveQuadratic, cm.solveCubic

    def raises(exc, func, *args, **kw):
        try:
            func(*args, **kw)
        except exc:
            pass
        else:
            raise AssertionError("expected " + exc.__name__)

    def run():
        sq(v["a"], v["b"], v["c"])
        sq(0, v["b"], v["c"])
        sq(v["a"], v["c"], v["a"])
        sq(v["big"], v["big"], -v["big"])
        sq(v["fr"], v["b"], v["fr"])
        sq(v["a"], v["b"], v["c"], sqrt=_scaled_sqrt)
        cu(v["a"], v["b"], v["c"], v["a"])
        cu(1, -6, 11, -6)
        cu(1.0, -4.5, 6.75, -3.375)
        cu(0, v["a"], v["b"], v["c"])
        cu(v["big"], v["big"], v["a"], v["fr"])
        raises(TypeError, sq, v["s"], v["a"], v["b"])
        raises(TypeError, sq, v["a"], v["s"], v["b"])
        raises(Boom, sq, v["a"], v["b"], v["c"], sqrt=_boom)
        raises(TypeError, cu, v["a"], v["s"], v["b"], v["c"])
        raises(TypeError, cu, 0, v["s"], v["b"], v["c"])
        raises(OverflowError, sq, 0, 3, 10**400)

    return run


@pytest.mark.thread_unsafe(reason="measures reference counts and process memory")
def test_no_reference_leaks(native):
    v = _make_args()
    run = _workload(native, v)
    shared = [native.epsilon, native.solveQuadratic, native.solveCubic, math.sqrt,
              _scaled_sqrt, _boom, native.__dict__, Boom]
    objects = list(v.values()) + shared
    for _ in range(50):
        run()
    before = refcounts(objects)
    for _ in range(2000):
        run()
    after = refcounts(objects)
    assert after == before


@pytest.mark.thread_unsafe(reason="measures reference counts and process memory")
def test_no_memory_growth(native):
    run = _workload(native, _make_args())
    for _ in range(50):
        run()
    growth = traced_growth(run, 3000, warm=50)
    # 3000 rounds of 17 calls: one leaked float per call would be over 1 MB.
    assert growth < 64 * 1024
