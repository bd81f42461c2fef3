"""NARX orders and regressors.

The regressor at sample t (0-based) lists, in this order, the lags of each
output, most recent first, then the lags of each input after its delay::

    y_1(t-1), ..., y_1(t-na_1), ..., y_p(t-na_p),
    u_1(t-nk_1), ..., u_1(t-nk_1-nb_1+1), ..., u_m(t-nk_m-nb_m+1)

Samples 0 .. lag-1 of a record have no full regressor: they are the initial
outputs of a simulation, and they give no rows to a fit.
"""

from dataclasses import dataclass

import numpy as np

__all__ = ["Orders", "narx_regressors"]


def _counts(v, length, name, least):
    a = np.atleast_1d(np.asarray(v))
    if a.ndim != 1 or a.dtype.kind not in "iuf" or not np.all(np.isfinite(a)) \
            or np.any(a != np.round(a)) or np.any(a < least):
        raise ValueError(f"{name} must hold integers of at least {least}; got {v!r}.")
    if a.size == 1 and length > 1:
        a = np.repeat(a, length)
    if a.size != length:
        raise ValueError(f"{name} must have {length} entries (one per signal); got {a.size}.")
    return tuple(int(k) for k in a)


@dataclass(frozen=True)
class Orders:
    """Lags of a NARX model: na per output, nb and nk per input."""

    na: tuple
    nb: tuple
    nk: tuple

    @classmethod
    def of(cls, na, nb, nk, p, m):
        """Orders for p outputs and m inputs; a scalar applies to every signal."""
        return cls(_counts(na, p, "na", 0), _counts(nb, m, "nb", 0), _counts(nk, m, "nk", 0))

    @property
    def p(self):
        return len(self.na)

    @property
    def m(self):
        return len(self.nb)

    @property
    def n(self):
        """The regressor's length."""
        return sum(self.na) + sum(self.nb)

    @property
    def lag(self):
        """The first sample with a full regressor."""
        inputs = [k + b - 1 for k, b in zip(self.nk, self.nb) if b > 0]
        return max([0, *self.na, *inputs])

    def names(self):
        """The regressor's entries as text, e.g. ``'y1(t-1)'``, ``'u2(t-3)'``."""
        out = [f"y{i + 1}(t-{j})" for i, a in enumerate(self.na) for j in range(1, a + 1)]
        for i, (b, k) in enumerate(zip(self.nb, self.nk)):
            out += [f"u{i + 1}(t)" if k + j == 0 else f"u{i + 1}(t-{k + j})" for j in range(b)]
        return out


def _signal(a, name, samples=None):
    a = np.asarray(a, dtype=float)
    if a.ndim == 1:
        a = a[:, None]
    if a.ndim != 2:
        raise ValueError(f"{name} must be (samples,) or (samples, signals); got shape {a.shape}.")
    if samples is not None and a.shape[0] != samples:
        raise ValueError(f"{name} must have {samples} samples as the other record; "
                         f"got {a.shape[0]}.")
    return a


def several(v):
    """Whether v lists several experiments: a list or tuple of numpy arrays
    (a list of numbers or of lists is one record)."""
    return isinstance(v, (list, tuple)) and len(v) > 0 and all(
        isinstance(a, np.ndarray) for a in v)


def records(u, y):
    """The experiments of (u, y) as lists of (T, m) and (T, p) arrays.

    A list or tuple of arrays in u (and in y) is several experiments."""
    many = several(u)
    if many != several(y):
        raise ValueError("u and y must both be arrays or both be lists of experiments.")
    us, ys = (list(u), list(y)) if many else ([u], [y])
    if len(us) != len(ys) or not us:
        raise ValueError(f"u and y must list the same experiments; got {len(us)} and {len(ys)}.")
    out_u, out_y = [], []
    for k, (a, b) in enumerate(zip(us, ys)):
        b = _signal(b, f"y[{k}]" if many else "y")
        out_u.append(_signal(a, f"u[{k}]" if many else "u", b.shape[0]))
        out_y.append(b)
    m, p = out_u[0].shape[1], out_y[0].shape[1]
    if any(a.shape[1] != m for a in out_u) or any(b.shape[1] != p for b in out_y):
        raise ValueError("every experiment must have the same inputs and outputs.")
    return out_u, out_y, many


def regressor_block(u, y, orders, first, last):
    """Rows t in [first, last) of the regressor of one experiment."""
    t = np.arange(first, last)
    cols = [y[t - j, i] for i, a in enumerate(orders.na) for j in range(1, a + 1)]
    cols += [u[t - k - j, i] for i, (b, k) in enumerate(zip(orders.nb, orders.nk))
             for j in range(b)]
    return np.column_stack(cols) if cols else np.empty((t.size, 0))


def narx_regressors(u, y, na, nb, nk=1):
    """Regressors and targets of NARX orders from input/output records.

    Parameters
    ----------
    u : array_like, shape (T, m) or (T,); or a list of such ndarrays
        The inputs; a list holds several experiments, whose boundaries no
        regressor crosses.
    y : array_like, shape (T, p) or (T,); or a list of such ndarrays
        The outputs, as u.
    na : int or sequence of p ints
        Lags of each output.
    nb, nk : int or sequence of m ints
        Lags and delays of each input (nk = 0: u(t) itself).

    Returns
    -------
    phi : ndarray, shape (rows, n)
        A regressor per row (see the module's help for the order).
    target : ndarray, shape (rows, p)
        The outputs the rows predict.

    Examples
    --------
    >>> import numpy as np
    >>> phi, target = narx_regressors(np.arange(5.0), 10 + np.arange(5.0), 2, 1)
    >>> phi
    array([[11., 10.,  1.],
           [12., 11.,  2.],
           [13., 12.,  3.]])
    >>> target.ravel()
    array([12., 13., 14.])
    """
    us, ys, _ = records(u, y)
    orders = Orders.of(na, nb, nk, ys[0].shape[1], us[0].shape[1])
    return stacked(us, ys, orders)


def stacked(us, ys, orders):
    """The regressors and targets of every experiment, one after another."""
    phis, targets = [], []
    for a, b in zip(us, ys):
        first = min(orders.lag, b.shape[0])
        phis.append(regressor_block(a, b, orders, first, b.shape[0]))
        targets.append(b[first:])
    return np.concatenate(phis), np.concatenate(targets)
