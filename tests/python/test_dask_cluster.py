"""localmodels.dask on a LocalCluster of two worker processes on the loopback
address: bit identity with the in-process calls for random problems of the
three functions and several chunkings, refusals before any task runs, the
examples sent once to each worker, and a failing chunk failing the result.
"""

import os

import dask
import dask.array as da
import distributed
import numpy as np
import psutil
import pytest

import localmodels
import localmodels.dask as lmd
from dask_support import (COMPUTE_SECONDS, LOOPBACK, arrivals, assert_same_bits,  # noqa: F401
                          broken_block, count_arrivals, local_cluster, shared_tag, watchdog,
                          widened_block)


@pytest.fixture(scope="module")
def client():
    with local_cluster(2) as cluster, distributed.Client(cluster) as c:
        c.wait_for_workers(2, timeout=COMPUTE_SECONDS)
        yield c


def gather_all(client, arrays):
    """The arrays computed together on the cluster, each within the time bound."""
    futures = client.compute(list(arrays))
    return [f.result(timeout=COMPUTE_SECONDS) for f in futures]


def executed(client):
    """Tasks run so far, over all workers."""
    counts = client.run(lambda dask_worker: dask_worker.state.executed_count)
    return sum(counts.values())


def test_only_the_loopback_address(client):
    info = client.scheduler_info()
    assert client.scheduler.address.startswith(f"tcp://{LOOPBACK}:")
    assert len(info["workers"]) == 2
    for address, worker in info["workers"].items():
        assert address.startswith(f"tcp://{LOOPBACK}:")
        assert worker["nanny"].startswith(f"tcp://{LOOPBACK}:")
    # Every socket the cluster's processes listen on is bound to 127.0.0.1.
    pids = [os.getpid()] + list(client.run(os.getpid).values())
    for pid in pids:
        for conn in psutil.Process(pid).connections(kind="inet"):
            if conn.status == psutil.CONN_LISTEN:
                assert conn.laddr.ip == LOOPBACK, (pid, conn)


def nearpoly_problem(rng):
    n = int(rng.integers(1, 4))
    N = int(rng.integers(30, 400))
    data_x = rng.normal(size=(N, n))
    data_y = np.sin(data_x.sum(axis=1)) + 0.05 * rng.normal(size=N)
    M = int(rng.integers(1, 50))
    query_x = rng.normal(size=(M, n))
    query_x[rng.integers(M), rng.integers(n)] = np.nan
    id_par = [[1, 1, 1], [0.5, 1, 0], [[2, 10], [3, 20], [0, 0]]][rng.integers(3)]
    kwargs = {"return_coefs": bool(rng.integers(2))}
    if rng.random() < 0.5:
        kwargs["comb_par"] = [1.0, 3.0, [1.0, 1.0, 0.0]][rng.integers(3)]
    if rng.random() < 0.3:
        kwargs["weights"] = rng.random(n)
    return [data_x, data_y, query_x, id_par], kwargs, 2


def netsim_problem(rng):
    n, c, p = int(rng.integers(1, 4)), int(rng.integers(1, 6)), int(rng.integers(1, 4))
    centres = rng.normal(size=(c, n))
    L = rng.normal(size=(c, n, n))
    norms = np.einsum("irk,isk->irs", L, L) + 0.1 * np.eye(n)
    consequents = rng.normal(size=(c, p, n + 1))
    x = rng.normal(size=(int(rng.integers(1, 60)), n)) * 1.5
    options = [[1, 1, 2.0], [0, 2, 1.5], [1, 2, 3.0], [1, 3, 2.0]][rng.integers(4)]
    return [x, centres, norms, consequents] + options, {}, 0


def gridval_problem(rng):
    d = int(rng.integers(1, 5))
    counts = [int(rng.integers(1, 7)) for _ in range(d)]
    breakpoints = [np.cumsum(rng.choice([0.0, 0.5, 1.0], size=m)) for m in counts]
    table = rng.normal(size=counts)
    points = rng.uniform(-1, 4, size=(int(rng.integers(1, 80)), d))
    points[0, 0] = np.nan
    return [points, table] + breakpoints, {}, 0


PROBLEMS = {"nearpoly": nearpoly_problem, "netsim": netsim_problem, "gridval": gridval_problem}


@pytest.mark.parametrize("plugin", sorted(PROBLEMS))
def test_same_bits_as_in_process(client, plugin):
    rng = np.random.default_rng({"nearpoly": 11, "netsim": 12, "gridval": 13}[plugin])
    expected, lazy = [], []
    for _ in range(12):
        args, kwargs, at = PROBLEMS[plugin](rng)
        want = getattr(localmodels, plugin)(*args, **kwargs)
        rows = args[at].shape[0]
        cuts = np.sort(rng.integers(0, rows + 1, size=3))
        irregular = tuple(int(s) for s in np.diff(np.r_[0, cuts, rows]))
        for chunks in (1, rows, irregular, max(rows // 3, 1)):
            queries = da.from_array(args[at], chunks=(chunks, -1))
            call = list(args)
            call[at] = queries
            got = getattr(lmd, plugin)(*call, **kwargs)
            if isinstance(got, tuple):
                expected += list(want)
                lazy += list(got)
            else:
                expected.append(want)
                lazy.append(got)
    for e, g in zip(expected, gather_all(client, lazy)):
        assert_same_bits(e, g)


def test_refused_before_any_task_runs(client):
    rng = np.random.default_rng(14)
    data_x = rng.normal(size=(100, 2))
    data_y = data_x[:, 0] ** 2
    query_x = da.from_array(rng.normal(size=(40, 2)), chunks=4)
    bad_nan = data_x.copy()
    bad_nan[3, 1] = np.inf
    table = rng.normal(size=(3, 4))
    b = [np.arange(3.0), np.arange(4.0)]
    net = [rng.normal(size=(2, 2)), np.tile(np.eye(2), (2, 1, 1)), rng.normal(size=(2, 1, 3))]
    calls = [
        ("nearpoly", [data_x, data_y, query_x[:, :1], [1, 1, 1]], {}),       # query columns
        ("nearpoly", [bad_nan, data_y, query_x, [1, 1, 1]], {}),             # examples' values
        ("nearpoly", [data_x, data_y[:-1], query_x, [1, 1, 1]], {}),         # examples' sizes
        ("nearpoly", [data_x, data_y, query_x, [1, 1]], {}),                 # id_par
        ("nearpoly", [data_x, data_y, query_x, [1, 1, 1]], {"weights": [1.0, -1.0]}),
        ("gridval", [da.zeros((50, 3), chunks=7), table] + b, {}),           # point columns
        ("gridval", [da.zeros((50, 2), chunks=7), table[:, :3]] + b, {}),    # table size
        ("gridval", [da.zeros((50, 2), chunks=7), table, b[0][::-1], b[1]], {}),
        ("netsim", [da.zeros((50, 3), chunks=7)] + net, {}),                 # point columns
        ("netsim", [da.zeros((50, 2), chunks=7)] + net + [np.nan], {}),      # normalize
        ("netsim", [da.zeros((50, 2), chunks=7), net[0], net[1][:1], net[2]], {}),
    ]
    before_tasks, before_keys = executed(client), len(client.who_has())
    for plugin, args, kwargs in calls:
        with pytest.raises(localmodels.Error) as got:
            getattr(lmd, plugin)(*args, **kwargs)
        in_process = [a.compute(scheduler="sync") if isinstance(a, da.Array) else a
                      for a in args]
        with pytest.raises(localmodels.Error) as want:
            getattr(localmodels, plugin)(*in_process, **kwargs)
        assert (got.value.identifier, str(got.value)) == (want.value.identifier, str(want.value))
    # Nothing was sent and nothing ran.
    assert executed(client) == before_tasks
    assert len(client.who_has()) == before_keys


def test_examples_sent_once_to_each_worker(client, monkeypatch):
    count_arrivals(monkeypatch)
    rng = np.random.default_rng(15)
    data_x = rng.normal(size=(20000, 3))
    data_y = np.cos(data_x.sum(axis=1))
    query_x = rng.normal(size=(400, 3))
    y, coefs = lmd.nearpoly(data_x, data_y, query_x, [1, 1, 1], return_coefs=True, chunks=10)
    # The chunk tasks refer to the examples by one key of the graph.
    graph = y.__dask_graph__()
    (holder,) = [k for k, v in dict(graph).items() if isinstance(v, lmd._Shared)]
    token = holder[len("nearpoly-shared-"):]
    name = f"nearpoly-{token}"
    chunk_tasks = [k for k in dict(graph) if isinstance(k, tuple) and k[0] == name]
    assert len(chunk_tasks) == 40
    dependencies = graph.get_all_dependencies()
    assert all(holder in dependencies[k] for k in chunk_tasks)
    # Nothing is sent before the computation.
    assert holder not in client.who_has()
    workers = set(client.scheduler_info()["workers"])
    with distributed.get_task_stream(client) as stream:
        got = gather_all(client, [y, coefs])
    assert_same_bits(localmodels.nearpoly(data_x, data_y, query_x, [1, 1, 1], return_coefs=True),
                     tuple(got))
    # The key of the examples loaded once, 40 chunk tasks each run once for
    # both outputs, and each worker unpickled the examples once, not once
    # per chunk.
    keys = [str(t["key"]) for t in stream.data]
    assert keys.count(holder) == 1
    runs = [k for k in keys if k.startswith(f"('{name}'")]
    assert len(runs) == 40 and len(set(runs)) == 40, runs
    assert client.run(arrivals, shared_tag(y)) == {w: 1 for w in workers}
    # Ran on both workers.
    assert {t["worker"] for t in stream.data if str(t["key"]) in runs} == workers


def test_a_failing_chunk_fails_the_result(client):
    rng = np.random.default_rng(16)
    data_x = rng.normal(size=(300, 3))
    data_y = np.sin(data_x[:, 0])
    queries = da.from_array(rng.normal(size=(60, 3)), chunks=6)
    # A chunk of the queries that cannot be computed.
    y = lmd.nearpoly(data_x, data_y, queries.map_blocks(broken_block, dtype=float), [1, 1, 1])
    future = client.compute(y)
    with pytest.raises(RuntimeError, match="block 3 of the queries could not be read"):
        future.result(timeout=COMPUTE_SECONDS)
    assert future.status == "error"
    # A chunk the in-process call refuses (its source declared 3 columns and
    # gave 4): the whole result fails with that chunk's refusal.
    y = lmd.nearpoly(data_x, data_y, queries.map_blocks(widened_block, dtype=float), [1, 1, 1])
    future = client.compute(y)
    with pytest.raises(localmodels.Error) as got:
        future.result(timeout=COMPUTE_SECONDS)
    with pytest.raises(localmodels.Error) as want:
        localmodels.nearpoly(data_x, data_y, np.zeros((6, 4)), [1, 1, 1])
    assert (got.value.identifier, str(got.value)) == (want.value.identifier, str(want.value))
    assert got.value.identifier == "nearpoly:queryXColumns"


def test_without_a_client_the_local_scheduler(client):
    # The client is current; inside this block the local scheduler is.
    with dask.config.set(scheduler="threads"):
        x = np.linspace(0, 1, 11)
        y = lmd.nearpoly(x, x ** 2, np.array([0.25, 0.5]), [1, 1, 1], chunks=1)
        before = executed(client)
        assert_same_bits(localmodels.nearpoly(x, x ** 2, [0.25, 0.5], [1, 1, 1]), y.compute())
        assert executed(client) == before
