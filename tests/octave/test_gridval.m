% gridval through the real host: the worked example, its message, and
% agreement with Octave's own interpn (interp1 for d = 1) on random points
% for d = 1 to 4.
T = [10 40; 20 50; 30 60];
assert(gridval([1.5; 0.25], T, [0 1 2], [0 1]), 32.5);
assert(gridval([-1 2; 5 0], T, [0 1 2], [0 1]), [40 30]);
assert(size(gridval(zeros(2, 0), T, [0 1 2], [0 1])), [1 0]);
v = gridval([NaN 1.5; 0 0.25], T, [0 1 2], [0 1]);
assert(isnan(v(1)) && v(2) == 32.5);


expect_error('gridval: netsim requires three input arguments.', @() gridval(1, 2));
expect_error('gridval: breakpoints of dimension 1 must not decrease.', ...
             @() gridval(1, [1 2], [1 0]));
expect_error('gridval: table must be a full double array.', ...
             @() gridval(1, single([1 2]), [0 1]));
expect_error('gridval: queries must have 2 rows, one per breakpoint input.', ...
             @() gridval([1; 1; 1], T, [0 1 2], [0 1]));
% Breakpoints as a column, and a breakpoint input forgotten, are refused;
% a table of the right number of values in any shape is read flattened.
expect_error(['gridval: breakpoints of dimension 2 must be a row vector (1-by-M); ' ...
              'this one is 2-by-1.'], @() gridval([1.5; 0.25], T, [0 1 2], [0; 1]));
expect_error('gridval: table has 6 values but the breakpoint counts need 3.', ...
             @() gridval(1.5, T, [0 1 2]));
assert(gridval([1.5; 0.25], T(:)', [0 1 2], [0 1]), 32.5);

rand('seed', 3);
for d = 1:4
  M = 2 + floor(4 * rand(1, d));
  b = cell(1, d);
  q = cell(1, d);
  for k = 1:d
    b{k} = cumsum(0.1 + rand(1, M(k))) - 1;
    q{k} = b{k}(1) + (b{k}(end) - b{k}(1)) * rand(1, 200);
  end
  if d == 1
    table = rand(M, 1);
  else
    table = rand(M);
  end
  got = gridval(cat(1, q{:}), table, b{:});
  if d == 1
    expected = interp1(b{1}, table, q{1}, 'linear');  % interpn needs d >= 2
  else
    expected = interpn(b{:}, table, q{:}, 'linear');
  end
  assert(got, expected(:).', -1e-12);
end
disp('gridval: all Octave tests passed');
