"""The package in Python's terms: shapes checked against each other, words
beside the plug-ins' codes, a Network in place of its arrays, threads=,
batched derivatives in the Jacobian's orientation, an unbuilt package that
says how to build it."""

import os
import shutil
import subprocess
import sys

import numpy as np
import pytest

import localmodels as lm
from conftest import same_bits



def random_network(rng, n=3, c=4, p=2):
    centres = rng.normal(size=(c, n))
    L = rng.normal(size=(c, n, n))
    norms = np.einsum("irk,isk->irs", L, L) / n + 0.5 * np.eye(n)
    return centres, norms, rng.normal(size=(c, p, n + 1))


OPTIONS = [(1, 1, 2.0), (0, 1, 2.0), (1, 2, 2.0), (0, 2, 1.7), (1, 3, 2.0)]


# --- shapes ------------------------------------------------------------------

def test_each_misshapen_array_is_refused_naming_it():
    rng = np.random.default_rng(1)
    C, A, T = random_network(rng)  # n = 3, c = 4, p = 2
    x = rng.normal(size=3)
    cases = [
        ((x, C[:3], A, T), "norm_matrices", "(c, n, n) = (3, 3, 3); got (4, 3, 3)"),
        ((x, C, A.transpose(1, 2, 0), T), "norm_matrices", "(c, n, n) = (4, 3, 3); got (3, 3, 4)"),
        ((x, C, A, T.transpose(1, 2, 0)), "consequents", "(c, p, n + 1) = (4, p, 4); got (2, 4, 4)"),
        ((x, C.T, A, T), "norm_matrices", "(c, n, n) = (3, 4, 4); got (4, 3, 3)"),
        ((x, C.ravel(), A, T), "centres", "(c, n); got (12,)"),
        ((x[:2], C, A, T), "x", "(n,) = (3,); got (2,)"),
        ((np.r_[x, 1.0], C, A, T), "x", "(n,) = (3,); got (4,)"),
        ((np.stack([x] * 3), C, A, T), "x", "(n,) = (3,); got (3, 3)"),
    ]
    for f in (lm.dmat_inputs, lm.dmat_params):
        for args, name, shapes in cases:
            with pytest.raises(lm.Error) as info:
                f(*args)
            assert str(info.value).startswith(f"{name} must have shape {shapes}.")
            reason = {"x": "xShape", "centres": "centresShape",
                      "norm_matrices": "normMatricesShape", "consequents": "consequentsShape"}
            assert info.value.identifier == f"{f.__name__}:{reason[name]}"
    with pytest.raises(lm.Error, match=r"^x must have shape \(N, n\) = \(N, 3\); got \(5, 2\)"):
        lm.netsim(rng.normal(size=(5, 2)), C, A, T)
    with pytest.raises(lm.Error, match=r"^x must have shape \(N, n\) = \(N, 3\); got \(3,\)"):
        lm.dmat_inputs(x, C, A, T, batch=True)


def test_empty_arrays_of_any_layout_are_empty_arrays():
    C, A, T = [[0.0], [1.0]], [[[1.0]], [[1.0]]], [[[1.0, 0.0]], [[0.0, 5.0]]]
    packed = np.zeros(0, dtype=[("a", "i1"), ("b", "f8")])["b"]  # at an odd address
    assert packed.__array_interface__["data"][0] % 8 != 0 or packed.size == 0
    odd = packed.reshape(0, 1)
    assert lm.netsim(odd, C, A, T).shape == (0, 1)
    assert lm.gridval(odd, [1.0, 2.0], [0.0, 1.0]).shape == (0,)
    assert lm.nearpoly(np.arange(12.0), np.sin(np.arange(12.0)), odd, [1, 1, 1]).shape == (0,)
    dx, y = lm.dmat_inputs(odd, C, A, T, batch=True)
    assert dx.shape == (0, 1, 1) and y.shape == (0, 1)
    empty_f32 = np.zeros((0, 1), dtype=np.float32)[::-1]
    assert lm.netsim(empty_f32, C, A, T).shape == (0, 1)


# --- words beside the codes -----------------------------------------------

def test_words_give_the_bits_of_the_codes():
    rng = np.random.default_rng(2)
    C, A, T = random_network(rng)
    x = rng.normal(size=(40, 3))
    for word, code in (("gaussian", 1), ("fuzzy", 2), ("distance", 3)):
        for flag, number in ((True, 1), (False, 0)):
            want = lm.netsim(x, C, A, T, number, code, 2.0)
            assert same_bits(lm.netsim(x, C, A, T, normalize=flag, validity=word), want)
            net = lm.Network(C, A, T, normalize=flag, validity=word)
            assert same_bits(lm.netsim(x, net), want)
            for f in (lm.dmat_inputs, lm.dmat_params):
                plain = f(x[0], C, A, T, number, code, 2.0)
                for a, b in zip(f(x[0], net), plain):
                    assert same_bits(a, b)
    assert same_bits(lm.netsim(x, C, A, T), lm.netsim(x, C, A, T, 1, 1, 2.0))


def test_selection_by_group_names_is_the_selection_by_bits():
    rng = np.random.default_rng(3)
    C, A, T = random_network(rng, n=2, c=3, p=2)
    x = rng.normal(size=2)
    groups = ["centres", "norm_matrices", "consequents", "offsets"]
    for bits in range(16):
        names = {g for k, g in enumerate(groups) if bits >> k & 1}
        want = lm.dmat_params(x, C, A, T, selection=bits)
        for form in (names, sorted(names), tuple(names), frozenset(names)):
            got = lm.dmat_params(x, C, A, T, selection=form)
            assert all(same_bits(a, b) for a, b in zip(got, want)), (bits, form)
    one = lm.dmat_params(x, C, A, T, selection="centres")
    assert same_bits(one[0], lm.dmat_params(x, C, A, T, selection=1)[0])
    assert same_bits(lm.dmat_params(x, C, A, T)[0], lm.dmat_params(x, C, A, T, selection=15)[0])


# --- threads= -------------------------------------------------------------

def test_any_threads_value_gives_the_same_bits(chunk):
    rng = np.random.default_rng(4)
    C, A, T = random_network(rng, n=3, c=6, p=2)
    points = rng.normal(size=(3001, 3))
    ex = rng.normal(size=(400, 3))
    b = [np.linspace(-2, 2, 7), np.linspace(-1, 3, 5), np.linspace(0, 1, 4)]
    table = rng.normal(size=(7, 5, 4))
    calls = [
        lambda t: lm.netsim(points, C, A, T, threads=t),
        lambda t: lm.gridval(points, table, *b, threads=t),
        lambda t: lm.nearpoly(ex, np.sin(ex).sum(axis=1), points[:300], [1, 1, 1], threads=t),
        lambda t: lm.dmat_inputs(points, C, A, T, batch=True, threads=t),
        lambda t: lm.dmat_params(points[:500], C, A, T, batch=True, threads=t),
    ]
    serial = [f(1) for f in calls]
    for threads in (None, 2, 3, -1, 10**9):
        for size in (0, 7):
            chunk(size)
            for f, want in zip(calls, serial):
                got = f(threads)
                for u, v in zip(got if isinstance(got, tuple) else (got,),
                                want if isinstance(want, tuple) else (want,)):
                    assert same_bits(u, v)


def test_threads_take_the_place_of_the_environment(monkeypatch):
    # An absurd environment is not read when the caller asks.
    monkeypatch.setenv("LOCALMODELS_THREADS", "999999")
    rng = np.random.default_rng(5)
    C, A, T = random_network(rng)
    x = rng.normal(size=(2000, 3))
    assert same_bits(lm.netsim(x, C, A, T, threads=1), lm.netsim(x, C, A, T, threads=2))


# --- batched derivatives ------------------------------------------------

def test_a_batch_is_the_loop_of_one_point_calls_bit_for_bit(chunk):
    rng = np.random.default_rng(6)
    for n, c, p in ((1, 2, 1), (3, 4, 2), (2, 5, 3)):
        C, A, T = random_network(rng, n, c, p)
        x = rng.normal(size=(23, n)) * 1.5
        x[3] = C[1]                      # at a centre
        x[7, 0] = np.nan
        for opts in OPTIONS:
            for size in (0, 1, 5):
                chunk(size)
                dx, y = lm.dmat_inputs(x, C, A, T, *opts, batch=True, threads=-1)
                assert dx.shape == (23, p, n) and y.shape == (23, p)
                for t in range(23):
                    one = lm.dmat_inputs(x[t], C, A, T, *opts)
                    assert same_bits(dx[t], one[0]) and same_bits(y[t], one[1])
                for selection in (15, 1, 2, 4, 12, 7):
                    dp, y = lm.dmat_params(np.asfortranarray(x), C, A, T, *opts, selection,
                                           batch=True, threads=3)
                    for t in range(23):
                        one = lm.dmat_params(x[t], C, A, T, *opts, selection)
                        assert same_bits(dp[t], one[0]) and same_bits(y[t], one[1])


def test_batches_in_the_mex_orientation():
    rng = np.random.default_rng(7)
    C, A, T = random_network(rng)
    x = rng.normal(size=(6, 3))
    dx, _ = lm.dmat_inputs(x, C, A, T, batch=True)
    mex, _ = lm.dmat_inputs(x, C, A, T, batch=True, mex_orientation=True)
    assert mex.shape == (6, 3, 2) and same_bits(mex, dx.transpose(0, 2, 1))
    dp, _ = lm.dmat_params(x, C, A, T, batch=True)
    mex, _ = lm.dmat_params(x, C, A, T, batch=True, mex_orientation=True)
    assert same_bits(mex, dp.transpose(0, 2, 1))
    one, _ = lm.dmat_inputs(x[0], C, A, T, mex_orientation=True)
    assert one.shape == (3, 2) and same_bits(one, dx[0].T)


# --- the Jacobian's orientation, against finite differences ------------

def test_the_input_jacobian_is_outputs_by_inputs():
    rng = np.random.default_rng(8)
    C, A, T = random_network(rng, n=3, c=4, p=2)
    x = rng.normal(size=3)
    h = 1e-6
    for validity in ("gaussian", "fuzzy"):
        for normalize in (True, False):
            J, y = lm.dmat_inputs(x, C, A, T, normalize, validity)
            assert J.shape == (2, 3)

            def f(z):
                return lm.netsim(z[None], C, A, T, normalize, validity)[0]

            for k in range(3):
                e = np.zeros(3)
                e[k] = h
                column = (f(x + e) - f(x - e)) / (2 * h)
                assert np.allclose(J[:, k], column, rtol=1e-5, atol=1e-7)
            assert np.array_equal(y, f(x))


def test_the_parameter_jacobian_is_outputs_by_parameters():
    rng = np.random.default_rng(9)
    n, c, p = 2, 3, 2
    C, A, T = random_network(rng, n, c, p)
    x = rng.normal(size=n)
    J, _ = lm.dmat_params(x, C, A, T, selection={"centres", "consequents", "offsets"})
    assert J.shape == (p, n * c + (n + 1) * p * c)
    h = 1e-6

    def central(change):
        up, down = change(h), change(-h)
        return (lm.netsim(x[None], *up)[0] - lm.netsim(x[None], *down)[0]) / (2 * h)

    for i in range(c):
        for k in range(n):
            def moved(d, i=i, k=k):
                C2 = C.copy()
                C2[i, k] += d
                return C2, A, T
            assert np.allclose(J[:, k + i * n], central(moved), rtol=1e-5, atol=1e-7)
    for i in range(c):
        for j in range(p):
            for k in range(n + 1):
                def moved(d, i=i, j=j, k=k):
                    T2 = T.copy()
                    T2[i, j, k] += d
                    return C, A, T2
                col = n * c + j + k * p + i * p * (n + 1)
                assert np.allclose(J[:, col], central(moved), rtol=1e-5, atol=1e-7)


# --- an unbuilt package --------------------------------------------------

def test_an_unbuilt_package_says_how_to_build_it(tmp_path):
    source = os.path.dirname(lm.__file__)
    copy = tmp_path / "localmodels"
    copy.mkdir()
    for name in os.listdir(source):
        if name.endswith(".py"):
            shutil.copy(os.path.join(source, name), copy / name)
    env = dict(os.environ, PYTHONPATH=str(tmp_path))
    run = subprocess.run([sys.executable, "-c", "import localmodels"], env=env,
                         capture_output=True, text=True, cwd=str(tmp_path))
    assert run.returncode != 0
    last = run.stderr.strip().splitlines()[-1]
    assert last.startswith("ImportError: localmodels: the compiled module")
    assert "make build" in last and "localmodels_python" in last
