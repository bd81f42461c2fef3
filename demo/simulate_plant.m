function [X, y] = simulate_plant(u, noise, state)
% SIMULATE_PLANT  Runs the plant from rest and forms the regressors.
%   [X, Y] = SIMULATE_PLANT(U, NOISE, STATE) drives the plant with the input
%   sequence U (K-by-1) from y(1) = y(2) = 0 and returns the K-1 regressor
%   rows X = [y(k) y(k-1) u(k)] with targets Y = y(k+1), for k = 2..K.
%   Measured outputs carry Gaussian noise of standard deviation NOISE drawn
%   with randn in the given STATE.
K = numel(u);
y = zeros(K + 1, 1);
for k = 2:K
  y(k + 1) = plant_step([y(k), y(k - 1), u(k)]);
end
randn('state', state);
y = y + noise * randn(size(y));
X = [y(2:K), y(1:K - 1), u(2:K)];
y = y(3:K + 1);
end
