"""Short calls on two threads: the CPU time each call costs when two threads
call at once, against one thread alone.

Wall-clock scaling on a shared machine is too noisy to judge calls this short;
the CPU time a thread spends per call (time.thread_time) is steady within a
run.  Objects that both threads touch on every call (the function object, the
module constants it reads) cost cache-line transfers between the cores when
their reference counts are written; the inflation measures that.  Goal: at
most 1.25x.
"""

import statistics
import sys
import threading
import time

import _peers

CALLS = 200_000
ROUNDS = 5


# The callee is a default argument, a local of the loop: read from the
# closure, each call would lock the shared cell on the free-threaded 3.13
# and time that instead of the call.
def solve_cubic(f):
    def work(n, f=f):
        for _ in range(n):
            f(1.0, -6.0, 11.0, -6.0)
    return work


def short_curve(f):
    def work(n, f=f):
        curve = [(0.0, 0.0), (1.0, 1.0), (2.0, 1.0), (3.0, 0.0)]
        for _ in range(n):
            f(curve, 1.0)
    return work


def cpu_per_call(work, threads):
    """Mean CPU time per call of `threads` threads running `work` at once, and
    how many of them ran at a time on average (their CPU time over the wall
    time): on a busy machine they may hardly overlap, and then the ratio
    says nothing."""
    barrier = threading.Barrier(threads)
    times = [0.0] * threads

    def run(k):
        work(1000)  # warm up
        barrier.wait()
        start = time.thread_time()
        work(CALLS)
        times[k] = (time.thread_time() - start) / CALLS

    pool = [threading.Thread(target=run, args=(k,)) for k in range(threads)]
    wall = time.perf_counter()
    for t in pool:
        t.start()
    for t in pool:
        t.join()
    wall = time.perf_counter() - wall
    return statistics.fmean(times), sum(times) * CALLS / wall


def inflation(work):
    ratios, single, overlap = [], [], []
    for _ in range(ROUNDS):
        one, _ = cpu_per_call(work, 1)
        two, parallel = cpu_per_call(work, 2)
        single.append(one)
        ratios.append(two / one)
        overlap.append(parallel)
    return statistics.median(single), statistics.median(ratios), statistics.median(overlap)


def main():
    from vellary.misc import curvemath
    from vellary.demote import demote

    models = {"python": (_peers.reference("curvemath"), _peers.reference("demote"))}
    contenders = {"native": (curvemath, demote), **models}
    print(f"threads: CPU time per call on 2 threads / on 1 thread ({CALLS} calls per thread, "
          f"median of {ROUNDS} rounds; 1.00 = no interference, goal <= 1.25)")
    for name, make, pick in (
        ("solveCubic(1.0, -6.0, 11.0, -6.0)", solve_cubic, lambda m: m[0].solveCubic),
        ("curve_to_quadratic(short curve, 1.0)", short_curve, lambda m: m[1].curve_to_quadratic),
    ):
        line = f"  {name:38s}"
        for label, modules in contenders.items():
            single, ratio, parallel = inflation(make(pick(modules)))
            line += f"   {label} {single * 1e9:7.1f} ns/call x {ratio:4.2f} ({parallel:3.1f} threads at a time)"
        print(line, flush=True)
    assert not sys._is_gil_enabled()


if __name__ == "__main__":
    main()
