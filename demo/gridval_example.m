% A short example of gridval: tabulate a smooth function of two inputs on a
% coarse grid, then read it back by multilinear interpolation.
b1 = linspace(-2, 2, 21);
b2 = linspace(-1, 1, 11);
[g1, g2] = ndgrid(b1, b2);
table = sin(g1) .* cos(2 * g2);

q = [linspace(-2.5, 2.5, 7); linspace(-1, 1, 7)];
v = gridval(q, table, b1, b2);
exact = sin(max(min(q(1, :), 2), -2)) .* cos(2 * q(2, :));
printf('%8s %8s %12s %12s\n', 'x1', 'x2', 'table', 'function');
printf('%8.3f %8.3f %12.6f %12.6f\n', [q; v; exact]);
printf('largest difference: %.3g\n', max(abs(v - exact)));
