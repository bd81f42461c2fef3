"""Free-run simulation and k-step-ahead prediction of a NARX model."""

import numpy as np

from ._model import guard_bounds
from ._orders import _signal, several, regressor_block

__all__ = ["lm_simulate", "lm_predict"]


def _simulator(model):
    if model.kind in ("arx", "network"):
        return model.network
    return model.examples if model.kind == "nearpoly" else model.table


def _one(model, u, y0):
    from .._narx import narx_simulate
    o = model.orders
    u = _signal(u, "u")
    y0 = _signal(y0, "y0")
    if u.shape[1] != o.m or y0.shape[1] != o.p:
        raise ValueError(f"the model has {o.m} inputs and {o.p} outputs; got u with "
                         f"{u.shape[1]} and y0 with {y0.shape[1]}.")
    bounds = guard_bounds(model)
    return narx_simulate(_simulator(model), u, y0[:o.lag], o.na, o.nb, o.nk, bounds=bounds)


def lm_simulate(model, u, y0):
    """Run a model freely: each output from the model's earlier outputs.

    Parameters
    ----------
    model : Model
    u : array_like, shape (T, m) or (T,); or a list of ndarrays (experiments)
        The inputs.
    y0 : array_like, shape (L', p) or (L',); or a list
        The initial outputs: the first ``model.orders.lag`` rows are used
        (a whole measured record may be passed).

    Returns
    -------
    ndarray, shape (T, p) (or a list of them)
        Rows 0 .. lag-1 are y0's, the rest simulated. With ``model.clamp``
        every simulated output is held in ``model.output_range``.
    """
    if several(u):
        return [_one(model, a, b) for a, b in zip(u, y0)]
    return _one(model, u, y0)


def _ahead(model, u, y, k):
    o = model.orders
    u, y = _signal(u, "u"), _signal(y, "y", np.asarray(u).shape[0])
    T, L = y.shape[0], o.lag
    out = np.full((T, o.p), np.nan)
    if L + k - 1 >= T:
        return out
    # levels[i][s]: the i-step prediction of sample s (level 0: measured).
    # The j-step prediction of t takes output lag l from level max(j - l, 0).
    levels = [y]
    bounds = guard_bounds(model)
    for j in range(1, k + 1):
        first = L + j - 1
        phi = _mixed_regressors(u, levels, o, first, T, j)
        pred = model.one_step(phi)
        if bounds is not None:
            pred = np.minimum(np.maximum(pred, bounds[0]), bounds[1])
        level = np.full_like(y, np.nan)
        level[first:] = pred
        levels.append(level)
    out[L + k - 1:] = levels[k][L + k - 1:]
    return out


def _mixed_regressors(u, levels, orders, first, last, j):
    """Regressors of the j-step predictions of rows [first, last)."""
    t = np.arange(first, last)
    cols = [levels[max(j - lag, 0)][t - lag, i]
            for i, a in enumerate(orders.na) for lag in range(1, a + 1)]
    if sum(orders.nb):
        cols.append(regressor_block(u, levels[0], orders, first, last)[:, sum(orders.na):])
    return np.column_stack(cols) if cols else np.empty((t.size, 0))


def lm_predict(model, u, y, k=1):
    """k-step-ahead predictions from measured records.

    The prediction of sample t starts from the measured outputs up to t-k
    and runs the model k steps on the measured inputs.

    Parameters
    ----------
    model : Model
    u, y : array_like or lists of experiments
        Measured inputs (T, m) and outputs (T, p).
    k : int
        Steps ahead (k = 1: one-step predictions).

    Returns
    -------
    ndarray, shape (T, p) (or a list)
        NaN for the first lag + k - 1 samples, which have no prediction.
    """
    if int(k) != k or k < 1:
        raise ValueError(f"k must be a positive integer; got {k!r}.")
    if several(u):
        return [_ahead(model, a, b, int(k)) for a, b in zip(u, y)]
    return _ahead(model, u, y, int(k))
