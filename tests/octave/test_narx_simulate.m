% narx_simulate through the real host: a loop of one-point netsim, nearpoly
% and gridval calls, held in the bounds and fed back, gives the same bits;
% the help's example claims; a few refusals with their identifiers.
function test_narx_simulate()
  % A network of p = 2 outputs and m = 2 inputs: NA = [2 0], NB = [1 2],
  % NK = [0 3], so n = 5 regressors and L = 4.
  rand('seed', 3);
  na = [2 0]; nb = [1 2]; nk = [0 3]; T = 50;
  U = 2 * rand(2, T) - 1;
  Y0 = rand(2, 6) - 0.5;
  c = 3; n = 5;
  C = 2 * rand(n, c) - 1;
  A = zeros(n, n, c);
  for i = 1:c
    B = 0.7 * (2 * rand(n) - 1);
    A(:, :, i) = B * B' + 0.3 * eye(n);
  end
  Th = 0.5 * (2 * rand(2, n + 1, c) - 1);
  model = {C, A, Th, 1, 2, 1.5};
  step = @(r) netsim(r, model{:});
  expect_same(narx_simulate(U, Y0, na, nb, nk, [], 'network', model{:}), ...
              host_loop(U, Y0, na, nb, nk, [], step), 'network');
  bounds = [-0.1 -Inf; 0.1 0.05];
  Y = narx_simulate(U, Y0, na, nb, nk, bounds, 1, model{:});
  expect_same(Y, host_loop(U, Y0, na, nb, nk, bounds, step), 'network, bounds');
  assert(all(all(Y(:, 5:end) >= bounds(1, :)' & Y(:, 5:end) <= bounds(2, :)')));
  assert(isequal(Y(:, 1:4), Y0(:, 1:4)));

  % nearpoly, one output: NA = 2, NB = [1 1], NK = [1 0]; N = 1500 examples,
  % so the run searches through the tree.
  N = 1500;
  X = 2 * rand(N, 4) - 1;
  y = 0.5 * X(:, 1) - 0.3 * X(:, 2) + 0.5 * sin(2 * X(:, 3)) + 0.2 * X(:, 4);
  U2 = 2 * rand(2, 80) - 1;
  near = {X, y, [1; 1; 1]};
  step = @(r) nearpoly(near{1:2}, r', near{3:end});
  expect_same(narx_simulate(U2, [0.1 -0.2], 2, [1 1], [1 0], [], 'nearpoly', near{:}), ...
              host_loop(U2, [0.1 -0.2], 2, [1 1], [1 0], [], step), 'nearpoly');
  near = {X(1:300, :), y(1:300), [3 8; 6 20; 10 40], [1 2 2], 1e4, [1 0.5 2 1]};
  step = @(r) nearpoly(near{1:2}, r', near{3:end});
  expect_same(narx_simulate(U2, [0.1 -0.2], 2, [1 1], [1 0], [-0.3; 0.3], 2, near{:}), ...
              host_loop(U2, [0.1 -0.2], 2, [1 1], [1 0], [-0.3; 0.3], step), 'nearpoly, all');

  % A table per output: NA = [1 1], NB = 1, NK = 0, regressors y1(t-1),
  % y2(t-1), u(t); TABLE is 4-by-2-by-5-by-2.
  b = {[-1 0 0.5 1], [-1 1], [-2 -1 0 1 2]};
  tables = 2.4 * rand(4, 2, 5, 2) - 1.2;
  U3 = 5 * rand(1, 70) - 2.5;
  U3(30) = NaN;
  step = @(r) [gridval(r, tables(:, :, :, 1), b{:}); gridval(r, tables(:, :, :, 2), b{:})];
  bounds = [-0.8 -0.9; 0.8 0.5];
  Y = narx_simulate(U3, [0.2; -0.1], [1 1], 1, 0, bounds, 'table', tables, b{:});
  expect_same(Y, host_loop(U3, [0.2; -0.1], [1 1], 1, 0, bounds, step), 'table');
  assert(all(isnan(Y(:, 31))));

  % Refusals.
  expect_id(@() narx_simulate(U, Y0, na, nb, nk, [], 'network'), 'narx_simulate:notEnoughArguments');
  expect_id(@() narx_simulate(U, Y0(:, 1:3), na, nb, nk, [], 1, model{:}), 'narx_simulate:y0TooShort');
  expect_id(@() narx_simulate(U, Y0, na, nb, nk, [1; 0; 0], 1, model{:}), 'narx_simulate:boundsShape');
  expect_id(@() narx_simulate(U, Y0, na, nb, nk, [], 'nets', model{:}), 'narx_simulate:badKind');
  expect_id(@() narx_simulate(U, Y0, [1.5 0], nb, nk, [], 1, model{:}), 'narx_simulate:badOrders');
  expect_id(@() narx_simulate(U2, [0 0; 0 0], [2 0], [1 1], [1 0], [], 2, near{:}), ...
            'narx_simulate:nearpolyOutputs');
  expect_error('narx_simulate: The lower bound of output 1 is above its upper bound.', ...
               @() narx_simulate(U, Y0, na, nb, nk, [1 0; 0 1], 1, model{:}));
  disp('narx_simulate: all Octave tests passed');
end

% The plain loop: the regressor from the definition, one plug-in call.
function Y = host_loop(U, Y0, na, nb, nk, bounds, step)
  p = numel(na); T = size(U, 2);
  L = max([0, na, nk(nb > 0) + nb(nb > 0) - 1]);
  Y = zeros(p, T);
  Y(:, 1:L) = Y0(:, 1:L);
  for t = L + 1:T  % sample t - 1 from 0
    r = [];
    for i = 1:p
      r = [r; Y(i, t - (1:na(i)))'];
    end
    for j = 1:numel(nb)
      r = [r; U(j, t - nk(j) - (0:nb(j) - 1))'];
    end
    v = step(r);
    if ~isempty(bounds)  % Octave's min and max skip a NaN; the hold keeps it
      v(~isnan(v)) = min(max(v(~isnan(v)), bounds(1, ~isnan(v))'), bounds(2, ~isnan(v))');
    end
    Y(:, t) = v;
  end
end

function expect_same(got, expected, what)
  same = isequal(size(got), size(expected)) && ...
         all(isnan(got(:)) == isnan(expected(:))) && ...
         isequal(typecast(got(~isnan(got)), 'uint64'), typecast(expected(~isnan(expected)), 'uint64'));
  if ~same
    error('%s: narx_simulate differs from the loop of one-point calls', what);
  end
end
