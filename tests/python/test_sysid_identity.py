"""localmodels.sysid and the Octave M-files of the same names, on the same
records: lm_fit's 'arx', 'network' and 'nearpoly' models and their
lm_simulate and lm_predict runs are the same bits, in one Octave run.
"""

import os
import subprocess

import numpy as np
import pytest

from localmodels import sysid
from conftest import same_bits, OCTAVE, OCTAVE_FLAGS, OCTAVE_PLUGINS, need_octave

HERE = os.path.dirname(os.path.abspath(__file__))


def tanks(T, seed, m=1):
    """Two tanks in cascade (the second's level measured), or for m = 2 two
    coupled ones with an input and a level each."""
    rng = np.random.default_rng(seed)
    u = np.repeat(rng.uniform(0.0, 1.0, (T // 15 + 1, m)), 15, axis=0)[:T]
    h = np.zeros((T, 2))
    for t in range(1, T):
        h1, h2 = np.maximum(h[t - 1], 0.0)
        inflow = u[t - 1, 0]
        h[t, 0] = h[t - 1, 0] + 0.2 * (inflow - 0.5 * np.sqrt(h1))
        h[t, 1] = h[t - 1, 1] + 0.2 * (0.5 * np.sqrt(h1) - 0.4 * np.sqrt(h2)
                                       + (0.3 * u[t - 1, 1] if m == 2 else 0.0))
    h += 0.005 * rng.normal(size=h.shape)
    return (u[:, 0], h[:, 1]) if m == 1 else (u, h)


def octave_array(a):
    """The Octave orientation of a record: a column per sample."""
    a = np.asarray(a, dtype=float)
    return a[None, :] if a.ndim == 1 else a.T


# name: (estimation u, y; Python keyword arguments; the same as Octave
# options; the record to simulate and predict)
def cases():
    u, y = tanks(300, 1)
    u2, y2 = tanks(260, 2, m=2)
    v2 = tanks(120, 3, m=2)
    return {
        "arx": dict(rec=(u, y), orders=(2, 2, 1), kind="arx", py={}, oct="", run=tanks(80, 4)),
        "arx_clamped": dict(rec=(u, y), orders=(3, 1, 2), kind="arx",
                            py={"clamp": True, "clamp_margin": 0.1},
                            oct=", 'clamp', true, 'clamp_margin', 0.1", run=tanks(80, 5)),
        "network": dict(rec=(u, y), orders=(2, 1, 1), kind="network", py={"max_models": 5},
                        oct=", 'max_models', 5", run=tanks(80, 6)),
        "network_mimo": dict(
            rec=([u2[:130], u2[130:]], [y2[:130], y2[130:]]), orders=([1, 2], [1, 1], [0, 1]),
            kind="network", py={"max_models": 4, "validation": v2, "width_factor": 0.4},
            oct=", 'max_models', 4, 'validation', {vu, vy}, 'width_factor', 0.4",
            run=tanks(60, 7, m=2)),
        "nearpoly": dict(rec=(u, y), orders=(2, 2, 1), kind="nearpoly", py={}, oct="",
                         run=tanks(60, 8)),
        "nearpoly_settings": dict(
            rec=(u, y), orders=(1, 2, 0), kind="nearpoly",
            py={"id_par": np.array([[2.0, 8.0], [6.0, 30.0], [0.0, 0.0]]), "comb_par": 2,
                "cov_init": 1e4, "clamp": True},
            oct=", 'id_par', [2 8; 6 30; 0 0], 'comb_par', 2, 'cov_init', 1e4, 'clamp', true",
            run=tanks(60, 9)),
    }


def put(path, a):
    a = np.asarray(a, dtype=float)
    if a.ndim == 1:
        a = a[None, :]
    head = np.array([a.ndim, *a.shape], dtype=float)
    np.concatenate([head, a.ravel(order="F")]).tofile(path)


def get(path):
    v = np.fromfile(path, dtype=float)
    nd = int(v[0])
    dims = tuple(int(d) for d in v[1:1 + nd])
    return v[1 + nd:].reshape(dims, order="F")


def octave_text(o):
    """An order as Octave source."""
    return "[" + " ".join(str(int(k)) for k in np.atleast_1d(o)) + "]"


def script(folder, name, c):
    f = lambda s: os.path.join(folder, f"{name}_{s}.bin")  # noqa: E731
    u, y = c["rec"]
    lines = []
    if isinstance(u, list):
        for k, (a, b) in enumerate(zip(u, y)):
            put(f(f"u{k}"), octave_array(a))
            put(f(f"y{k}"), octave_array(b))
        us = ", ".join(f"x('{f(f'u{k}')}')" for k in range(len(u)))
        ys = ", ".join(f"x('{f(f'y{k}')}')" for k in range(len(u)))
        lines.append(f"u = {{{us}}}; y = {{{ys}}};")
    else:
        put(f("u"), octave_array(u))
        put(f("y"), octave_array(y))
        lines.append(f"u = x('{f('u')}'); y = x('{f('y')}');")
    if "validation" in c["py"]:
        vu, vy = c["py"]["validation"]
        put(f("vu"), octave_array(vu))
        put(f("vy"), octave_array(vy))
        lines.append(f"vu = x('{f('vu')}'); vy = x('{f('vy')}');")
    ru, ry = c["run"]
    put(f("ru"), octave_array(ru))
    put(f("ry"), octave_array(ry))
    na, nb, nk = (octave_text(o) for o in c["orders"])
    lines += [
        f"m = lm_fit(u, y, {na}, {nb}, {nk}, '{c['kind']}'{c['oct']});",
        f"ru = x('{f('ru')}'); ry = x('{f('ry')}');",
        f"x('{f('sim')}', lm_simulate(m, ru, ry));",
        f"x('{f('pred')}', lm_predict(m, ru, ry, 3));",
        f"x('{f('output_range')}', m.output_range);",
        f"x('{f('regressor_range')}', m.regressor_range);",
        f"lin = lm_linearize(m, 0.5, 1); x('{f('gradient')}', lin.gradient); x('{f('y0')}', lin.y);",
        f"t = lm_table(m, 3); x('{f('tables')}', t.table.tables);",
    ]
    if c["kind"] == "nearpoly":
        lines += [f"x('{f('data_x')}', m.examples.data_x);",
                  f"x('{f('data_y')}', m.examples.data_y);",
                  f"x('{f('weights')}', m.examples.weights);"]
    else:
        lines += [f"x('{f('centres')}', m.network.centres);",
                  f"x('{f('norm_matrices')}', m.network.norm_matrices);",
                  f"x('{f('consequents')}', m.network.consequents);",
                  f"x('{f('criterion')}', m.info.criterion);"]
    return lines


@pytest.fixture(scope="module")
def runs(tmp_path_factory):
    need_octave()
    folder = str(tmp_path_factory.mktemp("sysid"))
    all_cases = cases()
    lines = [f"addpath('{OCTAVE_PLUGINS}'); addpath('{HERE}'); x = @sysid_exchange;"]
    for name, c in all_cases.items():
        lines += script(folder, name, c)
    subprocess.run([OCTAVE] + OCTAVE_FLAGS + ["--eval", "\n".join(lines)], check=True,
                   timeout=600)
    return folder, all_cases


def python_side(c):
    u, y = c["rec"]
    model = sysid.lm_fit(u, y, *c["orders"], kind=c["kind"], progress=None, **c["py"])
    ru, ry = c["run"]
    return model, sysid.lm_simulate(model, ru, ry), sysid.lm_predict(model, ru, ry, 3)


def tabulated(model):
    """lm_linearize's gradient and output, and lm_table's values, of the model."""
    lin = sysid.lm_linearize(model, 0.5, 1.0)
    return lin["gradient"], lin["y"].reshape(-1, 1), sysid.lm_table(model, 3).table.tables


def octave_shape(a):
    """a as Octave holds it: trailing singleton dimensions beyond two dropped."""
    shape = list(np.shape(a))
    while len(shape) > 2 and shape[-1] == 1:
        shape.pop()
    return np.reshape(a, shape)



@pytest.mark.parametrize("name", list(cases()))
def test_fit_and_runs_are_the_same_bits(runs, name):
    folder, all_cases = runs
    c = all_cases[name]
    model, sim, pred = python_side(c)
    got = lambda s: get(os.path.join(folder, f"{name}_{s}.bin"))  # noqa: E731
    pairs = {"output_range": model.output_range, "regressor_range": model.regressor_range,
             "sim": sim.T, "pred": pred.T}
    if c["kind"] == "nearpoly":
        e = model.examples
        pairs.update(data_x=e.data_x, data_y=np.asarray(e.data_y).reshape(-1, 1),
                     weights=np.asarray(e.weights).reshape(1, -1))
    else:
        net = model.network
        c_, n = net.centres.shape
        pairs.update(centres=net.centres.T,
                     norm_matrices=net.norm_matrices.transpose(1, 2, 0).reshape(n, n, c_),
                     consequents=net.consequents.transpose(1, 2, 0),
                     criterion=np.asarray(model.info["criterion"]).reshape(1, -1))
    gradient, y0, tables = tabulated(model)
    pairs.update(gradient=gradient, y0=y0, tables=tables)
    for key, want in pairs.items():
        have = got(key)
        want = octave_shape(want)
        assert same_bits(have, want), f"{name}: {key} differs\nOctave {have!r}\nPython {want!r}"
    if c["kind"] != "nearpoly":
        assert model.network.centres.shape[0] >= (1 if c["kind"] == "arx" else 2)
    # The runs are real ones: mostly finite, and the predictions start late.
    assert np.isfinite(sim).all() and np.isnan(pred[:2]).all()
