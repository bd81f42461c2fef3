"""lmn_train: a local-model network trained on samples, in numpy's
orientation (a row per sample), through the same core and checks as the
MEX plug-in lmn_train.
"""

import numpy as np

from . import _core
from ._api import _arg, _points, _real
from ._errors import Error
from ._network import Network

__all__ = ["lmn_train"]


def _field(value, name):
    """An option as the MEX's struct field would hold it: 1-by-1, or 1-by-k."""
    a = _real(value, name, "lmn_train")
    return np.require(a.reshape(1, -1) if a.ndim < 2 else a, np.float64, ["F", "A"])


def _indices(value, name):
    """0-based input indices as a 1-by-k row; an integer is one index."""
    a = np.asarray(value)
    if a.dtype == bool:
        raise Error(f"{name} must hold input indices, not booleans.",
                    f"lmn_train:bad{name.title().replace('_', '')}")
    return _field(a, name)


def lmn_train(x, y, *, max_models=10, min_samples=None, width_factor=1 / 3,
              regularization=1e-9, x_val=None, y_val=None, partition_inputs=None,
              regression_inputs=None, lm_iterations=0, patience=1, progress=None):
    """Train a local-model network on samples by tree construction.

    Starts from one global affine model on the samples' bounding box; each
    step halves the cell of the model with the largest validity-weighted
    squared error along the partition input that gives the best criterion
    (AICc on the training samples, or the RMSE on ``x_val``, ``y_val``), all
    local models refitted by weighted least squares with a relative ridge.
    Validities are normalised Gaussians centred in the cells, with standard
    deviation ``width_factor`` times each cell's extent (a lone model gets a
    zero norm matrix: it is valid everywhere, also far outside the data, where
    a Gaussian would underflow). Results are those
    of the MEX plug-in lmn_train, bit for bit, for any thread count.

    Parameters
    ----------
    x : array_like, shape (N, n)
        Samples, a row each.
    y : array_like, shape (N,) or (N, p)
    max_models : int
        Most local models.
    min_samples : float, optional
        Sum of validities each model keeps; default the number of regression
        inputs plus 3.
    width_factor, regularization : float
    x_val : array_like, shape (Nv, n), optional
    y_val : array_like, shape (Nv,) or (Nv, p), optional
        Validation samples; both or neither.
    partition_inputs, regression_inputs : sequence of int, optional
        0-based inputs the cells split and the local models regress on;
        default all.
    lm_iterations : int
        Levenberg-Marquardt trials refining centres, widths and local models
        after the tree; a trial is kept only when it lowers the training SSE.
    patience : int
        Steps without improvement before stopping.
    progress : callable, optional
        ``progress(step, models, criterion)`` after each step; returning
        False stops the training (``info['interrupted']``). Ctrl-C stops it
        and raises KeyboardInterrupt.

    Returns
    -------
    network : Network
        Normalised Gaussian validities; ``localmodels.netsim`` of it gives
        the training's fitted values bit for bit.
    info : dict
        'criterion' and 'models' (one entry per step), 'lower' and 'upper'
        ((c, n): the cells' corners), 'sse' (training sum of squared errors
        of the network) and 'interrupted'.

    Examples
    --------
    >>> import numpy as np, localmodels
    >>> x = np.linspace(0, 1, 101)[:, None]
    >>> net, info = localmodels.lmn_train(x, np.abs(x[:, 0] - 0.5), max_models=2)
    >>> info['lower'].ravel().tolist(), info['upper'].ravel().tolist()
    ([0.0, 0.5], [0.5, 1.0])
    >>> info['models'].tolist()
    [1, 2]
    """
    if progress is not None and not callable(progress):
        raise TypeError("progress must be callable")
    args = [_arg(x, "x", "lmn_train", _points), _arg(y, "y", "lmn_train", _points)]
    options = {}
    scalars = {"max_models": max_models, "min_samples": min_samples,
               "width_factor": width_factor, "regularization": regularization,
               "lm_iterations": lm_iterations, "patience": patience}
    for name, value in scalars.items():
        if value is not None:
            options[name] = _field(value, name)
    if x_val is not None:
        options["x_val"] = _arg(x_val, "x_val", "lmn_train", _points)
    if y_val is not None:
        options["y_val"] = _arg(y_val, "y_val", "lmn_train", _points)
    for name, value in (("partition_inputs", partition_inputs),
                        ("regression_inputs", regression_inputs)):
        if value is not None:
            options[name] = _indices(value, name)
    centres, norm_pages, consequent_pages, info = _core.lmn_train(args, options, progress)
    # The core's pages come column by column; Network holds them row-major.
    network = Network(centres, norm_pages.swapaxes(1, 2), consequent_pages.swapaxes(1, 2),
                      normalize=True, validity="gaussian")
    return network, info
