function out = sysid_exchange(file, value)
% SYSID_EXCHANGE  Arrays to and from test_sysid_identity.py: OUT =
%   SYSID_EXCHANGE(FILE) reads one, SYSID_EXCHANGE(FILE, VALUE) writes one.
%   A file holds doubles: the number of dimensions, the dimensions, then
%   the values in column-major order.
if nargin == 1
  fid = fopen(file, 'r');
  nd = fread(fid, 1, 'double');
  dims = fread(fid, nd, 'double')';
  out = reshape(fread(fid, prod(dims), 'double'), [dims, 1, 1]);
  fclose(fid);
else
  fid = fopen(file, 'w');
  fwrite(fid, [ndims(value), size(value)], 'double');
  fwrite(fid, double(value(:)), 'double');
  fclose(fid);
end
end
