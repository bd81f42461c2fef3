function [best, scores] = lm_tune(u, y, na, nb, varargin)
% LM_TUNE  Choose a model's settings by its error on records it was not fitted to.
%   [BEST, SCORES] = LM_TUNE(U, Y, NA, NB, NK, KIND, GRID, NAME, VALUE, ...)
%   fits LM_FIT(..., NK, KIND, setting) for every combination of the
%   settings in GRID on one estimation record U (m-by-T), Y (p-by-T) and
%   scores it on later data. NK (default 1) and KIND (default 'nearpoly')
%   may be left out.
%
%   GRID is a struct: each field a setting of LM_FIT, its value the cell
%   of the values to try (a numeric vector: each element one value), e.g.
%     struct('id_par', {{[1; 1; 1], [2; 2; 2]}})
%     struct('max_models', [4 8 16], 'width_factor', [0.25 0.5])
%   (in a struct call, a cell value needs double braces). The
%   combinations run with the last field changing fastest.
%
%   Options, as name/value pairs:
%     'validation'  {U_VAL, Y_VAL}: fit on all of U, Y and score on this
%                   record. Otherwise the record is cut into FOLDS + 1
%                   consecutive blocks, and fold i fits on blocks 1 .. i
%                   and scores block i + 1: no fold sees its future.
%     'folds'       default 3
%     'criterion'   'simulation' (default): the free-run RMSE after the
%                   model's lag; 'one_step': the one-step RMSE
%   Any other option is passed to every fit (see LM_FIT).
%
%   BEST is the struct of the best combination; SCORES a struct array
%   with fields setting and score, the mean over the folds of the mean
%   RMSE over the outputs (Inf when a run gave a non-finite error), one
%   element per combination.
%
%   Example: the neighbour counts of a nearpoly model.
%     u = sin(0.3 * (1:90)) + cos(0.71 * (1:90));
%     y = filter([0 0.5], [1 -0.8], u);
%     [best, scores] = lm_tune(u, y, 1, 1, 1, 'nearpoly', struct('id_par', {{[1; 1; 1], [1; 2; 0]}}));
%     size(scores)                      % ans = [1 2]
%     isfield(best, 'id_par')           % ans = true
%
%   See also LM_FIT, LM_SIMULATE, LM_PREDICT.
if nargin < 5
  error('localmodels:sysid:notEnoughArguments', 'lm_tune: give U, Y, NA, NB and GRID.');
end
[nk, kind, rest] = leading_args(varargin, 'nearpoly', {'arx', 'network', 'nearpoly'}, 'lm_tune');
if isempty(rest) || ~isstruct(rest{1}) || ~isscalar(rest{1}) || isempty(fieldnames(rest{1}))
  error('localmodels:sysid:badGrid', 'lm_tune: GRID must be a struct naming at least one setting.');
end
grid = rest{1};
rest = rest(2:end);
if mod(numel(rest), 2) ~= 0
  error('localmodels:sysid:badOptions', 'lm_tune: options must come as name/value pairs.');
end
folds = 3;
criterion = 'simulation';
validation = {};
fixed = {};
for i = 1:2:numel(rest)
  switch rest{i}
    case 'folds'
      folds = rest{i + 1};
    case 'criterion'
      criterion = rest{i + 1};
    case 'validation'
      validation = rest{i + 1};
    otherwise
      fixed = [fixed, rest(i:i + 1)];
  end
end
if ~ischar(criterion) || ~any(strcmp(criterion, {'simulation', 'one_step'}))
  error('localmodels:sysid:badOptions', ...
        'lm_tune: ''criterion'' must be ''simulation'' or ''one_step''.');
end
[us, ys, many] = narx_records(u, y, 'lm_tune');
if many
  error('localmodels:sysid:badRecords', ...
        'lm_tune: it takes one estimation record; join the experiments or pass one.');
end
if isempty(validation)
  trials = fold_records(us{1}, ys{1}, folds);
else
  trials = {{us{1}, ys{1}, validation{1}, validation{2}}};
end
names = fieldnames(grid)';
values = cell(size(names));
for i = 1:numel(names)
  values{i} = grid.(names{i});
  if ~iscell(values{i})
    values{i} = num2cell(values{i});
  end
end
counts = cellfun(@numel, values);
total = prod(counts);
scores = struct('setting', cell(1, total), 'score', cell(1, total));
for c = 1:total
  setting = struct();
  pick = c - 1;
  for i = numel(names):-1:1   % the last setting changes fastest
    setting.(names{i}) = values{i}{mod(pick, counts(i)) + 1};
    pick = floor(pick / counts(i));
  end
  setting = orderfields(setting, names);
  pairs = [fieldnames(setting)'; struct2cell(setting)'];
  errs = zeros(1, numel(trials));
  for f = 1:numel(trials)
    tr = trials{f};
    model = lm_fit(tr{1}, tr{2}, na, nb, nk, kind, fixed{:}, pairs{:});
    errs(f) = score(model, tr{3}, tr{4}, criterion);
  end
  scores(c).setting = setting;
  scores(c).score = mean(errs);
end
[~, k] = min([scores.score]);
best = scores(k).setting;
end

function trials = fold_records(u, y, folds)
% Forward chaining: fold i fits on blocks 1..i and scores block i + 1. The
% block edges are those of the Python package (numpy's linspace, truncated).
if ~isnumeric(folds) || ~isscalar(folds) || folds ~= round(folds) || folds < 1
  error('localmodels:sysid:badOptions', 'lm_tune: ''folds'' must be a positive integer.');
end
T = size(y, 2);
step = T / (folds + 1);
edges = zeros(1, folds + 2);
for i = 1:folds
  edges(i + 1) = fix(i * step);
end
edges(end) = T;
trials = cell(1, folds);
for i = 1:folds
  fit = 1:edges(i + 1);
  held = edges(i + 1) + 1:edges(i + 2);
  trials{i} = {u(:, fit), y(:, fit), u(:, held), y(:, held)};
end
end

function s = score(model, u, y, criterion)
if strcmp(criterion, 'simulation')
  y_model = lm_simulate(model, u, y);
  skip = model_orders(model, 'lm_tune').lag;
  r = lm_compare(y(:, skip + 1:end), y_model(:, skip + 1:end));
else
  r = lm_compare(y, lm_predict(model, u, y, 1));
end
if all(isfinite(r.rmse))
  s = mean(r.rmse);
else
  s = Inf;
end
end
