"""vellary.promote.promote: quadratic-to-cubic conversion.

Tests taking `impl` run on the native module and on its pure-Python model in
tests/reference; differential tests demand the same float bits, shapes and
exceptions from both.
"""

import math
import random
import subprocess
import sys
import threading

import pytest

from reference import demote as demote_ref
from reference import promote as ref
from support import (as_main_script, canon, gil_stays_off, model_and_native, native_fixture, rebound,
                     references_and_growth, run_threads)
from vellary.demote import curve_to_quadratic

single_threaded = pytest.mark.thread_unsafe(reason="rebinds module names or measures the process")


native = native_fixture("vellary.promote.promote")
impl = model_and_native(ref)


def outcome(fn, *args):
    try:
        return ("returns", canon(fn(*args)))
    except Exception as e:  # noqa: BLE001 - the exception is the result
        return ("raises", type(e), str(e))


# Runs of cubic segments of real glyph contours ("o" and "S").
REAL_RUNS = [
    [[(266, -12), (380, -12), (478, 80), (478, 238)], [(478, 238), (478, 398), (380, 490), (266, 490)],
     [(266, 490), (152, 490), (54, 398), (54, 238)], [(54, 238), (54, 80), (152, -12), (266, -12)]],
    [[(268, -12), (392, -12), (474, 62), (474, 162)], [(474, 162), (474, 264), (407, 303), (334, 336)]],
    [[(232, 382), (185, 403), (116, 434), (116, 516)], [(116, 516), (116, 592), (178, 642), (270, 642)],
     [(270, 642), (338, 642), (392, 614), (430, 572)]],
    [[(320, 306), (386, 276), (442, 248), (442, 160)], [(442, 160), (442, 76), (374, 18), (268, 18)],
     [(268, 18), (188, 18), (118, 54), (70, 110)]],
]
QUARTER = [0, 37.5j, 15.104166666666666 + 56.25j, 30.208333333333332 + 75j, 50 + 75j, 69.79166666666667 + 75j,
           84.89583333333334 + 56.25j, 100 + 37.5j, 100]
QUARTER_COSTS = [1, 2, 2, 3, 3, 4, 4, 5, 6]
SQUARE_4 = [(0, 0), (0, 37.5), (30.208333333333332, 75), (69.79166666666667, 75), (100, 37.5), (100, 0)]


# -- the documented examples --------------------------------------------------------

def test_examples(impl):
    third = 33.33333333333333 + 33.33333333333333j
    assert impl.elevate_quadratic(0, 3 + 3j, 6) == (0, 2 + 2j, 4 + 2j, 6)
    assert impl.spline_to_curves([0, 50 + 50j, 100], [1, 2, 3]) == [[0, 50 + 50j, 100]]
    assert impl.spline_to_curves([0, 50 + 50j, 100], [1, 2, 3], 0.5, True) == [
        (0, third, 66.66666666666666 + 33.33333333333333j, 100)]
    assert impl.spline_to_curves(QUARTER, QUARTER_COSTS, 1) == [
        (0, 99.99999999999993j, 99.99999999999994 + 100.00000000000013j, 100)]
    assert impl.spline_to_curves(QUARTER, QUARTER_COSTS, 0.5) == [QUARTER[k:k + 3] for k in (0, 2, 4, 6)]
    two = [0, 50 + 50j, 100, 150 + 50j, 200]
    assert impl.spline_to_curves(two, [1, 2, 3, 4, 5], 0.5) == [two[:3], two[2:]]
    assert impl.spline_to_curves(two, [1, 2, 3, 4, 5], 0.5, True) == [
        (0, third, 66.66666666666666 + 33.33333333333333j, 100),
        (100, 133.33333333333331 + 33.33333333333333j, 166.66666666666666 + 33.33333333333333j, 200)]
    assert impl.quadratic_to_curves([], -1) == []
    assert impl.quadratic_to_curves([SQUARE_4], 1) == [
        ((0.0, 0.0), (0.0, 99.99999999999993), (99.99999999999994, 100.00000000000013), (100.0, 0.0))]
    assert len(impl.quadratic_to_curves([SQUARE_4], 0.5)) == 4
    assert impl.quadratic_to_curves([[(0, 0), (50, 50), (100, 0)]], 0.5, True) == [
        ((0.0, 0.0), (33.33333333333333, 33.33333333333333), (66.66666666666666, 33.33333333333333), (100.0, 0.0))]
    result = impl.quadratic_to_curves([[0j, 50 + 50j, 100 + 0j]])
    assert canon(result) == canon([[0j, 50 + 50j, 100 + 0j]])
    implied = impl.add_implicit_on_curves([0, 2, 4, 6, 8])
    assert canon(implied) == canon([0, 2, 3 + 0j, 4, 5 + 0j, 6, 8])
    assert impl.add_implicit_on_curves([0j, 2j, 4j]) == [0j, 2j, 4j]


def test_model_merge_gives_the_worked_example():
    curves = [ref.elevate_quadratic(0, 50 + 50j, 100), ref.elevate_quadratic(100, 150 - 50j, 200)]
    assert ref.merge_curves(curves, 0, 2) == (
        (0, 66.66666666666664 + 66.66666666666664j, 133.33333333333331 - 66.66666666666667j, 200),
        [0.5000000000000001])
    # The knot error of the merged quarter circle, and why 0.5 rejects it.
    curve, ts = ref.merge_curves([ref.elevate_quadratic(*QUARTER[k:k + 3]) for k in (0, 2, 4, 6)], 0, 4)
    assert ts == [0.25000000000000017, 0.5000000000000003, 0.7500000000000003]


# -- differential batteries -----------------------------------------------------------

def random_cubic(rng):
    return [(rng.uniform(-500, 500), rng.randint(-500, 500)) for _ in range(4)]


def demoted_runs():
    rng = random.Random(12)
    runs = [[random_cubic(rng)] for _ in range(25)]
    for _ in range(10):  # smooth chains of random cubics
        chain, start = [], (0.0, 0.0)
        for _ in range(rng.randint(2, 5)):
            cubic = [start] + [(rng.uniform(-300, 300), rng.uniform(-300, 300)) for _ in range(3)]
            chain.append(cubic)
            start = cubic[3]
        runs.append(chain)
    runs += REAL_RUNS
    for run in runs:
        for tolerance in (0.1, 1, 4):
            yield [curve_to_quadratic(c, tolerance) for c in run]


@pytest.mark.parametrize("max_err", [0.05, 0.5, 1, 8])
def test_demoted_splines_differential(native, max_err):
    for quads in demoted_runs():
        complex_quads = [[complex(x, y) for x, y in s] for s in quads]
        for all_cubic in (False, True):
            for given in (quads, complex_quads):
                assert outcome(native.quadratic_to_curves, given, max_err, all_cubic) == \
                    outcome(ref.quadratic_to_curves, given, max_err, all_cubic)


def test_random_splines_differential(native):
    rng = random.Random(3)
    for _ in range(300):
        m = rng.randint(1, 12)
        q = [complex(rng.choice([rng.uniform(-100, 100), rng.randint(-3, 3), 0.0]), rng.uniform(-100, 100))
             for _ in range(2 * m + 1)]
        if rng.random() < 0.2:  # a repeated point: a zero-length handle at a join
            k = rng.randrange(1, 2 * m, 2)
            q[k] = q[k + 1]
        costs = list(range(1, len(q) + 1)) if rng.random() < 0.5 else sorted(rng.randint(0, 40) for _ in q)
        for tolerance in (0.01, 2, 50):
            for all_cubic in (0, 1, 7):
                assert outcome(native.spline_to_curves, q, costs, tolerance, all_cubic) == \
                    outcome(ref.spline_to_curves, q, costs, tolerance, all_cubic)


def test_tuples_and_sequences(impl):
    quads = [curve_to_quadratic(c, 1) for c in REAL_RUNS[0]]
    expected = impl.quadratic_to_curves(quads, 1)
    assert impl.quadratic_to_curves([tuple(map(tuple, s)) for s in quads], 1) == expected
    assert impl.quadratic_to_curves([[list(p) for p in s] for s in quads], 1) == expected
    assert impl.spline_to_curves(tuple(QUARTER), range(1, 10), 1) == impl.spline_to_curves(QUARTER, QUARTER_COSTS, 1)


# -- failures -------------------------------------------------------------------------

class Quads(list):
    pass


@pytest.mark.parametrize("args, error, message", [
    (([[(0, 0), (50, 50), (100, 0)], [(101, 0), (150, 50), (200, 0)]],), ValueError,
     "Quadratic splines must connect end-to-start; got (100+0j) then (101+0j)"),
    (([[(0, 0), (50, 50)]],), ValueError, "Quadratic splines must contain at least 3 points"),
    (([[(0, 0), (50, 50), (100, 0)]], 0), ValueError, "max_err must be greater than zero"),
    (([[(0, 0), (50, 50), (100, 0)]], -1e-300), ValueError, "max_err must be greater than zero"),
    (((),), TypeError, "Argument 'quads' has incorrect type (expected list, got tuple)"),
    ((None,), TypeError, "Argument 'quads' has incorrect type (expected list, got NoneType)"),
    (([[(0, 0), (50, 50), (100, 0)]], "x"), TypeError, "must be real number, not str"),
    (([[(0, 0), (50, 50, 1), (100, 0)]],), ValueError, "too many values to unpack (expected 2)"),
    (([[(0, 0), (50,), (100, 0)]],), ValueError, "need more than 1 value to unpack"),
    (([[0j, (50, 50), 100j]],), TypeError, None),
])
def test_validation(native, args, error, message):
    with pytest.raises(error) as info:
        native.quadratic_to_curves(*args)
    if message:
        assert str(info.value) == message
    assert outcome(native.quadratic_to_curves, *args)[1] is error


def test_subclass_note(native):
    with pytest.raises(TypeError, match="expected list, got Quads") as info:
        native.quadratic_to_curves(Quads([[(0, 0), (1, 1), (2, 0)]]))
    assert any("Subclasses" in note for note in info.value.__notes__)


def test_traceback_names_the_module(native):
    with pytest.raises(ValueError) as info:
        native.quadratic_to_curves([[(0, 0), (50, 50)]])
    entries = [(f.f_code.co_name, f.f_code.co_filename) for f, _ in __import__("traceback").walk_tb(
        info.value.__traceback__)]
    assert ("vellary.promote.promote._validate_spline_length", "promote/promote") in entries


def run_python(*args, code):
    return subprocess.run([sys.executable, *args, "-c", code], capture_output=True, text=True, timeout=60)


ASSERTIONS = """
import vellary.promote.promote as p
for call in (lambda: p.spline_to_curves([0, 1], [1, 2]),
             lambda: p.spline_to_curves([0, 1j, 2, 3j, 4, 5j, 6], [1, 2, 3, 4, 5, 6, 7], 1, 1)):
    try:
        print(repr(call()))
    except AssertionError as e:
        print("AssertionError", e)
"""


@pytest.mark.parametrize("flags, first", [((), "AssertionError quadratic spline requires at least 3 points"),
                                          (("-O",), "[]")])
def test_assertions_follow_debug_flag(native, flags, first):
    run = run_python(*flags, code=ASSERTIONS)
    assert run.stdout.splitlines()[0] == first, run.stderr


# -- the tolerance test ends on every input --------------------------------------------

def test_models_tolerance_tests_end_on_hard_pieces():
    # One half of this piece is the piece itself; NaN never decides.
    p = complex(-0.011204840772652203, 0.021116815302322827)
    q = complex(-0.011204840772652203, 0.02111681530232283)
    nan = complex(math.nan, 0)
    pieces = [(p, p, q, p, 0.023905404101434987), (0j, nan, nan, 0j, 1), (0j, 1j, 1j, 0j, math.nan),
              (0j, 1.2, 1.2, 0j, 1.0), (0j, 2, 2, 0j, 1.0)]
    assert [ref.cubic_within_tolerance(*a) for a in pieces] == \
        [demote_ref.cubic_within_tolerance(*a) for a in pieces] == [False, False, False, True, False]


@pytest.mark.parametrize("max_err", [math.nan, 1])
def test_nan_input_ends(native, max_err):
    # A NaN tolerance (which the positive check lets pass) or a NaN point
    # reaches the interior test, whose halving would never end by itself.
    quads = [[(0, 0), (10, 20), (20, 30), (30, 20), (40, 0)], [(40, 0), (50, math.nan), (70, 0)]]
    code = f"""
import math
from vellary.promote.promote import quadratic_to_curves
print(repr(quadratic_to_curves({quads!r}, {max_err!r})))
""".replace("nan", "math.nan").replace("math.math.nan", "math.nan")
    run = run_python(code=code)
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() == repr(ref.quadratic_to_curves(quads, max_err))


# -- module names read at each use -----------------------------------------------------

@single_threaded
def test_rebound_names(native):
    quads = [curve_to_quadratic(c, 1) for c in REAL_RUNS[2]]
    seen = []

    def splitter(original):
        # Pieces moved beyond the tolerance: no merge can pass.
        def split(*args):
            seen.append(len(args))
            return [tuple(p + 10j for p in piece) for piece in original(*args)]
        return split

    plain = outcome(native.quadratic_to_curves, quads, 2)
    with rebound("splitCubicAtTC", splitter(native.splitCubicAtTC), native), \
            rebound("splitCubicAtTC", splitter(ref.splitCubicAtTC), ref):
        nudged = outcome(native.quadratic_to_curves, quads, 2)
        assert nudged == outcome(ref.quadratic_to_curves, quads, 2)
    assert seen and nudged != plain
    assert outcome(native.quadratic_to_curves, quads, 2) == plain
    with rebound("spline_to_curves", lambda q, costs, tol, all_cubic: (q, costs, tol, all_cubic), native):
        with pytest.raises(TypeError, match="Expected list, got tuple"):
            native.quadratic_to_curves([[0j, 1j, 2j]], 2)
    with rebound("_validate_positive_tolerance", lambda max_err: None, native):
        assert native.quadratic_to_curves([[(0, 0), (1, 1), (2, 0)]], -1) == [((0.0, 0.0), (1.0, 1.0), (2.0, 0.0))]


def test_module_shell(native):
    assert native.COMPILED is True and native.__all__ == ["quadratic_to_curves"]
    assert native.Solution._fields == ("num_points", "error", "start_index", "is_cubic")
    assert native.quadratic_to_curves.__defaults__ == (0.5, False)
    assert native.spline_to_curves.__defaults__ == (0.5, False)
    assert native.quadratic_to_curves.__annotations__["return"] == "List[Tuple[Point, ...]]"
    assert native.__test__ == {}
    assert native.spline_to_curves.__doc__.startswith(
        "spline_to_curves(q, costs, double tolerance=0.5, int all_cubic=False)")


def test_main(native, capsys):
    native.main()
    lines = capsys.readouterr().out.splitlines()
    assert lines[0] == "demote tolerance 0.05. promote tolerance 0.05."
    assert lines[2].startswith("Those quadratics turned back into") and lines[2].endswith(" cubics. ")
    run = run_python(code=as_main_script("vellary.promote.promote", "promote"))
    assert run.stdout.startswith("demote tolerance"), run.stderr


# -- threads and leaks ------------------------------------------------------------------

@pytest.mark.thread_unsafe(reason="starts its own threads")
def test_threads(native):
    work = [(quads, max_err) for quads in list(demoted_runs())[::3] for max_err in (0.5, 2)]
    expected = [outcome(ref.quadratic_to_curves, *args) for args in work]
    barrier, failures = threading.Barrier(6), []

    def run():
        barrier.wait()
        for _ in range(3):
            if [outcome(native.quadratic_to_curves, *args) for args in work] != expected:
                failures.append(True)

    run_threads(run, 6)
    assert not failures and gil_stays_off()


@single_threaded
def test_no_leaks(native):
    quads = [curve_to_quadratic(c, 1) for c in REAL_RUNS[0]]
    complex_quads = [[complex(x, y) for x, y in s] for s in quads]
    calls = [
        lambda: native.quadratic_to_curves(quads, 1),
        lambda: native.quadratic_to_curves(complex_quads, 0.5, True),
        lambda: native.spline_to_curves(QUARTER, QUARTER_COSTS, 1),
        lambda: native.add_implicit_on_curves(complex_quads[0]),
        lambda: native.elevate_quadratic(*QUARTER[:3]),
        # Error paths.
        lambda: native.quadratic_to_curves(quads[:1] + quads[2:], 1),
        lambda: native.quadratic_to_curves([[(0, 0), (1,), (2, 0)]], 1),
        lambda: native.quadratic_to_curves(quads, "x"),
        lambda: native.spline_to_curves(QUARTER, QUARTER_COSTS[:3], 1),
        lambda: native.spline_to_curves(QUARTER[:2], [1, 2]),
    ]
    watched = [quads, complex_quads, QUARTER, *complex_quads, *QUARTER]

    counts, after, grown = references_and_growth(calls, watched, 10, 150)
    assert after == counts
    assert grown < 64 * 1024
