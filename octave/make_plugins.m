function make_plugins(outdir)
% MAKE_PLUGINS  Build the plug-ins from source with the host's own MEX compiler.
%   MAKE_PLUGINS builds every plug-in into build/mex under the source tree
%   and copies each help file beside its binary; add that folder to the path.
%   MAKE_PLUGINS(OUTDIR) builds into OUTDIR instead.
%
%   Works in GNU Octave (mkoctfile) and in MATLAB (mex with a GCC or Clang
%   compiler). The flags keep the compiler from fusing multiplies and adds,
%   so results are those of the written evaluation order on every machine.

root = fileparts(fileparts(mfilename('fullpath')));
if nargin < 1
  outdir = fullfile(root, 'build', 'mex');
end
if ~exist(outdir, 'dir')
  mkdir(outdir);
end

network = {'netcore/network_args.cpp', 'netcore/netcore.cpp'};
plugins = {
  'nearpoly', {'nearpoly/nearpoly_gateway.cpp', 'nearpoly/settings.cpp', ...
               'nearpoly/neighbours.cpp', 'nearpoly/candidates.cpp', ...
               'nearpoly/local_fits.cpp', 'nearpoly/combine.cpp', 'nearpoly/predict.cpp'}, {}
  'gridval', {'gridval/gridval_gateway.cpp', 'gridval/gridval.cpp'}, {}
  'netsim', {'netsim/netsim_gateway.cpp', 'netsim/netsim.cpp'}, network
  'dmat_inputs', {'dmat_inputs/dmat_inputs_gateway.cpp', 'dmat_inputs/dmat_inputs.cpp'}, network
  'dmat_params', {'dmat_params/dmat_params_gateway.cpp', 'dmat_params/dmat_params.cpp'}, network
};
flags = '-O2 -std=c++17 -ffp-contract=off -fopenmp-simd';
in_octave = exist('OCTAVE_VERSION', 'builtin') ~= 0;

for i = 1:size(plugins, 1)
  name = plugins{i, 1};
  sources = [{'host/mex_entry.cpp', 'host/host_checks.cpp'}, plugins{i, 2}, plugins{i, 3}];
  sources = cellfun(@(s) fullfile(root, s), sources, 'UniformOutput', false);
  common = [{['-I' root], ['-DMEX_GATEWAY=' name '_gateway']}, sources];
  if in_octave
    old = getenv('CXXFLAGS');
    setenv('CXXFLAGS', flags);
    mex(common{:}, '-o', fullfile(outdir, [name '.mex']));
    setenv('CXXFLAGS', old);
  else
    mex(['CXXFLAGS=$CXXFLAGS ' flags], '-R2017b', common{:}, '-outdir', outdir);
  end
  copyfile(fullfile(root, name, [name '.m']), outdir);
end
fprintf('Plug-ins built in %s\n', outdir);
end
