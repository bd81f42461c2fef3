function octave_bench(build, repetitions)
% OCTAVE_BENCH  Times the plug-ins from Octave beside interp1, interp2 and
% interpn, and the one-point network calls beside read_inputs.mex, a MEX
% that only reads its inputs, all in this one run. Prints every ratio and
% writes BUILD/bench/octave_times.txt for bench/peers.py and, with the
% one-point times of all five plug-ins, bench/python_calls.py.
%
%   octave_bench('build')        medians of 7 repetitions
%   octave_bench('build', 3)
  if nargin < 2
    repetitions = 7;
  end
  addpath(fullfile(build, 'octave'));
  addpath(fullfile(build, 'bench'));
  rand('state', 1);
  times = struct();
  results = cell(0, 5);  % name, plug-in, reference, target, ratio if not their quotient

  % Lookup tables: GV1, GV2, GV4.
  b = linspace(0, 1, 1000);
  T = rand(1000, 1);
  Q = rand(1, 1e6);
  times.GV1 = median_time(@() gridval(Q, T, b), repetitions);
  results(end+1, :) = {'GV1 gridval / interp1', times.GV1, ...
                    median_time(@() interp1(b, T, Q), repetitions), 0, []};
  b = linspace(0, 1, 200);
  T = rand(200, 200);
  Q = rand(2, 1e6);
  times.GV2 = median_time(@() gridval(Q, T, b, b), repetitions);
  results(end+1, :) = {'GV2 gridval / interp2', times.GV2, ...
                    median_time(@() interp2(b, b, T.', Q(1, :), Q(2, :)), repetitions), 0, []};
  results(end+1, :) = {'GV2 gridval / interpn', times.GV2, ...
                    median_time(@() interpn(b, b, T, Q(1, :), Q(2, :)), repetitions), 0, []};
  b = linspace(0, 1, 20);
  T = rand(20, 20, 20, 20);
  Q = rand(4, 1e5);
  times.GV4 = median_time(@() gridval(Q, T, b, b, b, b), repetitions);
  results(end+1, :) = {'GV4 gridval / interpn', times.GV4, ...
                    median_time(@() interpn(b, b, b, b, T, Q(1, :), Q(2, :), Q(3, :), Q(4, :)), ...
                                repetitions), 0, []};

  % The network: NS, and one point per call.
  [X, C, A, Th] = network(4, 2, 40, 1e5);
  setenv('LOCALMODELS_THREADS', '1');
  times.NS = median_time(@() netsim(X, C, A, Th), repetitions);
  unsetenv('LOCALMODELS_THREADS');
  times.NS_threads = median_time(@() netsim(X, C, A, Th), repetitions);
  % One point per call on the demo's network (n = 3, p = 1, c = 10), each
  % plug-in timed right after the reference in every round, and the median
  % of the rounds' ratios kept: the machine's speed drifts between rounds.
  % gridval and nearpoly one point per call too, for bench/python_calls.py:
  % a 20-by-20 table, and 100 examples of 2 inputs (the problems it builds).
  [X, C, A, Th] = network(3, 1, 10, 1);
  x = X(:, 1);
  b = linspace(0, 1, 20);
  table = small_table();
  [Xd, yd] = small_examples();
  [t, ratio] = one_point_times(500, 20 * repetitions, x, C, A, Th, b, table, Xd, yd);
  names = {'netsim', 'dmat_inputs', 'dmat_params'};
  for k = 1:3
    results(end+1, :) = {[names{k} ', one point / read_inputs.mex'], t(k + 1), t(1), 1.5, ratio(k)};
  end
  one = t;

  % nearpoly: NP3 on 1 thread and on the threads it chooses.
  Xd = rand(5000, 3);
  y = sin(3 * Xd(:, 1)) + Xd(:, 2).^2 - Xd(:, 3);
  Xq = rand(1000, 3);
  setenv('LOCALMODELS_THREADS', '1');
  times.NP3_1 = median_time(@() nearpoly(Xd, y, Xq, [1; 1; 1]), repetitions);
  unsetenv('LOCALMODELS_THREADS');
  times.NP3 = median_time(@() nearpoly(Xd, y, Xq, [1; 1; 1]), repetitions);

  fprintf('\n%-44s %12s %12s %8s %7s\n', 'from Octave', 'plug-in', 'reference', 'ratio', 'target');
  for r = 1:size(results, 1)
    [name, mine, theirs, target] = results{r, 1:4};
    ratio = mine / theirs;
    if ~isempty(results{r, 5})
      ratio = results{r, 5};  % the median of the rounds' ratios
    end
    verdict = '';
    if target > 0
      verdict = 'NOT met';
      if ratio <= target
        verdict = 'met';
      end
    end
    fprintf('%-44s %11.4gs %11.4gs %8.3f %7s %s\n', name, mine, theirs, ratio, ...
            target_text(target), verdict);
  end
  fprintf('%-44s %11.4gs\n', 'NS netsim, 1 thread', times.NS);
  fprintf('%-44s %11.4gs\n', 'NS netsim, its threads', times.NS_threads);
  fprintf('%-44s %11.4gs\n', 'NP3 nearpoly, 1 thread', times.NP3_1);
  fprintf('%-44s %11.4gs\n', 'NP3 nearpoly, its threads', times.NP3);

  file = fopen(fullfile(build, 'bench', 'octave_times.txt'), 'w');
  fprintf(file, 'GV1 %.6g\nGV2 %.6g\nGV4 %.6g\nNS %.6g\nNP3 %.6g\n', times.GV1, times.GV2, ...
          times.GV4, times.NS, times.NP3);
  one_names = {'read_inputs', 'netsim', 'dmat_inputs', 'dmat_params', 'gridval', 'nearpoly'};
  for k = 1:numel(one_names)
    fprintf(file, 'one_%s %.6g\n', one_names{k}, one(k));
  end
  fclose(file);
end

function t = median_time(f, repetitions)
  f();  % warm up
  t = zeros(1, repetitions);
  for r = 1:repetitions
    start = tic;
    f();
    t(r) = toc(start);
  end
  t = median(t);
end

% Median seconds per call of read_inputs, netsim, dmat_inputs, dmat_params,
% gridval (one point in a 2-D table) and nearpoly (one query) over `rounds`
% rounds of `calls` calls each, and the median of each network plug-in's
% ratio to read_inputs within a round.
function [t, ratio] = one_point_times(calls, rounds, x, C, A, T, b, table, Xd, yd)
  s = zeros(rounds, 6);
  q = [0.3; 0.6];
  xq = [0.3, 0.6];
  for r = 1:rounds
    start = tic;
    for k = 1:calls
      read_inputs(x, C, A, T, 1, 1, 2);
    end
    s(r, 1) = toc(start);
    start = tic;
    for k = 1:calls
      y = netsim(x, C, A, T, 1, 1, 2);
    end
    s(r, 2) = toc(start);
    start = tic;
    for k = 1:calls
      D = dmat_inputs(x, C, A, T, 1, 1, 2);
    end
    s(r, 3) = toc(start);
    start = tic;
    for k = 1:calls
      D = dmat_params(x, C, A, T, 1, 1, 2);
    end
    s(r, 4) = toc(start);
    start = tic;
    for k = 1:calls
      v = gridval(q, table, b, b);
    end
    s(r, 5) = toc(start);
    start = tic;
    for k = 1:calls
      v = nearpoly(Xd, yd, xq, [1; 1; 1]);
    end
    s(r, 6) = toc(start);
  end
  t = median(s) / calls;
  ratio = median(s(:, 2:4) ./ s(:, 1));
end

% The same values as bench/python_calls.py builds: table(i, j) and the
% examples' coordinates from fractional parts of multiples of irrationals.
function table = small_table()
  [i, j] = ndgrid(0:19, 0:19);
  table = mod(0.6180339887 * i + 0.4142135623 * j, 1);
end

function [Xd, yd] = small_examples()
  k = (1:100)';
  Xd = [mod(0.6180339887 * k, 1), mod(0.7320508075 * k, 1)];
  yd = sin(3 * Xd(:, 1)) + Xd(:, 2) .^ 2;
end

function [X, C, A, T] = network(n, p, c, N)
  X = rand(n, N);
  C = rand(n, c);
  A = repmat(0.5 * ones(n) + 3.5 * eye(n), [1 1 c]);
  T = rand(p, n + 1, c);
end

function s = target_text(target)
  s = '';
  if target > 0
    s = sprintf('%.2f', target);
  end
end
