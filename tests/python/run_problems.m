function run_problems(infile, outfile)
% RUN_PROBLEMS  Calls the plug-ins on the problems in INFILE and writes what
%   each returned, or its refusal, to OUTFILE, for test_octave_identity.py.
%   Both files are streams of little-endian doubles. INFILE: the problem
%   count, then per problem the plug-in (1 nearpoly, 2 netsim, 3
%   dmat_inputs, 4 dmat_params, 5 gridval), nargout and nargin, then each
%   input as its class (0 double, 1 uint8), ndims, dims and values in
%   column-major order. OUTFILE, per problem: 0 and each output as ndims,
%   dims and values; or 1, then the identifier and the message, each as its
%   length and character codes.
names = {'nearpoly', 'netsim', 'dmat_inputs', 'dmat_params', 'gridval'};
fid = fopen(infile, 'r', 'ieee-le');
v = fread(fid, Inf, 'double');
fclose(fid);
out = fopen(outfile, 'w', 'ieee-le');
at = 2;
for t = 1:v(1)
  plugin = names{v(at)};
  nout = v(at + 1);
  nin = v(at + 2);
  at = at + 3;
  args = cell(1, nin);
  for k = 1:nin
    cls = v(at);
    nd = v(at + 1);
    dims = v(at + 2:at + 1 + nd)';
    at = at + 2 + nd;
    m = prod(dims);
    a = reshape(v(at:at + m - 1), dims);
    at = at + m;
    if cls == 1
      a = uint8(a);
    end
    args{k} = a;
  end
  results = cell(1, nout);
  try
    [results{:}] = feval(plugin, args{:});
  catch err
    fwrite(out, [1, numel(err.identifier), double(err.identifier), ...
                 numel(err.message), double(err.message)], 'double');
    continue;
  end
  fwrite(out, 0, 'double');
  for k = 1:nout
    d = size(results{k});
    fwrite(out, [numel(d), d, reshape(results{k}, 1, [])], 'double');
  end
end
fclose(out);
end
