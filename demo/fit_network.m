function net = fit_network(X, y, c, overlap, state)
% FIT_NETWORK  A first local-model network for the data X (N-by-n) -> Y.
%   NET = FIT_NETWORK(X, Y, C, OVERLAP, STATE) places C centres by k-means
%   (started from C examples drawn with rand in STATE), gives each cluster
%   the norm matrix inv(cov) / (2 * OVERLAP^2) of its members' spread, and
%   fits the consequents by least squares on the normalised validities.
%   NET has fields C (n-by-c), A (n-by-n-by-c) and T (1-by-(n+1)-by-c).
[N, n] = size(X);
rand('state', state);
start = randperm(N);
C = X(start(1:c), :)';
for iteration = 1:50
  [~, member] = min(sum((permute(X, [1 3 2]) - permute(C, [3 2 1])).^2, 3), [], 2);
  for i = 1:c
    if any(member == i)
      C(:, i) = mean(X(member == i, :), 1)';
    end
  end
end
spread = 0.05 * diag(var(X));   % keeps small clusters' matrices bounded
A = zeros(n, n, c);
for i = 1:c
  Xi = X(member == i, :);
  S = spread;
  if size(Xi, 1) > n
    S = S + cov(Xi);
  end
  A(:, :, i) = inv(S) / (2 * overlap^2);
  A(:, :, i) = (A(:, :, i) + A(:, :, i)') / 2;
end
net = struct('C', C, 'A', A, 'T', zeros(1, n + 1, c));
net.T = fit_consequents(net, X, y);
end

function T = fit_consequents(net, X, y)
% Least squares for the local models: with the normalised validities phi_i,
% y = sum_i phi_i(x) [x 1] theta_i is linear in the consequents.
[N, n] = size(X);
c = size(net.C, 2);
unit = zeros(c, n + 1, c);   % local model i outputs 1 in output i
for i = 1:c
  unit(i, n + 1, i) = 1;
end
phi = netsim(X', net.C, net.A, unit)';   % N-by-c normalised validities
Psi = zeros(N, (n + 1) * c);
for i = 1:c
  Psi(:, (i - 1) * (n + 1) + (1:n + 1)) = phi(:, i) .* [X, ones(N, 1)];
end
theta = (Psi' * Psi + 1e-8 * eye(size(Psi, 2))) \ (Psi' * y);
T = reshape(theta, 1, n + 1, c);
end
