#!/usr/bin/python3
"""Times one-point calls of the five functions from Python (netsim,
dmat_inputs, dmat_params, gridval, and nearpoly on 100 examples; NearPoly's
predict beside it) and prints each against the same call of the Octave
plug-in, which bench/octave_bench.m timed earlier in the same `make bench`
and wrote to BUILD/bench/octave_times.txt. Without that file only the
Python times are printed.

The problems are octave_bench.m's: the network of n = 3 inputs, p = 1
output and c = 10 clusters with its options given as numbers, a 20-by-20
table, and the examples built from the same formula. The arrays are passed
as a numpy user holds them (C order, points as rows).

usage: PYTHONPATH=BUILD/python python_calls.py BUILD_DIR [ROUNDS]
"""
import os
import sys
import time

import numpy as np

import localmodels as lm

TARGET = 1.5


def small_table():
    i, j = np.meshgrid(np.arange(20.0), np.arange(20.0), indexing="ij")
    return np.mod(0.6180339887 * i + 0.4142135623 * j, 1.0)


def small_examples():
    k = np.arange(1.0, 101.0)
    x = np.stack([np.mod(0.6180339887 * k, 1.0), np.mod(0.7320508075 * k, 1.0)], axis=1)
    return x, np.sin(3 * x[:, 0]) + x[:, 1] ** 2


def calls():
    """name -> a function of no arguments making one call."""
    rng = np.random.default_rng(1)
    n, p, c = 3, 1, 10
    centres = rng.random((c, n))
    norms = np.stack([0.5 * np.ones((n, n)) + 3.5 * np.eye(n)] * c)
    consequents = rng.random((c, p, n + 1))
    x = rng.random(n)
    points = x[None, :]
    b = np.linspace(0.0, 1.0, 20)
    table = small_table()
    q = np.array([[0.3, 0.6]])
    xd, yd = small_examples()
    model = lm.NearPoly(xd, yd, [1, 1, 1])
    return {
        "netsim": lambda: lm.netsim(points, centres, norms, consequents, 1, 1, 2),
        "dmat_inputs": lambda: lm.dmat_inputs(x, centres, norms, consequents, 1, 1, 2),
        "dmat_params": lambda: lm.dmat_params(x, centres, norms, consequents, 1, 1, 2),
        "gridval": lambda: lm.gridval(q, table, b, b),
        "nearpoly": lambda: lm.nearpoly(xd, yd, q, [1, 1, 1]),
        "NearPoly.predict": lambda: model.predict(q),
    }


def per_call(f, count):
    start = time.perf_counter()
    for _ in range(count):
        f()
    return (time.perf_counter() - start) / count


def octave_times(build):
    path = os.path.join(build, "bench", "octave_times.txt")
    times = {}
    if os.path.exists(path):
        for line in open(path):
            name, value = line.rsplit(None, 1)
            if name.startswith("one_"):
                times[name[4:]] = float(value)
    return times


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    rounds = 20 * (int(sys.argv[2]) if len(sys.argv) > 2 else 7)
    functions = calls()
    for f in functions.values():
        f()  # warm up
    samples = {name: [] for name in functions}
    for _ in range(rounds):
        for name, f in functions.items():
            samples[name].append(per_call(f, 500))
    octave = octave_times(build)
    print("\nOne point per call from Python, medians of %d rounds of 500 calls" % rounds)
    print("%-20s %10s %10s %8s %7s" % ("call", "Python", "Octave", "ratio", "target"))
    for name, times in samples.items():
        mine = float(np.median(times))
        theirs = octave.get(name.replace("NearPoly.predict", "nearpoly"))
        if theirs is None:
            print("%-20s %9.2fus" % (name, mine * 1e6))
            continue
        ratio = mine / theirs
        target = TARGET if name in octave else 0
        verdict = ("met" if ratio <= target else "NOT met") if target else ""
        print("%-20s %9.2fus %9.2fus %8.3f %7s %s" % (name, mine * 1e6, theirs * 1e6, ratio,
                                                     "%.2f" % target if target else "", verdict))


if __name__ == "__main__":
    main()
