"""Time bounds, arc lengths and intersections on real outline segments:
native against the pure-Python model and its Cython build, and against
svgpathtools and bezier where a peer environment has them (`make bench`
makes one; PEERS_PYTHON names another interpreter).

Ratios are what matter; absolute times depend on the machine.
"""

import json
import os
import subprocess
import sys

import _peers
from bench_splitting import corpus_cubics

RUNS = 7
PAIRS = 400
HERE = os.path.dirname(os.path.abspath(__file__))


def peers_python():
    given = os.environ.get("PEERS_PYTHON")
    if given:
        return given
    local = os.path.join(HERE, os.pardir, ".venv-peers", "bin", "python")
    return local if os.path.exists(local) else None


def run_peers(cubics, pairs):
    python = peers_python()
    if python is None:
        return {}
    job = json.dumps({"cubics": cubics, "pairs": pairs, "runs": 3})
    run = subprocess.run([python, os.path.join(HERE, "peer_curves.py")], input=job, capture_output=True, text=True)
    if run.returncode != 0:
        print(f"  (peers failed: {run.stderr.strip()[-300:]})")
        return {}
    return json.loads(run.stdout)


def plain(v):
    """Intersection records of either module as plain tuples."""
    if isinstance(v, tuple):
        return tuple(plain(x) for x in v)
    if isinstance(v, list):
        return [plain(x) for x in v]
    return v


def main():
    from vellary.misc import curvemath as native

    models = _peers.models("curvemath")
    contenders = {"native": native, **models}

    source, cubics = corpus_cubics()
    cubics = cubics[:1000]
    complex_cubics = [tuple(complex(x, y) for x, y in c) for c in cubics]
    quadratics = [c[:3] for c in cubics]
    # Neighbours along the outline (touching at an end) and segments two
    # apart (crossing bounding boxes now and then).
    pairs = [(i, i + 1) for i in range(0, len(cubics) - 2, 2)][:PAIRS // 2]
    pairs += [(i, i + 2) for i in range(1, len(cubics) - 2, 2)][:PAIRS // 2]
    pair_cases = [(cubics[i], cubics[j]) for i, j in pairs]
    line_cases = [(c, (c[0], c[3])) for c in cubics[:PAIRS]]
    benches = [
        ("calcCubicBounds", "calcCubicBounds", cubics, "bounds"),
        ("calcQuadraticBounds", "calcQuadraticBounds", quadratics, None),
        ("calcCubicArcLength", "calcCubicArcLength", cubics, "arc length"),
        ("calcCubicArcLengthC", "calcCubicArcLengthC", complex_cubics, None),
        ("calcQuadraticArcLength", "calcQuadraticArcLength", quadratics, None),
        ("approximateCubicArcLength", "approximateCubicArcLength", cubics, None),
        ("approximateCubicArcLengthC", "approximateCubicArcLengthC", complex_cubics, None),
        ("curveLineIntersections", "curveLineIntersections", line_cases, None),
        ("curveCurveIntersections", "curveCurveIntersections", pair_cases, "curve-curve"),
    ]

    for _, name, data, _ in benches:
        for label, model in models.items():
            f, g = getattr(native, name), getattr(model, name)
            for args in data:
                assert _peers.identical(plain(f(*args)), plain(g(*args))), f"{name}{args}: {label} differs from native"

    peers = run_peers(cubics, pairs)
    print(f"curves: {len(cubics)} {source}, {len(pairs)} pairs of segments; median of {RUNS} interleaved runs")
    print(f"  results of native and {' and '.join(models)} identical on the corpus")
    native_per_call = {}
    for title, name, data, peer_key in benches:
        per_call = _peers.per_unit({label: _peers.calling(getattr(m, name)) for label, m in contenders.items()},
                                   data, 0.02, RUNS)
        native_ns = per_call["native"]
        native_per_call[peer_key] = native_ns
        print(f"  {title:28s} native {native_ns * 1e9:8.1f} ns" + _peers.ratios(per_call, models, "6.2f"))

    for peer, result in peers.items():
        if "missing" in result:
            print(f"  {peer}: not installed ({result['missing']})")
            continue
        for key in ("bounds", "arc length", "curve-curve"):
            if key in result:
                print(f"  {peer:12s} {key:12s} {result[key] * 1e9:10.1f} ns   {peer} / native = "
                      f"{result[key] / native_per_call[key]:7.1f}x")
        ours = [len(native.curveCurveIntersections(*p)) for p in pair_cases]
        differ = [k for k, (a, b) in enumerate(zip(ours, result["counts"])) if a != b]
        print(f"  {peer:12s} intersection counts differ from ours on {len(differ)} of {len(pairs)} pairs"
              + (f" (first: pair {pairs[differ[0]]}, ours {ours[differ[0]]}, theirs {result['counts'][differ[0]]})"
                 if differ else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
