"""The package's conventions: shapes, layouts without copies, chunks and
threads that change no bit, the GIL released, Ctrl-C answered, the error
type."""

import pickle
import threading
import time

import numpy as np
import pytest

import localmodels as lm
from conftest import same_bits, seconds_to_interrupt
from localmodels import _api



def random_network(rng, n=3, c=4, p=2):
    centres = rng.normal(size=(c, n))
    L = rng.normal(size=(c, n, n))
    norms = np.einsum("irk,isk->irs", L, L) + 0.5 * np.eye(n)
    return centres, norms, rng.normal(size=(c, p, n + 1))


# --- shapes ------------------------------------------------------------------

def test_shapes_of_every_function():
    rng = np.random.default_rng(1)
    x = rng.normal(size=(50, 2))
    y = lm.nearpoly(x, x[:, 0] * x[:, 1], rng.normal(size=(7, 2)), [1, 1, 1])
    assert y.shape == (7,) and y.dtype == np.float64
    y, c = lm.nearpoly(x, x[:, 0], rng.normal(size=(7, 2)), [1, 1, 1], return_coefs=True)
    assert c.shape == (7, 6)  # quadratic family: (n + 1)(n + 2)/2 coefficients
    centres, norms, cons = random_network(rng)
    assert lm.netsim(rng.normal(size=(9, 3)), centres, norms, cons).shape == (9, 2)
    dx, y = lm.dmat_inputs(rng.normal(size=3), centres, norms, cons)
    assert dx.shape == (2, 3) and y.shape == (2,)  # outputs by inputs
    dp, y = lm.dmat_params(rng.normal(size=3), centres, norms, cons)
    assert dp.shape == (2, 3 * 4 + 9 * 4 + 4 * 2 * 4) and y.shape == (2,)
    dp, _ = lm.dmat_params(rng.normal(size=3), centres, norms, cons, selection=4 + 8)
    assert dp.shape == (2, 4 * 2 * 4)
    v = lm.gridval(rng.normal(size=(11, 2)), np.ones((3, 4)), [0, 1, 2], [0, 1, 2, 3])
    assert v.shape == (11,)


def test_the_documented_network_example():
    C, A, T = [[0.0], [1.0]], [[[1.0]], [[1.0]]], [[[1.0, 0.0]], [[0.0, 5.0]]]
    assert lm.netsim([[0.5]], C, A, T)[0, 0] == 2.7500000000000004
    dx, y = lm.dmat_inputs([0.5], C, A, T)
    assert dx[0, 0] == 2.7500000000000004 and y[0] == 2.7500000000000004
    assert lm.dmat_params([0.5], C, A, T)[0].shape == (1, 8)


def test_points_as_rows_are_the_mex_points_as_columns():
    # Output j of point t agrees with the network evaluated on that point alone.
    rng = np.random.default_rng(2)
    centres, norms, cons = random_network(rng)
    x = rng.normal(size=(5, 3))
    y = lm.netsim(x, centres, norms, cons)
    for t in range(5):
        assert same_bits(y[t], lm.dmat_inputs(x[t], centres, norms, cons)[1])


def test_norm_matrices_and_consequents_index_as_documented():
    # A single cluster: the output is its local model, T x + t0, for any norm.
    rng = np.random.default_rng(3)
    n, p = 3, 2
    cons = rng.normal(size=(1, p, n + 1))
    x = rng.normal(size=(1, n))
    y = lm.netsim(x, np.zeros((1, n)), np.eye(n)[None], cons)
    assert np.allclose(y[0], cons[0, :, :n] @ x[0] + cons[0, :, n])
    # Only the lower triangle of a norm matrix is read: entry [i, r, s], r >= s.
    norms = np.eye(n)[None].repeat(2, axis=0)
    upper = norms.copy()
    upper[1, 0, 2] = 5.0
    lower = norms.copy()
    lower[1, 2, 0] = 5.0
    two = np.concatenate([cons, rng.normal(size=(1, p, n + 1))])
    centres = rng.normal(size=(2, n))
    plain = lm.netsim(x, centres, norms, two)
    assert same_bits(lm.netsim(x, centres, upper, two), plain)
    assert not same_bits(lm.netsim(x, centres, lower, two), plain)


def test_gridval_table_indexing():
    b1, b2 = [0.0, 1.0, 2.0], [0.0, 10.0]
    table = np.array([[1.0, 2.0], [3.0, 4.0], [5.0, 6.0]])
    v = lm.gridval([[1.0, 10.0], [2.0, 0.0], [0.5, 5.0]], table, b1, b2)
    assert same_bits(v, [4.0, 5.0, 2.5])


# --- layouts -----------------------------------------------------------------

def laid_out(x, view):
    return _api._laid_out(view(_api._real(x, "x", "test")))


def test_no_copy_where_the_layout_is_the_cores():
    rng = np.random.default_rng(4)
    points = rng.normal(size=(100, 3))               # C order: the MEX's 3-by-100
    assert np.shares_memory(laid_out(points, _api._points), points)
    data_x = np.asfortranarray(points)               # Fortran order: nearpoly's N-by-n
    assert np.shares_memory(laid_out(data_x, _api._same), data_x)
    norms = rng.normal(size=(4, 3, 3)).transpose(0, 2, 1)  # memory [i][s][r]
    assert np.shares_memory(laid_out(norms, _api._pages), norms)
    table = np.asfortranarray(rng.normal(size=(3, 4, 5)))
    assert np.shares_memory(laid_out(table, _api._same), table)
    vector = rng.normal(size=7)
    for view in (_api._same, _api._row, _api._points):
        assert np.shares_memory(laid_out(vector, view), vector)


def test_copies_where_it_is_not_and_the_same_results():
    rng = np.random.default_rng(5)
    points = rng.normal(size=(100, 3))
    assert not np.shares_memory(laid_out(points, _api._same), points)
    x = rng.normal(size=(40, 2))
    q = rng.normal(size=(9, 2))
    y = np.sin(x[:, 0]) + x[:, 1]
    plain = lm.nearpoly(x, y, q, [1, 1, 1])
    assert same_bits(lm.nearpoly(np.asfortranarray(x), y, np.asfortranarray(q), [1, 1, 1]),
                     plain)
    big = np.zeros((80, 6))
    big[::2, ::3] = x
    assert same_bits(lm.nearpoly(big[::2, ::3], y, q[::-1][::-1], [1, 1, 1]), plain)
    assert same_bits(lm.nearpoly(x.tolist(), y.tolist(), q.tolist(), [1, 1, 1]), plain)
    assert same_bits(lm.nearpoly(x.astype(">f8"), y, q, [1, 1, 1]), plain)


# --- chunks and threads ----------------------------------------------------

def problems(rng):
    x = rng.normal(size=(300, 3))
    y = np.sin(x).sum(axis=1)
    q = rng.normal(size=(103, 3))
    q[5, 1] = np.nan
    centres, norms, cons = random_network(rng, n=3, c=5, p=2)
    points = rng.normal(size=(1001, 3))
    points[17, 2] = np.nan
    b = [np.linspace(-2, 2, 7), np.linspace(-1, 3, 5), np.r_[-1.0, 0.0, 0.0, 2.0]]
    table = rng.normal(size=(7, 5, 4))
    return [
        lambda: lm.nearpoly(x, y, q, [1, 1, 1], return_coefs=True),
        lambda: lm.nearpoly(x, y, q, [[2, 40, 0], [5, 60, 9], [0, 0, 0]], [3, 2, 0]),
        lambda: lm.netsim(points, centres, norms, cons),
        lambda: lm.netsim(points, centres, norms, cons, 0, 2, 1.7),
        lambda: lm.gridval(points, table, *b),
    ]


def flat(result):
    return list(result) if isinstance(result, tuple) else [result]


def test_any_chunk_size_gives_the_same_bits(chunk):
    calls = problems(np.random.default_rng(6))
    plain = [flat(f()) for f in calls]
    for size in (1, 2, 7, 64, 10**6):
        chunk(size)
        for f, expected in zip(calls, plain):
            assert all(same_bits(a, b) for a, b in zip(flat(f()), expected))


def test_any_thread_count_gives_the_same_bits(monkeypatch, chunk):
    calls = problems(np.random.default_rng(7))
    monkeypatch.setenv("LOCALMODELS_THREADS", "1")
    serial = [flat(f()) for f in calls]
    for threads in ("2", "3", "8"):
        monkeypatch.setenv("LOCALMODELS_THREADS", threads)
        for size in (0, 5):
            chunk(size)
            for f, expected in zip(calls, serial):
                assert all(same_bits(a, b) for a, b in zip(flat(f()), expected))


# --- the GIL and Ctrl-C ----------------------------------------------------

def long_nearpoly(queries):
    rng = np.random.default_rng(8)
    x = rng.normal(size=(5000, 3))
    return lambda: lm.nearpoly(x, np.sin(x).sum(axis=1), rng.normal(size=(queries, 3)),
                               [1, 1, 1])


def test_the_gil_is_released_while_computing(chunk):
    # One chunk for the whole call: were the GIL held, this thread would
    # stop for all of it.
    chunk(10**6)
    call = long_nearpoly(30000)
    worker = threading.Thread(target=call)
    started = time.perf_counter()
    worker.start()
    gaps, last = [], time.perf_counter()
    while worker.is_alive():
        now = time.perf_counter()
        gaps.append(now - last)
        last = now
        time.sleep(0.001)
    worker.join()
    took = time.perf_counter() - started
    assert took > 0.15, "the call was too short to tell"
    assert max(gaps) < took / 2 and len(gaps) > took / 0.05


@pytest.mark.skipif(threading.current_thread() is not threading.main_thread(),
                    reason="signals reach the main thread only")
def test_ctrl_c_ends_a_long_call_within_a_second():
    call = long_nearpoly(400000)  # many seconds on two cores
    # Python's own handler, also where the test runner was started with
    # SIGINT ignored (in the background, say).
    assert seconds_to_interrupt(call) < 1.5


# --- the error type ----------------------------------------------------------

def test_error_is_a_value_error_with_an_identifier():
    with pytest.raises(ValueError) as info:
        lm.gridval([[1.0]], [1.0, 2.0], [1.0, 0.0])
    e = info.value
    assert type(e) is lm.Error
    assert e.identifier == "gridval:breakpointsDecrease"
    assert str(e) == "breakpoints of dimension 1 must not decrease."
    back = pickle.loads(pickle.dumps(e))
    assert type(back) is lm.Error and str(back) == str(e) and back.identifier == e.identifier


def test_help_shows_shapes_and_an_example():
    for f in (lm.nearpoly, lm.netsim, lm.dmat_inputs, lm.dmat_params, lm.gridval):
        doc = f.__doc__
        assert "Parameters" in doc and "Returns" in doc and ">>> " in doc and "shape (" in doc
