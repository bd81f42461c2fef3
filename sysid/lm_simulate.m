function y = lm_simulate(model, u, y0)
% LM_SIMULATE  Free-run simulation of a NARX model: each output from the model's earlier outputs.
%   Y = LM_SIMULATE(MODEL, U, Y0) runs MODEL (from LM_FIT, LM_TABLE or
%   LM_LOAD) on the inputs U (m-by-T, a column per sample) from the
%   initial outputs Y0 (p-by-L or wider: only the first L columns, L the
%   model's lag, are read, so a whole measured record may be passed) and
%   returns Y, p-by-T: Y(:, 1:L) = Y0(:, 1:L), then the simulated samples.
%   With MODEL.clamp every simulated output is held in MODEL.output_range
%   before it is fed back.
%
%   Several experiments: U and Y0 cell arrays; Y is then a cell array.
%   The run is one NARX_SIMULATE call, bit for bit the same as the Python
%   package's lm_simulate of the same model.
%
%   Example: y(t) = 0.8 y(t-1) + 0.5 u(t-1), identified and run again.
%     u = sin(0.3 * (1:60)) + cos(0.71 * (1:60));
%     y = filter([0 0.5], [1 -0.8], u);
%     model = lm_fit(u, y, 1, 1, 1, 'arx');
%     ys = lm_simulate(model, u, y(1));
%     size(ys)                          % ans = [1 60]
%     max(abs(ys - y))                  % ans = 0 to within 1e-9
%
%   See also LM_FIT, LM_PREDICT, LM_COMPARE, NARX_SIMULATE.
if nargin < 3
  error('localmodels:sysid:notEnoughArguments', 'lm_simulate: give MODEL, U and Y0.');
end
o = model_orders(model, 'lm_simulate');
if iscell(u) ~= iscell(y0) || (iscell(u) && numel(u) ~= numel(y0))
  error('localmodels:sysid:badRecords', ...
        'lm_simulate: U and Y0 must both be matrices or cell arrays of as many experiments.');
end
if iscell(u)
  y = cell(size(u));
  for k = 1:numel(u)
    y{k} = one_run(model, o, u{k}, y0{k});
  end
else
  y = one_run(model, o, u, y0);
end
end

function y = one_run(model, o, u, y0)
if ~isnumeric(u) || ndims(u) ~= 2 || size(u, 1) ~= o.m || ~isnumeric(y0) || ndims(y0) ~= 2 ...
    || size(y0, 1) ~= o.p
  error('localmodels:sysid:badRecords', ...
        'lm_simulate: the model has %d inputs and %d outputs: U must have %d rows and Y0 %d.', ...
        o.m, o.p, o.m, o.p);
end
bounds = guard_bounds(model);
switch model.kind
  case {'arx', 'network'}
    net = model.network;
    args = {'network', net.centres, net.norm_matrices, net.consequents, net.options(1), ...
            net.options(2), net.options(3)};
  case 'nearpoly'
    args = [{'nearpoly'}, nearpoly_args(model.examples)];
  otherwise
    args = [{'table', model.table.tables}, model.table.breakpoints(:)'];
end
y = narx_simulate(double(u), double(y0), o.na, o.nb, o.nk, bounds, args{:});
end
