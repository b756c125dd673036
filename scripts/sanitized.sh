#!/usr/bin/env bash
# sanitized.sh PYTHON PYTEST-ARGUMENTS...: runs the test suite with the
# extension modules' AddressSanitizer and UndefinedBehaviorSanitizer
# runtimes, then fails on a failed test or on any report they left.
# The interpreter itself is not instrumented, so the runtime is preloaded, and
# the C++ runtime with it: libasan alone loads its own unwinder first and the
# first C++ exception a module throws then aborts.  Leaks that the interpreter
# leaves at exit are its own; only those allocated through the project's code
# count (see scripts/sanitizer_report.py).
set -euo pipefail
cd "$(dirname "$0")/.."

logs=build/sanitize/logs
verdict_file=build/sanitize/pytest-status
rm -rf "$logs" "$verdict_file"
mkdir -p "$logs"
runtime() { "${CXX:-c++}" -print-file-name="$1"; }
asan=$(runtime libasan.so)
cxx=$(runtime libstdc++.so)
[ -f "$asan" ] || { echo "sanitized: no libasan for ${CXX:-c++}" >&2; exit 1; }

python=$1
shift
status=0
# allocator_may_return_null: a size that cannot be allocated is a
# MemoryError, as in an ordinary run, not a sanitizer abort.  exitcode=0:
# the interpreter's leaks at exit must not fail a process (tests run
# subprocesses and check how they end); the logs decide instead, and the
# suite's own verdict is written to a file before the exit.  The slow
# unwinder follows allocations through the interpreter, which keeps no frame
# pointers, back to the module code that asked for them.
env LD_PRELOAD="$asan $cxx" \
    ASAN_OPTIONS="log_path=$PWD/$logs/asan:allocator_may_return_null=1:detect_leaks=1:exitcode=0:fast_unwind_on_malloc=0" \
    UBSAN_OPTIONS="log_path=$PWD/$logs/ubsan:print_stacktrace=1:halt_on_error=1" \
    "$python" -c 'import sys, pytest
code = int(pytest.main(sys.argv[2:]))
open(sys.argv[1], "w").write(str(code))
sys.exit(code)' "$verdict_file" "$@" || true

verdict=$(cat "$verdict_file" 2>/dev/null || echo "no verdict: the run died")
[ "$verdict" = 0 ] || { echo "sanitized: pytest: $verdict" >&2; status=1; }
"$python" scripts/sanitizer_report.py "$logs" "$PWD" || status=1
exit "$status"
