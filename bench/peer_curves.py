"""Times the peers that users of curve code pick today (svgpathtools and
bezier) on the segments it is given, in an interpreter of its own: their
numeric dependencies stay out of the project's environments.

Reads a JSON job from standard input and writes per-call seconds and the
results it needs for comparison as JSON to standard output.
"""

import json
import statistics
import sys
import time


def clock(work, runs):
    work()
    samples = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        samples.append(time.perf_counter() - start)
    return statistics.median(samples)


def main():
    job = json.load(sys.stdin)
    cubics = [[complex(*p) for p in c] for c in job["cubics"]]
    pairs = job["pairs"]
    runs = job["runs"]
    out = {}
    try:
        import svgpathtools

        segs = [svgpathtools.CubicBezier(*c) for c in cubics]
        out["svgpathtools"] = {
            "bounds": clock(lambda: [s.bbox() for s in segs], runs) / len(segs),
            # length() keeps its result on the segment: measure new segments.
            "arc length": clock(lambda: [svgpathtools.CubicBezier(*c).length() for c in cubics], runs) / len(segs),
            "curve-curve": clock(lambda: [segs[i].intersect(segs[j]) for i, j in pairs], runs) / len(pairs),
            "counts": [len(segs[i].intersect(segs[j])) for i, j in pairs],
        }
    except ImportError as e:
        out["svgpathtools"] = {"missing": str(e)}
    try:
        import bezier
        import numpy

        curves = [bezier.Curve(numpy.asfortranarray([[p.real for p in c], [p.imag for p in c]]), degree=3)
                  for c in cubics]
        out["bezier"] = {
            "arc length": clock(lambda: [c.length for c in curves], runs) / len(curves),
            "curve-curve": clock(lambda: [curves[i].intersect(curves[j]) for i, j in pairs], runs) / len(pairs),
            "counts": [curves[i].intersect(curves[j]).shape[1] for i, j in pairs],
        }
    except ImportError as e:
        out["bezier"] = {"missing": str(e)}
    json.dump(out, sys.stdout)


if __name__ == "__main__":
    main()
