% The user build script: builds every plug-in with Octave's own mex into a
% fresh folder, and the result answers like the CMake build.
outdir = tempname();
make_plugins(outdir);
addpath(outdir);
assert(strcmp(which('gridval'), fullfile(outdir, 'gridval.mex')));
assert(gridval([1.5; 0.25], [10 40; 20 50; 30 60], [0 1 2], [0 1]), 32.5);
confirm_recursive_rmdir(false);
rmdir(outdir, 's');
disp('make_plugins: built and loaded');
