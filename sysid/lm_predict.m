function yp = lm_predict(model, u, y, k)
% LM_PREDICT  k-step-ahead predictions of a NARX model from measured records.
%   YP = LM_PREDICT(MODEL, U, Y, K) predicts every sample t of the
%   measured record U (m-by-T), Y (p-by-T) from the measured outputs up to
%   t-K: the model runs K steps on the measured inputs, each step feeding
%   back its own predictions. K = 1 (the default) gives one-step
%   predictions. YP is p-by-T, NaN in the first L + K - 1 columns (L the
%   model's lag), which have no prediction. With MODEL.clamp each step's
%   predictions are held in MODEL.output_range (a NaN stays NaN).
%
%   Several experiments: U and Y cell arrays; YP is then a cell array.
%
%   The j-step prediction of sample t takes its output lag l from the
%   (j-l)-step predictions when j > l, else from the measurements: all
%   samples advance one step at a time, one model call per step.
%
%   Example: y(t) = 0.8 y(t-1) + 0.5 u(t-1) predicted two steps ahead.
%     u = sin(0.3 * (1:60)) + cos(0.71 * (1:60));
%     y = filter([0 0.5], [1 -0.8], u);
%     model = lm_fit(u, y, 1, 1, 1, 'arx');
%     yp = lm_predict(model, u, y, 2);
%     isnan(yp(1:3))                    % ans = [true true false]
%     max(abs(yp(3:end) - y(3:end)))    % ans = 0 to within 1e-9
%
%   See also LM_SIMULATE, LM_COMPARE, LM_FIT.
if nargin < 3
  error('localmodels:sysid:notEnoughArguments', 'lm_predict: give MODEL, U and Y.');
end
if nargin < 4
  k = 1;
end
if ~isnumeric(k) || ~isscalar(k) || ~isreal(k) || k ~= round(k) || k < 1
  error('localmodels:sysid:badSteps', 'lm_predict: K must be a positive integer.');
end
o = model_orders(model, 'lm_predict');
[us, ys, many] = narx_records(u, y, 'lm_predict');
if size(us{1}, 1) ~= o.m || size(ys{1}, 1) ~= o.p
  error('localmodels:sysid:badRecords', ...
        'lm_predict: the model has %d inputs and %d outputs: U must have %d rows and Y %d.', ...
        o.m, o.p, o.m, o.p);
end
yp = cell(size(us));
for e = 1:numel(us)
  yp{e} = ahead(model, o, us{e}, ys{e}, double(k));
end
if ~many
  yp = yp{1};
end
end

function out = ahead(model, o, u, y, k)
T = size(y, 2);
L = o.lag;
out = NaN(o.p, T);
if L + k - 1 >= T
  return;
end
% levels{j + 1}: the j-step predictions of every sample (level 0: measured).
levels = cell(1, k + 1);
levels{1} = y;
bounds = guard_bounds(model);
for j = 1:k
  t = L + j:T;
  phi = narx_block(u, y, o, t);
  r = 0;
  for i = 1:o.p
    for lag = 1:o.na(i)
      r = r + 1;
      src = levels{max(j - lag, 0) + 1};
      phi(r, :) = src(i, t - lag);
    end
  end
  pred = model_step(model, phi);
  if ~isempty(bounds)
    held = min(max(pred, repmat(bounds(1, :)', 1, numel(t))), repmat(bounds(2, :)', 1, numel(t)));
    held(isnan(pred)) = NaN;
    pred = held;
  end
  level = NaN(o.p, T);
  level(:, t) = pred;
  levels{j + 1} = level;
end
out(:, L + k:T) = levels{k + 1}(:, L + k:T);
end
