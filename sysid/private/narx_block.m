function phi = narx_block(u, y, o, t)
% NARX_BLOCK  The n-by-numel(T) regressors of the samples T (1-based
%   columns) of one record, in the order output lags (each most recent
%   first), then input lags after their delays.
phi = zeros(o.n, numel(t));
r = 0;
for i = 1:o.p
  for j = 1:o.na(i)
    r = r + 1;
    phi(r, :) = y(i, t - j);
  end
end
for i = 1:o.m
  for j = 0:o.nb(i) - 1
    r = r + 1;
    phi(r, :) = u(i, t - o.nk(i) - j);
  end
end
end
