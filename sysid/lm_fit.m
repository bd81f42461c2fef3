function model = lm_fit(u, y, na, nb, varargin)
% LM_FIT  Fit a NARX model ('arx', 'network' or 'nearpoly') to input/output records.
%   MODEL = LM_FIT(U, Y, NA, NB, NK, KIND, NAME, VALUE, ...) identifies a
%   one-step model y(t) = f(regressor of t) from the records U (m-by-T)
%   and Y (p-by-T), a column per sample, or from several experiments as
%   cell arrays; the regressors and orders are those of NARX_REGRESSORS.
%   NK (default 1) and KIND (default 'network') may be left out.
%
%   KIND:
%     'arx'       one affine model by plain least squares: a linear ARX
%                 model (LMN_TRAIN with max_models = 1, and regularization
%                 0 unless a ridge is asked for)
%     'network'   a local linear model network grown by LMN_TRAIN
%     'nearpoly'  the regressors kept as examples for NEARPOLY (p = 1)
%
%   Options, as name/value pairs or as one struct:
%     'validation'  {U_VAL, Y_VAL}: records whose one-step error stops the
%                   network's growth (else LMN_TRAIN's information
%                   criterion on the estimation data does)
%     'clamp'       true: LM_SIMULATE and LM_PREDICT hold every output in
%                   the estimation outputs' range (default false)
%     'clamp_margin'  that range widened by this fraction of its span on
%                   each side (default 0): the guard then stops a divergence
%                   without clipping outputs just beyond the records' range
%     'id_par', 'comb_par', 'cov_init'
%                   NEARPOLY's settings (default [1; 1; 1], its defaults)
%     'scale'       true (default): NEARPOLY weighs every regressor by
%                   1/(max - min) over the estimation regressors (1 where
%                   max == min), so that units do not matter
%     'max_models', 'min_samples', 'width_factor', 'regularization',
%     'partition_inputs', 'regression_inputs' (1-based), 'lm_iterations',
%     'patience', 'display'
%                   passed to LMN_TRAIN as they are
%
%   MODEL is a struct:
%     kind             'arx', 'network', 'nearpoly' (or 'table', LM_TABLE)
%     na, nb, nk       the orders, 1-by-p, 1-by-m, 1-by-m
%     output_range     2-by-p, the smallest and largest estimation output
%     regressor_range  2-by-n, the same of the regressors
%     clamp            logical
%     clamp_margin     the guard's margin, a fraction of the range's span
%     network          'arx' and 'network': centres, norm_matrices,
%                      consequents (NETSIM's layout) and options, NETSIM's
%                      [NORMALIZE VALIDITY_TYPE FUZZINESS]; else []
%     examples         'nearpoly': data_x (N-by-n), data_y (N-by-1),
%                      id_par, comb_par, cov_init, weights ([] for a
%                      default); else []
%     table            'table': tables and breakpoints (LM_TABLE); else []
%     info             LMN_TRAIN's INFO, or an empty struct
%   The same records and options give the same model, bit for bit, as
%   localmodels.sysid.lm_fit in Python.
%
%   Example: a linear system is found exactly by 'arx'.
%     u = sin(0.3 * (1:60)) + cos(0.71 * (1:60));
%     y = filter([0 0.5], [1 -0.8], u);       % y(t) is 0.8 y(t-1) + 0.5 u(t-1)
%     model = lm_fit(u, y, 1, 1, 1, 'arx');
%     model.network.consequents               % ans = [0.8 0.5 0] to within 1e-9
%     size(model.regressor_range)             % ans = [2 2]
%
%   Example: the same records kept as nearpoly's examples.
%     u = sin(0.3 * (1:60)) + cos(0.71 * (1:60));
%     y = filter([0 0.5], [1 -0.8], u);
%     model = lm_fit(u, y, 1, 1, 'nearpoly');
%     size(model.examples.data_x)             % ans = [59 2]
%     model.examples.weights == 1 ./ diff(model.regressor_range)   % ans = [true true]
%
%   See also NARX_REGRESSORS, LM_SIMULATE, LM_PREDICT, LM_TUNE, LMN_TRAIN, NEARPOLY.
if nargin < 4
  error('localmodels:sysid:notEnoughArguments', 'lm_fit: give U, Y, NA and NB.');
end
[nk, kind, rest] = leading_args(varargin, 'network', {'arx', 'network', 'nearpoly'}, 'lm_fit');
trainer = {'max_models', 'min_samples', 'width_factor', 'regularization', 'partition_inputs', ...
           'regression_inputs', 'lm_iterations', 'patience', 'display'};
opts = name_value(rest, [{'validation', 'clamp', 'clamp_margin', 'id_par', 'comb_par', ...
                          'cov_init', 'scale'}, ...
                         trainer], 'lm_fit');
[us, ys] = narx_records(u, y, 'lm_fit');
o = narx_orders(na, nb, nk, size(ys{1}, 1), size(us{1}, 1), 'lm_fit');
[phi, target] = narx_stack(us, ys, o);
if size(phi, 2) == 0
  error('localmodels:sysid:tooShort', 'lm_fit: the records are too short for lag %d: no regressor.', ...
        o.lag);
end
margin = double(option(opts, 'clamp_margin', 0));
if ~isscalar(margin) || ~isfinite(margin) || margin < 0
  error('localmodels:sysid:badClampMargin', 'lm_fit: clamp_margin must be a non-negative number.');
end
model = model_new(kind, o, value_ranges([ys{:}]), value_ranges(phi), option(opts, 'clamp', false), ...
                  margin);
if strcmp(kind, 'nearpoly')
  model.examples = examples(phi, target, model, opts);
  return;
end
train = struct();
for i = 1:numel(trainer)
  if isfield(opts, trainer{i})
    train.(trainer{i}) = opts.(trainer{i});
  end
end
if strcmp(kind, 'arx')
  train.max_models = 1;
  if ~isfield(train, 'regularization')
    train.regularization = 0;
  end
end
if isfield(opts, 'validation')
  v = opts.validation;
  if ~iscell(v) || numel(v) ~= 2
    error('localmodels:sysid:badOptions', 'lm_fit: ''validation'' must be {U_VAL, Y_VAL}.');
  end
  [vu, vy] = narx_records(v{1}, v{2}, 'lm_fit');
  [train.x_val, train.y_val] = narx_stack(vu, vy, o);
end
[c, a, t, info] = lmn_train(phi, target, train);
model.network = struct('centres', c, 'norm_matrices', a, 'consequents', t, ...
                       'options', info.options);
model.info = info;
end

function v = option(opts, name, default)
if isfield(opts, name)
  v = opts.(name);
else
  v = default;
end
end

function e = examples(phi, target, model, opts)
if size(target, 1) ~= 1
  error('localmodels:sysid:oneOutput', ...
        'lm_fit: kind ''nearpoly'' models one output; fit one model per output.');
end
weights = [];
if option(opts, 'scale', true)
  weights = range_weights(model.regressor_range);
end
e = struct('data_x', phi', 'data_y', target', 'id_par', double(option(opts, 'id_par', [1; 1; 1])), ...
           'comb_par', option(opts, 'comb_par', []), 'cov_init', option(opts, 'cov_init', []), ...
           'weights', weights);
end
