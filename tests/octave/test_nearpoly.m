% nearpoly through the real host: worked examples, shapes, messages and a
% smooth function recovered with its slopes.
% Constant fits on targets 1, 3, 2, 7 in neighbour order (counts 2 to 4):
% errors 4, 1.5 and 83/9 with means 2, 2 and 3.25, all three combined.
x = [0.1; 0.2; 0.3; 0.4];
y = [1; 3; 2; 7];
e = [1.5; 4; 83/9];
v = [2; 2; 3.25];
assert(nearpoly(x, y, 0, [2 4; 0 0; 0 0], 3), sum(v ./ e) / sum(1 ./ e), -1e-15);
assert(nearpoly(x, y, 0, [2 4; 0 0; 0 0]), 2);

% Linear fit with cov_init = 1 on d = 0.5 (target 1) and d = -1 (target 3).
[p, c] = nearpoly([0.5; -1], [1; 3], 0, [0 0; 2 2; 0 0], 1, 1);
assert(p, 31/26, -1e-15);
assert(c, [31/26; -11/13], -1e-15);

% Shapes: no queries, and output 2 of the constant family alone.
[p, c] = nearpoly(x, y, zeros(0, 1), [1; 1; 1]);
assert(size(p), [0 1]);
assert(size(c), [1 0]);   % four examples: only the constant family is active
[p, c] = nearpoly(x, y, [0; 0.25], [2 4; 2 4; 0 0], [2 0 0]);
assert(c, p');

% A smooth function: values and slopes at interior points.
t = linspace(-2, 2, 201)';
[p, c] = nearpoly(t, sin(2 * t), [0; 0.5; NaN], [1; 1; 1]);
assert(p(1:2), sin([0; 1]), 1e-4);
assert(c(2, 1:2)', 2 * cos([0; 1]), 1e-2);
assert(isnan(p(3)) && all(isnan(c(:, 3))));


expect_error('nearpoly: Not enough arguments.', @() nearpoly(x, y, 0));
expect_error('nearpoly: Matrix dimensions must agree.', @() nearpoly(x, y(1:3), 0, [1; 1; 1]));
expect_error('nearpoly: Illegal id_par.', @() nearpoly(x, y, 0, [1 1 1]));
expect_error('nearpoly: Identification is empty.', ...
             @() nearpoly(x, y, 0, [0; 0; 0], 1, 1, 1, 1));
expect_error('nearpoly: Number of argument no good.', ...
             @() nearpoly(x, y, 0, [1; 0; 0], 1, 1, 1, 1));
expect_error('nearpoly: Combination parameter no good.', ...
             @() nearpoly(x, y, 0, [1; 0; 0], [1 2]));
expect_error('nearpoly: Combination is empty!.', @() nearpoly(x, y, 0, [1; 0; 0], 0.7));
expect_error('nearpoly: weights must be finite and not negative.', ...
             @() nearpoly(x, y, 0, [1; 0; 0], 1, 1e6, -1));
expect_error('nearpoly: data_x must be a full double array.', ...
             @() nearpoly(single(x), y, 0, [1; 0; 0]));
disp('nearpoly: all Octave tests passed');
