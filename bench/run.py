"""Run every bench/bench_*.py in turn, each in a fresh interpreter."""

import glob
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    failed = []
    for path in sorted(glob.glob(os.path.join(HERE, "bench_*.py"))):
        print(f"== {os.path.basename(path)}", flush=True)
        if subprocess.run([sys.executable, path]).returncode != 0:
            failed.append(os.path.basename(path))
    if failed:
        print("failed:", ", ".join(failed))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
