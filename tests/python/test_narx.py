"""localmodels.narx_simulate against a Python loop of one-point netsim,
nearpoly and gridval calls, bit for bit; runs in blocks; refusals."""

import numpy as np
import pytest

import localmodels


def regressor(y, u, na, nb, nk, t):
    r = []
    for i, a in enumerate(na):
        r += [y[t - l, i] for l in range(1, a + 1)]
    for j, b in enumerate(nb):
        r += [u[t - nk[j] - l, j] for l in range(b)]
    return np.array(r)


def python_loop(step, u, y0, na, nb, nk, bounds=None):
    """The run written out: y[t] = step(regressor), held, fed back."""
    T, p = u.shape[0], len(na)
    L = max([0] + list(na) + [k + b - 1 for k, b in zip(nk, nb) if b > 0])
    y = np.zeros((T, p))
    y[:min(L, T)] = y0[:min(L, T)]
    for t in range(L, T):
        v = np.asarray(step(regressor(y, u, na, nb, nk, t)), dtype=float).reshape(p)
        if bounds is not None:
            lo, hi = np.asarray(bounds, dtype=float).reshape(2, p)
            v = np.array([x if np.isnan(x) else min(max(x, a), b) for x, a, b in zip(v, lo, hi)])
        y[t] = v
    return y


def same_bits(a, b):
    a, b = np.asarray(a), np.asarray(b)
    assert a.shape == b.shape
    assert np.array_equal(np.isnan(a), np.isnan(b))
    assert np.array_equal(a[~np.isnan(a)].view(np.uint64), b[~np.isnan(b)].view(np.uint64))


@pytest.fixture
def network():
    rng = np.random.default_rng(4)
    n, p, c = 5, 2, 3
    b = rng.uniform(-0.7, 0.7, (c, n, n))
    norms = b @ b.transpose(0, 2, 1) + 0.3 * np.eye(n)
    return localmodels.Network(rng.uniform(-1, 1, (c, n)), norms,
                               0.25 * rng.uniform(-2, 2, (c, p, n + 1)),
                               validity="fuzzy", fuzziness=1.7)


MIMO = dict(na=[2, 0], nb=[1, 2], nk=[0, 3])  # n = 5, L = 4


def test_network_mimo(network):
    rng = np.random.default_rng(1)
    u, y0 = rng.uniform(-1, 1, (60, 2)), rng.uniform(-0.5, 0.5, (6, 2))

    def step(r):
        return localmodels.netsim(r[np.newaxis, :], network.centres, network.norm_matrices,
                                  network.consequents, 1, 2, 1.7)

    got = localmodels.narx_simulate(network, u, y0, **MIMO)
    same_bits(got, python_loop(step, u, y0, **MIMO))
    assert np.array_equal(got[:4], y0[:4])
    bounds = [[-0.05, -np.inf], [0.0, 0.02]]
    held = localmodels.narx_simulate(network, u, y0, **MIMO, bounds=bounds)
    same_bits(held, python_loop(step, u, y0, **MIMO, bounds=bounds))
    assert np.all(held[4:, 0] >= -0.05) and np.all(held[4:, 0] <= 0) and np.all(held[4:, 1] <= 0.02)


@pytest.mark.parametrize("N, full", [(1500, False), (300, True)])
def test_nearpoly(N, full):
    rng = np.random.default_rng(2)
    x = rng.uniform(-1, 1, (N, 4))
    y = 0.5 * x[:, 0] - 0.3 * x[:, 1] + 0.5 * np.sin(2 * x[:, 2]) + 0.2 * x[:, 3]
    extra = dict(id_par=[[3, 8], [6, 20], [10, 40]], comb_par=[1, 2, 2], cov_init=1e4,
                 weights=[1, 0.5, 2, 1]) if full else {}
    model = localmodels.NearPolyModel(x, y, **extra)
    u = rng.uniform(-1, 1, (80, 2))
    orders = dict(na=[2], nb=[1, 1], nk=[1, 0])

    def step(r):
        return localmodels.nearpoly(x, y, r[np.newaxis, :], model.id_par, model.comb_par,
                                    model.cov_init, model.weights)

    bounds = [-0.3, 0.3] if full else None
    got = localmodels.narx_simulate(model, u, [0.1, -0.2], **orders, bounds=bounds)
    assert got.shape == (80,)
    same_bits(got, python_loop(step, u, np.array([[0.1], [-0.2]]), **orders, bounds=bounds)[:, 0])


def test_table_mimo_with_nan():
    rng = np.random.default_rng(3)
    b = [np.array([-1, 0, 0.5, 1.0]), np.array([-1, 1.0]), np.array([-2, -1, 0, 1, 2.0])]
    tables = rng.uniform(-1.2, 1.2, (4, 2, 5, 2))
    model = localmodels.TableModel(tables, b)
    u = rng.uniform(-2.5, 2.5, 70)
    u[30] = np.nan
    orders = dict(na=[1, 1], nb=[1], nk=[0])

    def step(r):
        return [localmodels.gridval(r[np.newaxis, :], tables[..., j], *b)[0] for j in range(2)]

    bounds = [[-0.8, -0.9], [0.8, 0.5]]
    got = localmodels.narx_simulate(model, u, [[0.2, -0.1]], **orders, bounds=bounds)
    same_bits(got, python_loop(step, u[:, np.newaxis], np.array([[0.2, -0.1]]), **orders,
                               bounds=bounds))
    assert np.all(np.isnan(got[30]))


def test_one_output_table_and_scalar_orders():
    model = localmodels.TableModel([0.0, 1.0, 4.0], [[0, 1, 2]])
    got = localmodels.narx_simulate(model, [0, 0.5, 2], np.zeros(0), 0, 1, 0)
    assert got.tolist() == [0, 0.5, 4]


def test_blocks_give_the_same_bits(network, chunk):
    rng = np.random.default_rng(1)
    u, y0 = rng.uniform(-1, 1, (60, 2)), rng.uniform(-0.5, 0.5, (6, 2))
    whole = localmodels.narx_simulate(network, u, y0, **MIMO)
    for size in (1, 7):
        chunk(size)
        same_bits(localmodels.narx_simulate(network, u, y0, **MIMO), whole)
    x = rng.uniform(-1, 1, (1500, 3))
    near = localmodels.NearPolyModel(x, x.sum(axis=1))
    chunk(0)
    whole = localmodels.narx_simulate(near, u[:, 0], [0.1, 0.2], 2, 1)
    chunk(5)
    same_bits(localmodels.narx_simulate(near, u[:, 0], [0.1, 0.2], 2, 1), whole)


@pytest.mark.parametrize("call, identifier", [
    (lambda net, u, y0: localmodels.narx_simulate(net, u, y0[:3], **MIMO), "y0TooShort"),
    (lambda net, u, y0: localmodels.narx_simulate(net, u, y0, na=[2, -1], nb=[1, 2], nk=[0, 3]),
     "badOrders"),
    (lambda net, u, y0: localmodels.narx_simulate(net, u, y0, na=[2, 0], nb=[1, 2], nk=[0]),
     "nkLength"),
    (lambda net, u, y0: localmodels.narx_simulate(net, u[:, :1], y0, **MIMO), "uRows"),
    (lambda net, u, y0: localmodels.narx_simulate(net, u, y0, **MIMO, bounds=[[1, 0], [0, 1]]),
     "boundsOrder"),
    (lambda net, u, y0: localmodels.narx_simulate(net, u, y0, **MIMO, bounds=[0, 1]),
     "boundsShape"),
    (lambda net, u, y0: localmodels.narx_simulate(net, u, y0, na=[1, 0], nb=[1, 2], nk=[0, 3]),
     "modelInputs"),
    (lambda net, u, y0: localmodels.narx_simulate(
        localmodels.NearPolyModel(np.zeros((20, 5)), np.zeros(20)), u, y0, **MIMO),
     "nearpolyOutputs"),
    (lambda net, u, y0: localmodels.narx_simulate(
        localmodels.TableModel(np.zeros((2, 3)), [[0, 1], [0, 1]]), u[:, 0], y0[:, 0], 1, 1),
     "tableSize"),
])
def test_refusals(network, call, identifier):
    rng = np.random.default_rng(1)
    u, y0 = rng.uniform(-1, 1, (60, 2)), rng.uniform(-0.5, 0.5, (6, 2))
    with pytest.raises(localmodels.Error) as e:
        call(network, u, y0)
    assert e.value.identifier == "narx_simulate:" + identifier


def test_not_a_model():
    with pytest.raises(TypeError):
        localmodels.narx_simulate("network", np.zeros(3), [0.0], 1, 1)
