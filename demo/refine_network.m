function [net, history] = refine_network(net, X, y, iterations)
% REFINE_NETWORK  Levenberg-Marquardt refinement of every network parameter.
%   [NET, HISTORY] = REFINE_NETWORK(NET, X, Y, ITERATIONS) minimises the sum
%   of squared one-step errors over the centres, the lower triangles of the
%   (symmetric) norm matrices and the consequents. The Jacobian rows come
%   from dmat_params, one call per example; a step that does not lower the
%   error, or that makes a norm matrix indefinite, is refused and the
%   damping raised. HISTORY holds the error sum after each iteration.
[n, c] = size(net.C);
lower = tril(true(n));
lambda = 1e-2;
sse = sum((y - netsim(X', net.C, net.A, net.T)').^2);
history = zeros(iterations, 1);
for iteration = 1:iterations
  J = jacobian(net, X, lower);
  r = y - netsim(X', net.C, net.A, net.T)';
  H = J' * J;
  g = J' * r;
  p = pack(net, lower);
  for attempt = 1:10
    trial = unpack(p + (H + lambda * diag(diag(H) + 1e-12)) \ g, n, c, lower);
    trial_sse = sum((y - netsim(X', trial.C, trial.A, trial.T)').^2);
    if trial_sse < sse && positive_definite(trial.A)
      net = trial;
      sse = trial_sse;
      lambda = max(lambda / 3, 1e-7);
      break;
    end
    lambda = lambda * 4;
  end
  history(iteration) = sse;
end
end

function J = jacobian(net, X, lower)
% One row per example: dmat_params' rows for the centres and consequents,
% and for each norm-matrix entry below the diagonal the sum of its row and
% its mirror's (the pair moves together to keep the matrix symmetric).
[N, n] = size(X);
c = size(net.C, 2);
mirror = reshape(1:n * n, n, n)';
pairs = find(lower);
J = zeros(N, n * c + numel(pairs) * c + numel(net.T));
for t = 1:N
  D = dmat_params(X(t, :)', net.C, net.A, net.T, 1, 1, 2, uint8(15));
  centre = D(1:n * c);
  norms = reshape(D(n * c + (1:n * n * c)), n * n, c);
  norms = norms(pairs, :) + (pairs ~= mirror(pairs)) .* norms(mirror(pairs), :);
  J(t, :) = [centre; norms(:); D(n * c + n * n * c + 1:end)]';
end
end

function p = pack(net, lower)
c = size(net.C, 2);
A = reshape(net.A, [], c);
p = [net.C(:); reshape(A(lower(:), :), [], 1); net.T(:)];
end

function net = unpack(p, n, c, lower)
m = nnz(lower);
C = reshape(p(1:n * c), n, c);
L = reshape(p(n * c + (1:m * c)), m, c);
A = zeros(n, n, c);
for i = 1:c
  Ai = zeros(n);
  Ai(lower) = L(:, i);
  A(:, :, i) = Ai + tril(Ai, -1)';
end
T = reshape(p(n * c + m * c + 1:end), 1, n + 1, c);
net = struct('C', C, 'A', A, 'T', T);
end

function ok = positive_definite(A)
ok = true;
for i = 1:size(A, 3)
  [~, failed] = chol(A(:, :, i));
  ok = ok && ~failed;
end
end
