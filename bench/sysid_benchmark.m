function rows = sysid_benchmark(data_dir, quick)
% SYSID_BENCHMARK  Identification on the real records, from Octave or MATLAB.
%   ROWS = SYSID_BENCHMARK(DATA_DIR, QUICK) fits ARX and network models on
%   Silverbox's estimation records (the multisine's first 75 %), chooses
%   their orders and sizes by free-run RMSE on a validation tail of them
%   (never on a test record), simulates the official test records freely
%   and prints one table beside the published figures, as
%   bench/sysid_benchmark.py does in Python. DATA_DIR defaults to
%   ../shared/data; QUICK (default true) tries a small grid.
if nargin < 1 || isempty(data_dir)
  data_dir = fullfile(fileparts(mfilename('fullpath')), '..', '..', 'shared', 'data');
end
if nargin < 2
  quick = true;
end
file = fullfile(data_dir, 'silverbox', 'SNLS80mV.csv');
if ~exist(file, 'file')
  fprintf('Silverbox: not in %s; skipped\n', data_dir);
  rows = {};
  return;
end
d = dlmread(file, ',', 1, 0);
d = d(~any(isnan(d(:, 1:2)), 2), 1:2);
u = d(:, 1)';
y = d(:, 2)';
ms_u = u(40651:127400);
ms_y = y(40651:127400);
n = floor(0.75 * numel(ms_u));
est = {ms_u(1:n), ms_y(1:n)};
cut = floor(0.8 * n);
fit = {ms_u(1:cut), ms_y(1:cut)};
val = {ms_u(cut + 1:n), ms_y(cut + 1:n)};
arrow_u = u(101:40575);
arrow_y = y(101:40575);
tests = {'multisine', ms_u(n + 1:end), ms_y(n + 1:end), [6.95 0.640 0.36]; ...
         'arrow (no extrap.)', arrow_u(1:32000), arrow_y(1:32000), [6.59 0.571 0.32]; ...
         'arrow (full)', arrow_u, arrow_y, [14.2 2.25 0.26]};
if quick
  arx_orders = [2 4 10];
  net_orders = [5 8];
  net_sizes = 40;
else
  arx_orders = [2 3 4 6 8 10];
  net_orders = [3 5 8];
  net_sizes = [20 40];
end
rows = {};
% ARX: the orders, the delay.
best = struct('e', inf);
for o = arx_orders
  for nk = [0 1]
    m = lm_fit(fit{:}, o, o, nk, 'arx');
    best = keep(best, m, rmse(m, val{:}), struct('na', o, 'nk', nk));
  end
end
rows = [rows; report('arx', best, est, tests, 'arx', {})];
delay = best.setting.nk;   % the linear model's delay, for the network
% Network: the orders, the size, the partition inputs, the clamp.
best = struct('e', inf);
for o = net_orders
  for c = net_sizes
    for part = {1, [1 2]}
      for clamp = [false true]
        m = lm_fit(fit{:}, o, o, delay, 'network', 'max_models', c, 'partition_inputs', ...
                   part{1}, 'clamp', clamp, 'clamp_margin', 0.1, 'validation', val);
        best = keep(best, m, rmse(m, val{:}), struct('na', o, 'nk', delay, 'max_models', c, ...
                                                     'partition_inputs', part{1}, 'clamp', clamp));
      end
    end
  end
end
s = best.setting;
extra = {'max_models', size(best.model.network.centres, 2), 'patience', 1e6, ...
         'partition_inputs', s.partition_inputs, 'clamp', s.clamp, 'clamp_margin', 0.1};
rows = [rows; report('network', best, est, tests, 'network', extra)];
fprintf('\n| test record | model | free-run RMSE [mV] | fit s | simulation s | published: LTI ARX, polynomial NARX, best known |\n');
fprintf('|---|---|---|---|---|---|\n');
for i = 1:size(rows, 1)
  fprintf('| %s | %s | %.4g | %.2f | %.2f | %g, %g, %g |\n', rows{i, :});
end
end

function best = keep(best, model, e, setting)
% The better of the best so far and this fit, by validation RMSE; a later
% (larger, or guarded) setting must win by 1 %: near-ties go to the simpler.
if e < 0.99 * best.e
  best = struct('e', e, 'model', model, 'setting', setting);
end
end

function e = rmse(model, u, y)
% Free-run RMSE over samples 51.. (the test records' 50-sample window).
sim = lm_simulate(model, u, y(:, 1:max(model_lag(model), 50)));
r = y(51:end) - sim(1, 51:end);
e = sqrt(mean(r .^ 2));
if ~all(isfinite(r))
  e = inf;
end
end

function L = model_lag(model)
L = max([0, model.na, model.nk + model.nb - 1]);
end

function rows = report(name, best, est, tests, kind, extra)
% The chosen setting fitted on all the estimation records, run on every test.
s = best.setting;
fprintf('  Silverbox: %s chosen na = nb = %d, nk = %d (validation %.3f mV)\n', name, s.na, ...
        s.nk, 1000 * best.e);
tic;
model = lm_fit(est{:}, s.na, s.na, s.nk, kind, extra{:});
fit_time = toc;
rows = cell(size(tests, 1), 6);
for i = 1:size(tests, 1)
  tic;
  e = 1000 * rmse(model, tests{i, 2}, tests{i, 3});
  rows(i, :) = {tests{i, 1}, name, e, fit_time, toc, tests{i, 4}};
end
rows = cellfun(@(r) r, rows, 'UniformOutput', false);
rows = [rows(:, 1:5), num2cell(cell2mat(rows(:, 6)))];
end
