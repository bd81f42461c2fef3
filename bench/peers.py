#!/usr/bin/python3
"""Times the peers of the benchmark workloads on the same data as the
Google Benchmark programs (scipy's map_coordinates and numpy.interp for
gridval, scikit-learn's k-d tree KNN for nearpoly, a numpy loop over the
clusters and its exp calls for netsim), runs those programs in the same
run, and prints every ratio against its target. With the file that
bench/octave_bench.m writes, the Octave timings are compared too.

usage: peers.py BUILD_DIR [REPETITIONS]
"""
import json
import os
import subprocess
import sys
import time

import numpy as np
from scipy.ndimage import map_coordinates
from sklearn.neighbors import KNeighborsRegressor

A_MUL = 6364136223846793005
C_ADD = 1442695040888963407


def uniform(count, seed):
    """bench_data.h's uniform(count, seed): x_k = a x_(k-1) + c mod 2^64,
    value (x_k >> 11) 2^-53, computed in closed form with wrapping uint64."""
    with np.errstate(over="ignore"):
        powers = np.cumprod(np.full(count, A_MUL, dtype=np.uint64))  # a^k, k = 1 .. count
        geometric = np.cumsum(np.concatenate(([np.uint64(1)], powers[:-1])))  # sum a^j, j < k
        state = powers * np.uint64(seed) + np.uint64(C_ADD) * geometric
    return (state >> np.uint64(11)).astype(np.float64) * 2.0 ** -53


def median_time(f, repetitions):
    times = []
    for _ in range(repetitions):
        start = time.perf_counter()
        f()
        times.append(time.perf_counter() - start)
    return float(np.median(times))


def table_workload(d, M, N):
    """workloads.h's table_workload: the table and the points in index units."""
    table = uniform(M ** d, 10 * d + 1).reshape((M,) * d, order="F")
    points = uniform(d * N, 10 * d + 2).reshape(N, d)
    grid = np.arange(M) / (M - 1)
    return table, points, grid


def gridval_peers(repetitions):
    peers = {}
    for name, d, M, N in (("GV1", 1, 1000, 10 ** 6), ("GV2", 2, 200, 10 ** 6), ("GV4", 4, 20, 10 ** 5)):
        table, points, grid = table_workload(d, M, N)
        coordinates = np.ascontiguousarray((points * (M - 1)).T)
        peers[name] = median_time(
            lambda: map_coordinates(table, coordinates, order=1, mode="nearest"), repetitions)
        if d == 1:
            q = points[:, 0].copy()
            peers["GV1 numpy.interp"] = median_time(lambda: np.interp(q, grid, table), repetitions)
    return peers


def network_workload(n, p, c, N):
    x = uniform(n * N, 31).reshape(N, n).T
    centres = uniform(n * c, 32).reshape(c, n).T
    norm = np.full((n, n), 0.5) + np.eye(n) * 3.5
    consequents = uniform(p * (n + 1) * c, 33).reshape((p, n + 1, c), order="F")
    return x, centres, norm, consequents


def netsim_peers(repetitions):
    n, p, c, N = 4, 2, 40, 10 ** 5
    x, centres, norm, theta = network_workload(n, p, c, N)

    def loop():
        total = np.full(N, 2.2251e-308)
        y = np.zeros((p, N))
        for i in range(c):
            e = x - centres[:, i:i + 1]
            w = np.exp(-(e * (norm @ e)).sum(axis=0))
            total += w
            y += w * (theta[:, :n, i] @ x + theta[:, n:, i])
        return y / total

    arguments = []
    for i in range(c):
        e = x - centres[:, i:i + 1]
        arguments.append(-(e * (norm @ e)).sum(axis=0))

    def exps():
        for a in arguments:
            np.exp(a)

    return {"NS numpy loop": median_time(loop, repetitions), "NS exp calls": median_time(exps, repetitions)}


def nearpoly_peers(repetitions):
    N, n, M = 5000, 3, 1000
    x = uniform(N * n, 1).reshape(n, N).T
    y = np.sin(3 * x[:, 0]) + x[:, 1] ** 2 - x[:, 2]
    q = uniform(M * n, 2).reshape(n, M).T

    def knn():
        KNeighborsRegressor(n_neighbors=10, algorithm="kd_tree").fit(x, y).predict(q)

    return {"NP3": median_time(knn, repetitions)}


def ours(build, program, pattern, repetitions):
    """Medians (s) of a benchmark program's runs whose names match `pattern`."""
    out = os.path.join(build, "bench", program + ".json")
    subprocess.run([os.path.join(build, "bench", program), "--benchmark_filter=" + pattern,
                    "--benchmark_repetitions=%d" % repetitions,
                    "--benchmark_report_aggregates_only=true",
                    "--benchmark_out=" + out, "--benchmark_out_format=json"],
                   check=True, stdout=subprocess.DEVNULL)
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    medians = {}
    for b in json.load(open(out))["benchmarks"]:
        if b.get("aggregate_name") == "median":
            medians[b["run_name"].replace("/real_time", "")] = b["real_time"] * scale[b["time_unit"]]
    return medians


def octave_times(build):
    """name -> seconds, from the file bench/octave_bench.m writes."""
    path = os.path.join(build, "bench", "octave_times.txt")
    if not os.path.exists(path):
        return {}
    times = {}
    for line in open(path):
        name, value = line.rsplit(None, 1)
        times[name] = float(value)
    return times


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    peer = {}
    peer.update(gridval_peers(repetitions))
    peer.update(netsim_peers(repetitions))
    peer.update(nearpoly_peers(repetitions))
    mine = {}
    mine.update(ours(build, "bench_gridval", "GV", repetitions))
    mine.update(ours(build, "bench_netsim", "NS", repetitions))
    mine.update(ours(build, "bench_nearpoly", "NP3", repetitions))
    octave = octave_times(build)

    rows = [
        ("GV1 gridval (2 threads)", mine.get("GV1/threads:auto"), "map_coordinates", peer["GV1"], 0.5),
        ("GV1 gridval (1 thread)", mine.get("GV1/threads:1"), "map_coordinates", peer["GV1"], 0),
        ("GV1 gridval (2 threads)", mine.get("GV1/threads:auto"), "numpy.interp", peer["GV1 numpy.interp"], 0),
        ("GV2 gridval (2 threads)", mine.get("GV2/threads:auto"), "map_coordinates", peer["GV2"], 0.5),
        ("GV2 gridval (1 thread)", mine.get("GV2/threads:1"), "map_coordinates", peer["GV2"], 0),
        ("GV4 gridval (2 threads)", mine.get("GV4/threads:auto"), "map_coordinates", peer["GV4"], 0.5),
        ("GV4 gridval (1 thread)", mine.get("GV4/threads:1"), "map_coordinates", peer["GV4"], 0),
        ("NP3 nearpoly (1 thread)", mine.get("NP3/threads:1"), "KNN k-d tree", peer["NP3"], 2.5),
        ("NP3 nearpoly (2 threads)", mine.get("NP3/threads:2"), "KNN k-d tree", peer["NP3"], 1.3),
        ("NS netsim (1 thread)", mine.get("NS/threads:1"), "numpy exp calls", peer["NS exp calls"], 1.3),
        ("NS netsim (1 thread)", mine.get("NS/threads:1"), "numpy loop", peer["NS numpy loop"], 0),
        ("NS netsim (2 threads)", mine.get("NS/threads:2"), "numpy loop", peer["NS numpy loop"], 0),
    ]
    for name, key, peer_name, target in (("GV1", "GV1", "map_coordinates", 0.5),
                                         ("GV2", "GV2", "map_coordinates", 0.5),
                                         ("GV4", "GV4", "map_coordinates", 0.5),
                                         ("NP3", "NP3", "KNN k-d tree", 1.3),
                                         ("NS", "NS exp calls", "numpy exp calls", 1.3)):
        if name in octave:
            rows.append((name + " from Octave", octave[name], peer_name, peer[key], target))

    print("\n%-28s %10s  %-16s %10s %8s %7s" % ("workload", "ours", "peer", "peer", "ratio", "target"))
    for name, t, peer_name, p, target in rows:
        if t is None:
            continue
        ratio = t / p
        verdict = ("met" if ratio <= target else "NOT met") if target > 0 else ""
        shown = "%.2f" % target if target > 0 else ""
        print("%-28s %9.4fs  %-16s %9.4fs %8.3f %7s %s" % (name, t, peer_name, p, ratio, shown, verdict))


if __name__ == "__main__":
    main()
