"""The identification toolbox: regressors, fits, free runs, k-step
predictions, metrics, linearisation, tables, tuning, files, estimators."""

import numpy as np
import pytest

import localmodels as lm
from localmodels import sysid
from localmodels.sysid import _orders
from conftest import same_bits



def tanks(T, seed, noise=0.002):
    """Two tanks in cascade: u fills the first, the second drains it."""
    rng = np.random.default_rng(seed)
    u = np.repeat(rng.uniform(0.0, 1.0, T // 20 + 1), 20)[:T]
    h = np.zeros((T, 2))
    for t in range(1, T):
        h1, h2 = h[t - 1]
        h[t, 0] = h1 + 0.5 * (u[t - 1] - 0.5 * np.sqrt(max(h1, 0.0)))
        h[t, 1] = h2 + 0.5 * (0.5 * np.sqrt(max(h1, 0.0)) - 0.4 * np.sqrt(max(h2, 0.0)))
    return u, h[:, 1] + noise * rng.normal(size=T)


def brute_regressors(u, y, na, nb, nk):
    """Row t: y_i(t-1..t-na_i) for each output, u_j(t-nk_j-l) for l < nb_j."""
    L = max([0, *na, *[k + b - 1 for k, b in zip(nk, nb) if b > 0]])
    rows = []
    for t in range(L, y.shape[0]):
        r = [y[t - l, i] for i in range(len(na)) for l in range(1, na[i] + 1)]
        r += [u[t - nk[j] - l, j] for j in range(len(nb)) for l in range(nb[j])]
        rows.append(r)
    return np.array(rows).reshape(-1, sum(na) + sum(nb)), y[L:]


# --- regressors and metrics --------------------------------------------------

def test_regressors_are_those_of_a_plain_loop_and_cross_no_experiment():
    rng = np.random.default_rng(1)
    na, nb, nk = [2, 0, 1], [1, 3], [0, 2]
    us = [rng.normal(size=(T, 2)) for T in (9, 14)]
    ys = [rng.normal(size=(T, 3)) for T in (9, 14)]
    phi, target = sysid.narx_regressors(us, ys, na, nb, nk)
    parts = [brute_regressors(u, y, na, nb, nk) for u, y in zip(us, ys)]
    assert same_bits(phi, np.vstack([p for p, _ in parts]))
    assert same_bits(target, np.vstack([t for _, t in parts]))
    o = sysid.Orders.of(na, nb, nk, 3, 2)
    assert o.lag == 4 and o.n == 7
    assert o.names()[:3] == ["y1(t-1)", "y1(t-2)", "y3(t-1)"] and o.names()[3] == "u1(t)"
    with pytest.raises(ValueError, match="nb must have 2 entries"):
        sysid.narx_regressors(us, ys, na, [1, 2, 3], nk)
    with pytest.raises(ValueError, match="same experiments"):
        sysid.narx_regressors(us, ys[:1], na, nb, nk)


def test_compare_gives_the_defined_figures():
    y = np.array([[1.0, 0.0], [2.0, 1.0], [3.0, 0.0], [4.0, 1.0]])
    yh = np.array([[np.nan, np.nan], [2.0, 1.0], [3.5, 0.0], [4.0, 0.0]])
    r = sysid.lm_compare(y, yh)  # the first row has no prediction: left out
    e, d = y[1:] - yh[1:], y[1:] - y[1:].mean(axis=0)
    assert np.allclose(r["rmse"], np.sqrt((e ** 2).mean(axis=0)))
    assert np.allclose(r["fit"], 100 * (1 - np.linalg.norm(e, axis=0) / np.linalg.norm(d, axis=0)))
    assert np.allclose(r["r2"], 1 - (e ** 2).sum(axis=0) / (d ** 2).sum(axis=0))
    assert np.allclose(r["nrmse"], r["rmse"] / y[1:].std(axis=0))
    assert list(r["samples"]) == [3, 3]


# --- fits and runs -------------------------------------------------------------

@pytest.fixture(scope="module")
def records():
    u, y = tanks(1200, 3)
    uv, yv = tanks(400, 4)
    return u, y, uv, yv


@pytest.fixture(scope="module")
def models(records):
    u, y, uv, yv = records
    return {
        "arx": sysid.lm_fit(u, y, 2, 2, kind="arx"),
        "network": sysid.lm_fit(u, y, 2, 2, kind="network", max_models=8,
                                validation=(uv, yv)),
        "nearpoly": sysid.lm_fit(u[:600], y[:600], 2, 2, kind="nearpoly", id_par=(2, 2, 2)),
    }


def test_arx_is_the_least_squares_solution(records, models):
    u, y, _, _ = records
    phi, target = sysid.narx_regressors(u, y, 2, 2)
    a = np.column_stack([phi, np.ones(len(phi))])
    coef = np.linalg.lstsq(a, target[:, 0], rcond=None)[0]
    lin = sysid.lm_linearize(models["arx"], regressor=phi[100])
    assert np.allclose(lin["gradient"][0], coef[:-1], rtol=1e-6, atol=1e-9)
    assert np.allclose(lin["offset"], coef[-1], rtol=1e-6, atol=1e-9)
    far = 1e3 * phi[100]  # an ARX model stays affine far outside its data
    assert np.allclose(models["arx"].one_step(far)[0], far @ coef[:-1] + coef[-1], rtol=1e-9)


def test_a_free_run_is_a_loop_of_one_step_calls(records, models):
    _, _, uv, yv = records
    for model in models.values():
        o = model.orders
        sim = sysid.lm_simulate(model, uv, yv)
        loop = np.array(yv[:, None], dtype=float)
        for t in range(o.lag, len(uv)):
            phi = _orders.regressor_block(uv[:, None], loop, o, t, t + 1)
            loop[t] = model.one_step(phi)[0]
        assert same_bits(sim, loop), model.kind


def test_k_step_predictions_are_those_of_restarted_runs(records, models):
    _, _, uv, yv = records
    u, y = uv[:80], yv[:80]
    for model in models.values():
        one = sysid.lm_predict(model, u, y, 1)
        phi, _ = sysid.narx_regressors(u, y, 2, 2)
        assert same_bits(one[model.orders.lag:], model.one_step(phi))
        k, L = 3, model.orders.lag
        three = sysid.lm_predict(model, u, y, k)
        assert np.all(np.isnan(three[:L + k - 1]))
        for t in range(L + k - 1, len(u)):
            start = t - k + 1  # measured up to t - k, then k simulated steps
            run = sysid.lm_simulate(model, u[start - L:t + 1], y[start - L:start])
            assert same_bits(three[t], run[-1]), (model.kind, t)


def test_the_clamp_holds_a_run_in_the_estimation_range(records):
    u, y, uv, _ = records
    model = sysid.lm_fit(u, y, 2, 2, kind="arx", clamp=True)
    sim = sysid.lm_simulate(model, 3.0 * uv, y[:2])  # far outside the estimation inputs
    lo, hi = model.output_range
    assert np.all(sim[2:] >= lo) and np.all(sim[2:] <= hi)
    assert np.any(sim[2:] == hi)
    wide = sysid.lm_fit(u, y, 2, 2, kind="arx", clamp=True, clamp_margin=0.25)
    sim = sysid.lm_simulate(wide, 3.0 * uv, y[:2])
    assert np.max(sim) == hi + 0.25 * (hi - lo)
    with pytest.raises(ValueError, match="clamp_margin"):
        sysid.lm_fit(u, y, 2, 2, kind="arx", clamp=True, clamp_margin=-1)


def test_the_network_beats_arx_in_free_run(records, models):
    _, _, uv, yv = records
    rmse = {k: sysid.lm_compare(yv, sysid.lm_simulate(m, uv, yv))["rmse"][0]
            for k, m in models.items()}
    assert rmse["network"] < rmse["arx"]


# --- linearisation, tables, files ----------------------------------------------

def one_cluster_arx():
    """y(t) = 0.5 y1(t-1) - 0.2 y1(t-2) + 0.1 y2(t-1) + u(t) + 0.3 u(t-1) + 2, y2 alike."""
    # orders: na = [2, 1], nb = [2], nk = [0]: regressor y1(t-1), y1(t-2), y2(t-1), u(t), u(t-1)
    theta = np.array([[0.5, -0.2, 0.1, 1.0, 0.3, 2.0], [0.0, 0.4, 0.2, -0.5, 0.0, 1.0]])
    net = lm.Network(np.zeros((1, 5)), np.zeros((1, 5, 5)), theta[None])
    o = sysid.Orders.of([2, 1], 2, 0, 2, 1)
    model = sysid.Model("network", o, np.array([[-9.0, -9], [9, 9]]),
                        np.array([[-9.0] * 5, [9.0] * 5]), network=net)
    return model, theta


def test_linearising_an_arx_network_gives_its_coefficients_and_its_recursion():
    model, theta = one_cluster_arx()
    # The equilibrium at u0: y = A y + (b0 + b1) u0 + offset, solved directly.
    u0 = 0.3
    a_eq = np.array([[0.5 - 0.2, 0.1], [0.4, 0.2]])
    y0 = np.linalg.solve(np.eye(2) - a_eq, theta[:, 3:5].sum(axis=1) * u0 + theta[:, 5])
    lin = sysid.lm_linearize(model, u0=u0, y0=y0)
    assert np.allclose(lin["gradient"], theta[:, :5]) and np.allclose(lin["offset"], theta[:, 5])
    assert np.allclose(lin["y"], y0)
    # Deviations from it follow the state-space form, whose state is
    # y1(t-1), y1(t-2), y2(t-1), u(t-1).
    du = np.random.default_rng(5).normal(size=30)
    y = sysid.lm_simulate(model, u0 + du, np.vstack([y0, y0]))
    z = np.array([0.0, 0.0, 0.0, du[1]])
    for t in range(2, 30):
        assert np.allclose(y[t] - y0, lin["c"] @ z + lin["d"] @ [du[t]]), t
        z = lin["a"] @ z + lin["b"] @ [du[t]]


def test_a_table_of_a_linear_model_is_exact():
    model, theta = one_cluster_arx()
    table = sysid.lm_table(model, 3, regressors=np.random.default_rng(6).uniform(-9, 9, (50, 5)))
    assert table.kind == "table" and np.all(table.info["max_error"] < 1e-12)
    assert table.table.tables.shape == (3, 3, 3, 3, 3, 2)
    with pytest.raises(ValueError, match="beyond"):
        sysid.lm_table(model, 100)


def test_a_saved_model_simulates_the_same_bits(tmp_path, records, models):
    _, _, uv, yv = records
    for kind, model in models.items():
        path = tmp_path / f"{kind}.npz"
        sysid.lm_save(path, model)
        back = sysid.lm_load(path)
        assert back.kind == kind and back.orders == model.orders
        assert same_bits(sysid.lm_simulate(back, uv, yv), sysid.lm_simulate(model, uv, yv))
    table = sysid.lm_table(models["arx"], 4)
    sysid.lm_save(tmp_path / "t.npz", table)
    back = sysid.lm_load(tmp_path / "t.npz")
    assert same_bits(sysid.lm_simulate(back, uv, yv), sysid.lm_simulate(table, uv, yv))


# --- tuning --------------------------------------------------------------------

def test_tuning_folds_fit_only_on_earlier_data(monkeypatch, records):
    u, y, _, _ = records
    seen = []
    real = sysid._tune.lm_fit

    def spy(fu, fy, *a, **k):
        seen.append(len(fu))
        return real(fu, fy, *a, **k)
    monkeypatch.setattr(sysid._tune, "lm_fit", spy)
    best, scores = sysid.lm_tune(u[:600], y[:600], 2, 2, kind="nearpoly",
                                 grid={"id_par": [(1, 1, 1), (2, 2, 2)]}, folds=3)
    assert seen == [150, 300, 450] * 2  # blocks 0..i of four equal blocks
    assert best in [s for s, _ in scores] and len(scores) == 2


# --- estimators ----------------------------------------------------------------

def test_the_estimators_pass_scikit_learns_checks():
    pytest.importorskip("sklearn")
    from sklearn.utils.estimator_checks import check_estimator
    from localmodels.estimators import LocalModelNetworkRegressor, NearPolyRegressor
    check_estimator(NearPolyRegressor())
    check_estimator(LocalModelNetworkRegressor(max_models=3))


def test_narx_simulates_in_the_core_as_a_python_loop_would(records):
    pytest.importorskip("sklearn")
    from sklearn.linear_model import LinearRegression
    from localmodels.estimators import NARX, LocalModelNetworkRegressor, NearPolyRegressor
    u, y, uv, yv = records
    for est in (LocalModelNetworkRegressor(max_models=4), NearPolyRegressor(id_par=(2, 2, 2))):
        m = NARX(est, na=2, nb=2).fit(u[:500], y[:500])
        assert same_bits(m.simulate(uv, yv), m._loop(uv, yv))
    lin = NARX(LinearRegression(), na=2, nb=2).fit(u, y)
    sim = lin.simulate(uv, yv)
    assert sim.shape == (len(uv), 1) and np.all(np.isfinite(sim))
    one = lin.predict(uv, yv)
    assert np.all(np.isnan(one[:2])) and np.allclose(one[2:, 0], lin.estimator_.predict(
        sysid.narx_regressors(uv, yv, 2, 2)[0]))


def test_the_readme_example_runs_and_says_what_the_readme_says(tmp_path, monkeypatch, capsys):
    import os
    import re
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    text = open(os.path.join(root, "README.md")).read()
    section = text[text.index("## Identifying a system"):]
    code = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    monkeypatch.chdir(tmp_path)
    exec(compile(code, "README example", "exec"), {})
    out = capsys.readouterr().out.split("\n")
    fits = {line.split()[0]: float(line.split("[")[1].rstrip("]")) for line in out[:2]}
    assert 70 < fits["ARX"] < 80 and 90 < fits["network"] < 98
    back = sysid.lm_load(tmp_path / "tanks.npz")
    assert back.kind == "network"
