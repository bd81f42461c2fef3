function lin = lm_linearize(model, u0, y0)
% LM_LINEARIZE  The linear ARX and state-space model of a NARX model at an operating point.
%   LIN = LM_LINEARIZE(MODEL, U0, Y0) linearises MODEL where every lag of
%   input j is U0(j) and every lag of output i is Y0(i) (an equilibrium
%   when Y0 is the model's output there); a scalar applies to every signal.
%   LIN = LM_LINEARIZE(MODEL, 'regressor', PHI) linearises it at any
%   regressor PHI (n values, in NARX_REGRESSORS's order).
%
%   The derivatives are exact for 'arx' and 'network' models (DMAT_INPUTS,
%   whose n-by-p D is transposed here); for 'nearpoly' and 'table' models
%   they are central differences over a thousandth of each regressor's
%   estimation range (h = 1e-3 (max - min), or 1e-3 where max == min).
%
%   LIN is a struct:
%     regressor  n-by-1, the point
%     y          p-by-1, the model's output there
%     gradient   p-by-n, gradient(i, k) = dy_i / dregressor_k
%     A, B       p-by-sum(NA) and p-by-sum(NB), its output-lag and
%                input-lag columns: the ARX form
%                y(t) ~ A [output lags] + B [input lags] + offset
%     offset     p-by-1, y - gradient * regressor
%     a, b, c, d the state-space form in deviations from the point,
%                z(t+1) = a z(t) + b du(t), dy(t) = c z(t) + d du(t), with
%                z the output lags y_i(t-1 .. t-NA(i)) of every output,
%                then the input lags u_j(t-1 .. t-NK(j)-NB(j)+1) of every
%                input
%
%   Example: y(t) = 0.8 y(t-1) + 0.5 u(t-1) at u0 = 1, y0 = 2.5.
%     u = sin(0.3 * (1:60)) + cos(0.71 * (1:60));
%     y = filter([0 0.5], [1 -0.8], u);
%     model = lm_fit(u, y, 1, 1, 1, 'arx');
%     lin = lm_linearize(model, 1, 2.5);
%     [lin.A lin.B]                     % ans = [0.8 0.5] to within 1e-9
%     lin.y                             % ans = 2.5 to within 1e-9
%     [lin.a lin.b; lin.c lin.d]        % ans = [0.8 0.5 0; 0 0 1; 0.8 0.5 0] to within 1e-9
%
%   See also LM_FIT, DMAT_INPUTS.
if nargin < 3
  error('localmodels:sysid:notEnoughArguments', ...
        'lm_linearize: give MODEL, U0 and Y0, or MODEL, ''regressor'' and PHI.');
end
o = model_orders(model, 'lm_linearize');
if ischar(u0)
  if ~strcmp(u0, 'regressor')
    error('localmodels:sysid:badOptions', 'lm_linearize: unknown option ''%s''.', u0);
  end
  phi = double(y0(:));
  if numel(phi) ~= o.n
    error('localmodels:sysid:badPoint', 'lm_linearize: PHI must have %d entries; got %d.', ...
          o.n, numel(phi));
  end
else
  phi = operating_regressor(o, spread(u0, o.m, 'U0'), spread(y0, o.p, 'Y0'));
end
[grad, y] = gradient_at(model, phi);
ny = sum(o.na);
lin.regressor = phi;
lin.y = y;
lin.gradient = grad;
lin.A = grad(:, 1:ny);
lin.B = grad(:, ny + 1:end);
lin.offset = y - grad * phi;
[lin.a, lin.b, lin.c, lin.d] = state_space(o, grad);
end

function v = spread(v, count, name)
v = double(v(:));
if numel(v) == 1
  v = repmat(v, count, 1);
end
if numel(v) ~= count
  error('localmodels:sysid:badPoint', 'lm_linearize: %s must have %d entries; got %d.', ...
        name, count, numel(v));
end
end

function phi = operating_regressor(o, u0, y0)
phi = zeros(o.n, 1);
r = 0;
for i = 1:o.p
  phi(r + 1:r + o.na(i)) = y0(i);
  r = r + o.na(i);
end
for j = 1:o.m
  phi(r + 1:r + o.nb(j)) = u0(j);
  r = r + o.nb(j);
end
end

function [grad, y] = gradient_at(model, phi)
% The p-by-n derivatives of the one-step outputs at phi, and the outputs.
n = numel(phi);
if any(strcmp(model.kind, {'arx', 'network'}))
  net = model.network;
  [d, y] = dmat_inputs(phi, net.centres, net.norm_matrices, net.consequents, ...
                       net.options(1), net.options(2), net.options(3));
  grad = d';
  return;
end
% nearpoly and tables: central differences (tables are linear inside a cell).
span = model.regressor_range(2, :) - model.regressor_range(1, :);
span(~(span > 0)) = 1;
h = 1e-3 * span(:);
steps = [repmat(phi, 1, n) + diag(h), repmat(phi, 1, n) - diag(h), phi];
out = model_step(model, steps);
grad = (out(:, 1:n) - out(:, n + 1:2 * n)) ./ repmat(2 * h', size(out, 1), 1);
y = out(:, end);
end

function [a, b, c, d] = state_space(o, grad)
% The realisation of the linear ARX model with the gradient's coefficients.
y_len = o.na;
u_len = zeros(1, o.m);
u_len(o.nb > 0) = o.nk(o.nb > 0) + o.nb(o.nb > 0) - 1;
ny = sum(y_len);
nz = ny + sum(u_len);
c = zeros(o.p, nz);
d = zeros(o.p, o.m);
col = 0;
for i = 1:o.p
  base = sum(y_len(1:i - 1));
  c(:, base + 1:base + o.na(i)) = grad(:, col + 1:col + o.na(i));
  col = col + o.na(i);
end
for j = 1:o.m
  base = ny + sum(u_len(1:j - 1));
  for l = 0:o.nb(j) - 1
    lag = o.nk(j) + l;
    col = col + 1;
    if lag == 0
      d(:, j) = d(:, j) + grad(:, col);
    else
      c(:, base + lag) = c(:, base + lag) + grad(:, col);
    end
  end
end
a = zeros(nz, nz);
b = zeros(nz, o.m);
for i = 1:o.p
  base = sum(y_len(1:i - 1));
  if y_len(i) == 0
    continue;
  end
  a(base + 1, :) = c(i, :);
  b(base + 1, :) = d(i, :);
  for l = 2:y_len(i)
    a(base + l, base + l - 1) = 1;
  end
end
for j = 1:o.m
  base = ny + sum(u_len(1:j - 1));
  if u_len(j) == 0
    continue;
  end
  b(base + 1, j) = 1;
  for l = 2:u_len(j)
    a(base + l, base + l - 1) = 1;
  end
end
end
