"""nearpoly, gridval and netsim on Dask: queries and points in chunks of rows.

The functions take the same arguments as those of `localmodels` and return
`dask.array` arrays. The queries (or points) are split into chunks of rows;
each chunk is answered by the in-process function of `localmodels` on a
worker, and the answers are the rows of the result. Every query and every
point is computed as if alone, so the result is bit for bit the in-process
call's, for any chunking, any number of workers and any thread count.

The examples, the table or the network go to each worker once per call, not
once per chunk: they are a single key of the graph, which every chunk task
refers to. On a `distributed` cluster one worker loads that key from the
graph and each other worker fetches it from a peer once, before its first
chunk; should every worker holding it die, the scheduler loads it again.
(Dask's local process-pool scheduler sends each task its inputs, these too;
for worker processes use a `distributed.LocalCluster`.)

A refused call raises `localmodels.Error` at once, before any task runs,
with the in-process call's message and identifier: the in-process function
checks the examples, table or network in full against one query or point
of the real shape (its checks never read the values of queries or points).
The in-process limit of 2**31 - 1 elements applies to each chunk, not to the
whole array of queries or points: a chunk beyond it is refused in the same
way, as the in-process call of that chunk would be.

Examples
--------
>>> import numpy as np
>>> import localmodels, localmodels.dask
>>> x = np.linspace(-2, 2, 201)
>>> q = np.linspace(-1, 1, 7)
>>> y = localmodels.dask.nearpoly(x, np.sin(2 * x), q, [1, 1, 1], chunks=2)
>>> y.chunks
((2, 2, 2, 1),)
>>> np.array_equal(y.compute(), localmodels.nearpoly(x, np.sin(2 * x), q, [1, 1, 1]))
True
"""

import math
import uuid

import dask
import dask.array as da
import numpy as np

from . import _api
from . import gridval as _gridval, nearpoly as _nearpoly, netsim as _netsim

__all__ = ["nearpoly", "netsim", "gridval"]

# The largest element count (and dimension) of one in-process call.
_MAX_COUNT = 2147483647

# Default rows per chunk of a numpy array of queries: a nearpoly query costs
# from microseconds to milliseconds; netsim and gridval points far less.
_NEARPOLY_ROWS = 1000


class _Shared:
    """The arguments that every chunk of one call shares, as one object."""

    __slots__ = ("args",)

    def __init__(self, args):
        self.args = args


def _share(plugin, args):
    """args as one key of the graph: (argument, token).

    A key of the graph rather than data scattered by a client: the scheduler
    can load it again if every worker holding it dies, and a copy scattered
    ahead of the computation may be dropped by the active memory manager
    while no task needs it yet, to be sent again when the tasks come.
    """
    token = uuid.uuid4().hex
    return dask.delayed(_Shared(tuple(args)), name=f"{plugin}-shared-{token}"), token


def _fresh_if_empty(a):
    """An empty array in memory of its own.

    An empty array unpickled from a message may point into the message at
    any byte; the in-process call takes it only at an address aligned for
    float64. Its (absent) values are the same.
    """
    if isinstance(a, np.ndarray) and a.size == 0:
        return np.zeros(a.shape, a.dtype)
    return a


def _block(block):
    """The chunk: the one block along the axes the call contracts."""
    while isinstance(block, list):
        (block,) = block
    return _fresh_if_empty(block)


def _unwrap(shared):
    """The shared arguments."""
    return tuple(_fresh_if_empty(a) for a in shared.args)


def _rows(x, chunks, default):
    """x as a dask array chunked along its first axis only."""
    if isinstance(x, da.Array):
        a = x
        if a.ndim == 0:
            a = a.reshape(1)
        if chunks is not None:
            a = a.rechunk({0: chunks})
    else:
        if not np.iscomplexobj(x):
            # The in-process conversion; a complex array is refused below.
            x = np.asarray(x, dtype=float)
        a = np.asarray(x)
        if a.ndim == 0:
            a = a.reshape(1)
        rows = default if chunks is None else chunks
        a = da.from_array(a, chunks=(rows,) + (-1,) * (a.ndim - 1))
    if any(len(c) > 1 for c in a.chunks[1:]):
        a = a.rechunk({k: -1 for k in range(1, a.ndim)})
    return a


def _probe(call, queries):
    """The in-process call on one row of the queries' shape (none if they are empty).

    Raises the refusal of the in-process call for the whole array (or, when
    the largest chunk exceeds the in-process size limit, for that chunk);
    otherwise returns the probe's result, which gives the output's columns.
    """
    shape = queries.shape
    rest = shape[1:]
    biggest = max((c for c in queries.chunks[0] if not math.isnan(c)), default=0)
    if biggest > _MAX_COUNT or biggest * math.prod(rest) > _MAX_COUNT:
        # The core refuses it by its dimensions, before reading a value.
        call(np.broadcast_to(np.zeros((), queries.dtype), (biggest,) + rest))
    rows = 0 if shape[0] == 0 else 1
    return call(np.zeros((rows,) + rest, dtype=queries.dtype))


def _indices(a):
    """Blockwise indices: rows, then the (single-chunk) axes the call contracts."""
    return "i" + "abcdefghklmnopqrstuvw"[: a.ndim - 1]


def _points_per_row(a):
    """Points per row of netsim's x or gridval's points: axes between the first
    and the last (coordinates) enumerate points as well."""
    return math.prod(a.shape[1:-1]) if a.ndim >= 3 else 1


def _floats(x, order="K"):
    """An argument as the in-process call converts it, in the memory order it
    reads, so that no chunk copies it again. None stays None."""
    if x is None:
        return None
    return np.asarray(x, dtype=float, order=order)


def _by_chunk(function, plugin, token, queries, shared, literals=(), width=None, per_row=1):
    """function(chunk, shared, *literals) for each chunk of rows of queries.

    The result has per_row rows for each row of queries, and width columns
    (none when width is None).
    """
    args = []
    for v in (shared,) + tuple(literals):
        args += [v, None]
    out = "i" if width is None else "iz"
    return da.blockwise(function, out, queries, _indices(queries), *args,
                        name=f"{plugin}-{token}", dtype=np.float64,
                        # One block per chunk of rows; no rechunking.
                        concatenate=False, align_arrays=False,
                        new_axes={} if width is None else {"z": width},
                        adjust_chunks=None if per_row == 1 else {"i": lambda r: r * per_row},
                        meta=np.empty((0,) * len(out)))


# ---------------------------------------------------------------------------
# The chunk tasks: the in-process function on one chunk of rows.

def _nearpoly_chunk(block, shared, return_coefs):
    block = _block(block)
    data_x, data_y, id_par, comb_par, cov_init, weights = _unwrap(shared)
    out = _nearpoly(data_x, data_y, block, id_par, comb_par, cov_init, weights,
                    return_coefs=return_coefs)
    if not return_coefs:
        return out
    y, coefs = out
    # One block: the prediction, then the coefficients.
    both = np.empty((y.shape[0], 1 + coefs.shape[1]))
    both[:, 0] = y
    both[:, 1:] = coefs
    return both


def _netsim_chunk(block, shared):
    return _netsim(_block(block), *_unwrap(shared))


def _gridval_chunk(block, shared):
    return _gridval(_block(block), *_unwrap(shared))


# ---------------------------------------------------------------------------

def nearpoly(data_x, data_y, query_x, id_par, comb_par=None, cov_init=None, weights=None, *,
             return_coefs=False, chunks=None):
    """`localmodels.nearpoly` with the queries in chunks of rows.

    Parameters
    ----------
    data_x, data_y, id_par, comb_par, cov_init, weights, return_coefs
        As for `localmodels.nearpoly`; the examples go to each worker once.
    query_x : dask.array.Array or array_like, shape (M, n)
        The queries, one per row. A dask array keeps its chunks along the
        rows (its other axes are joined into one chunk); anything else is
        converted as numpy converts it and split into chunks of rows.
    chunks : int or tuple of ints, optional
        Rows per chunk (or the rows of each chunk). For a numpy array the
        default is 1000 rows; a dask array is rechunked only when it is given.

    Returns
    -------
    y : dask.array.Array, shape (M,)
        The predictions, bit for bit those of `localmodels.nearpoly`.
    coefs : dask.array.Array, shape (M, n_coef)
        Only with ``return_coefs=True``. y and coefs are two views of the same
        chunk tasks: compute them together (``dask.compute(y, coefs)``) so
        that each chunk runs once.

    Raises
    ------
    localmodels.Error
        For a refused call, at once, with the in-process message and
        identifier.

    Examples
    --------
    >>> import numpy as np, dask
    >>> import localmodels.dask
    >>> x = np.linspace(-2, 2, 201)
    >>> y, c = localmodels.dask.nearpoly(x, np.sin(2 * x), [0.5, 1.0], [1, 1, 1],
    ...                                  return_coefs=True, chunks=1)
    >>> y, c = dask.compute(y, c)
    >>> np.round(y, 3)
    array([0.841, 0.909])
    """
    plugin = "nearpoly"
    queries = _rows(query_x, chunks, _NEARPOLY_ROWS)

    def call(q):
        return _nearpoly(data_x, data_y, q, id_par, comb_par, cov_init, weights,
                         return_coefs=return_coefs)

    probe = _probe(call, queries)
    args = (_floats(data_x, "F"), _floats(data_y, "F"), _floats(id_par, "F"),
            _floats(comb_par, "F"), _floats(cov_init), _floats(weights))
    shared, token = _share(plugin, args)
    if not return_coefs:
        return _by_chunk(_nearpoly_chunk, plugin, token, queries, shared, (False,))
    # One block per chunk: the prediction, then the coefficients.
    both = _by_chunk(_nearpoly_chunk, plugin, token, queries, shared, (True,),
                     width=1 + probe[1].shape[1])
    return both[:, 0], both[:, 1:]


def netsim(x, centres, norm_matrices=None, consequents=None, normalize=None, validity=None,
           fuzziness=None, *, chunks=None):
    """`localmodels.netsim` with the points in chunks of rows.

    Parameters
    ----------
    x : dask.array.Array or array_like, shape (N, n)
        The points, one per row, chunked as `nearpoly`'s queries. For a numpy
        array the default chunk is dask's ``"auto"`` size along the rows.
    centres, norm_matrices, consequents, normalize, validity, fuzziness
        The network (or a `localmodels.Network` in place of centres) and its
        options, as for `localmodels.netsim`; they go to each worker once.
    chunks : int, tuple of ints or "auto", optional
        Rows per chunk.

    Returns
    -------
    y : dask.array.Array, shape (N, p)
        The outputs, bit for bit those of `localmodels.netsim`.

    Raises
    ------
    localmodels.Error
        For a refused call, at once, with the in-process message and
        identifier.
    """
    plugin = "netsim"
    points = _rows(x, chunks, "auto")
    # The arrays of a Network and the options' words as the numbers the
    # workers receive.
    centres, norm_matrices, consequents, normalize, validity, fuzziness = _api._resolve(
        plugin, centres, norm_matrices, consequents, normalize, validity, fuzziness)
    normalize, validity = _api._option_words(plugin, normalize, validity)
    if not any(math.isnan(k) for k in points.shape):
        # The in-process checks of the whole call, shapes included, on a
        # stand-in of the points' shape that holds no values.
        kind = complex if np.iscomplexobj(points) else float
        _api._network_values(plugin, np.broadcast_to(np.zeros((), kind), points.shape), "points",
                             centres, norm_matrices, consequents, normalize, validity, fuzziness)

    def call(block):
        return _netsim(block, centres, norm_matrices, consequents, normalize, validity,
                       fuzziness)

    p = _probe(call, points).shape[1]
    per_row = _points_per_row(points)
    args = (_floats(centres, "C"), _floats(norm_matrices), _floats(consequents),
            _floats(normalize), _floats(validity), _floats(fuzziness))
    shared, token = _share(plugin, args)
    return _by_chunk(_netsim_chunk, plugin, token, points, shared, width=p, per_row=per_row)


def gridval(points, table, *breakpoints, chunks=None):
    """`localmodels.gridval` with the points in chunks of rows.

    Parameters
    ----------
    points : dask.array.Array or array_like, shape (N, d)
        The query points, one per row, chunked as `nearpoly`'s queries. For
        a numpy array the default chunk is dask's ``"auto"`` size along the
        rows.
    table, *breakpoints
        As for `localmodels.gridval`; they go to each worker once.
    chunks : int, tuple of ints or "auto", optional (keyword only)
        Rows per chunk.

    Returns
    -------
    values : dask.array.Array, shape (N,)
        The interpolated values, bit for bit those of `localmodels.gridval`.

    Raises
    ------
    localmodels.Error
        For a refused call, at once, with the in-process message and
        identifier.
    """
    plugin = "gridval"
    rows = _rows(points, chunks, "auto")

    def call(block):
        return _gridval(block, table, *breakpoints)

    _probe(call, rows)
    per_row = _points_per_row(rows)
    args = (_floats(table, "F"),) + tuple(_floats(b, "F") for b in breakpoints)
    shared, token = _share(plugin, args)
    return _by_chunk(_gridval_chunk, plugin, token, rows, shared, per_row=per_row)
