"""A linear model of a NARX model at an operating point."""

import numpy as np

from .. import _api

__all__ = ["lm_linearize"]


def _operating_regressor(model, u0, y0):
    o = model.orders
    u0 = np.broadcast_to(np.asarray(u0, dtype=float).ravel(), (o.m,))
    y0 = np.broadcast_to(np.asarray(y0, dtype=float).ravel(), (o.p,))
    parts = [np.full(a, y0[i]) for i, a in enumerate(o.na)]
    parts += [np.full(b, u0[i]) for i, b in enumerate(o.nb)]
    return np.concatenate(parts) if parts else np.empty(0)


def _gradient(model, phi):
    """(p, n) derivatives of the one-step outputs at phi, and the outputs."""
    if model.kind in ("arx", "network"):
        return _api.dmat_inputs(phi, model.network)
    # nearpoly and tables: central differences over a thousandth of each
    # regressor's range (tables are linear inside a cell).
    span = model.regressor_range[1] - model.regressor_range[0]
    h = 1e-3 * np.where(span > 0, span, 1.0)
    n = phi.size
    steps = np.vstack([phi + np.diag(h), phi - np.diag(h), phi[None, :]])
    out = model.one_step(steps)
    grad = (out[:n] - out[n:2 * n]) / (2 * h[:, None])
    return grad.T, out[-1]


def lm_linearize(model, u0=None, y0=None, *, regressor=None):
    """The linear ARX and state-space model of a NARX model at a point.

    Parameters
    ----------
    model : Model
    u0, y0 : array_like, shape (m,) and (p,)
        The operating point: every lag of each input at u0 and of each
        output at y0 (an equilibrium if y0 is the model's output there).
    regressor : array_like, shape (n,), optional
        Any operating regressor instead of (u0, y0).

    Returns
    -------
    dict
        'regressor', 'y' (the model's output there), 'gradient' (p, n), and
        the ARX form y(t) ≈ A·[output lags] + B·[input lags] + offset:
        'A' (p, sum na), 'B' (p, sum nb), 'offset' (p,); and the
        state-space form in deviations from the point, z(t+1) = a z(t) +
        b du(t), dy(t) = c z(t) + d du(t) (exact for an affine model when the
        point is an equilibrium): 'a', 'b', 'c', 'd', with z the
        output lags y_i(t-1..t-na_i) followed by the input lags
        u_j(t-1..t-nk_j-nb_j+1).
    """
    o = model.orders
    if regressor is None:
        if u0 is None or y0 is None:
            raise ValueError("give the operating point as u0 and y0, or as regressor.")
        phi = _operating_regressor(model, u0, y0)
    else:
        phi = np.asarray(regressor, dtype=float).ravel()
        if phi.size != o.n:
            raise ValueError(f"regressor must have {o.n} entries; got {phi.size}.")
    grad, y = _gradient(model, phi)
    na = sum(o.na)
    out = {"regressor": phi, "y": y, "gradient": grad, "A": grad[:, :na], "B": grad[:, na:],
           "offset": y - grad @ phi}
    out.update(_state_space(o, grad))
    return out


def _state_space(o, grad):
    """The realisation of the linear ARX model with the gradient's coefficients."""
    y_len = [a for a in o.na]
    u_len = [k + b - 1 if b > 0 else 0 for k, b in zip(o.nk, o.nb)]
    ny, nz = sum(y_len), sum(y_len) + sum(u_len)
    c = np.zeros((o.p, nz))
    d = np.zeros((o.p, o.m))
    col = 0
    for i, a in enumerate(o.na):  # y_i(t-l) is state y-block i, entry l-1
        base = sum(y_len[:i])
        c[:, base:base + a] = grad[:, col:col + a]
        col += a
    for j, (b, k) in enumerate(zip(o.nb, o.nk)):  # u_j(t-k-l) for l < b
        base = ny + sum(u_len[:j])
        for l in range(b):
            lag = k + l
            if lag == 0:
                d[:, j] += grad[:, col]
            else:
                c[:, base + lag - 1] += grad[:, col]
            col += 1
    a = np.zeros((nz, nz))
    bm = np.zeros((nz, o.m))
    for i, n_i in enumerate(y_len):
        base = sum(y_len[:i])
        if n_i == 0:
            continue
        a[base, :] = c[i]          # y_i(t) becomes the newest lag
        bm[base, :] = d[i]
        for l in range(1, n_i):
            a[base + l, base + l - 1] = 1.0
    for j, n_j in enumerate(u_len):
        base = ny + sum(u_len[:j])
        if n_j == 0:
            continue
        bm[base, j] = 1.0          # u_j(t) becomes the newest lag
        for l in range(1, n_j):
            a[base + l, base + l - 1] = 1.0
    return {"a": a, "b": bm, "c": c, "d": d}
