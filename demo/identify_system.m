function results = identify_system(opts)
% IDENTIFY_SYSTEM  A nonlinear plant identified three ways with the plug-ins.
%   RESULTS = IDENTIFY_SYSTEM() simulates the benchmark plant
%     y(k+1) = y(k) y(k-1) (y(k) + 2.5) / (1 + y(k)^2 + y(k-1)^2) + u(k),
%   identifies it from 1000 samples driven by a uniform input in [-2, 2],
%   and validates on 250 steps of u(k) = sin(2 pi k / 25):
%     - baselines: a linear ARX model and a 5-nearest-neighbour average;
%     - nearpoly: local polynomial prediction from the stored samples;
%     - a local-model network (netsim): k-means centres, norm matrices from
%       the clusters' spread, least-squares consequents, then refined by
%       Levenberg-Marquardt with Jacobian rows from dmat_params, and
%       linearised with dmat_inputs at two operating points;
%     - a lookup table of the network's one-step map, simulated with gridval.
%   It prints a table of one-step and free-run errors and writes a figure.
%
%   RESULTS = IDENTIFY_SYSTEM(OPTS) overrides fields of the defaults:
%     n_train 1000, n_val 250, noise 0 (output noise std in the training
%     data), clusters 10, overlap 1.0, lm_iterations 12, grid [41 41 21],
%     seed 1, figure 'build/identify_system.png' (under the source tree),
%     quiet false.

here = fileparts(mfilename('fullpath'));
defaults = struct('n_train', 1000, 'n_val', 250, 'noise', 0, 'clusters', 10, ...
                  'overlap', 1.0, 'lm_iterations', 12, 'grid', [41 41 21], 'seed', 1, ...
                  'figure', fullfile(fileparts(here), 'build', 'identify_system.png'), ...
                  'quiet', false);
if nargin < 1
  opts = struct();
end
for f = fieldnames(opts)'
  defaults.(f{1}) = opts.(f{1});
end
opts = defaults;
say = @(varargin) opts.quiet || fprintf(varargin{:});

% Data: training from a uniform input, validation from a sine.
rand('state', opts.seed);
u_train = 4 * rand(opts.n_train + 1, 1) - 2;
[X, y] = simulate_plant(u_train, opts.noise, opts.seed);
u_val = sin(2 * pi * (0:opts.n_val)' / 25);
[Xv, yv] = simulate_plant(u_val, 0, opts.seed);
y0 = [0 0];
say('Training samples: %d, validation steps: %d, noise: %g\n\n', size(X, 1), size(Xv, 1), opts.noise);

models = {};
add = @(models, name, one_step, run, seconds) [models; {name, one_step, run, seconds}];

% Linear ARX baseline.
theta = [X, ones(size(X, 1), 1)] \ y;
arx = @(x) [x, ones(size(x, 1), 1)] * theta;
tic; run = free_run(arx, u_val, y0); t = toc;
models = add(models, 'linear ARX', arx(Xv), run, t);

% k-nearest-neighbour average.
knn = @(x) knn_average(X, y, x, 5);
tic; run = free_run(knn, u_val, y0); t = toc;
models = add(models, '5-NN average', knn(Xv), run, t);

% nearpoly: local constant, linear and quadratic fits.
near = @(x) nearpoly(X, y, x, [1; 1; 1]);
tic; run = free_run(near, u_val, y0); t = toc;
models = add(models, 'nearpoly', near(Xv), run, t);

% Local-model network, before and after refinement.
net0 = fit_network(X, y, opts.clusters, opts.overlap, opts.seed);
step0 = @(x) netsim(x', net0.C, net0.A, net0.T)';
tic; [net, history] = refine_network(net0, X, y, opts.lm_iterations); t_refine = toc;
step = @(x) netsim(x', net.C, net.A, net.T)';
tic; run = free_run(step0, u_val, y0); t = toc;
models = add(models, 'network, unrefined', step0(Xv), run, t);
tic; run = free_run(step, u_val, y0); t = toc;
models = add(models, 'network, refined', step(Xv), run, t);

% Lookup table of the refined network's one-step map, read by gridval.
lo = min(X);
hi = max(X);
b = arrayfun(@(k) linspace(lo(k), hi(k), opts.grid(k)), 1:3, 'UniformOutput', false);
[g1, g2, g3] = ndgrid(b{:});
table = reshape(netsim([g1(:), g2(:), g3(:)]', net.C, net.A, net.T), opts.grid);
lut = @(x) gridval(x', table, b{:})';
tic; run = free_run(lut, u_val, y0); t = toc;
models = add(models, 'lookup table', lut(Xv), run, t);

% Linearisation at two operating points, against the plant's Jacobian.
points = [0.5 0.5 0; 1.5 1 0.5];
[~, J_plant] = plant_step(points);
J_net = zeros(size(J_plant));
for i = 1:size(points, 1)
  J_net(i, :) = dmat_inputs(points(i, :)', net.C, net.A, net.T)';
end

% Speed of a deployed evaluation: many points at once.
Q = lo + (hi - lo) .* rand(20000, 3);
tic; netsim(Q', net.C, net.A, net.T); t_net = toc;
tic; gridval(Q', table, b{:}); t_lut = toc;

results = report(models, yv, opts, say);
results.history = history;
results.jacobian_network = J_net;
results.jacobian_plant = J_plant;
results.points = points;
results.table_speedup = t_net / t_lut;
say('\nNetwork: %d clusters, refined in %.2f s (%d steps; error sum %.4g -> %.4g).\n', ...
    opts.clusters, t_refine, opts.lm_iterations, ...
    sum((y - step0(X)).^2), history(end));
say('Linearisation (dy(k+1)/d[y(k) y(k-1) u(k)]):\n');
for i = 1:size(points, 1)
  say('  at [%4.1f %4.1f %4.1f]  network [%6.3f %6.3f %6.3f]  plant [%6.3f %6.3f %6.3f]\n', ...
      points(i, :), J_net(i, :), J_plant(i, :));
end
say('Lookup table: %s nodes; 20000 points in %.4f s against %.4f s for netsim (%.1fx).\n', ...
    strjoin(arrayfun(@num2str, opts.grid, 'UniformOutput', false), 'x'), t_lut, t_net, ...
    results.table_speedup);

results.figure = opts.figure;
draw_report(opts.figure, u_val, yv, models, net, points, J_net, J_plant, results);
say('\nFigure written to %s\n', opts.figure);
end

function results = report(models, yv, opts, say)
% Prints the table of errors and returns them by model name.
nrmse = @(e) sqrt(mean(e.^2)) / std(yv);
say('%-20s %14s %14s %10s %10s\n', 'model', 'one-step RMSE', 'free-run RMSE', ...
    'free NRMSE', 'time [s]');
results = struct('names', {models(:, 1)'}, 'one_step', [], 'free_run', [], 'seconds', []);
for i = 1:size(models, 1)
  one = sqrt(mean((models{i, 2} - yv).^2));
  run = sqrt(mean((models{i, 3} - yv).^2));
  say('%-20s %14.4f %14.4f %10.3f %10.3f\n', models{i, 1}, one, run, ...
      nrmse(models{i, 3} - yv), models{i, 4});
  results.one_step(i) = one;
  results.free_run(i) = run;
  results.seconds(i) = models{i, 4};
end
end
