function [phi, target] = narx_regressors(u, y, na, nb, nk)
% NARX_REGRESSORS  Regressors and targets of NARX orders from input/output records.
%   [PHI, TARGET] = NARX_REGRESSORS(U, Y, NA, NB, NK) returns the
%   regressors PHI (n-by-rows, one regressor per column) and the outputs
%   they predict, TARGET (p-by-rows), of the records U and Y.
%
%   Signals take a column per sample, as in NARX_SIMULATE:
%     U    m-by-T inputs (zeros(0, T) for none)
%     Y    p-by-T outputs
%   Several experiments are cell arrays {U1, U2, ...} and {Y1, Y2, ...};
%   no regressor crosses the boundary between two, and their columns
%   follow one another in PHI and TARGET.
%   Orders, non-negative integers (a scalar applies to every signal):
%     NA   output lags, 1-by-p
%     NB   input lags, 1-by-m
%     NK   input delays, 1-by-m (default 1; 0: u(t) itself)
%   The regressor of sample t is, in this order,
%     y_1(t-1) ... y_1(t-NA(1)), ..., y_p(t-1) ... y_p(t-NA(p)),
%     u_1(t-NK(1)) ... u_1(t-NK(1)-NB(1)+1), ..., u_m(...)
%   n = sum(NA) + sum(NB) values. The first L samples of each record,
%   L = max(NA, NK(j) + NB(j) - 1 over the inputs with NB(j) > 0), have no
%   full regressor and give no column.
%
%   Example: one input and one output, NA = 2, NB = 1.
%     [phi, target] = narx_regressors(0:4, 10:14, 2, 1)
%     % phi = [11 12 13; 10 11 12; 1 2 3]
%     % target = [12 13 14]
%
%   See also LM_FIT, NARX_SIMULATE.
if nargin < 4
  error('localmodels:sysid:notEnoughArguments', 'narx_regressors: give U, Y, NA and NB.');
end
if nargin < 5 || isempty(nk)
  nk = 1;
end
[us, ys] = narx_records(u, y, 'narx_regressors');
o = narx_orders(na, nb, nk, size(ys{1}, 1), size(us{1}, 1), 'narx_regressors');
[phi, target] = narx_stack(us, ys, o);
end
