"""Settings chosen by the error on later data, never on what was fitted."""

import itertools

import numpy as np

from ._metrics import lm_compare
from ._model import lm_fit
from ._orders import records
from ._simulate import lm_predict, lm_simulate

__all__ = ["lm_tune"]


def _folds(u, y, folds):
    """Forward chaining: fold i fits on blocks 0..i and scores block i + 1."""
    T = y.shape[0]
    edges = np.linspace(0, T, folds + 2).astype(int)
    return [((u[:edges[i + 1]], y[:edges[i + 1]]), (u[edges[i + 1]:edges[i + 2]],
                                                    y[edges[i + 1]:edges[i + 2]]))
            for i in range(folds)]


def _score(model, u, y, criterion):
    if criterion == "simulation":
        y_model = lm_simulate(model, u, y)
        skip = model.orders.lag
        y, y_model = y[skip:], y_model[skip:]
    else:
        y_model = lm_predict(model, u, y, 1)
    rmse = lm_compare(y, y_model)["rmse"]
    return float(np.mean(rmse)) if np.all(np.isfinite(rmse)) else np.inf


def lm_tune(u, y, na, nb, nk=1, kind="nearpoly", grid=None, *, validation=None, folds=3,
            criterion="simulation", **fixed):
    """Choose a model's settings by its error on records it was not fitted to.

    Parameters
    ----------
    u, y : array_like
        One estimation record (T, m) and (T, p).
    na, nb, nk, kind
        As for `lm_fit`.
    grid : dict of lists
        The settings to try, e.g. ``{'id_par': [(1, 1, 1), (2, 2, 2)]}`` for
        nearpoly or ``{'max_models': [4, 8, 16], 'width_factor': [0.25, 0.5]}``
        for a network; every combination is tried.
    validation : (u_val, y_val), optional
        Score on this record after fitting on all of (u, y). Otherwise the
        record is cut into folds + 1 consecutive blocks, and fold i fits on
        blocks 0..i and scores block i + 1 (time order kept: no fold sees
        its future).
    criterion : {'simulation', 'one_step'}
        Score by the free-run RMSE or by the one-step RMSE.
    **fixed
        Settings passed to every fit.

    Returns
    -------
    best : dict
        The best combination.
    scores : list of (dict, float)
        Every combination with its mean RMSE (inf when a run diverged).
    """
    if criterion not in ("simulation", "one_step"):
        raise ValueError(f"criterion must be 'simulation' or 'one_step'; got {criterion!r}.")
    if not grid:
        raise ValueError("grid must name at least one setting to try.")
    us, ys, many = records(u, y)
    if many:
        raise ValueError("lm_tune takes one estimation record; join experiments or pass one.")
    u, y = us[0], ys[0]
    trials = _folds(u, y, int(folds)) if validation is None else [((u, y), validation)]
    names = list(grid)
    scores = []
    for values in itertools.product(*(grid[k] for k in names)):
        setting = dict(zip(names, values))
        errs = []
        for (fu, fy), (vu, vy) in trials:
            model = lm_fit(fu, fy, na, nb, nk, kind, progress=None, **fixed, **setting)
            vu, vy, _ = records(vu, vy)
            errs.append(_score(model, vu[0], vy[0], criterion))
        scores.append((setting, float(np.mean(errs))))
    best = min(scores, key=lambda s: s[1])[0]
    return best, scores
