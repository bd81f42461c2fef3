"""A worker process killed during a computation: Dask reruns its tasks, and
the result is complete and bit for bit the in-process call's.
"""

import os
import signal
import time

import distributed
import numpy as np
import psutil

import localmodels
import localmodels.dask as lmd
from dask_support import (COMPUTE_SECONDS, arrivals, assert_same_bits, count_arrivals,  # noqa: F401
                          local_cluster, shared_tag, watchdog)

CHUNK_ROWS = 125


def chunk_keys(keys, name):
    return {str(k) for k in keys if name in str(k)}


def test_a_worker_killed_while_tasks_run(monkeypatch):
    count_arrivals(monkeypatch)
    rng = np.random.default_rng(21)
    data_x = rng.normal(size=(20000, 3))
    data_y = np.sin(data_x.sum(axis=1)) + 0.1 * rng.normal(size=20000)
    query_x = rng.normal(size=(10000, 3))
    want = localmodels.nearpoly(data_x, data_y, query_x, [1, 1, 1], return_coefs=True)
    chunks = query_x.shape[0] // CHUNK_ROWS

    with local_cluster(2) as cluster, distributed.Client(cluster) as client:
        client.wait_for_workers(2, timeout=COMPUTE_SECONDS)
        pids = client.run(os.getpid)
        victim = sorted(pids)[0]

        y, coefs = lmd.nearpoly(data_x, data_y, query_x, [1, 1, 1], return_coefs=True,
                                chunks=CHUNK_ROWS)
        (name,) = {k[0] for k in dict(y.__dask_graph__())
                   if isinstance(k, tuple) and k[0].startswith("nearpoly-")}
        with distributed.get_task_stream(client) as stream:
            futures = client.compute([y, coefs])
            # Kill the victim once it has finished three chunks and has more to run.
            start = time.time() - 1
            deadline = time.monotonic() + COMPUTE_SECONDS
            while True:
                done = {str(t["key"]) for t in client.get_task_stream(start=start)
                        if t["worker"] == victim and name in str(t["key"])}
                running = chunk_keys(client.processing().get(victim, ()), name)
                if len(done) >= 3 and running:
                    break
                assert not any(f.done() for f in futures), "finished before the kill"
                assert time.monotonic() < deadline, "no chunk finished on the victim"
                time.sleep(0.02)
            os.kill(pids[victim], signal.SIGKILL)
            got = [f.result(timeout=COMPUTE_SECONDS) for f in futures]

        # Complete and identical: no row lost, none twice.
        assert_same_bits(want, tuple(got))
        # The victim is dead; its finished chunks were lost with it (the
        # results wait on their workers for the last one) and ran again.
        assert not psutil.pid_exists(pids[victim]) or \
            psutil.Process(pids[victim]).status() == psutil.STATUS_ZOMBIE
        runs = [str(t["key"]) for t in stream.data if name in str(t["key"])]
        assert len(set(runs)) == chunks
        assert all(runs.count(k) >= 2 for k in done), (done, len(runs))
        # The nanny starts a new worker process in the victim's place.
        client.wait_for_workers(2, timeout=COMPUTE_SECONDS)
        assert set(client.run(os.getpid).values()).isdisjoint({pids[victim]})
        # The examples went to the workers once each, not once per chunk. The
        # new worker fetches them when it first runs a chunk; toward the end,
        # Dask's active memory manager may drop a worker's copy while no
        # task there needs it, and a chunk stolen later fetches it again.
        counts = client.run(arrivals, shared_tag(y))
        assert 1 <= sum(counts.values()) <= chunks // 10, counts
