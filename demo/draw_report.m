function draw_report(file, u, y, models, net, points, J_net, J_plant, results)
% DRAW_REPORT  The demo's figure, written as a PNG to FILE: the validation
%   output against each model's free-run simulation, a slice of the
%   one-step map with the network's tangents at the operating points, the
%   linearisation against the plant's Jacobian, and a table of each model's
%   errors and simulation time (RESULTS, as IDENTIFY_SYSTEM returns them).
if exist('OCTAVE_VERSION', 'builtin')
  warning('off', 'Octave:gnuplot-graphics');
  graphics_toolkit('gnuplot');
end
h = figure('visible', 'off', 'position', [0 0 1200 860]);
n_points = size(points, 1);
point_names = cell(1, n_points);
for i = 1:n_points
  point_names{i} = sprintf('point %d', i);
end

% Top: the validation output and the free-run simulations.
axes('outerposition', [0 0.52 1 0.48]);
k = (1:min(100, numel(y)))';   % the first four periods
plot(k, y(k), 'k-', 'linewidth', 2.5);
hold on;
shown = [1 2 4 5];   % ARX, nearpoly, refined network, lookup table
styles = {'-', '-', '--', ':'};
for i = 1:numel(shown)
  plot(k, models{shown(i), 3}(k), styles{i}, 'linewidth', 1.5);
end
hold off;
legend(['plant', models(shown, 1)'], 'location', 'northeastoutside');
xlabel('step k');
ylabel('y(k)');
title('Validation, u(k) = sin(2\pi k/25): free-run simulation of each model');
grid on;

% Bottom left: y(k+1) along y(k) through each operating point, with the
% network's tangent there.
axes('outerposition', [0 0.025 0.34 0.475]);
a = linspace(-1, 3, 200)';
for i = 1:n_points
  x = repmat(points(i, :), numel(a), 1);
  x(:, 1) = a;
  h_plant = plot(a, plant_step(x), '-', 'color', [0.55 0.55 0.55], 'linewidth', 3.5);
  hold on;
  h_net = plot(a, netsim(x', net.centres, net.norm_matrices, net.consequents, net.options(1), ...
                           net.options(2), net.options(3))', 'b--', 'linewidth', 2);
  y_op = netsim(points(i, :)', net.centres, net.norm_matrices, net.consequents, ...
                net.options(1), net.options(2), net.options(3));
  near_op = abs(a - points(i, 1)) < 0.6;
  h_tangent = plot(a(near_op), y_op + J_net(i, 1) * (a(near_op) - points(i, 1)), 'r-', ...
                   'linewidth', 2);
  plot(points(i, 1), y_op, 'ro', 'markersize', 8);
  label = sprintf('%s: y(k-1) = %g, u(k) = %g', point_names{i}, points(i, 2), points(i, 3));
  if i == 1   % below and right of the lower curve, above the upper one: clear of both
    text(points(i, 1) + 0.15, y_op - 0.3, label, 'horizontalalignment', 'left');
  else
    text(points(i, 1), y_op + 0.35, label, 'horizontalalignment', 'center');
  end
end
hold off;
ylim([-0.6 2.7]);
legend([h_plant, h_net, h_tangent], {'plant', 'network', 'tangents'}, 'location', 'southeast');
xlabel('y(k)');
ylabel('y(k+1)');
title('One-step map along y(k) at the operating points');
grid on;

% Bottom middle: the linearisation, four bars per derivative: plant and
% network at each operating point.
axes('outerposition', [0.33 0.025 0.34 0.475]);
bars = zeros(size(J_plant, 2), 2 * n_points);
entries = cell(1, 2 * n_points);
for i = 1:n_points
  bars(:, 2 * i - 1) = J_plant(i, :)';
  bars(:, 2 * i) = J_net(i, :)';
  entries{2 * i - 1} = sprintf('plant, %s', point_names{i});
  entries{2 * i} = sprintf('network, %s', point_names{i});
end
hb = bar(bars);
colours = [0.05 0.25 0.6; 0.45 0.65 0.95; 0.6 0.15 0.05; 0.95 0.6 0.4];
for j = 1:numel(hb)
  set(hb(j), 'facecolor', colours(1 + mod(j - 1, size(colours, 1)), :));
end
set(gca, 'xtick', 1:3, 'xticklabel', {'d/dy(k)', 'd/dy(k-1)', 'd/du(k)'});
ylim([0 1.7]);
legend(entries, 'location', 'northwest');
ylabel('derivative of y(k+1)');
title('Linearisation: plant (analytic) and network');
grid on;

% Bottom right: the table of errors and simulation times.
axes('outerposition', [0.67 0.025 0.33 0.475]);
axis off;
xlim([0 1]);
ylim([0 1]);
columns_x = [0 0.62 0.82 1];
header = {'model', 'one-step', 'free-run', 'time [s]'};
top = 0.86;
step = 0.1;
for c = 1:numel(header)
  text(columns_x(c), top, header{c}, 'fontweight', 'bold', ...
       'horizontalalignment', alignment(c));
end
for i = 1:numel(results.names)
  row = {results.names{i}, sprintf('%.4f', results.one_step(i)), ...
         sprintf('%.4f', results.free_run(i)), sprintf('%.3f', results.seconds(i))};
  for c = 1:numel(row)
    text(columns_x(c), top - step * i, row{c}, 'horizontalalignment', alignment(c));
  end
end
text(0, top - step * (numel(results.names) + 1.3), ...
     sprintf('RMSE over the %d validation steps; time [s] of the free run', numel(y)));
title('Errors and simulation time of each model');

folder = fileparts(file);
if ~isempty(folder) && ~exist(folder, 'dir')
  mkdir(folder);
end
print(h, file, '-dpng', '-r90');
close(h);
end

function a = alignment(column)
% The model names flush left, the numbers flush right.
if column == 1
  a = 'left';
else
  a = 'right';
end
end
