function [phi, target] = narx_stack(us, ys, o)
% NARX_STACK  The regressors (n-by-rows) and targets (p-by-rows) of every
%   experiment, one after another; each gives its samples lag+1 .. T.
phi = zeros(o.n, 0);
target = zeros(o.p, 0);
for k = 1:numel(us)
  t = o.lag + 1:size(ys{k}, 2);
  phi = [phi, narx_block(us{k}, ys{k}, o, t)];
  target = [target, ys{k}(:, t)];
end
end
