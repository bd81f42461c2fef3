function [y_next, jacobian] = plant_step(x)
% PLANT_STEP  The benchmark plant y(k+1) = f(y(k), y(k-1), u(k)).
%   Y_NEXT = PLANT_STEP(X) applies f to each row [y(k) y(k-1) u(k)] of X.
%   [Y_NEXT, J] = PLANT_STEP(X) also returns the analytic gradient of f at
%   each row, one row [df/dy(k) df/dy(k-1) df/du(k)] per row of X.
a = x(:, 1);
b = x(:, 2);
u = x(:, 3);
den = 1 + a.^2 + b.^2;
num = a .* b .* (a + 2.5);
y_next = num ./ den + u;
if nargout > 1
  d_a = (b .* (2 * a + 2.5) .* den - num .* 2 .* a) ./ den.^2;
  d_b = (a .* (a + 2.5) .* den - num .* 2 .* b) ./ den.^2;
  jacobian = [d_a, d_b, ones(size(u))];
end
end
