"""nearpoly as an object: the examples fixed once, then queried many times."""

import numpy as np

from . import _api, _core
from ._api import _arg, _laid_out, _real, _same, _threads

__all__ = ["NearPoly"]

_PLUGIN = "nearpoly"
_NAMES = ("data_x", "data_y", "id_par", "comb_par", "cov_init", "weights")


def _own(a, given):
    """a, or a copy of it where the caller could still change its values: the
    index is built once from them. One too large for the core is refused
    before any of its values is read."""
    if a.size > _api._MAX_COUNT:
        return a
    if a is given or not a.flags.owndata:
        a = a.copy(order="F")
    a.flags.writeable = False
    return a


class NearPoly:
    """Examples and settings of `nearpoly`, checked once, queried many times.

    The search index over the examples is built once, here; every call of
    `predict` then answers its queries exactly as ``localmodels.nearpoly``
    with the same examples and settings would, to the last bit.

    Parameters
    ----------
    data_x, data_y, id_par, comb_par, cov_init, weights
        As for `localmodels.nearpoly`. The object keeps copies of them:
        changing the arrays afterwards changes none of its predictions.
    threads : int, optional
        Threads for building the index, as for `localmodels.nearpoly`.

    Raises
    ------
    localmodels.Error
        For examples or settings that `localmodels.nearpoly` refuses, with
        its message and identifier.

    Notes
    -----
    Pickles without its index, which is built again when it is loaded.
    `predict` may run on several threads at once.

    Examples
    --------
    >>> import numpy as np
    >>> import localmodels
    >>> x = np.linspace(-2, 2, 201)
    >>> model = localmodels.NearPoly(x, np.sin(2 * x), [1, 1, 1])
    >>> np.round(model.predict([0.5, 1.0]), 3)       # sin(2 x) = 0.841, 0.909
    array([0.841, 0.909])
    >>> y, c = model.predict([[0.5]], return_coefs=True)
    >>> np.round(c[0, 1], 2)                         # the slope, 2 cos(1) = 1.08
    1.08
    >>> model.predict(np.zeros((4, 2)))
    Traceback (most recent call last):
        ...
    localmodels.Error: query_x must have shape (M, n) = (M, 1); got (4, 2).
    """

    __slots__ = ("_given", "_index", "_n")

    def __init__(self, data_x, data_y, id_par, comb_par=None, cov_init=None, weights=None, *,
                 threads=None):
        given = [data_x, data_y, id_par, comb_par, cov_init, weights]
        count = max(i + 1 for i, v in enumerate(given) if i < 3 or v is not None)
        args = []
        for i in range(count):
            if given[i] is None:
                # comb_par has no empty form in the MEX; its default is 1.
                args.append(_arg(1.0, "comb_par", _PLUGIN, _same) if i == 3 else np.empty((0, 0)))
            else:
                args.append(_own(_arg(given[i], _NAMES[i], _PLUGIN, _same), given[i]))
        self._index = _core.NearPolyIndex(args, _threads(threads, _PLUGIN))
        self._n = self._index.inputs
        # What a pickle holds: the arrays as the core reads them.
        self._given = tuple(a if v is not None else None
                            for a, v in zip(args, given[:count])) + (None,) * (6 - count)

    @property
    def n_inputs(self):
        """n, the width of every query."""
        return self._n

    @property
    def n_examples(self):
        """N, the number of examples."""
        return self._index.examples

    def predict(self, query_x, *, return_coefs=False, threads=None):
        """Predictions at the queries, as `localmodels.nearpoly` gives them.

        Parameters
        ----------
        query_x : array_like, shape (M, n)
            The queries, one per row. For n = 1, a 1-D array is M queries.
        return_coefs : bool, default False
            Also return the coefficients of each query's combined fit.
        threads : int, optional
            As for `localmodels.nearpoly`. Changes no bit.

        Returns
        -------
        y : ndarray, shape (M,)
            The predictions; NaN for a query with a NaN or infinite
            coordinate.
        coefs : ndarray, shape (M, n_coef)
            Only with ``return_coefs=True``, as for `localmodels.nearpoly`.

        Raises
        ------
        localmodels.Error
            For queries of another width than the examples'
            (``nearpoly:queryXShape``).
        """
        q = _real(query_x, "query_x", _PLUGIN)
        if q.ndim < 2 and self._n == 1:
            q = _same(q)
        if q.ndim != 2 or q.shape[1] != self._n:
            hint = (" For one query, pass a row: query_x[None, :]."
                    if q.ndim == 1 and q.shape[0] == self._n else "")
            _api._refuse_shape(_PLUGIN, "query_x", "queryXShape", "(M, n)", ("M", self._n),
                               q.shape, hint)
        return self._index.predict(_laid_out(q), bool(return_coefs), _threads(threads, _PLUGIN))

    def __reduce__(self):
        return (type(self), self._given)

    def __repr__(self):
        return f"NearPoly(N={self.n_examples}, n={self._n})"
