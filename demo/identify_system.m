function results = identify_system(opts)
% IDENTIFY_SYSTEM  A nonlinear plant identified with the toolbox's functions.
%   RESULTS = IDENTIFY_SYSTEM() simulates the benchmark plant
%     y(k+1) = y(k) y(k-1) (y(k) + 2.5) / (1 + y(k)^2 + y(k-1)^2) + u(k),
%   identifies it from 1000 samples driven by a uniform input in [-2, 2],
%   and validates on 250 steps of u(k) = sin(2 pi k / 25), every model in
%   free run:
%     - a linear ARX model, LM_FIT(..., 'arx'), the baseline;
%     - NEARPOLY on the stored samples, LM_FIT(..., 'nearpoly');
%     - a local linear model network grown by LMN_TRAIN,
%       LM_FIT(..., 'network'), then refined by Levenberg-Marquardt and
%       linearised (LM_LINEARIZE) at two operating points against the
%       plant's Jacobian;
%     - a lookup table of the refined network (LM_TABLE), read by GRIDVAL.
%   It prints a table of one-step and free-run errors and writes a figure.
%
%   RESULTS = IDENTIFY_SYSTEM(OPTS) overrides fields of the defaults:
%     n_train 1000, n_val 250, noise 0 (output noise std in the training
%     data), clusters 20 (most local models), lm_iterations 20, grid
%     [41 41 21], seed 1, figure 'build/identify_system.png' (under the
%     source tree), quiet false.

here = fileparts(mfilename('fullpath'));
defaults = struct('n_train', 1000, 'n_val', 250, 'noise', 0, 'clusters', 20, ...
                  'lm_iterations', 20, 'grid', [41 41 21], 'seed', 1, ...
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

% Records: training from a uniform input, validation from a sine. The
% regressor [y(t-1) y(t-2) u(t-1)] is the plant's own [y(k) y(k-1) u(k)].
rand('state', opts.seed);
u = 4 * rand(1, opts.n_train + 2) - 2;
y = run_plant(u, opts.noise, opts.seed);
u_val = sin(2 * pi * (0:opts.n_val + 1) / 25);
y_val = run_plant(u_val, 0, opts.seed);
say('Training samples: %d, validation steps: %d, noise: %g\n\n', numel(u), opts.n_val, opts.noise);

tic;
names = {'linear ARX', 'nearpoly', 'network', 'network, refined', 'lookup table'};
fits = cell(1, 5);
fits{1} = lm_fit(u, y, 2, 1, 1, 'arx');
fits{2} = lm_fit(u, y, 2, 1, 1, 'nearpoly', 'id_par', [1; 1; 1]);
fits{3} = lm_fit(u, y, 2, 1, 1, 'network', 'max_models', opts.clusters, ...
                 'patience', opts.clusters);
fits{4} = lm_fit(u, y, 2, 1, 1, 'network', 'max_models', opts.clusters, ...
                 'patience', opts.clusters, 'lm_iterations', opts.lm_iterations);
t_fit = toc;
fits{5} = lm_table(fits{4}, opts.grid);
net = fits{4}.network;

models = cell(5, 4);
for i = 1:5
  tic;
  run = lm_simulate(fits{i}, u_val, y_val(1:2));
  seconds = toc;
  one = lm_predict(fits{i}, u_val, y_val);
  models(i, :) = {names{i}, one(3:end)', run(3:end)', seconds};
end

% Linearisation at two operating points, against the plant's Jacobian.
points = [0.5 0.5 0; 1.5 1 0.5];
[~, J_plant] = plant_step(points);
J_net = zeros(size(J_plant));
for i = 1:size(points, 1)
  lin = lm_linearize(fits{4}, 'regressor', points(i, :));
  J_net(i, :) = lin.gradient;
end

results = report(models, y_val(3:end)', say);
results.jacobian_network = J_net;
results.jacobian_plant = J_plant;
results.points = points;
results.sse = [fits{3}.info.sse, fits{4}.info.sse];
say('\nFits in %.2f s. Network: %d local models; refined, error sum %.4g -> %.4g.\n', ...
    t_fit, size(net.centres, 2), results.sse(1), results.sse(2));
say('Linearisation (dy(k+1)/d[y(k) y(k-1) u(k)]):\n');
for i = 1:size(points, 1)
  say('  at [%4.1f %4.1f %4.1f]  network [%6.3f %6.3f %6.3f]  plant [%6.3f %6.3f %6.3f]\n', ...
      points(i, :), J_net(i, :), J_plant(i, :));
end
say('Lookup table: %s nodes.\n', strjoin(arrayfun(@num2str, opts.grid, 'UniformOutput', false), 'x'));

results.figure = opts.figure;
draw_report(opts.figure, u_val(3:end)', y_val(3:end)', models, net, points, J_net, J_plant, results);
say('\nFigure written to %s\n', opts.figure);
end

function y = run_plant(u, noise, state)
% The plant's outputs from rest under the inputs u, with measurement noise.
T = numel(u);
y = zeros(1, T);
for k = 2:T - 1
  y(k + 1) = plant_step([y(k), y(k - 1), u(k)]);
end
randn('state', state);
y = y + noise * randn(size(y));
end

function results = report(models, yv, say)
% Prints the table of errors and returns them by model name.
say('%-20s %14s %14s %10s %10s\n', 'model', 'one-step RMSE', 'free-run RMSE', ...
    'free NRMSE', 'time [s]');
results = struct('names', {models(:, 1)'}, 'one_step', [], 'free_run', [], 'seconds', []);
for i = 1:size(models, 1)
  one = lm_compare(yv', models{i, 2}');
  run = lm_compare(yv', models{i, 3}');
  say('%-20s %14.4f %14.4f %10.3f %10.3f\n', models{i, 1}, one.rmse, run.rmse, ...
      run.rmse / std(yv), models{i, 4});
  results.one_step(i) = one.rmse;
  results.free_run(i) = run.rmse;
  results.seconds(i) = models{i, 4};
end
end
