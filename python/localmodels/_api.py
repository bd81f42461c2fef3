"""The five functions: numpy arrays in the MEX plug-ins' layout, then the core.

Each argument is converted as numpy converts it (``np.asarray(x,
dtype=float)``) and handed to the compiled core as the array the MEX plug-in
would receive for the same problem: float64, Fortran order, the MEX's
dimensions. Where the caller's array already has that layout (C-ordered
points, for instance, are the MEX's n-by-N matrix), it is passed as it is,
without a copy. The core then checks the call as the MEX does, so refusals
carry the MEX's message and identifier.
"""

import operator

import numpy as np

from . import _core
from ._errors import Error

__all__ = ["nearpoly", "netsim", "dmat_inputs", "dmat_params", "gridval"]

# The largest element count the core accepts: a larger array is refused by
# its size before any of its values is read, so it is never copied.
_MAX_COUNT = 2147483647

# Queries or points computed between two checks for Ctrl-C; 0 sizes each
# chunk from the time the last one took (about 0.1 s). Any value gives the
# same results; the tests set it.
_chunk = 0


def _real(x, name, plugin):
    """x as float64 (numpy's conversion); complex input is refused."""
    if np.iscomplexobj(x):
        raise Error(f"{name} must be real; got a complex array.", f"{plugin}:complexInput")
    if isinstance(x, np.ndarray) and x.size > _MAX_COUNT:
        return x
    return np.asarray(x, dtype=float)


# The MEX's view of an argument. Every one returns a view: no copy.

def _same(a):
    """The same dimensions; a vector is a column, a scalar 1-by-1."""
    if a.ndim == 0:
        return a.reshape(1, 1)
    return a.reshape(-1, 1) if a.ndim == 1 else a


def _row(a):
    """The same dimensions; a vector is a row."""
    if a.ndim == 0:
        return a.reshape(1, 1)
    return a.reshape(1, -1) if a.ndim == 1 else a


def _points(a):
    """Points as rows, (N, n), as the MEX's n-by-N points as columns.

    All axes are reversed (a[t, k] is X(k, t)); a vector is N points of one
    input, 1-by-N.
    """
    return _row(a) if a.ndim < 2 else a.T


def _pages(a):
    """A stack of matrices, (c, r, s), as the MEX's r-by-s-by-c pages.

    a[i, r, s] is entry (r, s) of page i; leading axes beyond the first are
    reversed like those of points. A vector is one row.
    """
    if a.ndim < 2:
        return _row(a)
    nd = a.ndim
    return a.transpose((nd - 2, nd - 1) + tuple(range(nd - 3, -1, -1)))


def _laid_out(v):
    """The view v in the MEX's memory order, copied only when it is not."""
    if v.size > _MAX_COUNT:
        # Refused by its size before any value is read: only the dimensions.
        return np.broadcast_to(np.float64(0), v.shape)
    return np.require(v, np.float64, ["F", "A"])


def _arg(x, name, plugin, view):
    return _laid_out(view(_real(x, name, plugin)))


def _option(x, name, plugin):
    """An option; None is the MEX's empty array, the option's default."""
    return np.empty((0, 0)) if x is None else _arg(x, name, plugin, _same)


def _network(plugin, x, x_view, centres, norm_matrices, consequents, normalize,
             validity_type, fuzziness):
    return [
        _arg(x, "x", plugin, x_view),
        _arg(centres, "centres", plugin, _points),
        _arg(norm_matrices, "norm_matrices", plugin, _pages),
        _arg(consequents, "consequents", plugin, _pages),
        _option(normalize, "normalize", plugin),
        _option(validity_type, "validity_type", plugin),
        _option(fuzziness, "fuzziness", plugin),
    ]


def nearpoly(data_x, data_y, query_x, id_par, comb_par=None, cov_init=None, weights=None, *,
             return_coefs=False):
    """Predict a function known through examples by local polynomial fits.

    For every query the examples are ordered by their (weighted) city-block
    distance; constant, linear and quadratic models are fitted on the k
    nearest for every k of each family's range, scored by their
    leave-one-out error, and the best are averaged with weights 1/error.

    Parameters
    ----------
    data_x : array_like, shape (N, n)
        The examples' inputs, one example per row. A 1-D array is N examples
        of one input.
    data_y : array_like, shape (N,)
        The examples' outputs.
    query_x : array_like, shape (M, n)
        The queries, one per row. A 1-D array is M queries of one input.
    id_par : array_like, shape (3,), (3, 2) or (3, 3)
        One row per family (constant, linear, quadratic): a factor f
        (k from floor(3 p f) to ceil(5 p f), p the family's parameter count;
        0 turns the family off; ``[1, 1, 1]`` is a sound default), or
        ``[k_min, k_max]``, or ``[k_min, k_max, window]``.
    comb_par : array_like, optional
        One number G (average the G best fits over all families), or three
        ``[nc, nl, nq]`` (the best of each family). None means 1.
    cov_init : float, optional
        Initial covariance of the recursive least squares. None means 1e6.
    weights : array_like, shape (n,), optional
        Non-negative weights of the inputs in the distance. None means all 1.
    return_coefs : bool, default False
        Also return the coefficients of each query's combined fit.

    Returns
    -------
    y : ndarray, shape (M,)
        The predictions; NaN for a query with a NaN or infinite coordinate.
    coefs : ndarray, shape (M, n_coef)
        Only with ``return_coefs=True``: row q holds the prediction, the
        slopes with respect to each input, then the second-order
        coefficients when the quadratic family takes part.

    Raises
    ------
    localmodels.Error
        For a refused call, with the MEX's message and identifier.

    Notes
    -----
    The distance adds raw coordinate differences: standardise the inputs
    (and the queries with the same shift and factor) first. Runs on the
    threads ``LOCALMODELS_THREADS`` allows, without the GIL, and answers
    Ctrl-C between chunks of queries.

    Examples
    --------
    >>> import numpy as np
    >>> import localmodels
    >>> x = np.linspace(-2, 2, 201)
    >>> y, c = localmodels.nearpoly(x, np.sin(2 * x), [0.5, 1.0], [1, 1, 1],
    ...                             return_coefs=True)
    >>> np.round(y, 3)           # sin(2 x) = 0.841, 0.909
    array([0.841, 0.909])
    >>> np.round(c[:, 1], 2)     # the local slopes; 2 cos(2 x) = 1.08, -0.83
    array([ 1.08, -0.83])
    """
    plugin = "nearpoly"
    names = ["data_x", "data_y", "query_x", "id_par", "comb_par", "cov_init", "weights"]
    given = [data_x, data_y, query_x, id_par, comb_par, cov_init, weights]
    nrhs = max(i + 1 for i, v in enumerate(given) if i < 4 or v is not None)
    args = []
    for i in range(nrhs):
        if given[i] is None:
            # comb_par has no empty form in the MEX; its default is 1.
            args.append(_arg(1.0, names[i], plugin, _same) if i == 4 else np.empty((0, 0)))
        else:
            args.append(_arg(given[i], names[i], plugin, _same))
    return _core.nearpoly(args, 2 if return_coefs else 1, _chunk)


def netsim(x, centres, norm_matrices, consequents, normalize=1, validity_type=1,
           fuzziness=2.0):
    """Output of a local-model network for a batch of points.

    Cluster i has a centre c_i, a symmetric norm matrix A_i and an affine
    local model. With d_i = (x - c_i)' A_i (x - c_i), the validity is
    exp(-d_i) (type 1) or (d_i + 1e-100)^(-1/(m-1)) (type 2, m the
    fuzziness), and the output is the validity-weighted mean of the local
    models (or their weighted sum, without normalising).

    Parameters
    ----------
    x : array_like, shape (N, n)
        The points, one per row. A 1-D array is N points of one input.
    centres : array_like, shape (c, n)
        One centre per row.
    norm_matrices : array_like, shape (c, n, n)
        ``norm_matrices[i, r, s]`` is entry (r, s) of A_i.
    consequents : array_like, shape (c, p, n + 1)
        ``consequents[i, j, k]`` is the slope of output j along input k in
        cluster i; ``k = n`` is the constant term.
    normalize : float, default 1
        Nonzero divides the blend by the validity sum. Truncated toward zero.
    validity_type : float, default 1
        1 Gaussian, 2 fuzzy inverse distance, anything else the distance
        itself. Truncated toward zero.
    fuzziness : float, default 2.0
        m of the fuzzy validity.

    Returns
    -------
    y : ndarray, shape (N, p)
        The outputs, one row per point.

    Raises
    ------
    localmodels.Error
        For a refused call, with the MEX's message and identifier. The
        messages speak of the MEX's X, which is ``x.T``: "X must have n
        rows" means that x must have n columns.

    Notes
    -----
    An option may be None (its default); NaN, infinite or beyond the 32-bit
    range are refused for ``normalize`` and ``validity_type``. Runs on the
    threads ``LOCALMODELS_THREADS`` allows, without the GIL, and answers
    Ctrl-C between chunks of points.

    Examples
    --------
    Two clusters of one input at 0 and 1, local models x and 5:

    >>> import localmodels
    >>> centres = [[0.0], [1.0]]
    >>> norms = [[[1.0]], [[1.0]]]
    >>> models = [[[1.0, 0.0]], [[0.0, 5.0]]]
    >>> localmodels.netsim([[0.5]], centres, norms, models)
    array([[2.75]])
    """
    plugin = "netsim"
    args = _network(plugin, x, _points, centres, norm_matrices, consequents, normalize,
                    validity_type, fuzziness)
    return _core.netsim(args, _chunk)


def dmat_inputs(x, centres, norm_matrices, consequents, normalize=1, validity_type=1,
                fuzziness=2.0):
    """Derivatives of a local-model network's outputs with respect to its inputs.

    Parameters
    ----------
    x : array_like, shape (n,)
        The point (its first n values are read).
    centres, norm_matrices, consequents, normalize, validity_type, fuzziness
        The network and its options, as for `netsim`.

    Returns
    -------
    dx : ndarray, shape (n, p)
        ``dx[k, j]`` is the derivative of output j with respect to input k.
        Exact for symmetric norm matrices and the Gaussian or fuzzy
        validity; zero for the raw distance.
    y : ndarray, shape (p,)
        The outputs at x.

    Raises
    ------
    localmodels.Error
        For a refused call, with the MEX's message and identifier.

    Examples
    --------
    >>> import localmodels
    >>> dx, y = localmodels.dmat_inputs([0.5], [[0.0], [1.0]], [[[1.0]], [[1.0]]],
    ...                                 [[[1.0, 0.0]], [[0.0, 5.0]]])
    >>> dx, y
    (array([[2.75]]), array([2.75]))
    """
    plugin = "dmat_inputs"
    args = _network(plugin, x, _same, centres, norm_matrices, consequents, normalize,
                    validity_type, fuzziness)
    return _core.dmat_inputs(args)


def _selection(selection):
    """The selection byte, or -1 for None (all parameters)."""
    if selection is None:
        return -1
    try:
        value = operator.index(selection)
    except TypeError:
        raise Error("selection must be an integer from 0 to 255, such as 15; got "
                    f"{type(selection).__name__}.", "dmat_params:selectionNotInteger") from None
    if not 0 <= value <= 255:
        raise Error(f"selection must be an integer from 0 to 255; got {value}.",
                    "dmat_params:selectionOutOfRange")
    return value


def dmat_params(x, centres, norm_matrices, consequents, normalize=1, validity_type=1,
                fuzziness=2.0, selection=15):
    """Derivatives of a local-model network's outputs with respect to its parameters.

    Parameters
    ----------
    x : array_like, shape (n,)
        The point (its first n values are read).
    centres, norm_matrices, consequents, normalize, validity_type, fuzziness
        The network and its options, as for `netsim`.
    selection : int, default 15
        The parameter groups, a sum of bits: 1 the centres (n c rows), 2 the
        norm-matrix entries (n n c rows), 4 the consequents ((n + 1) p c
        rows), 8 makes the offset rows carry their derivatives (else they
        hold 0). An integer from 0 to 255; None means 15.

    Returns
    -------
    dp : ndarray, shape (rows, p)
        One row per selected parameter, one column per output: the blocks
        centres, norm matrices, consequents, each in the MEX's storage order
        of its array (centre k of cluster i at row k + i n; entry (r, s) of
        A_i at r + s n + i n n; consequent (j, k, i) at j + k p + i p (n+1)).
    y : ndarray, shape (p,)
        The outputs at x (zeros when no row is selected).

    Raises
    ------
    localmodels.Error
        For a refused call, with the MEX's message and identifier.

    Examples
    --------
    >>> import localmodels
    >>> dp, y = localmodels.dmat_params([0.5], [[0.0], [1.0]], [[[1.0]], [[1.0]]],
    ...                                 [[[1.0, 0.0]], [[0.0, 5.0]]])
    >>> dp.shape   # 2 centre, 2 norm and 4 consequent rows, 1 output
    (8, 1)
    """
    plugin = "dmat_params"
    byte = _selection(selection)
    args = _network(plugin, x, _same, centres, norm_matrices, consequents, normalize,
                    validity_type, fuzziness)
    return _core.dmat_params(args, byte)


def gridval(points, table, *breakpoints):
    """Multilinear interpolation in a d-dimensional lookup table.

    Parameters
    ----------
    points : array_like, shape (N, d)
        The query points, one per row. A 1-D array is N points of one
        coordinate.
    table : array_like, shape (M1, ..., Md)
        ``table[i1, ..., id]`` is the value at the node
        ``(b1[i1], ..., bd[id])``.
    *breakpoints : array_like, each of shape (Mk,)
        The breakpoints of each dimension, non-decreasing (repeats allowed).

    Returns
    -------
    values : ndarray, shape (N,)
        The interpolated values. Coordinates outside a breakpoint range are
        held at its end; a NaN coordinate gives NaN.

    Raises
    ------
    localmodels.Error
        For a refused call, with the MEX's message and identifier. The
        messages speak of the MEX's queries, which are ``points.T``.

    Notes
    -----
    Runs on the threads ``LOCALMODELS_THREADS`` allows, without the GIL, and
    answers Ctrl-C between chunks of points.

    Examples
    --------
    >>> import localmodels
    >>> table = [[10, 40], [20, 50], [30, 60]]   # 3 breakpoints by 2
    >>> localmodels.gridval([[1.5, 0.25], [-1, 5], [2, 0]], table, [0, 1, 2], [0, 1])
    array([32.5, 40. , 30. ])
    """
    plugin = "gridval"
    args = [_arg(points, "points", plugin, _points), _arg(table, "table", plugin, _same)]
    for k, b in enumerate(breakpoints):
        args.append(_arg(b, f"breakpoints of dimension {k + 1}", plugin, _row))
    return _core.gridval(args, _chunk)
