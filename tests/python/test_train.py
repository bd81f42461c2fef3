"""localmodels.lmn_train: a known function fitted, netsim of the network
giving info's training error bit for bit, the options, the progress
callback and Ctrl-C, refusals, thread counts, and the same bits as the MEX
plug-in in Octave.
"""

import os
import signal
import subprocess

import numpy as np
import pytest

import localmodels
from conftest import OCTAVE, OCTAVE_FLAGS, OCTAVE_PLUGINS, need_octave


def target(x):
    return np.stack([np.sin(2 * np.pi * x[:, 0]) * (1 + x[:, 1]), x[:, 0] * x[:, 1]], axis=1)


def samples(n_samples, seed):
    x = np.random.default_rng(seed).uniform(size=(n_samples, 2))
    return x, target(x)


def sse_in_order(out, y):
    """The sum of squared errors, sample by sample, output by output."""
    s = 0.0
    for v in (np.asarray(out) - y).ravel():
        s = v * v + s
    return s


def simulate(net, x):
    return localmodels.netsim(x, net.centres, net.norm_matrices, net.consequents)


def test_fits_a_known_function_and_netsim_gives_its_error():
    x, y = samples(400, 1)
    net, info = localmodels.lmn_train(x, y, max_models=12, patience=3)
    c = net.n_clusters
    assert net.centres.shape == (c, 2) and net.norm_matrices.shape == (c, 2, 2)
    assert net.consequents.shape == (c, 2, 3)
    assert net.normalize and net.validity == "gaussian"
    out = simulate(net, x)
    assert sse_in_order(out, y) == info["sse"]
    assert np.sqrt(info["sse"] / y.size) < 0.1
    xt, yt = samples(200, 2)
    assert np.sqrt(np.mean((simulate(net, xt) - yt) ** 2)) < 0.15
    assert info["lower"].shape == (c, 2) and info["upper"].shape == (c, 2)
    np.testing.assert_array_equal(net.centres, (info["lower"] + info["upper"]) / 2)
    assert info["models"][np.argmin(info["criterion"])] == c
    assert info["interrupted"] is False


def test_a_single_output_vector_and_index_options():
    x, y = samples(300, 3)
    net, info = localmodels.lmn_train(x, y[:, 0], partition_inputs=[0], regression_inputs=[1],
                                      max_models=5)
    assert net.n_outputs == 1
    assert np.all(net.norm_matrices[:, 1, :] == 0) and np.all(net.norm_matrices[:, :, 1] == 0)
    assert np.all(net.consequents[:, 0, 0] == 0)
    assert np.all(info["lower"][:, 1] == info["lower"][0, 1])


def test_validation_criterion_is_the_rmse_of_the_returned_network():
    x, y = samples(200, 4)
    xv, yv = samples(150, 5)
    net, info = localmodels.lmn_train(x, y, x_val=xv, y_val=yv, max_models=8)
    rmse = np.sqrt(sse_in_order(simulate(net, xv), yv) / yv.size)
    assert rmse == info["criterion"].min()


def test_refinement_lowers_the_sse():
    x, y = samples(300, 6)
    _, plain = localmodels.lmn_train(x, y, max_models=4)
    net, refined = localmodels.lmn_train(x, y, max_models=4, lm_iterations=10)
    assert refined["sse"] < plain["sse"]
    assert sse_in_order(simulate(net, x), y) == refined["sse"]


def test_progress_is_called_and_may_stop():
    x, y = samples(300, 7)
    seen = []

    def progress(step, models, criterion):
        seen.append((step, models))
        return step < 2

    net, info = localmodels.lmn_train(x, y, max_models=6, patience=9, progress=progress)
    assert seen == [(1, 1), (2, 2)]
    assert info["interrupted"] is True
    assert len(info["criterion"]) == 2


def test_an_exception_in_progress_propagates():
    x, y = samples(100, 8)

    def progress(step, models, criterion):
        raise RuntimeError("stop here")

    with pytest.raises(RuntimeError, match="stop here"):
        localmodels.lmn_train(x, y, progress=progress)


def test_ctrl_c_raises_keyboard_interrupt():
    x, y = samples(200, 9)

    def progress(step, models, criterion):
        if step == 2:
            os.kill(os.getpid(), signal.SIGINT)

    with pytest.raises(KeyboardInterrupt):
        localmodels.lmn_train(x, y, max_models=6, patience=9, progress=progress)


def test_every_thread_count_gives_the_same_bits(monkeypatch):
    x, y = samples(600, 10)
    results = []
    for threads in ("1", "2", "3"):
        monkeypatch.setenv("LOCALMODELS_THREADS", threads)
        net, info = localmodels.lmn_train(x, y, max_models=6, lm_iterations=3)
        results.append((net.centres.tobytes(), net.norm_matrices.tobytes(),
                        net.consequents.tobytes(), info["criterion"].tobytes()))
    assert results[0] == results[1] == results[2]


@pytest.mark.parametrize("kwargs, identifier", [
    ({"max_models": 0}, "lmn_train:badMaxModels"),
    ({"max_models": 2.5}, "lmn_train:badMaxModels"),
    ({"width_factor": 0}, "lmn_train:badWidthFactor"),
    ({"regularization": -1}, "lmn_train:badRegularization"),
    ({"patience": 0}, "lmn_train:badPatience"),
    ({"lm_iterations": -1}, "lmn_train:badLmIterations"),
    ({"min_samples": -1}, "lmn_train:badMinSamples"),
    ({"partition_inputs": [2]}, "lmn_train:badPartitionInputs"),
    ({"partition_inputs": [0, 0]}, "lmn_train:badPartitionInputs"),
    ({"regression_inputs": [-1]}, "lmn_train:badRegressionInputs"),
    ({"x_val": np.zeros((3, 2))}, "lmn_train:validationPair"),
    ({"x_val": np.zeros((3, 3)), "y_val": np.zeros((3, 2))}, "lmn_train:xValShape"),
    ({"x_val": np.zeros((3, 2)), "y_val": np.zeros((4, 2))}, "lmn_train:yValShape"),
])
def test_refusals(kwargs, identifier):
    x, y = samples(50, 11)
    with pytest.raises(localmodels.Error) as e:
        localmodels.lmn_train(x, y, **kwargs)
    assert e.value.identifier == identifier


def test_refused_data():
    x, y = samples(50, 12)
    with pytest.raises(localmodels.Error) as e:
        localmodels.lmn_train(x, y[:40])
    assert e.value.identifier == "lmn_train:yColumns"
    y[3, 1] = np.nan
    with pytest.raises(localmodels.Error) as e:
        localmodels.lmn_train(x, y)
    assert e.value.identifier == "lmn_train:nonFinite"
    with pytest.raises(localmodels.Error) as e:
        localmodels.lmn_train(x, 1j * y)
    assert e.value.identifier == "lmn_train:complexInput"


# --- The same bits as the MEX plug-in ---------------------------------------------

OCTAVE_SCRIPT = """
fid = fopen('{inp}', 'r', 'ieee-le'); v = fread(fid, Inf, 'double'); fclose(fid);
N = v(1); Nv = v(2); at = 3;
X = reshape(v(at:at + 2 * N - 1), 2, N); at = at + 2 * N;
Y = reshape(v(at:at + 2 * N - 1), 2, N); at = at + 2 * N;
Xv = reshape(v(at:at + 2 * Nv - 1), 2, Nv); at = at + 2 * Nv;
Yv = reshape(v(at:at + 2 * Nv - 1), 2, Nv);
calls = {{struct('max_models', 7), ...
          struct('max_models', 5, 'lm_iterations', 6), ...
          struct('max_models', 6, 'x_val', Xv, 'y_val', Yv, 'partition_inputs', 2, ...
                 'regression_inputs', [1 2], 'width_factor', 0.5, 'patience', 2)}};
out = fopen('{outp}', 'w', 'ieee-le');
for k = 1:numel(calls)
  [C, A, T, info] = lmn_train(X, Y, calls{{k}});
  parts = {{C, A, T, info.criterion, info.lower, info.upper, info.sse}};
  for q = 1:numel(parts)
    fwrite(out, numel(parts{{q}}), 'double');
    fwrite(out, parts{{q}}(:), 'double');
  end
end
fclose(out);
"""

PYTHON_CALLS = [
    {"max_models": 7},
    {"max_models": 5, "lm_iterations": 6},
    {"max_models": 6, "partition_inputs": [1], "regression_inputs": [0, 1],
     "width_factor": 0.5, "patience": 2},
]


def test_octave_gives_the_same_bits(tmp_path):
    need_octave()
    x, y = samples(250, 13)
    xv, yv = samples(80, 14)
    inp, outp = tmp_path / "in.bin", tmp_path / "out.bin"
    np.concatenate([[len(x), len(xv)], x.ravel(), y.ravel(), xv.ravel(),
                    yv.ravel()]).astype("<f8").tofile(inp)
    script = f"addpath('{OCTAVE_PLUGINS}');" + OCTAVE_SCRIPT.format(inp=inp, outp=outp)
    subprocess.run([OCTAVE] + OCTAVE_FLAGS + ["--eval", script], check=True, timeout=300)
    v = np.fromfile(outp, dtype="<f8")
    at = 0
    for k, kwargs in enumerate(PYTHON_CALLS):
        if k == 2:
            kwargs = dict(kwargs, x_val=xv, y_val=yv)
        net, info = localmodels.lmn_train(x, y, **kwargs)
        mine = [net.centres, net.norm_matrices, net.consequents, info["criterion"],
                info["lower"], info["upper"], np.array([info["sse"]])]
        for part in mine:
            count = int(v[at])
            theirs = v[at + 1:at + 1 + count]
            at += 1 + count
            # The MEX's column-major order: pages column by column.
            if part.ndim == 3:
                part = part.swapaxes(1, 2)
            assert np.ascontiguousarray(part).ravel().view(np.uint64).tolist() == \
                theirs.view(np.uint64).tolist(), f"call {k}"
    assert at == len(v)
