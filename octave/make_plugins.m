function make_plugins(outdir)
% MAKE_PLUGINS  Build the plug-ins from source with the host's own MEX compiler.
%   MAKE_PLUGINS builds every plug-in into build/mex under the source tree
%   and copies each help file beside its binary; add that folder to the path.
%   MAKE_PLUGINS(OUTDIR) builds into OUTDIR instead (spaces are allowed).
%
%   Works in GNU Octave (mkoctfile) and in MATLAB (mex with a GCC or Clang
%   compiler). The flags keep the compiler from fusing multiplies and adds,
%   so results are those of the written evaluation order on every machine.
%   The sources are those listed in mex/sources.txt, as for CMake.

root = fileparts(fileparts(mfilename('fullpath')));
if nargin < 1
  outdir = fullfile(root, 'build', 'mex');
end
if ~exist(outdir, 'dir')
  mkdir(outdir);
end

groups = read_sources(fullfile(root, 'mex', 'sources.txt'));
plugins = {'nearpoly', 'netsim', 'dmat_inputs', 'dmat_params', 'gridval', 'narx_simulate', ...
           'lmn_train'};
flags = '-O2 -DNDEBUG -std=c++17 -ffp-contract=off -fopenmp-simd';
in_octave = exist('OCTAVE_VERSION', 'builtin') ~= 0;

% Objects go to a scratch folder without spaces (mkoctfile does not quote
% its paths); the shared sources are compiled once for all plug-ins.
objdir = tempname();
mkdir(objdir);
old_flags = getenv('CXXFLAGS');
setenv('CXXFLAGS', flags);
cleanup = onCleanup(@() finish(objdir, old_flags));
shared = [groups.mex, groups.core];
shared_objects = cellfun(@(s) compile(root, s, objdir, {}, in_octave, flags), shared, ...
                         'UniformOutput', false);

for i = 1:numel(plugins)
  name = plugins{i};
  define = {['-DMEX_GATEWAY=' name '_gateway']};
  objects = [{compile(root, 'mex/mex_entry.cpp', objdir, define, in_octave, flags)}, ...
             cellfun(@(s) compile(root, s, objdir, {}, in_octave, flags), groups.(name), ...
                     'UniformOutput', false), shared_objects];
  built = fullfile(objdir, [name '.' mexext()]);
  if in_octave
    mex(objects{:}, '-o', built);
  else
    mex('-R2017b', objects{:}, '-output', built);
  end
  movefile(built, fullfile(outdir, [name '.' mexext()]));
  copyfile(fullfile(root, 'mex', [name '.m']), outdir);
  fprintf('built %s in %s\n', name, outdir);
end
end

function object = compile(root, source, objdir, defines, in_octave, flags)
% One source into objdir; the object's name is the source's path.
base = regexprep(source(1:end - 4), '[/\\]', '_');
if ~isempty(defines)
  base = [base '_' regexprep(defines{1}, '.*=', '')];
end
object = fullfile(objdir, [base '.o']);
if in_octave
  mex('-c', ['-I' root], defines{:}, fullfile(root, source), '-o', object);
else
  mex(['CXXFLAGS=$CXXFLAGS ' flags], '-R2017b', '-c', ['-I' root], defines{:}, ...
      fullfile(root, source), '-outdir', objdir);
  [~, name] = fileparts(source);
  movefile(fullfile(objdir, [name '.o']), object);
end
end

function finish(objdir, old_flags)
setenv('CXXFLAGS', old_flags);
if exist('OCTAVE_VERSION', 'builtin')
  confirm_recursive_rmdir(false);  % Octave asks before removing a folder tree
end
rmdir(objdir, 's');
end

function groups = read_sources(file)
% Each line not starting with '#': a group name, then its files.
groups = struct();
lines = strsplit(fileread(file), sprintf('\n'));
for i = 1:numel(lines)
  words = strsplit(strtrim(lines{i}));
  if isempty(words{1}) || words{1}(1) == '#'
    continue
  end
  groups.(words{1}) = words(2:end);
end
end
