"""A local-model network as one value: what the trainer returns and what the
evaluation, derivative and simulation functions take.

Arrays are in numpy's orientation, a row per cluster:

- ``centres``: (c, n), row i the centre of cluster i;
- ``norm_matrices``: (c, n, n), page i the norm matrix of cluster i;
- ``consequents``: (c, p, n + 1), page i the local affine model of cluster
  i, column n its constant terms.

In C order these are exactly the plug-ins' n-by-c, n-by-n-by-c and
p-by-(n+1)-by-c arrays in Fortran order, so no copy is needed either way.
"""

from dataclasses import dataclass

import numpy as np

__all__ = ["Network"]

_VALIDITIES = ("gaussian", "fuzzy", "distance")


@dataclass(eq=False)
class Network:
    """A local-model network.

    Attributes
    ----------
    centres : ndarray, shape (c, n)
    norm_matrices : ndarray, shape (c, n, n)
    consequents : ndarray, shape (c, p, n + 1)
    normalize : bool
        Divide the blend of the local models by the sum of the validities.
    validity : {'gaussian', 'fuzzy', 'distance'}
    fuzziness : float
        m of the fuzzy validity.
    """

    centres: np.ndarray
    norm_matrices: np.ndarray
    consequents: np.ndarray
    normalize: bool = True
    validity: str = "gaussian"
    fuzziness: float = 2.0

    def __post_init__(self):
        self.centres = np.ascontiguousarray(self.centres, dtype=float)
        self.norm_matrices = np.ascontiguousarray(self.norm_matrices, dtype=float)
        self.consequents = np.ascontiguousarray(self.consequents, dtype=float)
        if self.validity not in _VALIDITIES:
            raise ValueError(f"validity must be one of {_VALIDITIES}; got {self.validity!r}.")
        self.normalize = bool(self.normalize)
        self.fuzziness = float(self.fuzziness)

    @property
    def n_inputs(self):
        return self.centres.shape[1]

    @property
    def n_outputs(self):
        return self.consequents.shape[1]

    @property
    def n_clusters(self):
        return self.centres.shape[0]

    @property
    def validity_type(self):
        """The plug-ins' integer code of the validity: 1, 2 or 3."""
        return _VALIDITIES.index(self.validity) + 1
