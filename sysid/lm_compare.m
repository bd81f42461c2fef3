function r = lm_compare(y, y_model, varargin)
% LM_COMPARE  RMSE, normalised RMSE, fit and R^2 of model outputs against measured ones.
%   R = LM_COMPARE(Y, Y_MODEL) compares the model outputs Y_MODEL (from
%   LM_SIMULATE or LM_PREDICT) with the measured Y, both p-by-T (a column
%   per sample), or cell arrays of experiments, which are joined. Leading
%   columns where the model gives no output (NaN in every row, as the
%   first columns of LM_PREDICT) are left out; a NaN later counts.
%
%   R is a struct of p-by-1 columns, one entry per output, with e = Y -
%   Y_MODEL over the columns compared:
%     rmse     sqrt(mean(e.^2))
%     nrmse    rmse / std(Y, 1)
%     fit      100 (1 - ||e|| / ||Y - mean(Y)||), in percent
%     r2       1 - ||e||^2 / ||Y - mean(Y)||^2
%     samples  the columns compared
%
%   R = LM_COMPARE(..., 'plot', true) also draws the outputs against each
%   other in a new figure, whose handle is R.figure; 'labels', {NAMES}
%   names the outputs.
%
%   Example:
%     r = lm_compare([1 2 3 4], [1 2 3 5]);
%     r.rmse                            % ans = 0.5
%     r.fit                             % ans = 55.27864045000421
%     r.r2                              % ans = 0.8
%     r = lm_compare([1 2 3 4], [NaN NaN 3 5]);
%     r.samples                         % ans = 2
%
%   See also LM_SIMULATE, LM_PREDICT.
if nargin < 2
  error('localmodels:sysid:notEnoughArguments', 'lm_compare: give Y and Y_MODEL.');
end
opts = name_value(varargin, {'plot', 'labels'}, 'lm_compare');
if iscell(y) ~= iscell(y_model) || (iscell(y) && numel(y) ~= numel(y_model))
  error('localmodels:sysid:badRecords', ...
        'lm_compare: Y and Y_MODEL must both be matrices or cell arrays of as many experiments.');
end
if ~iscell(y)
  y = {y};
  y_model = {y_model};
end
a = [];
b = [];
for k = 1:numel(y)
  [yk, mk] = defined(y{k}, y_model{k});
  a = [a, yk];
  b = [b, mk];
end
e = a - b;
T = size(a, 2);
rmse = sqrt(sum(e .^ 2, 2) / T);
d = a - repmat(sum(a, 2) / T, 1, T);
spread = sqrt(sum(d .^ 2, 2));
err = sqrt(sum(e .^ 2, 2));
r.rmse = rmse;
r.nrmse = rmse ./ sqrt(sum(d .^ 2, 2) / T);
r.fit = 100 * (1 - err ./ spread);
r.r2 = 1 - err .^ 2 ./ spread .^ 2;
r.samples = repmat(T, size(a, 1), 1);
if isfield(opts, 'plot') && opts.plot
  labels = {};
  if isfield(opts, 'labels')
    labels = opts.labels;
  end
  r.figure = draw(a, b, r, labels);
end
end

function [y, y_model] = defined(y, y_model)
if ~isnumeric(y) || ~isnumeric(y_model) || ~isequal(size(y), size(y_model)) || ndims(y) ~= 2
  error('localmodels:sysid:badRecords', 'lm_compare: Y_MODEL must have the size of Y.');
end
y = double(y);
y_model = double(y_model);
first = find(~all(isnan(y_model), 1), 1);
if isempty(first)
  first = size(y, 2) + 1;
end
y = y(:, first:end);
y_model = y_model(:, first:end);
end

function h = draw(y, y_model, r, labels)
h = figure();
p = size(y, 1);
for j = 1:p
  subplot(p, 1, j);
  plot(y(j, :), 'k');
  hold on;
  plot(y_model(j, :), 'r');
  hold off;
  if numel(labels) >= j
    ylabel(labels{j});
  else
    ylabel(sprintf('y%d', j));
  end
  legend('measured', sprintf('model (fit %.1f %%)', r.fit(j)));
end
xlabel('sample');
end
