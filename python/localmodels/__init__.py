"""Models of nonlinear systems from data: the five plug-ins for numpy.

The same core as the MEX plug-ins, giving the same results to the last bit
and the same refusals, with numpy's conventions: points are rows.

Functions
---------
nearpoly
    Prediction from stored examples by local constant, linear and quadratic
    fits, scored by leave-one-out error and combined.
NearPoly
    nearpoly's examples and settings fixed once, with the search index
    built once, for predictions in many calls.
netsim
    Output of a local-model network for a batch of points.
dmat_inputs
    Jacobian of a local-model network's outputs with respect to its inputs,
    at one point or a batch of points.
dmat_params
    Jacobian of a local-model network's outputs with respect to its
    parameters, at one point or a batch of points.
Network
    A local-model network as one value, for the three functions above.
gridval
    Multilinear interpolation in a d-dimensional lookup table.
narx_simulate
    Free-run simulation of a NARX model whose one-step model is a `Network`,
    a `NearPolyModel` or a `TableModel`.
lmn_train
    Training of a local-model network on samples by tree construction.

Refused calls raise `Error` (a `ValueError`) with the plug-in's message and
its ``identifier``. ``python3 -m localmodels.demo`` runs the main example.
"""

try:
    from . import _core
except ImportError as e:  # the sources alone, without the compiled module
    raise ImportError(
        "localmodels: the compiled module localmodels._core is missing, so this is an "
        "unbuilt copy of the package. Build it with `make build` (or the CMake target "
        "localmodels_python: `cmake --build build --target localmodels_python`) and put "
        "build/python on PYTHONPATH, or install it with `pip install --no-build-isolation .` "
        f"({e})") from e

from ._api import dmat_inputs, dmat_params, gridval, nearpoly, netsim
from ._errors import Error
from ._narx import NearPolyModel, TableModel, narx_simulate
from ._nearpoly import NearPoly
from ._network import Network
from ._train import lmn_train

Error.__module__ = __name__
# The class of the compiled module's refusals, handed over once.
_core._set_error_class(Error)

__version__ = "0.1.0"

__all__ = ["Error", "Network", "NearPoly", "NearPolyModel", "TableModel", "nearpoly", "netsim", "dmat_inputs",
           "dmat_params", "gridval", "narx_simulate", "lmn_train"]
