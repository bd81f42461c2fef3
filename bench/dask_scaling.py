"""Times a large nearpoly job on local Dask clusters of 1 and 2 worker processes.

    PYTHONPATH=build/python /usr/bin/python3 bench/dask_scaling.py
    PYTHONPATH=build/python /usr/bin/python3 bench/dask_scaling.py --M 20000   # quicker

N examples of n inputs, M queries in chunks of --chunk rows. Each worker is
one process with one thread, and the core runs serially in it
(LOCALMODELS_THREADS=1), so that the worker count is the core count used.
The clusters listen on 127.0.0.1 only. The time of each run is from the call
(which sends the examples to the workers) to the last row back in this
process. The results of all runs are compared bit for bit, and their first
rows with the in-process call.
"""

import argparse
import time

import numpy as np

import localmodels
import localmodels.dask


def run(workers, data_x, data_y, query_x, id_par, chunk):
    from distributed import Client, LocalCluster

    with LocalCluster(n_workers=workers, processes=True, threads_per_worker=1,
                      host="127.0.0.1", dashboard_address="127.0.0.1:0",
                      worker_dashboard_address="127.0.0.1:0",
                      env={"LOCALMODELS_THREADS": "1"}, silence_logs=40) as cluster, \
            Client(cluster) as client:
        client.wait_for_workers(workers, timeout=120)
        start = time.perf_counter()
        y = localmodels.dask.nearpoly(data_x, data_y, query_x, id_par, chunks=chunk)
        result = client.compute(y).result()
        return time.perf_counter() - start, result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--N", type=int, default=100_000, help="examples (default 1e5)")
    parser.add_argument("--n", type=int, default=4, help="inputs (default 4)")
    parser.add_argument("--M", type=int, default=200_000, help="queries (default 2e5)")
    parser.add_argument("--chunk", type=int, default=2000, help="queries per chunk (default 2000)")
    parser.add_argument("--workers", type=int, nargs="+", default=[1, 2],
                        help="worker process counts to time (default 1 2)")
    parser.add_argument("--seed", type=int, default=1)
    a = parser.parse_args()

    rng = np.random.default_rng(a.seed)
    data_x = rng.normal(size=(a.N, a.n))
    data_y = np.sin(data_x.sum(axis=1)) + 0.1 * rng.normal(size=a.N)
    query_x = rng.normal(size=(a.M, a.n))
    id_par = [1, 1, 1]
    print(f"nearpoly: N = {a.N} examples, n = {a.n} inputs, M = {a.M} queries "
          f"in {-(-a.M // a.chunk)} chunks of {a.chunk}")

    times, results = {}, []
    for w in a.workers:
        seconds, y = run(w, data_x, data_y, query_x, id_par, a.chunk)
        times[w] = seconds
        results.append(y)
        print(f"  {w} worker process{'es' if w > 1 else ''}: {seconds:8.2f} s "
              f"({seconds / a.M * 1e3:.3f} ms per query)")
    first = results[0].view(np.uint64)
    assert all(np.array_equal(first, r.view(np.uint64)) for r in results[1:]), \
        "the runs differ"
    head = min(a.M, 500)
    expected = localmodels.nearpoly(data_x, data_y, query_x[:head], id_par)
    assert np.array_equal(expected.view(np.uint64), first[:head]), "differs from in-process"
    print(f"  identical results in every run; the first {head} equal the in-process call's")
    base = min(a.workers)
    for w in a.workers:
        if w != base:
            print(f"speed-up on {w} workers over {base}: {times[base] / times[w]:.2f}")


if __name__ == "__main__":
    main()
