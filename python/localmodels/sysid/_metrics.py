"""How close a simulation or prediction comes to the measured outputs."""

import numpy as np

from ._orders import _signal, several

__all__ = ["lm_compare"]


def lm_compare(y, y_model, *, plot=False, labels=None):
    """RMSE, normalised RMSE, fit and R² of model outputs against measured ones.

    Leading rows where the model gives no output (NaN in every column, as
    the first rows of `lm_predict`) are left out; a NaN later counts.

    Parameters
    ----------
    y, y_model : array_like, shape (T, p) or (T,); or lists of experiments
        Measured and model outputs (lists are joined).
    plot : bool
        Draw the outputs against each other (matplotlib); the figure is
        returned under 'figure'.
    labels : sequence of str, optional
        Output names for the plot.

    Returns
    -------
    dict of ndarray, each of shape (p,)
        'rmse': sqrt(mean((y - ŷ)²)); 'nrmse': rmse / std(y);
        'fit': 100 (1 - ‖y - ŷ‖ / ‖y - ȳ‖) in percent; 'r2': 1 - ‖y - ŷ‖² /
        ‖y - ȳ‖²; and 'samples', the rows compared.

    Examples
    --------
    >>> r = lm_compare([1.0, 2.0, 3.0, 4.0], [1.0, 2.0, 3.0, 5.0])
    >>> float(r['rmse'][0]), float(r['fit'][0]), float(r['r2'][0])
    (0.5, 55.27864045000421, 0.8)
    """
    if several(y):
        pairs = [_rows(a, b) for a, b in zip(y, y_model)]
        y = np.concatenate([a for a, _ in pairs])
        y_model = np.concatenate([b for _, b in pairs])
    else:
        y, y_model = _rows(y, y_model)
    e = y - y_model
    rmse = np.sqrt(np.mean(e ** 2, axis=0))
    spread = np.linalg.norm(y - y.mean(axis=0), axis=0)
    err = np.linalg.norm(e, axis=0)
    with np.errstate(divide="ignore", invalid="ignore"):
        out = {"rmse": rmse, "nrmse": rmse / y.std(axis=0),
               "fit": 100.0 * (1.0 - err / spread), "r2": 1.0 - err ** 2 / spread ** 2,
               "samples": np.full(y.shape[1], y.shape[0])}
    if plot:
        out["figure"] = _plot(y, y_model, out, labels)
    return out


def _rows(y, y_model):
    y = _signal(y, "y")
    y_model = _signal(y_model, "y_model", y.shape[0])
    if y_model.shape != y.shape:
        raise ValueError(f"y_model must have shape {y.shape} as y; got {y_model.shape}.")
    defined = ~np.all(np.isnan(y_model), axis=1)
    first = int(np.argmax(defined)) if defined.any() else y.shape[0]
    return y[first:], y_model[first:]


def _plot(y, y_model, r, labels):
    import matplotlib.pyplot as plt
    p = y.shape[1]
    fig, axes = plt.subplots(p, 1, figsize=(8, 2.5 * p), squeeze=False)
    for j, ax in enumerate(axes[:, 0]):
        name = labels[j] if labels else f"y{j + 1}"
        ax.plot(y[:, j], "k", lw=1, label="measured")
        ax.plot(y_model[:, j], "r", lw=1, label=f"model (fit {r['fit'][j]:.1f} %)")
        ax.set_ylabel(name)
        ax.legend(loc="upper right")
    axes[-1, 0].set_xlabel("sample")
    fig.tight_layout()
    return fig
