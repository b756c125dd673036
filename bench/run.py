"""Run every bench/bench_*.py in turn, each in a fresh interpreter."""

import glob
import os
import subprocess
import sys
import sysconfig

HERE = os.path.dirname(os.path.abspath(__file__))
# Benchmarks that take arguments: the scaling table is kept as JSON beside
# the build, one file per interpreter.
ARGS = {
    "bench_scaling.py": ["--json", os.path.join(os.path.dirname(HERE), "build",
                                                f"scaling-{sys.implementation.cache_tag}"
                                                f"{'t' if sysconfig.get_config_var('Py_GIL_DISABLED') else ''}.json")],
}


def main():
    build = "free-threaded" if sysconfig.get_config_var("Py_GIL_DISABLED") else "with the GIL"
    print(f"==== CPython {sys.version.split()[0]}, {build}", flush=True)
    failed = []
    for path in sorted(glob.glob(os.path.join(HERE, "bench_*.py"))):
        print(f"== {os.path.basename(path)}", flush=True)
        if subprocess.run([sys.executable, path, *ARGS.get(os.path.basename(path), [])]).returncode != 0:
            failed.append(os.path.basename(path))
    if failed:
        print("failed:", ", ".join(failed))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
