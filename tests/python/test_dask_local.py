"""localmodels.dask without a cluster (the local threaded scheduler): the
in-process results bit for bit and the same refusals, raised before any
task runs, for several hundred random problems and several chunkings; the
examples as one key of the graph; queries of every layout.
"""

import pickle

import dask
import dask.array as da
import numpy as np
import pytest

import localmodels
import localmodels.dask as lmd
import dask_support
from dask_support import (ARRIVALS_KEPT, arrived, assert_same_bits, broken_block,  # noqa: F401
                          in_process, watchdog)
from problems import gridval_problem, nearpoly_problem, netsim_problem

QUERY_AT = {"nearpoly": 2, "netsim": 0, "gridval": 0}
MAKERS = {"nearpoly": nearpoly_problem, "netsim": netsim_problem, "gridval": gridval_problem}
PER_PLUGIN = 300


def chunkings(rng, rows):
    """Chunks of one row, a single chunk, and irregular chunks (some empty)."""
    out = [1, max(rows, 1)]
    if rows > 1:
        cuts = np.sort(rng.integers(0, rows + 1, size=int(rng.integers(1, 4))))
        sizes = np.diff(np.r_[0, cuts, rows])
        out.append(tuple(int(s) for s in sizes))
    return out


def with_queries(args, at, queries):
    args = list(args)
    args[at] = queries
    return args


def dask_call(plugin, args, kwargs):
    """The dask version's call: ("ok", arrays) or ("error", identifier, message)."""
    try:
        return ("ok", getattr(lmd, plugin)(*args, **kwargs))
    except localmodels.Error as e:
        return ("error", e.identifier, str(e))


@pytest.mark.parametrize("plugin", sorted(MAKERS))
def test_same_bits_and_refusals_as_in_process(plugin):
    rng = np.random.default_rng({"nearpoly": 1, "netsim": 2, "gridval": 3}[plugin])
    at = QUERY_AT[plugin]
    expected, lazy, refused, answered = [], [], set(), 0
    for _ in range(PER_PLUGIN):
        pr = MAKERS[plugin](rng)
        want = in_process(plugin, pr.args, pr.kwargs)
        queries = np.asarray(pr.args[at])
        rows = queries.shape[0] if queries.ndim else 1
        calls = []
        for chunks in chunkings(rng, rows):
            # A numpy array chunked by the call, and the same as a dask array.
            calls.append((pr.args, dict(pr.kwargs, chunks=chunks)))
            if queries.ndim:
                rest = (-1,) * (queries.ndim - 1)
                lazy_queries = da.from_array(queries, chunks=(chunks,) + rest)
                calls.append((with_queries(pr.args, at, lazy_queries), pr.kwargs))
        for args, kwargs in calls:
            got = dask_call(plugin, args, kwargs)
            if want[0] == "error":
                assert got == want, f"{plugin}{pr.args}: expected {want}, got {got}"
                refused.add(want[1])
            else:
                assert got[0] == "ok", f"{plugin}: refused {got[1:]} where the call answers"
                expected.append(want[1])
                lazy.append(got[1])
                answered += 1
    computed = dask.compute(*lazy, scheduler="threads")
    for e, g in zip(expected, computed):
        assert_same_bits(e, g)
    assert answered > 200 and len(refused) >= 3, (answered, refused)


def example_problem(rng, N=200, n=2, M=50):
    data_x = rng.normal(size=(N, n))
    data_y = np.cos(data_x @ np.arange(1.0, n + 1))
    return data_x, data_y, rng.normal(size=(M, n))


def test_the_examples_are_one_key_of_the_graph():
    rng = np.random.default_rng(4)
    data_x, data_y, query_x = example_problem(rng)
    y, coefs = lmd.nearpoly(data_x, data_y, query_x, [1, 1, 1], return_coefs=True, chunks=5)
    graph = dict(y.__dask_graph__())
    holders = [k for k, v in graph.items() if isinstance(v, lmd._Shared)]
    assert len(holders) == 1
    assert graph[holders[0]].args[0].tobytes() == np.asfortranarray(data_x).tobytes()
    name = holders[0].replace("-shared-", "-")
    chunk_tasks = [k for k in graph if isinstance(k, tuple) and k[0] == name]
    assert len(chunk_tasks) == 10
    dependencies = y.__dask_graph__().get_all_dependencies()
    assert all(holders[0] in dependencies[k] for k in chunk_tasks)
    # y and coefs are views of the same chunk tasks: computed together, once each.
    assert set(chunk_tasks) <= set(dict(coefs.__dask_graph__()))
    assert_same_bits(localmodels.nearpoly(data_x, data_y, query_x, [1, 1, 1], return_coefs=True),
                     dask.compute(y, coefs, scheduler="threads"))


def test_the_shared_arguments_leave_nothing_behind():
    # A worker unpickles them once for every call; the module keeps no record.
    before = dict(vars(lmd))
    shared = lmd._Shared((np.arange(3.0), None))
    for _ in range(3):
        back = pickle.loads(pickle.dumps(shared))
    assert type(back) is lmd._Shared
    assert back.args[0].tolist() == [0.0, 1.0, 2.0] and back.args[1] is None
    assert vars(lmd).keys() == before.keys()
    assert all(vars(lmd)[k] is v for k, v in before.items())


def test_the_arrival_counts_keep_only_the_latest_calls(monkeypatch):
    monkeypatch.setattr(dask_support, "_arrivals", {})
    for call in range(ARRIVALS_KEPT + 5):
        arrived((), "call-%d" % call)
    counts = dask_support._arrivals
    assert len(counts) == ARRIVALS_KEPT
    assert "call-4" not in counts and counts["call-5"] == 1
    assert counts["call-%d" % (ARRIVALS_KEPT + 4)] == 1


def test_each_chunk_runs_once_for_both_outputs(monkeypatch):
    rng = np.random.default_rng(5)
    data_x, data_y, query_x = example_problem(rng)
    runs = []
    original = lmd._nearpoly_chunk

    def counted(block, shared, return_coefs):
        runs.append(lmd._block(block).shape[0])
        return original(block, shared, return_coefs)

    monkeypatch.setattr(lmd, "_nearpoly_chunk", counted)
    y, coefs = lmd.nearpoly(data_x, data_y, query_x, [1, 1, 1], return_coefs=True, chunks=7)
    got = dask.compute(y, coefs, scheduler="threads")
    assert sorted(runs) == sorted([7] * 7 + [1])
    assert_same_bits(localmodels.nearpoly(data_x, data_y, query_x, [1, 1, 1], return_coefs=True),
                     got)


def test_queries_of_every_layout():
    rng = np.random.default_rng(6)
    data_x, data_y, query_x = example_problem(rng, n=3, M=40)
    want = localmodels.nearpoly(data_x, data_y, query_x, [1, 1, 1])
    # Chunked along the columns too: joined into one chunk per row block.
    q = da.from_array(query_x, chunks=(7, 1))
    assert_same_bits(want, lmd.nearpoly(data_x, data_y, q, [1, 1, 1]).compute())
    # Rechunked by the call.
    assert_same_bits(want, lmd.nearpoly(data_x, data_y, q, [1, 1, 1], chunks=3).compute())
    # Integer queries are converted per chunk as numpy converts them.
    qi = rng.integers(-2, 3, size=(30, 3))
    got = lmd.nearpoly(data_x, data_y, da.from_array(qi, chunks=4), [1, 1, 1])
    assert_same_bits(localmodels.nearpoly(data_x, data_y, qi, [1, 1, 1]), got.compute())
    # Queries of one input as a vector; a scalar is one query.
    x = np.linspace(-2, 2, 101)
    qv = np.linspace(-1.5, 1.5, 13)
    assert_same_bits(localmodels.nearpoly(x, np.sin(x), qv, [1, 1, 1]),
                     lmd.nearpoly(x, np.sin(x), da.from_array(qv, chunks=2), [1, 1, 1]).compute())
    assert_same_bits(localmodels.nearpoly(x, np.sin(x), 0.25, [1, 1, 1]),
                     lmd.nearpoly(x, np.sin(x), 0.25, [1, 1, 1]).compute())
    # Points of netsim and gridval with axes between rows and coordinates.
    centres = rng.normal(size=(3, 2))
    norms = np.tile(np.eye(2), (3, 1, 1))
    models = rng.normal(size=(3, 2, 3))
    x3 = rng.normal(size=(6, 4, 2))
    want = localmodels.netsim(x3, centres, norms, models)
    got = lmd.netsim(da.from_array(x3, chunks=(2, 1, 1)), centres, norms, models)
    assert got.shape == want.shape
    assert_same_bits(want, got.compute())
    table = rng.normal(size=(3, 4))
    b = [np.arange(3.0), np.arange(4.0)]
    p3 = rng.uniform(-1, 4, size=(5, 3, 2))
    got = lmd.gridval(p3, table, *b, chunks=2)
    assert got.shape == (15,)
    assert_same_bits(localmodels.gridval(p3, table, *b), got.compute())
    # Empty chunks, also beside a single row (not merged away).
    one = da.from_array(np.array([[0.3, -0.2]]), chunks=((0, 0, 1), -1))
    got = lmd.netsim(one, centres, norms, models)
    assert got.chunks == ((0, 0, 1), (2,))
    assert_same_bits(localmodels.netsim([[0.3, -0.2]], centres, norms, models), got.compute())
    # Empty queries.
    got = lmd.netsim(np.zeros((0, 2)), centres, norms, models, chunks=3)
    assert got.shape == (0, 2)
    assert_same_bits(localmodels.netsim(np.zeros((0, 2)), centres, norms, models), got.compute())


def test_refusals_depending_on_the_values_of_the_examples():
    rng = np.random.default_rng(7)
    data_x, data_y, query_x = example_problem(rng)
    data_x[17, 1] = np.nan
    q = da.from_array(query_x, chunks=5)
    for args in ([data_x, data_y, q, [1, 1, 1]],):
        with pytest.raises(localmodels.Error) as e:
            lmd.nearpoly(*args)
        assert e.value.identifier == "nearpoly:dataXNotFinite"
    with pytest.raises(localmodels.Error) as e:
        lmd.gridval(np.zeros((4, 1)), [1.0, 2.0], [1.0, 0.0])
    assert (e.value.identifier, str(e.value)) == (
        "gridval:breakpointsDecrease", "breakpoints of dimension 1 must not decrease.")
    with pytest.raises(localmodels.Error) as e:
        lmd.nearpoly(data_x[:, 0], data_y, np.ones(3) + 1j, [1, 1, 1])
    assert e.value.identifier == "nearpoly:complexInput"


def test_the_size_limit_applies_to_each_chunk():
    # 2**31 points: beyond one in-process call, accepted in chunks of 2**24.
    points = da.zeros((2**31, 1), chunks=(2**24, 1))
    values = lmd.gridval(points, [1.0, 2.0], [0.0, 1.0])
    assert values.shape == (2**31,) and values.numblocks == (128,)
    assert_same_bits(np.full(3, 1.0), values[:3].compute())
    # A chunk beyond it is refused as the in-process call of that chunk is.
    points = da.zeros((2**31, 1), chunks=(2**31, 1))
    with pytest.raises(localmodels.Error) as e:
        lmd.gridval(points, [1.0, 2.0], [0.0, 1.0])
    want = in_process("gridval", [np.broadcast_to(0.0, (2**31, 1)), [1.0, 2.0], [0.0, 1.0]], {})
    assert want[0] == "error" and want[1] == "gridval:tooManyElements"
    assert ("error", e.value.identifier, str(e.value)) == want


def test_a_failing_chunk_fails_the_result():
    rng = np.random.default_rng(8)
    data_x, data_y, query_x = example_problem(rng)
    q = da.from_array(query_x, chunks=5).map_blocks(broken_block, dtype=float)
    y = lmd.nearpoly(data_x, data_y, q, [1, 1, 1])
    with pytest.raises(RuntimeError, match="block 3 of the queries could not be read"):
        y.compute(scheduler="threads")
