"""A NARX model identified from records, and the one entry point to fit one."""

from dataclasses import dataclass, field
import sys

import numpy as np

from .. import _api
from .._network import Network
from ._orders import Orders, records, stacked

__all__ = ["Model", "lm_fit"]

KINDS = ("arx", "network", "nearpoly", "table")


@dataclass(eq=False)
class Model:
    """A one-step NARX model and what it was identified from.

    Attributes
    ----------
    kind : {'arx', 'network', 'nearpoly', 'table'}
    orders : Orders
    network : localmodels.Network or None
        For 'arx' (one affine cluster) and 'network'.
    examples : localmodels.NearPolyModel or None
        For 'nearpoly': the regressors, targets and settings.
    table : localmodels.TableModel or None
        For 'table' (see `lm_table`).
    output_range : ndarray, shape (2, p)
        The smallest and largest output of the estimation records.
    regressor_range : ndarray, shape (2, n)
        The same of the regressors.
    clamp : bool
        Whether `lm_simulate` holds each simulated output in output_range
        (widened by clamp_margin times its span on each side).
    clamp_margin : float
    info : dict
        What the fit reports (the trainer's history, the options used).
    """

    kind: str
    orders: Orders
    output_range: np.ndarray
    regressor_range: np.ndarray
    clamp: bool = False
    clamp_margin: float = 0.0
    network: object = None
    examples: object = None
    table: object = None
    info: dict = field(default_factory=dict)

    def one_step(self, phi):
        """The model's outputs (rows, p) at the regressors phi (rows, n)."""
        phi = np.asarray(phi, dtype=float).reshape(-1, self.orders.n)
        if self.kind in ("arx", "network"):
            return _api.netsim(phi, self.network).reshape(phi.shape[0], -1)
        if self.kind == "nearpoly":
            e = self.examples
            y = _api.nearpoly(e.data_x, e.data_y, phi, e.id_par, e.comb_par, e.cov_init,
                              e.weights)
            return y.reshape(-1, 1)
        t = self.table
        cols = [_api.gridval(phi, t.tables[..., j], *t.breakpoints)
                for j in range(t.tables.shape[-1])]
        return np.column_stack(cols)


def guard_bounds(model):
    """The (2, p) bounds a clamped run holds its outputs in, or None."""
    if not model.clamp:
        return None
    lo, hi = model.output_range
    m = model.clamp_margin
    return np.vstack([lo - m * (hi - lo), hi + m * (hi - lo)])


def ranges(a):
    """The (2, columns) smallest and largest entries of a's columns."""
    if a.shape[0] == 0:
        return np.full((2, a.shape[1]), np.nan)
    return np.vstack([a.min(axis=0), a.max(axis=0)])


def range_weights(regressor_range):
    """Distance weights that scale every regressor's range to one."""
    span = regressor_range[1] - regressor_range[0]
    return np.where(span > 0, 1.0 / np.where(span > 0, span, 1.0), 1.0)


def default_progress():
    """A text bar on an interactive terminal, else nothing."""
    if not sys.stderr.isatty():
        return None

    def show(step, models, criterion):
        sys.stderr.write(f"\rlm_fit: step {step}, {models} local models, "
                         f"criterion {criterion:.6g}   ")
        sys.stderr.flush()
    return show


def lm_fit(u, y, na, nb, nk=1, kind="network", *, validation=None, clamp=False,
           clamp_margin=0.0, id_par=(1, 1, 1), comb_par=None, cov_init=None, scale=True, progress="auto",
           **train_options):
    """Fit a NARX model to input/output records.

    Parameters
    ----------
    u, y : array_like, or lists of ndarrays
        Input (T, m) and output (T, p) records; lists are several
        experiments (see `narx_regressors`).
    na, nb, nk : int or sequences
        The orders (see `narx_regressors`).
    kind : {'network', 'arx', 'nearpoly'}
        'arx': one affine model by least squares (a linear ARX model);
        'network': a local linear model network grown by `localmodels.lmn_train`;
        'nearpoly': the regressors kept as examples for `localmodels.nearpoly`.
    validation : (u_val, y_val), optional
        Records whose one-step error stops the network's growth (else an
        information criterion on the estimation data does).
    clamp : bool
        Hold simulated outputs in the range of the estimation outputs (a
        guard against a free run that diverges; off by default).
    clamp_margin : float
        Widen that range by this fraction of its span on each side (0 by
        default), so that the guard stops a divergence without clipping
        outputs just beyond what the estimation records reached.
    id_par, comb_par, cov_init : optional
        nearpoly's settings, for kind='nearpoly'.
    scale : bool
        For kind='nearpoly', weigh every regressor by 1/range in the distance.
    progress : callable, None or 'auto'
        progress(step, models, criterion) after each growth step of the
        network; 'auto' shows a text bar on an interactive terminal. Ctrl-C
        stops the fit with KeyboardInterrupt.
    **train_options
        Passed to `localmodels.lmn_train` (max_models, min_samples,
        width_factor, regularization, partition_inputs, regression_inputs,
        lm_iterations, patience).

    Returns
    -------
    Model
    """
    if kind not in KINDS[:3]:
        raise ValueError(f"kind must be 'arx', 'network' or 'nearpoly'; got {kind!r}.")
    us, ys, _ = records(u, y)
    orders = Orders.of(na, nb, nk, ys[0].shape[1], us[0].shape[1])
    phi, target = stacked(us, ys, orders)
    if phi.shape[0] == 0:
        raise ValueError(f"the records are too short for lag {orders.lag}: no regressor.")
    if not np.isfinite(clamp_margin) or clamp_margin < 0:
        raise ValueError(f"clamp_margin must be a non-negative number; got {clamp_margin!r}.")
    model = Model(kind, orders, ranges(np.concatenate(ys)), ranges(phi), bool(clamp),
                  float(clamp_margin))
    if kind == "nearpoly":
        model.examples = _examples(phi, target, model, id_par, comb_par, cov_init, scale)
        return model
    if kind == "arx":  # plain least squares unless a ridge is asked for
        train_options = dict({"regularization": 0.0}, **train_options, max_models=1)
    if validation is not None:
        vu, vy, _ = records(*validation)
        train_options["x_val"], train_options["y_val"] = stacked(vu, vy, orders)
    auto = isinstance(progress, str) and progress == "auto"
    if auto:
        progress = default_progress()
    from .._train import lmn_train
    try:
        model.network, model.info = lmn_train(phi, target, progress=progress, **train_options)
    finally:
        if auto and progress is not None:
            sys.stderr.write("\n")
    return model


def _examples(phi, target, model, id_par, comb_par, cov_init, scale):
    from .._narx import NearPolyModel
    if target.shape[1] != 1:
        raise ValueError("kind='nearpoly' models one output; fit one model per output.")
    weights = range_weights(model.regressor_range) if scale else None
    return NearPolyModel(phi, target[:, 0], id_par=np.asarray(id_par, dtype=float),
                         comb_par=comb_par, cov_init=cov_init, weights=weights)
