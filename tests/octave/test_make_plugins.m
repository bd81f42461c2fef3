% The user build script: builds every plug-in with Octave's own mex into a
% fresh folder whose name has a space, and the result answers like the
% CMake build.
outdir = fullfile(tempname(), 'plug ins');
make_plugins(outdir);
addpath(outdir);
assert(strcmp(which('gridval'), fullfile(outdir, 'gridval.mex')));
assert(gridval([1.5; 0.25], [10 40; 20 50; 30 60], [0 1 2], [0 1]), 32.5);
assert(nearpoly([0.5; -1], [1; 3], 0, [0 0; 2 2; 0 0], 1, 1), 31/26, -1e-15);
assert(netsim(0.5, [0 1], cat(3, 1, 1), cat(3, [1 0], [0 5])) == 2.7500000000000004);
assert(size(dmat_inputs(0.5, [0 1], cat(3, 1, 1), cat(3, [1 0], [0 5]))), [1 1]);
assert(size(dmat_params(0.5, [0 1], cat(3, 1, 1), cat(3, [1 0], [0 5]))), [8 1]);
assert(narx_simulate([0 0.5 2], [], 0, 1, 0, [], 'table', [0 1 4], [0 1 2]), [0 0.5 4]);
[C, ~, ~, info] = lmn_train(linspace(0, 1, 101), abs(linspace(0, 1, 101) - 0.5), ...
                            struct('max_models', 2));
assert(info.lower, [0 0.5]);
rmpath(outdir);
if exist('OCTAVE_VERSION', 'builtin')
  confirm_recursive_rmdir(false);   % Octave asks before removing a folder tree
end
rmdir(fileparts(outdir), 's');
disp('make_plugins: built and loaded');
