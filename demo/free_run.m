function y = free_run(step, u, y0)
% FREE_RUN  Simulates a one-step model on its own predictions.
%   Y = FREE_RUN(STEP, U, Y0) starts from the two measured outputs Y0 =
%   [y(1) y(2)] and, for k = 2..numel(U), predicts y(k+1) = STEP([y(k)
%   y(k-1) u(k)]) from the model's own earlier predictions. STEP maps a row
%   regressor to a scalar. Returns y(3..numel(U)+1) as a column.
K = numel(u);
y = zeros(K + 1, 1);
y(1:2) = y0;
for k = 2:K
  y(k + 1) = step([y(k), y(k - 1), u(k)]);
end
y = y(3:end);
end
