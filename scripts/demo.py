"""A short tour of the native modules, run by `make demo`."""

import sys

from vellary.misc import curvemath


def main():
    print(f"vellary on Python {sys.version.split()[0]}, GIL enabled: {sys._is_gil_enabled()}")
    print()
    print("Roots of polynomials (curvemath.solveQuadratic / solveCubic):")
    for coeffs in [(1, -3, 2), (1, 2, 1), (1, 0, 1)]:
        print(f"  solveQuadratic{coeffs} = {curvemath.solveQuadratic(*coeffs)}")
    for coeffs in [(1, -6, 11, -6), (1, 1, -6, 0), (1.0, -4.5, 6.75, -3.375), (1, 0, 0, -8), (0, 1, -3, 2)]:
        print(f"  solveCubic{coeffs} = {curvemath.solveCubic(*coeffs)}")


if __name__ == "__main__":
    main()
