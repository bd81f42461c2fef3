"""The five functions: numpy arrays in the MEX plug-ins' layout, then the core.

Each argument is converted as numpy converts it (``np.asarray(x,
dtype=float)``) and handed to the compiled core as the array the MEX plug-in
would receive for the same problem: float64, Fortran order, the MEX's
dimensions. Where the caller's array already has that layout (C-ordered
points, for instance, are the MEX's n-by-N matrix), it is passed as it is,
without a copy. The network plug-ins' arrays are first checked against each
other here, by their numpy shapes; the core then checks the call as the MEX
does, so its refusals carry the MEX's message and identifier.
"""

import operator

import numpy as np

from . import _core
from ._errors import Error
from ._network import _VALIDITIES, Network

__all__ = ["nearpoly", "netsim", "dmat_inputs", "dmat_params", "gridval"]

# The largest element count the core accepts: a larger array is refused by
# its size before any of its values is read, so it is never copied.
_MAX_COUNT = 2147483647

# One-point calls cost little in the core, so the checks and conversions
# here take the cheapest test first: an ndarray of float64 already in the
# core's layout, or a Python number, goes through without numpy's general
# conversion machinery.
_F64 = np.dtype(np.float64)
_EMPTY = np.empty((0, 0))
_EMPTY.flags.writeable = False


def _real(x, name, plugin):
    """x as float64 (numpy's conversion); complex input is refused."""
    if type(x) is np.ndarray and x.dtype == _F64:
        return x
    a = x if isinstance(x, np.ndarray) else np.asarray(x)
    if a.dtype.kind == "c":
        raise Error(f"{name} must be real; got a complex array.", f"{plugin}:complexInput")
    if a.size > _MAX_COUNT:
        return a
    return np.asarray(a, dtype=float)


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
    if v.dtype == _F64:
        flags = v.flags
        if flags.f_contiguous and flags.aligned:
            return v
    if v.size > _MAX_COUNT:
        # Refused by its size before any value is read: only the dimensions.
        return np.broadcast_to(np.float64(0), v.shape)
    return np.array(v, dtype=np.float64, order="F")  # a new array, aligned


def _arg(x, name, plugin, view):
    return _laid_out(view(_real(x, name, plugin)))


def _option(x, name, plugin):
    """An option; None is the MEX's empty array, the option's default."""
    if x is None:
        return _EMPTY
    if type(x) is float or type(x) is int:
        return np.array(((x,),), dtype=float)
    return _arg(x, name, plugin, _same)


def _threads(threads, plugin):
    """The core's thread request: 0 the default, -1 all cores, else a count."""
    if threads is None:
        return 0
    try:
        value = operator.index(threads)
    except TypeError:
        raise Error("threads must be None, -1 or a positive integer; got "
                    f"{type(threads).__name__}.", f"{plugin}:badThreads") from None
    if value != -1 and value < 1:
        raise Error(f"threads must be None, -1 or a positive integer; got {value}.",
                    f"{plugin}:badThreads")
    return min(value, 1024)  # the core's ceiling; it holds any count to the cores


def _form(dims):
    return "(" + ", ".join(map(str, dims)) + ("," if len(dims) == 1 else "") + ")"


def _refuse_shape(plugin, name, reason, form, expected, got, hint=""):
    said = form if expected is None else f"{form} = {_form(expected)}"
    raise Error(f"{name} must have shape {said}; got {_form(got)}.{hint}", f"{plugin}:{reason}")


def _network_shapes(plugin, C, A, T):
    """n, after checking centres (c, n), norm_matrices (c, n, n), consequents (c, p, n + 1)."""
    if C.ndim != 2:
        _refuse_shape(plugin, "centres", "centresShape", "(c, n)", None, C.shape)
    c, n = C.shape
    if A.shape != (c, n, n):
        _refuse_shape(plugin, "norm_matrices", "normMatricesShape", "(c, n, n)", (c, n, n),
                      A.shape)
    if T.ndim != 3 or T.shape[0] != c or T.shape[2] != n + 1:
        _refuse_shape(plugin, "consequents", "consequentsShape", "(c, p, n + 1)",
                      (c, "p", n + 1), T.shape)
    return n


def _x_shape(plugin, X, form, n):
    """netsim's points (N, n) (a vector for n = 1; leading axes all points),
    one point (n,), or a batch of points (N, n)."""
    if form == "point":
        if X.shape != (n,):
            hint = (" For N points, pass batch=True." if X.ndim == 2 and X.shape[1] == n
                    else "")
            _refuse_shape(plugin, "x", "xShape", "(n,)", (n,), X.shape, hint)
        return
    fits = (X.ndim == 1 and n == 1) if X.ndim < 2 else X.shape[-1] == n
    if form == "batch":
        fits = X.ndim == 2 and X.shape[1] == n
    if not fits:
        _refuse_shape(plugin, "x", "xShape", "(N, n)", ("N", n), X.shape)


def _resolve(plugin, centres, norm_matrices, consequents, normalize, validity, fuzziness):
    """The network's arrays and options, from a `Network` in place of centres
    or as given."""
    if isinstance(centres, Network):
        if any(v is not None for v in (norm_matrices, consequents, normalize, validity,
                                       fuzziness)):
            raise Error(f"{plugin} takes a Network alone, without norm_matrices, consequents "
                        "or options.", f"{plugin}:networkAndArrays")
        net = centres
        return (net.centres, net.norm_matrices, net.consequents, net.normalize, net.validity,
                net.fuzziness)
    if norm_matrices is None or consequents is None:
        raise Error(f"{plugin} needs centres, norm_matrices and consequents, or a Network "
                    "in place of centres.", f"{plugin}:missingArrays")
    return centres, norm_matrices, consequents, normalize, validity, fuzziness


def _option_words(plugin, normalize, validity):
    """normalize True/False and validity 'gaussian'/'fuzzy'/'distance' as the
    plug-ins' numbers; numbers stay as they are."""
    if isinstance(normalize, (bool, np.bool_)):
        normalize = 1.0 if normalize else 0.0
    if isinstance(validity, str):
        if validity not in _VALIDITIES:
            raise Error("validity must be 'gaussian', 'fuzzy' or 'distance' (or the plug-ins' "
                        f"code 1, 2 or 3); got {validity!r}.", f"{plugin}:badValidity")
        validity = _VALIDITIES.index(validity) + 1
    return normalize, validity


def _network_values(plugin, x, form, centres, norm_matrices, consequents, normalize, validity,
                    fuzziness):
    """x, the network's arrays and its three options as arrays, every shape
    checked; nothing laid out yet."""
    centres, norm_matrices, consequents, normalize, validity, fuzziness = _resolve(
        plugin, centres, norm_matrices, consequents, normalize, validity, fuzziness)
    normalize, validity = _option_words(plugin, normalize, validity)
    X = _real(x, "x", plugin)
    C = _real(centres, "centres", plugin)
    A = _real(norm_matrices, "norm_matrices", plugin)
    T = _real(consequents, "consequents", plugin)
    options = [_option(normalize, "normalize", plugin), _option(validity, "validity", plugin),
               _option(fuzziness, "fuzziness", plugin)]
    _x_shape(plugin, X, form, _network_shapes(plugin, C, A, T))
    return X, C, A, T, options


def _network(plugin, x, form, *network):
    """The seven arrays of a network plug-in in the MEX's layout, every shape
    checked first."""
    X, C, A, T, options = _network_values(plugin, x, form, *network)
    view = _same if form == "point" else _points
    return [_laid_out(view(X)), _laid_out(_points(C)), _laid_out(_pages(A)),
            _laid_out(_pages(T))] + options


def nearpoly(data_x, data_y, query_x, id_par, comb_par=None, cov_init=None, weights=None, *,
             return_coefs=False, threads=None):
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
    threads : int, optional
        As scipy's ``workers``: None the default (``LOCALMODELS_THREADS``,
        else as many as the call can use), 1 serial, -1 all cores, k at most
        k; always held to the cores and the work. Changes no bit.

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
    (and the queries with the same shift and factor) first. Runs without
    the GIL and answers Ctrl-C between chunks of queries.

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
    return _core.nearpoly(args, 2 if return_coefs else 1, _threads(threads, plugin))


def netsim(x, centres, norm_matrices=None, consequents=None, normalize=None, validity=None,
           fuzziness=None, *, threads=None):
    """Output of a local-model network for a batch of points.

    Cluster i has a centre c_i, a symmetric norm matrix A_i and an affine
    local model. With d_i = (x - c_i)' A_i (x - c_i), the validity is
    exp(-d_i) (Gaussian) or (d_i + 1e-100)^(-1/(m-1)) (fuzzy, m the
    fuzziness), and the output is the validity-weighted mean of the local
    models (or their weighted sum, without normalising).

    Parameters
    ----------
    x : array_like, shape (N, n)
        The points, one per row. A 1-D array is N points of one input.
    centres : array_like, shape (c, n), or Network
        One centre per row; or a `localmodels.Network`, which then stands
        for centres, norm_matrices, consequents and the options (leave them
        out).
    norm_matrices : array_like, shape (c, n, n)
        ``norm_matrices[i, r, s]`` is entry (r, s) of A_i; only the diagonal
        and below are read.
    consequents : array_like, shape (c, p, n + 1)
        ``consequents[i, j, k]`` is the slope of output j along input k in
        cluster i; ``k = n`` is the constant term.
    normalize : bool, default True
        Divide the blend by the validity sum. A number is read as the
        plug-ins read it (nonzero after truncation toward zero).
    validity : {'gaussian', 'fuzzy', 'distance'}, default 'gaussian'
        exp(-d), (d + 1e-100)^(-1/(m-1)) or d itself; or the plug-ins' code
        1, 2 or anything else (truncated toward zero).
    fuzziness : float, default 2.0
        m of the fuzzy validity.
    threads : int, optional
        As scipy's ``workers``: None the default (``LOCALMODELS_THREADS``,
        else as many as the call can use), 1 serial, -1 all cores, k at most
        k; always held to the cores and the work. Changes no bit.

    Returns
    -------
    y : ndarray, shape (N, p)
        The outputs, one row per point.

    Raises
    ------
    localmodels.Error
        For a refused call: an array of the wrong shape (the message names
        it, with the shapes expected and given), or the MEX's message and
        identifier.

    Notes
    -----
    An option may be None (its default); NaN, infinite or beyond the 32-bit
    range are refused for ``normalize`` and ``validity``. Runs without the
    GIL and answers Ctrl-C between chunks of points.

    Examples
    --------
    Two clusters of one input at 0 and 1, local models x and 5:

    >>> import localmodels
    >>> centres = [[0.0], [1.0]]
    >>> norms = [[[1.0]], [[1.0]]]
    >>> models = [[[1.0, 0.0]], [[0.0, 5.0]]]
    >>> localmodels.netsim([[0.5]], centres, norms, models)
    array([[2.75]])
    >>> net = localmodels.Network(centres, norms, models, validity="fuzzy")
    >>> localmodels.netsim([[0.25]], net)
    array([[0.725]])
    """
    plugin = "netsim"
    args = _network(plugin, x, "points", centres, norm_matrices, consequents, normalize,
                    validity, fuzziness)
    return _core.netsim(args, _threads(threads, plugin))


def _orient(result, mex_orientation):
    """The core's Jacobians (…, p, k); the MEX's (…, k, p) as a view."""
    d, y = result
    return (np.swapaxes(d, -1, -2) if mex_orientation else d), y


def dmat_inputs(x, centres, norm_matrices=None, consequents=None, normalize=None,
                validity=None, fuzziness=None, *, batch=False, mex_orientation=False,
                threads=None):
    """Jacobian of a local-model network's outputs with respect to its inputs.

    Parameters
    ----------
    x : array_like, shape (n,), or (N, n) with ``batch=True``
        The point, or N points, one per row.
    centres, norm_matrices, consequents, normalize, validity, fuzziness
        The network (or a `localmodels.Network` in place of centres) and its
        options, as for `netsim`.
    batch : bool, default False
        x holds N points; every result gains a leading axis of N, each
        point's entries bit for bit those of a call at that point alone.
    mex_orientation : bool, default False
        Return the MEX's (n, p) (or (N, n, p)) instead: the transpose.
    threads : int, optional
        For a batch, as for `netsim`. Changes no bit.

    Returns
    -------
    dx : ndarray, shape (p, n), or (N, p, n)
        ``dx[j, k]`` is the derivative of output j with respect to input k
        (outputs by inputs, as scipy's Jacobians). Exact for symmetric norm
        matrices and the Gaussian or fuzzy validity; zero for the raw
        distance.
    y : ndarray, shape (p,), or (N, p)
        The outputs at x.

    Raises
    ------
    localmodels.Error
        For a refused call, as for `netsim`; x of another shape than (n,)
        (or (N, n) with ``batch=True``) is refused.

    Examples
    --------
    >>> import localmodels
    >>> C, A, T = [[0.0], [1.0]], [[[1.0]], [[1.0]]], [[[1.0, 0.0]], [[0.0, 5.0]]]
    >>> localmodels.dmat_inputs([0.5], C, A, T)
    (array([[2.75]]), array([2.75]))
    >>> dx, y = localmodels.dmat_inputs([[0.0], [0.5], [1.0]], C, A, T, batch=True)
    >>> dx.shape, y.shape
    ((3, 1, 1), (3, 1))
    """
    plugin = "dmat_inputs"
    args = _network(plugin, x, "batch" if batch else "point", centres, norm_matrices,
                    consequents, normalize, validity, fuzziness)
    return _orient(_core.dmat_inputs(args, bool(batch), _threads(threads, plugin)),
                   mex_orientation)


# The parameter groups of dmat_params' selection and their bits.
_GROUPS = {"centres": 1, "norm_matrices": 2, "consequents": 4, "offsets": 8}


def _selection(selection):
    """The selection byte, or -1 for None (all parameters)."""
    if selection is None:
        return -1
    if isinstance(selection, str):
        selection = (selection,)
    if isinstance(selection, (set, frozenset, list, tuple)) and all(
            isinstance(g, str) for g in selection):
        unknown = sorted(set(selection) - set(_GROUPS))
        if unknown:
            raise Error(f"selection names the groups {sorted(_GROUPS)}; got {unknown[0]!r}.",
                        "dmat_params:selectionUnknownGroup")
        return sum(_GROUPS[g] for g in set(selection))
    try:
        value = operator.index(selection)
    except TypeError:
        raise Error("selection must be a set of parameter groups, such as {'centres', "
                    "'consequents'}, or an integer from 0 to 255, such as 15; got "
                    f"{type(selection).__name__}.", "dmat_params:selectionNotInteger") from None
    if not 0 <= value <= 255:
        raise Error(f"selection must be an integer from 0 to 255; got {value}.",
                    "dmat_params:selectionOutOfRange")
    return value


def dmat_params(x, centres, norm_matrices=None, consequents=None, normalize=None,
                validity=None, fuzziness=None, selection=None, *, batch=False,
                mex_orientation=False, threads=None):
    """Jacobian of a local-model network's outputs with respect to its parameters.

    Parameters
    ----------
    x : array_like, shape (n,), or (N, n) with ``batch=True``
        The point, or N points, one per row.
    centres, norm_matrices, consequents, normalize, validity, fuzziness
        The network (or a `localmodels.Network` in place of centres) and its
        options, as for `netsim`.
    selection : set of str, or int, optional
        The parameter groups: any of ``'centres'`` (n c parameters),
        ``'norm_matrices'`` (n n c), ``'consequents'`` ((n + 1) p c) and
        ``'offsets'`` (the consequents' constant terms carry their
        derivatives; else they hold 0); or the plug-ins' integer, a sum of
        the bits 1, 2, 4 and 8, from 0 to 255. None means all four (15).
    batch, mex_orientation, threads
        As for `dmat_inputs`.

    Returns
    -------
    dp : ndarray, shape (p, R), or (N, p, R)
        One row per output, one column per selected parameter: the blocks
        centres, norm matrices, consequents, each in the MEX's storage order
        of its array (centre k of cluster i at k + i n; entry (r, s) of A_i
        at r + s n + i n n; consequent (j, k, i) at j + k p + i p (n+1)).
    y : ndarray, shape (p,), or (N, p)
        The outputs at x (zeros when no parameter is selected).

    Raises
    ------
    localmodels.Error
        For a refused call, as for `dmat_inputs`.

    Examples
    --------
    >>> import localmodels
    >>> C, A, T = [[0.0], [1.0]], [[[1.0]], [[1.0]]], [[[1.0, 0.0]], [[0.0, 5.0]]]
    >>> dp, y = localmodels.dmat_params([0.5], C, A, T)
    >>> dp.shape   # 1 output; 2 centre, 2 norm and 4 consequent parameters
    (1, 8)
    >>> localmodels.dmat_params([0.5], C, A, T, selection={"consequents", "offsets"})[0].shape
    (1, 4)
    """
    plugin = "dmat_params"
    byte = _selection(selection)
    args = _network(plugin, x, "batch" if batch else "point", centres, norm_matrices,
                    consequents, normalize, validity, fuzziness)
    return _orient(_core.dmat_params(args, byte, bool(batch), _threads(threads, plugin)),
                   mex_orientation)


def gridval(points, table, *breakpoints, threads=None):
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
    threads : int, optional
        As for `netsim`. Changes no bit.

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
    Runs without the GIL and answers Ctrl-C between chunks of points.

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
    return _core.gridval(args, _threads(threads, plugin))
