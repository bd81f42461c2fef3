"""A lookup table of any model, for gridval and the simulator."""

import numpy as np

from ._model import Model
from ._orders import records as records_of, stacked

__all__ = ["lm_table"]

# A table's nodes are evaluated in one batch of this many at most.
MAX_NODES = 10_000_000


def lm_table(model, breakpoints=5, *, records=None, regressors=None):
    """Tabulate a model over a grid of its regressors.

    Parameters
    ----------
    model : Model
    breakpoints : int, sequence of ints, or sequence of 1-D arrays
        Nodes per regressor (spread evenly over the estimation range), or
        the breakpoints themselves, one vector per regressor.
    records : (u, y), optional
        The estimation records (or any others): the table's error is
        measured on their regressors.
    regressors : array_like, shape (rows, n), optional
        Where to measure the error instead (default: the model's own
        examples, when it has any).

    Returns
    -------
    Model
        kind 'table', simulated by `lm_simulate` like the others; its
        info['max_error'] (per output) is the largest difference from the
        model at the regressors, or None when there are none.
    """
    from .._narx import TableModel
    o = model.orders
    bps = _breakpoints(breakpoints, model.regressor_range, o.n)
    nodes = int(np.prod([b.size for b in bps]))
    if nodes > MAX_NODES:
        raise ValueError(f"a table of {nodes} nodes is beyond {MAX_NODES}; use fewer breakpoints.")
    grid = np.meshgrid(*bps, indexing="ij")
    points = np.column_stack([g.ravel(order="F") for g in grid])
    values = model.one_step(points)
    shape = tuple(b.size for b in bps) + (o.p,)
    tables = values.reshape(shape, order="F")
    table = Model("table", o, model.output_range, model.regressor_range, model.clamp,
                  model.clamp_margin,
                  table=TableModel(tables, bps), info={"source": model.kind})
    if records is not None:
        us, ys, _ = records_of(*records)
        regressors = stacked(us, ys, o)[0]
    if regressors is None and model.examples is not None:
        regressors = model.examples.data_x
    table.info["max_error"] = None
    if regressors is not None:
        r = np.asarray(regressors, dtype=float).reshape(-1, o.n)
        table.info["max_error"] = np.max(np.abs(table.one_step(r) - model.one_step(r)), axis=0)
    return table


def _breakpoints(b, regressor_range, n):
    if np.isscalar(b) or (isinstance(b, np.ndarray) and b.ndim == 0):
        b = [int(b)] * n
    b = list(b)
    if len(b) != n:
        raise ValueError(f"breakpoints must give {n} entries (one per regressor); got {len(b)}.")
    out = []
    for k, v in enumerate(b):
        if np.isscalar(v):
            if int(v) != v or v < 2:
                raise ValueError(f"breakpoints[{k}] must be a count of at least 2; got {v!r}.")
            lo, hi = regressor_range[:, k]
            out.append(np.linspace(lo, hi, int(v)) if hi > lo else np.array([lo]))
        else:
            out.append(np.asarray(v, dtype=float).ravel())
    return out
