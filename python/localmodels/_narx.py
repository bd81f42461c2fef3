"""Free-run (NARX) simulation: a one-step model run recursively.

The one-step model is a local-model network (`Network`), an example set
predicted by nearpoly (`NearPolyModel`) or one lookup table per output
(`TableModel`). Each step computes exactly what `netsim`, `nearpoly` or
`gridval` computes for that one regressor, to the last bit.
"""

from dataclasses import dataclass, field
from typing import Any, List, Optional

import numpy as np

from . import _core
from ._api import _arg, _pages, _points, _real, _row, _same
from ._network import Network

__all__ = ["NearPolyModel", "TableModel", "narx_simulate"]

_PLUGIN = "narx_simulate"


@dataclass(eq=False)
class NearPolyModel:
    """Stored examples predicted by nearpoly, as a one-step model of one output.

    Attributes
    ----------
    data_x : ndarray, shape (N, n)
        The examples' regressors, one example per row.
    data_y : ndarray, shape (N,)
        The examples' outputs.
    id_par, comb_par, cov_init, weights
        As for `localmodels.nearpoly`; None is the default.
    """

    data_x: Any
    data_y: Any
    id_par: Any = field(default_factory=lambda: [1.0, 1.0, 1.0])
    comb_par: Any = None
    cov_init: Optional[float] = None
    weights: Any = None


@dataclass(eq=False)
class TableModel:
    """One lookup table per output over the n regressors.

    Attributes
    ----------
    tables : ndarray, shape (M1, ..., Mn, p), or (M1, ..., Mn) for one output
        ``tables[i1, ..., in, j]`` is output j's value at the node
        ``(b1[i1], ..., bn[in])``.
    breakpoints : list of n 1-D arrays
        The breakpoints of each regressor, non-decreasing.
    """

    tables: Any
    breakpoints: List[Any]


def _counts(v, count, name):
    """An order as a float64 row; a scalar is repeated `count` times."""
    a = np.asarray(v, dtype=float)
    if a.ndim == 0:
        a = np.full(count, float(a))
    return _arg(a, name, _PLUGIN, _row)


def _model_args(model, p):
    """The model's kind and its arrays as narx_simulate's MEX takes them."""
    if isinstance(model, Network):
        return "network", [
            _arg(model.centres, "centres", _PLUGIN, _points),
            _arg(model.norm_matrices, "norm_matrices", _PLUGIN, _pages),
            _arg(model.consequents, "consequents", _PLUGIN, _pages),
            _arg(float(model.normalize), "normalize", _PLUGIN, _same),
            _arg(float(model.validity_type), "validity_type", _PLUGIN, _same),
            _arg(model.fuzziness, "fuzziness", _PLUGIN, _same),
        ]
    if isinstance(model, NearPolyModel):
        given = [model.comb_par, model.cov_init, model.weights]
        last = max([i + 1 for i, v in enumerate(given) if v is not None], default=0)
        args = [_arg(model.data_x, "data_x", _PLUGIN, _same),
                _arg(model.data_y, "data_y", _PLUGIN, _same),
                _arg(model.id_par, "id_par", _PLUGIN, _same)]
        for i in range(last):
            if given[i] is None:  # comb_par has no empty form; its default is 1
                args.append(_arg(1.0, "comb_par", _PLUGIN, _same) if i == 0 else np.empty((0, 0)))
            else:
                args.append(_arg(given[i], ["comb_par", "cov_init", "weights"][i], _PLUGIN, _same))
        return "nearpoly", args
    if isinstance(model, TableModel):
        tables = np.asarray(model.tables, dtype=float)
        if p == 1 and tables.ndim == len(model.breakpoints):
            tables = tables[..., np.newaxis]
        args = [_arg(tables, "tables", _PLUGIN, _same)]
        for k, b in enumerate(model.breakpoints):
            args.append(_arg(b, f"breakpoints of dimension {k + 1}", _PLUGIN, _row))
        return "table", args
    raise TypeError("model must be a localmodels.Network, NearPolyModel or TableModel; got "
                    f"{type(model).__name__}.")


def narx_simulate(model, u, y0, na, nb, nk=1, *, bounds=None):
    """Free-run simulation of a NARX model.

    The regressor of sample t holds, in this order, the output lags
    ``y[t-1, 0], ..., y[t-na[0], 0]``, ..., then the input lags
    ``u[t-nk[0], 0], ..., u[t-nk[0]-nb[0]+1, 0]``, ..., each signal most
    recent first: ``n = sum(na) + sum(nb)`` values. The first
    ``L = max(na, nk[j] + nb[j] - 1 for the inputs with nb[j] > 0)`` outputs
    are ``y0``'s; each later one is the model's prediction at the regressor
    built from the simulated outputs, fed back.

    Parameters
    ----------
    model : Network, NearPolyModel or TableModel
        The one-step model: n inputs, p outputs (NearPolyModel: p = 1).
    u : array_like, shape (T, m)
        The inputs, one row per sample; a 1-D array is one input.
        ``np.zeros((T, 0))`` for a model without inputs.
    y0 : array_like, shape (L', p)
        The initial outputs, one row per sample; only the first L rows are
        read (fewer are refused). A 1-D array is one output.
    na : int or sequence of p ints
        Output lags (an int applies to every output).
    nb : int or sequence of m ints
        Input lags (an int applies to every input).
    nk : int or sequence of m ints, default 1
        Input delays; 0 lets an input act on the same sample.
    bounds : array_like, shape (2, p), optional
        ``bounds[0]`` the lower and ``bounds[1]`` the upper bound of each
        output: every simulated output is held in them before it is fed
        back (``min(max(v, lower), upper)``; a NaN stays NaN). None: no
        bounds.

    Returns
    -------
    y : ndarray, shape (T, p), or (T,) when y0 was 1-D
        ``y[:L] = y0[:L]``, then the simulated outputs.

    Raises
    ------
    localmodels.Error
        For a refused call, with the message and identifier of the MEX
        narx_simulate (which speaks of its U m-by-T, Y0 p-by-L and BOUNDS
        2-by-p: the transposes of u, y0 and bounds here).

    Notes
    -----
    Runs without the GIL and answers Ctrl-C between blocks of samples.

    Examples
    --------
    y[t] = 0.5 y[t-1] + u[t-1] as a network of one cluster:

    >>> import numpy as np
    >>> import localmodels
    >>> net = localmodels.Network(np.zeros((1, 2)), np.zeros((1, 2, 2)),
    ...                           [[[0.5, 1.0, 0.0]]])
    >>> localmodels.narx_simulate(net, np.ones(4), [0.0], 1, 1)
    array([0.  , 1.  , 1.5 , 1.75])
    >>> localmodels.narx_simulate(net, np.ones(4), [0.0], 1, 1, bounds=[0, 1.6])
    array([0. , 1. , 1.5, 1.6])
    """
    u = _real(u, "u", _PLUGIN)
    y0a = _real(y0, "y0", _PLUGIN)
    vector = y0a.ndim == 1
    u2 = u.reshape(-1, 1) if u.ndim == 1 else u
    y02 = y0a.reshape(-1, 1) if y0a.ndim <= 1 else y0a
    p = y02.shape[1] if y02.ndim == 2 else 1
    m = u2.shape[1] if u2.ndim == 2 else 1
    kind, args = _model_args(model, p)
    if bounds is None:
        b = np.empty((0, 0))
    else:
        b = np.asarray(bounds, dtype=float)
        b = _arg(b.reshape(2, -1) if b.ndim == 1 else b, "bounds", _PLUGIN, _same)
    fixed = [_arg(u2, "u", _PLUGIN, _points), _arg(y02, "y0", _PLUGIN, _points),
             _counts(na, p, "na"), _counts(nb, m, "nb"), _counts(nk, m, "nk"), b]
    y = _core.narx_simulate(fixed + args, kind)
    return y[:, 0] if vector else y
