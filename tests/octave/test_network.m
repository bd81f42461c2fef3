% netsim, dmat_inputs and dmat_params through the real host: the worked
% examples, the argument messages, and central differences.
C = [0 1];
A = cat(3, 1, 1);
T = cat(3, [1 0], [0 5]);
assert(netsim(0.5, C, A, T) == 2.7500000000000004);
assert(netsim(0.5, C, A, T, 1, 2, 2), 2.75);
assert(netsim(0.5, C, A, T, 0, 2, 2), 22);
assert(netsim(0.5, C, A, T, [], [], []) == netsim(0.5, C, A, T));
assert(netsim([1; 1], [0; 0], [1 7; 3 1], [0 0 1], 0, 3), 8);
assert(size(netsim(zeros(1, 0), C, A, T)), [1 0]);


expect_error('netsim: netsim requires four input arguments.', @() netsim(1, 2, 3));
expect_error('netsim: netsim don''t handle more than seven input arguments.', ...
             @() netsim(0.5, C, A, T, 1, 1, 2, 4));
expect_error('netsim: X must have n = 1 rows, one per input (the rows of centres).', ...
             @() netsim([1; 2], C, A, T));
expect_error('dmat_inputs: DMAT requires at least four input arguments.', ...
             @() dmat_inputs(1, 2, 3));
expect_error('dmat_params: DMAT requires four or five input arguments.', ...
             @() dmat_params(0.5, C, A, T, 1, 1, 2, uint8(15), 0));
expect_error('dmat_params: DMAT requires at least four input arguments.', ...
             @() dmat_params(0.5, C, A));
try
  [a, b] = netsim(0.5, C, A, T);
  error('no error raised');
catch e
  assert(e.message, 'netsim: netsim requires one output argument.');
end

% dmat_params row layout: n = 1, p = 2, c = 1, selection 12.
[D, y] = dmat_params(0.3, 0, 1, reshape([1 2 3 4], 2, 2), 1, 1, 2, uint8(12));
w = exp(-0.09);
S = 2.2251e-308 + w;
assert(D, [w*0.3/S 0; 0 w*0.3/S; w/S 0; 0 w/S], -1e-15);
assert(size(dmat_params(0.3, 0, 1, reshape([1 2 3 4], 2, 2), 1, 1, 2, uint8(8))), [0 2]);
expect_error(['dmat_params: parameter_selection must be an integer array such as uint8(15); ' ...
              'the first byte of a double is not its value.'], ...
             @() dmat_params(0.3, 0, 1, reshape([1 2 3 4], 2, 2), 1, 1, 2, 15));

% Central differences on a random network with symmetric norm matrices.
rand('seed', 1);
n = 3; p = 2; c = 4;
x = rand(n, 1); C = rand(n, c); T = 2 * rand(p, n + 1, c) - 1;
A = zeros(n, n, c);
for i = 1:c
  B = rand(n) - 0.5;
  A(:, :, i) = B * B' + 0.3 * eye(n);
end
h = 1e-6;
for opts = {{1, 1, 2}, {0, 2, 2}}
  o = opts{1};
  [Dx, y] = dmat_inputs(x, C, A, T, o{:});
  assert(y, netsim(x, C, A, T, o{:}));
  for k = 1:n
    e = zeros(n, 1); e(k) = h;
    fd = (netsim(x + e, C, A, T, o{:}) - netsim(x - e, C, A, T, o{:})) / (2 * h);
    assert(Dx(k, :)', fd, 1e-6);
  end
  Dp = dmat_params(x, C, A, T, o{:}, uint8(15));
  for k = 1:n * c   % centre rows
    Cu = C; Cu(k) = Cu(k) + h; Cd = C; Cd(k) = Cd(k) - h;
    fd = (netsim(x, Cu, A, T, o{:}) - netsim(x, Cd, A, T, o{:})) / (2 * h);
    assert(Dp(k, :)', fd, 1e-6);
  end
  rs = n * c + 2 + 0 * n;   % rows of A_1(2, 1) and A_1(1, 2), 1-based
  sr = n * c + 1 + 1 * n;
  Au = A; Au(2, 1, 1) = Au(2, 1, 1) + h; Au(1, 2, 1) = Au(1, 2, 1) + h;
  Ad = A; Ad(2, 1, 1) = Ad(2, 1, 1) - h; Ad(1, 2, 1) = Ad(1, 2, 1) - h;
  fd = (netsim(x, C, Au, T, o{:}) - netsim(x, C, Ad, T, o{:})) / (2 * h);
  assert(Dp(rs, :)' + Dp(sr, :)', fd, 1e-6);
end
disp('network plug-ins: all Octave tests passed');
