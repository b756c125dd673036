"""Python code that runs inside a call may change the caller's lists.

Every function that reads a caller's list is called while (a) a hook on the
module-level names it calls empties or shrinks every list of its arguments
at one call point after another, and (b) another thread keeps emptying and
refilling those lists.  Each call must give a result or an ordinary Python
exception; a crash, or SystemError (an error the C code lost track of),
fails.  Each module's battery runs in a child process, so that a crash names
the module and the case.
"""

import subprocess
import sys
import textwrap

import pytest

from support import FREE_THREADED

CUBIC = "[0, 0], [25, 100], [75, 100], [100, 0]"
QUAD = "[0, 0], [50, 100], [100, 0]"
SQUARE = "[[0, 0], [0, 100], [100, 100], [100, 0]]"
SPLINES = "[[[0, 0], [0, 37.5], [30, 75], [70, 75], [100, 37.5], [100, 0]], [[100, 0], [150, 50], [200, 0]]]"
COMPLEX_SPLINES = "[[0j, 37.5j, 30+75j, 70+75j, 100+37.5j, 100+0j], [100+0j, 150+50j, 200+0j]]"
DELTAS = "[[0, 0], [0, 10], [10, 10], [10, 0]]"

# module: [(function, arguments)]; every list in the arguments is a target.
CASES = {
    "vellary.misc.curvemath": [
        ("calcQuadraticBounds", QUAD), ("calcCubicBounds", CUBIC),
        ("calcQuadraticArcLength", QUAD), ("approximateQuadraticArcLength", QUAD),
        ("calcCubicArcLength", CUBIC), ("approximateCubicArcLength", CUBIC),
        ("splitLine", "[0, 0], [100, 100], 50, False"), ("splitQuadratic", f"{QUAD}, 30, False"),
        ("splitCubic", f"{CUBIC}, 50, False"), ("splitQuadraticAtT", f"{QUAD}, 0.25, 0.5"),
        ("splitCubicAtT", f"{CUBIC}, 0.25, 0.5"), ("quadraticPointAtT", f"{QUAD}, 0.5"),
        ("cubicPointAtT", f"{CUBIC}, 0.5"), ("segmentPointAtT", f"[{CUBIC}], 0.5"),
        ("lineLineIntersections", "[0, 0], [100, 100], [0, 100], [100, 0]"),
        ("curveLineIntersections", f"[{CUBIC}], [[0, 50], [100, 50]]"),
        ("curveCurveIntersections", f"[{CUBIC}], [[0, 100], [25, 0], [75, 0], [100, 100]]"),
        ("segmentSegmentIntersections", f"[{CUBIC}], [[0, 50], [100, 50]]"),
        ("segmentSegmentIntersections", f"[{QUAD}], [[0, 100], [25, 0], [75, 0], [100, 100]]"),
    ],
    "vellary.demote.demote": [
        # A small error needs more than six segments: the generator's pieces.
        ("curve_to_quadratic", f"{SQUARE}, 0.001"),
        ("curves_to_quadratic", f"[{SQUARE}, [[0, 0], [0, 50], [50, 50], [50, 0]]], [0.001, 0.01]"),
    ],
    "vellary.promote.promote": [
        ("quadratic_to_curves", f"{SPLINES}, 1"),
        ("quadratic_to_curves", f"{COMPLEX_SPLINES}, 1"),
        ("quadratic_to_curves", f"{SPLINES}, 0.5, True"),
        ("spline_to_curves", "[0, 37.5j, 15+56j, 30+75j, 50+75j, 70+75j, 85+56j], [1, 2, 2, 3, 3, 4, 4], 1"),
        ("add_implicit_on_curves", "[0, 2, 4, 6, 8]"),
    ],
    "vellary.varLib.gapfill": [
        ("gapfill_contour", f"[[0, 0], None, [10, 20], None], {SQUARE}"),
        ("gapfill_delta", f"[[0, 0], None, [10, 20], None, [0, 0], None, [5, 5], [1, 1]], {SQUARE} + {SQUARE}, [3]"),
        ("gapfill_contour_optimize", f"{DELTAS}, {SQUARE}, 0.5"),
        ("gapfill_contour_optimize", f"[[0, 0], [0, 10], [0, 0], [10, 0], [3, 3]], {SQUARE} + [[50, 50]], 0.5"),
        ("gapfill_delta_optimize", f"{DELTAS} + {DELTAS}, {SQUARE} + {SQUARE}, [3], 0.5"),
        ("_gapfill_contour_bound_forced_set", f"{DELTAS}, {SQUARE}, 0.5"),
        ("_gapfill_contour_optimize_dp", f"{DELTAS}, {SQUARE}, set(), 0.5, 3"),
        ("_rot_list", "[1, 2, 3], 1"),
    ],
    "vellary.pens.integrator": [
        ("draw", f"[[0, 0], [100, 0], [100, 50], [50, 100], [0, 50]]"),
    ],
}

CHILD = textwrap.dedent(r"""
    import importlib, json, sys, threading, time

    module_name, cases, thread_seconds = json.loads(sys.argv[1])
    mod = importlib.import_module(module_name)
    failures = []

    def draw(points):
        # The pen's methods read the points it is given.
        pen = mod.Integrator()
        pen.moveTo(points[0])
        pen.lineTo(points[1])
        pen.curveTo(points[2], points[3], points[4])
        pen.qCurveTo(points[1], points[0])
        pen.closePath()
        return pen.area

    def lists_in(o, found):
        if isinstance(o, list) and all(o is not f for f in found):
            found.append(o)
        if isinstance(o, (list, tuple)):
            for x in o:
                lists_in(x, found)
        return found

    def callables():
        return {name: v for name, v in vars(mod).items()
                if callable(v) and not name.startswith("__") and not isinstance(v, type)}

    def outcome(fn, args):
        try:
            fn(*args)
        except SystemError as e:
            return e
        except Exception:
            pass
        return None

    def hooked_run(fn_name, source, how, fire_at):
        # Every callable module-level name wrapped; the fire_at-th call into
        # one of them changes the lists first.
        args = eval("(" + source + ",)", {"draw": draw})
        targets = lists_in(args, [])
        calls = [0]
        def mutate():
            for l in targets:
                if how == "clear":
                    l.clear()
                else:
                    del l[1:]
        saved = callables()
        def wrap(f):
            def hook(*a, **k):
                calls[0] += 1
                if calls[0] == fire_at:
                    mutate()
                return f(*a, **k)
            return hook
        for name, f in saved.items():
            setattr(mod, name, wrap(f))
        try:
            fn = draw if fn_name == "draw" else saved[fn_name]
            error = outcome(fn, args)
        finally:
            for name, f in saved.items():
                setattr(mod, name, f)
        if error is not None:
            failures.append(f"{fn_name}({source}) {how} at call {fire_at}: {error!r}")
        return calls[0]

    def threaded_run(fn_name, source):
        args = eval("(" + source + ",)", {"draw": draw})
        targets = lists_in(args, [])
        copies = [list(l) for l in targets]
        fn = draw if fn_name == "draw" else getattr(mod, fn_name)
        stop = threading.Event()
        def resizer():
            while not stop.is_set():
                for l, items in zip(targets, copies):
                    l.clear()
                    l.extend(items)
        t = threading.Thread(target=resizer)
        t.start()
        try:
            end = time.perf_counter() + thread_seconds
            while time.perf_counter() < end:
                error = outcome(fn, args)
                if error is not None:
                    failures.append(f"{fn_name}({source}) with a resizing thread: {error!r}")
                    break
        finally:
            stop.set()
            t.join()

    for fn_name, source in cases:
        total = hooked_run(fn_name, source, "clear", 0)
        points = sorted(set(range(1, min(total, 16) + 1)) | set(range(16, total + 1, max(1, total // 8))))
        for how in ("clear", "shrink"):
            for k in points:
                hooked_run(fn_name, source, how, k)
        threaded_run(fn_name, source)
    print(json.dumps(failures))
""")


@pytest.mark.parametrize("module", sorted(CASES))
def test_lists_changed_mid_call(module):
    import json
    seconds = 0.15 if FREE_THREADED else 0.05
    run = subprocess.run([sys.executable, "-c", CHILD, json.dumps([module, CASES[module], seconds])],
                         capture_output=True, text=True, timeout=600)
    assert run.returncode == 0, f"the child crashed ({run.returncode}):\n{run.stderr[-3000:]}"
    assert json.loads(run.stdout.splitlines()[-1]) == []


def hook_clears(quads, how):
    from vellary.promote import promote as pr
    original = pr._validate_positive_tolerance

    def hook(max_err):
        quads.clear() if how == "clear" else quads.pop(0)
        return original(max_err)

    return hook


@pytest.mark.parametrize("how", ["clear", "del"])
@pytest.mark.parametrize("spline", [[(0, 0), (50, 50), (100, 0)], [0j, 50 + 50j, 100 + 0j]])
def test_quads_emptied_by_a_validator(spline, how):
    from support import rebound
    from vellary.promote import promote as pr
    quads = [list(spline)]
    with rebound("_validate_positive_tolerance", hook_clears(quads, how), pr):
        with pytest.raises(IndexError, match="list index out of range") as info:
            pr.quadratic_to_curves(quads, 1)
    tb = info.value.__traceback__
    while tb.tb_next:
        tb = tb.tb_next
    assert (tb.tb_frame.f_code.co_name, tb.tb_lineno) == ("vellary.promote.promote.quadratic_to_curves", 103)


@pytest.mark.skipif(not FREE_THREADED, reason="needs threads that run at once")
def test_quads_resized_by_another_thread():
    import threading
    import time
    from vellary.promote.promote import quadratic_to_curves
    quads = [[(0, 0), (50, 50), (100, 0)]]
    spline = quads[0]
    stop = threading.Event()

    def resizer():
        while not stop.is_set():
            quads.clear()
            quads.append(spline)

    t = threading.Thread(target=resizer)
    t.start()
    try:
        end = time.perf_counter() + 0.5
        while time.perf_counter() < end:
            try:
                assert quadratic_to_curves(quads, 1) == [((0.0, 0.0), (50.0, 50.0), (100.0, 0.0))]
            except (IndexError, AssertionError):  # emptied before, or while, the splines were read
                pass
    finally:
        stop.set()
        t.join()


@pytest.mark.parametrize("change", [list.clear, lambda l: l.__setitem__(slice(3, None), [])])
def test_costs_read_anew_like_the_model(change):
    from reference import promote as ref
    from vellary.promote import promote as pr

    def run(impl):
        q = [0, 37.5j, 15 + 56j, 30 + 75j, 50 + 75j, 70 + 75j, 85 + 56j]
        costs = [1, 2, 2, 3, 3, 4, 4]
        original = impl.elevate_quadratic

        def hook(*points):
            change(costs)
            return original(*points)

        impl.elevate_quadratic = hook
        try:
            return impl.spline_to_curves(q, costs, 1)
        except Exception as e:
            return type(e), str(e)
        finally:
            impl.elevate_quadratic = original

    assert run(pr) == run(ref)
