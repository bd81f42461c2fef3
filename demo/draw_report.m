function draw_report(file, u, y, models, net, points, J_net, J_plant)
% DRAW_REPORT  The demo's figure, written as a PNG to FILE: the validation
%   output against each model's free-run simulation, a slice of the
%   one-step map with the network's tangents at the operating points, and
%   the linearisation against the plant's Jacobian.
if exist('OCTAVE_VERSION', 'builtin')
  warning('off', 'Octave:gnuplot-graphics');
  graphics_toolkit('gnuplot');
end
h = figure('visible', 'off', 'position', [0 0 1100 800]);

subplot(2, 2, [1 2]);
k = (1:min(100, numel(y)))';   % the first four periods
plot(k, y(k), 'k-', 'linewidth', 2.5);
hold on;
shown = [1 3 5 6];   % ARX, nearpoly, refined network, lookup table
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

subplot(2, 2, 3);
a = linspace(-1, 3, 200)';
for i = 1:size(points, 1)
  x = repmat(points(i, :), numel(a), 1);
  x(:, 1) = a;
  plot(a, plant_step(x), 'k-', 'linewidth', 1.5);
  hold on;
  plot(a, netsim(x', net.C, net.A, net.T)', 'b--', 'linewidth', 1.5);
  y_op = netsim(points(i, :)', net.C, net.A, net.T);
  near_op = abs(a - points(i, 1)) < 0.6;
  plot(a(near_op), y_op + J_net(i, 1) * (a(near_op) - points(i, 1)), 'r-', 'linewidth', 2);
  plot(points(i, 1), y_op, 'ro', 'markersize', 8);
end
hold off;
xlabel('y(k)');
ylabel('y(k+1)');
title('y(k+1) along y(k): plant, network, tangents');
grid on;

subplot(2, 2, 4);
bar([J_plant(:), J_net(:)]);
names = {'dy/dy_k', 'dy/dy_{k-1}', 'dy/du_k'};
labels = {};
for j = 1:3
  for i = 1:size(points, 1)
    labels{end + 1} = sprintf('%s (%d)', names{j}, i);
  end
end
set(gca, 'xtick', 1:numel(labels), 'xticklabel', labels);
legend('plant (analytic)', 'network', 'location', 'northwest');
title('Linearisation at the two operating points');
grid on;

folder = fileparts(file);
if ~isempty(folder) && ~exist(folder, 'dir')
  mkdir(folder);
end
print(h, file, '-dpng', '-r90');
close(h);
end
