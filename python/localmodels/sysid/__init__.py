"""From input/output records to a validated NARX model.

Functions
---------
narx_regressors
    Regressors and targets of given orders, over several experiments.
lm_fit
    One entry point for 'arx', 'network' and 'nearpoly' models.
lm_simulate, lm_predict
    Free-run simulation and k-step-ahead prediction.
lm_compare
    RMSE, normalised RMSE, fit and R² (and a plot).
lm_linearize
    The linear ARX and state-space model at an operating point.
lm_table
    A gridval lookup table of any model, with its largest error.
lm_tune
    Settings chosen on later data (time-ordered folds or a validation record).
lm_save, lm_load
    Models in plain .npz files, no pickle.
"""

from ._io import lm_load, lm_save
from ._linearize import lm_linearize
from ._metrics import lm_compare
from ._model import Model, lm_fit
from ._orders import Orders, narx_regressors
from ._simulate import lm_predict, lm_simulate
from ._table import lm_table
from ._tune import lm_tune

__all__ = ["Model", "Orders", "narx_regressors", "lm_fit", "lm_simulate", "lm_predict",
           "lm_compare", "lm_linearize", "lm_table", "lm_tune", "lm_save", "lm_load"]
