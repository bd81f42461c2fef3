"""scikit-learn estimators over the plug-ins, and a NARX wrapper for any of them.

`NearPolyRegressor` and `LocalModelNetworkRegressor` follow scikit-learn's
conventions (fit/predict, get_params/set_params, fitted attributes with a
trailing underscore), so GridSearchCV and pipelines take them. `NARX` turns
any regressor into a dynamic model with fit(u, y) and simulate(u, y0).
"""

import numpy as np
from sklearn.base import BaseEstimator, RegressorMixin, clone
from sklearn.utils.validation import check_is_fitted

from . import _api
from .sysid import _model, _orders
from .sysid._simulate import lm_simulate

__all__ = ["NearPolyRegressor", "LocalModelNetworkRegressor", "NARX"]


class NearPolyRegressor(RegressorMixin, BaseEstimator):
    """Local constant, linear and quadratic fits on the nearest examples.

    Parameters
    ----------
    id_par : array_like, shape (3,), (3, 2) or (3, 3)
        nearpoly's neighbour-count settings of the three families.
    comb_par : array_like or None
        How many of the best fits are combined.
    cov_init : float or None
        The recursive fits' initial covariance.
    scale : bool
        Weigh every input by 1/range in the distance (the range of the
        training inputs), so that units do not matter.
    """

    def __init__(self, id_par=(1, 1, 1), comb_par=None, cov_init=None, scale=True):
        self.id_par = id_par
        self.comb_par = comb_par
        self.cov_init = cov_init
        self.scale = scale

    def fit(self, X, y):
        X, y = self._validate_data(X, y, y_numeric=True, dtype=np.float64)
        self.X_ = np.asfortranarray(X)
        self.y_ = np.ascontiguousarray(y, dtype=np.float64)
        span = X.max(axis=0) - X.min(axis=0)
        self.weights_ = (np.where(span > 0, 1.0 / np.where(span > 0, span, 1.0), 1.0)
                         if self.scale else None)
        return self

    def predict(self, X):
        check_is_fitted(self, "X_")
        X = self._validate_data(X, reset=False, dtype=np.float64)
        return _api.nearpoly(self.X_, self.y_, X, np.asarray(self.id_par, dtype=float),
                             self.comb_par, self.cov_init, self.weights_)


class LocalModelNetworkRegressor(RegressorMixin, BaseEstimator):
    """A local linear model network grown by splitting the worst cell.

    Parameters are those of `localmodels.lmn_train`; the fitted network is
    `network_` (a `localmodels.Network`) and the trainer's report `info_`.
    """

    def __init__(self, max_models=10, width_factor=1 / 3, min_samples=None,
                 regularization=1e-9, lm_iterations=0, patience=1):
        self.max_models = max_models
        self.width_factor = width_factor
        self.min_samples = min_samples
        self.regularization = regularization
        self.lm_iterations = lm_iterations
        self.patience = patience

    def _more_tags(self):
        return {"multioutput": True}

    def fit(self, X, y):
        from ._train import lmn_train
        X, y = self._validate_data(X, y, y_numeric=True, multi_output=True, dtype=np.float64)
        self.network_, self.info_ = lmn_train(
            X, y, max_models=self.max_models, min_samples=self.min_samples,
            width_factor=self.width_factor, regularization=self.regularization,
            lm_iterations=self.lm_iterations, patience=self.patience)
        self.n_outputs_ = 1 if y.ndim == 1 else y.shape[1]
        self._flat = y.ndim == 1
        return self

    def predict(self, X):
        check_is_fitted(self, "network_")
        X = self._validate_data(X, reset=False, dtype=np.float64)
        y = _api.netsim(X, self.network_).reshape(X.shape[0], -1)
        return y[:, 0] if self._flat else y


class NARX(BaseEstimator):
    """A dynamic model y(t) = f(past outputs, past inputs) from a static regressor.

    Parameters
    ----------
    estimator : regressor
        Any scikit-learn regressor; ours simulate in the compiled core.
    na, nb, nk : int or sequences
        Output lags, input lags and input delays (see
        `localmodels.sysid.narx_regressors`).
    clamp : bool
        Hold simulated outputs in the range of the training outputs.
    clamp_margin : float
        Widen that range by this fraction of its span on each side.
    """

    def __init__(self, estimator, na=2, nb=2, nk=1, clamp=False, clamp_margin=0.0):
        self.estimator = estimator
        self.na = na
        self.nb = nb
        self.nk = nk
        self.clamp = clamp
        self.clamp_margin = clamp_margin

    def fit(self, u, y):
        us, ys, _ = _orders.records(u, y)
        self.orders_ = _orders.Orders.of(self.na, self.nb, self.nk, ys[0].shape[1],
                                         us[0].shape[1])
        phi, target = _orders.stacked(us, ys, self.orders_)
        self.n_outputs_ = target.shape[1]
        self.estimator_ = clone(self.estimator).fit(
            phi, target[:, 0] if self.n_outputs_ == 1 else target)
        self.output_range_ = _model.ranges(np.concatenate(ys))
        self.regressor_range_ = _model.ranges(phi)
        return self

    def predict(self, u, y):
        """One-step predictions (T, p); NaN for the first lag rows."""
        check_is_fitted(self, "estimator_")
        o = self.orders_
        u, y = _orders._signal(u, "u"), _orders._signal(y, "y", np.asarray(u).shape[0])
        out = np.full((y.shape[0], o.p), np.nan)
        if y.shape[0] > o.lag:
            phi = _orders.regressor_block(u, y, o, o.lag, y.shape[0])
            out[o.lag:] = self._step(phi)
        return out

    def simulate(self, u, y0):
        """A free run from the initial outputs y0 (the first lag rows used)."""
        check_is_fitted(self, "estimator_")
        model = self._core_model()
        if model is not None:
            return lm_simulate(model, u, y0)
        return self._loop(u, y0)

    def _step(self, phi):
        return np.asarray(self.estimator_.predict(phi), dtype=float).reshape(phi.shape[0], -1)

    def _as_model(self, kind):
        return _model.Model(kind, self.orders_, self.output_range_, self.regressor_range_,
                            bool(self.clamp), float(self.clamp_margin))

    def _core_model(self):
        """The fitted estimator as a model the core simulates, if it is ours."""
        e, m = self.estimator_, self._as_model("network")
        if isinstance(e, LocalModelNetworkRegressor):
            m.network = e.network_
            return m
        if isinstance(e, NearPolyRegressor):
            from ._narx import NearPolyModel
            m.kind = "nearpoly"
            m.examples = NearPolyModel(e.X_, e.y_, id_par=np.asarray(e.id_par, dtype=float),
                                       comb_par=e.comb_par, cov_init=e.cov_init,
                                       weights=e.weights_)
            return m
        return None

    def _loop(self, u, y0):
        o = self.orders_
        u = _orders._signal(u, "u")
        y0 = _orders._signal(y0, "y0")
        if y0.shape[0] < o.lag:
            raise ValueError(f"y0 must hold the first {o.lag} outputs; got {y0.shape[0]}.")
        y = np.zeros((u.shape[0], o.p))
        y[:o.lag] = y0[:o.lag]
        bounds = _model.guard_bounds(self._as_model("network"))
        for t in range(o.lag, u.shape[0]):
            v = self._step(_orders.regressor_block(u, y, o, t, t + 1))[0]
            y[t] = v if bounds is None else np.minimum(np.maximum(v, bounds[0]), bounds[1])
        return y
