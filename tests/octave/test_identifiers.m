% Refusals through the real host carry their identifiers: a few of each
% plug-in, read back with lasterror as callers do.
function test_identifiers()
  net = {0.5, [0 1], cat(3, 1, 1), cat(3, [1 0], [0 5])};
  expect_id(@() gridval(1, 2), 'gridval:notEnoughArguments');
  expect_id(@() gridval(1, [1 2], [1 0]), 'gridval:breakpointsDecrease');
  expect_id(@() gridval(int8(1), 2, 1), 'gridval:notDoubleArray');
  expect_id(@() netsim(1, 2, 3), 'netsim:notEnoughArguments');
  expect_id(@() netsim([1; 2], net{2:end}), 'netsim:xRows');
  expect_id(@() netsim(net{:}, NaN), 'netsim:normalizeOutOfRange');
  expect_id(@() dmat_inputs(1), 'dmat_inputs:notEnoughArguments');
  expect_id(@() dmat_inputs(zeros(1, 0), net{2:end}), 'dmat_inputs:xTooShort');
  expect_id(@() dmat_params(net{:}, 1, 1, 2, {15}), 'dmat_params:badSelection');
  expect_id(@() dmat_params(1, 2), 'dmat_params:notEnoughArguments');
  x = (0:11)';
  expect_id(@() nearpoly(x, sin(x), 2, [1; 1]), 'nearpoly:illegalIdPar');
  expect_id(@() nearpoly(x, sin(x(1:11)), 2, [1; 1; 1]), 'nearpoly:dataYShape');
  expect_id(@() nearpoly(x, sin(x), [2 3], [1; 1; 1]), 'nearpoly:queryXColumns');
  expect_id(@() nearpoly(x, sin(x), 2, [1; 1; 1], []), 'nearpoly:illegalCombPar');
  disp('identifiers: every refusal carries its identifier');
end
