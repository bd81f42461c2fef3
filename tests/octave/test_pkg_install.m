function test_pkg_install(tarball, build_dir)
% TEST_PKG_INSTALL  Installs the package TARBALL into a temporary prefix,
%   loads it, and compares every plug-in's outputs bit for bit with those
%   of the build tree's plug-ins in BUILD_DIR; checks that help works.
  prefix = tempname();
  mkdir(prefix);
  pkg('prefix', prefix, prefix);
  pkg('local_list', fullfile(prefix, 'octave_packages'));
  pkg('install', tarball);
  pkg('load', 'localmodels');
  installed = capture_outputs();
  assert(~isempty(strfind(help('gridval'), 'Multilinear interpolation')));
  assert(isempty(strfind(which('gridval'), build_dir)));
  assert(isempty(strfind(which('lm_fit'), build_dir)));
  assert(~isempty(strfind(help('lm_fit'), 'Fit a NARX model')));
  pkg('unload', 'localmodels');

  addpath(build_dir);
  built = capture_outputs();
  assert(~isempty(strfind(which('gridval'), build_dir)));
  assert(isequal(numel(installed), numel(built)));
  for i = 1:numel(built)
    a = installed{i};
    b = built{i};
    % Bit for bit, NaN positions included.
    assert(isequal(size(a), size(b)) && isequal(typecast(a(:), 'uint64'), typecast(b(:), 'uint64')), ...
           'output %d differs between the package and the build tree', i);
  end
  rmpath(build_dir);
  confirm_recursive_rmdir(false);
  rmdir(prefix, 's');
  disp('pkg install: the package answers bit for bit like the build tree');
end

function out = capture_outputs()
% Every plug-in on a small random problem, with all its outputs.
  rand('seed', 11);
  x = rand(60, 2);
  y = sin(3 * x(:, 1)) + x(:, 2) .^ 2;
  q = [rand(5, 2); NaN 0.5];
  [p, c] = nearpoly(x, y, q, [1; 1; 1]);
  C = rand(2, 3);
  A = repmat(eye(2), [1 1 3]);
  T = rand(2, 3, 3);
  X = rand(2, 7);
  Y1 = netsim(X, C, A, T);
  Y2 = netsim(X, C, A, T, 0, 2, 1.7);
  [dx, y1] = dmat_inputs(X(:, 1), C, A, T);
  [dp, y2] = dmat_params(X(:, 1), C, A, T, 1, 2, 2.5, uint8(15));
  t = rand(4, 3);
  g = gridval([rand(2, 9), [-1; 2]], t, [0 0.3 0.6 1], [0 0.5 1]);
  s1 = narx_simulate(rand(1, 20), rand(2, 1), [1 0], 1, 1, [], 'network', C, A, T, 1, 2, 1.5);
  s2 = narx_simulate(rand(1, 20), 0.5, 1, 1, 0, [0; 1], 'nearpoly', x, y, [1; 1; 1]);
  % The identification M-files, with their helpers in private/.
  us = rand(1, 60);
  ys = filter([0 0.5], [1 -0.7], us) + 0.1 * us .^ 2;
  net = lm_fit(us, ys, 1, 1, 1, 'network', 'max_models', 3);
  near = lm_fit(us, ys, 1, 1, 'nearpoly');
  s3 = lm_simulate(net, us, ys);
  s4 = lm_predict(near, us, ys, 2);
  out = {p, c, Y1, Y2, dx, y1, dp, y2, g, s1, s2, net.network.consequents, s3, s4};
end
