"""A short tour of the native modules, run by `make demo`."""

import sys

from vellary.demote import curve_to_quadratic, curves_to_quadratic
from vellary.misc import curvemath
from vellary.varLib import gapfill


def main():
    print(f"vellary on Python {sys.version.split()[0]}, GIL enabled: {sys._is_gil_enabled()}")

    print("\nRoots of polynomials (vellary.misc.curvemath):")
    for coeffs in [(1, -3, 2), (1, 2, 1), (1, 0, 1)]:
        print(f"  solveQuadratic{coeffs} = {curvemath.solveQuadratic(*coeffs)}")
    for coeffs in [(1, -6, 11, -6), (1, 1, -6, 0), (1.0, -4.5, 6.75, -3.375), (1, 0, 0, -8)]:
        print(f"  solveCubic{coeffs} = {curvemath.solveCubic(*coeffs)}")

    print("\nCubic curves to quadratic splines (vellary.demote):")
    cubic = [(0, 0), (0, 100), (100, 100), (100, 0)]
    for max_err in (10, 1, 0.1):
        spline = curve_to_quadratic(cubic, max_err)
        print(f"  {cubic} within {max_err}: {len(spline) - 2} quadratic segments")
    print(f"  within 1: {curve_to_quadratic(cubic, 1)}")
    pair = [cubic, [(0, 0), (50, 100), (150, 100), (200, 0)]]
    splines = curves_to_quadratic(pair, [1, 100])
    print(f"  two curves converted compatibly: {[len(s) - 2 for s in splines]} segments each")

    print("\nVariable-font deltas (vellary.varLib.gapfill):")
    coords = [(0, 0), (0, 100), (100, 100), (100, 0)]
    deltas = [(0, 0), (0, 10), (10, 10), (10, 0)]
    sparse = gapfill.gapfill_contour_optimize(deltas, coords, 0.5)
    print(f"  deltas {deltas}")
    print(f"  kept explicitly: {sparse}")
    print(f"  filled in again: {gapfill.gapfill_contour(sparse, coords)}")


if __name__ == "__main__":
    main()
