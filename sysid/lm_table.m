function table = lm_table(model, breakpoints, varargin)
% LM_TABLE  A GRIDVAL lookup table of any NARX model, with its largest error.
%   TABLE = LM_TABLE(MODEL, BREAKPOINTS) tabulates MODEL's one-step
%   outputs on a grid of its n regressors and returns a model of kind
%   'table', which LM_SIMULATE, LM_PREDICT, LM_LINEARIZE and LM_SAVE take
%   like the others. BREAKPOINTS (default 5) is
%     a count             that many nodes, evenly spread over every
%                         regressor's estimation range
%     n counts            one count per regressor
%     a cell of n items   per regressor, a count or the breakpoint vector
%   (a regressor whose range is one value gets that one node).
%   TABLE.table.tables is M1-by-...-by-Mn-by-p (page j output j's table)
%   and TABLE.table.breakpoints the cell of the n breakpoint rows. At most
%   1e7 nodes.
%
%   TABLE = LM_TABLE(..., 'records', {U, Y}) measures the table's error on
%   the regressors of the records (the estimation records, say; cells of
%   experiments allowed); TABLE = LM_TABLE(..., 'regressors', PHI) at the
%   columns of PHI (n-by-rows); by default at the model's own examples
%   ('nearpoly'), else nowhere.
%   TABLE.info.max_error (p-by-1) is the largest difference from the model
%   there, or [] when there are none; TABLE.info.source the model's kind.
%
%   Example: a linear model is tabulated exactly.
%     u = sin(0.3 * (1:60)) + cos(0.71 * (1:60));
%     y = filter([0 0.5], [1 -0.8], u);
%     model = lm_fit(u, y, 1, 1, 1, 'arx');
%     [phi, target] = narx_regressors(u, y, 1, 1);
%     table = lm_table(model, 3, 'regressors', phi);
%     size(table.table.tables)          % ans = [3 3]
%     table.info.max_error              % ans = 0 to within 1e-12
%
%   See also LM_FIT, GRIDVAL, LM_SIMULATE.
if nargin < 1
  error('localmodels:sysid:notEnoughArguments', 'lm_table: give MODEL.');
end
if nargin < 2 || isempty(breakpoints)
  breakpoints = 5;
end
o = model_orders(model, 'lm_table');
opts = name_value(varargin, {'records', 'regressors'}, 'lm_table');
bps = grid_of(breakpoints, model.regressor_range, o.n);
sizes = cellfun(@numel, bps);
nodes = prod(sizes);
if nodes > 1e7
  error('localmodels:sysid:tableTooLarge', ...
        'lm_table: a table of %d nodes is beyond 10000000; use fewer breakpoints.', nodes);
end
grid = cell(1, o.n);
if o.n == 1
  grid{1} = bps{1}(:);   % ndgrid of one vector differs between the hosts
else
  [grid{:}] = ndgrid(bps{:});
end
points = zeros(o.n, nodes);
for k = 1:o.n
  points(k, :) = grid{k}(:)';
end
values = model_step(model, points);
table = model_new('table', o, model.output_range, model.regressor_range, model.clamp, ...
                  model.clamp_margin);
table.table = struct('tables', reshape(values', [sizes, o.p, 1]), 'breakpoints', {bps});
if isfield(opts, 'records')
  [us, ys] = narx_records(opts.records{1}, opts.records{2}, 'lm_table');
  phi = narx_stack(us, ys, o);
elseif isfield(opts, 'regressors')
  phi = double(opts.regressors);
elseif ~isempty(model.examples)
  phi = model.examples.data_x';
else
  phi = [];
end
max_error = [];
if ~isempty(phi)
  phi = reshape(phi, o.n, []);
  max_error = max(abs(model_step(table, phi) - model_step(model, phi)), [], 2);
end
table.info = struct('source', model.kind, 'max_error', max_error);
end

function out = grid_of(b, range, n)
% The breakpoint rows of every regressor.
if isnumeric(b) && isscalar(b)
  b = repmat(b, 1, n);
end
if isnumeric(b)
  b = num2cell(b);
end
if ~iscell(b) || numel(b) ~= n
  error('localmodels:sysid:badBreakpoints', ...
        'lm_table: BREAKPOINTS must give %d entries (one per regressor).', n);
end
out = cell(1, n);
for k = 1:n
  v = b{k};
  if isscalar(v)
    if ~isnumeric(v) || v ~= round(v) || v < 2
      error('localmodels:sysid:badBreakpoints', ...
            'lm_table: BREAKPOINTS{%d} must be a count of at least 2.', k);
    end
    out{k} = even(range(1, k), range(2, k), double(v));
  else
    out{k} = double(v(:)');
  end
end
end

function v = even(lo, hi, count)
% count points from lo to hi as numpy's linspace spreads them: lo + i*step,
% the last exactly hi, so that both hosts give the same table.
if ~(hi > lo)
  v = lo;
  return;
end
step = (hi - lo) / (count - 1);
v = zeros(1, count);
for i = 1:count - 1
  v(i) = (i - 1) * step + lo;
end
v(count) = hi;
end
