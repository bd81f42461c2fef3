function [us, ys, many] = narx_records(u, y, caller)
% NARX_RECORDS  The experiments of (U, Y) as cells of m-by-T and p-by-T
%   doubles; MANY is whether they came as cell arrays (several
%   experiments) or as one record.
many = iscell(u);
if many ~= iscell(y)
  error('localmodels:sysid:badRecords', ...
        '%s: U and Y must both be matrices or both be cell arrays of experiments.', caller);
end
if many
  us = u(:)';
  ys = y(:)';
else
  us = {u};
  ys = {y};
end
if numel(us) ~= numel(ys) || isempty(us)
  error('localmodels:sysid:badRecords', ...
        '%s: U and Y must list the same experiments; got %d and %d.', caller, numel(us), numel(ys));
end
for k = 1:numel(us)
  us{k} = signal(us{k}, 'U', caller);
  ys{k} = signal(ys{k}, 'Y', caller);
  if size(us{k}, 2) ~= size(ys{k}, 2)
    error('localmodels:sysid:badRecords', ...
          '%s: U and Y must have the same samples (columns); got %d and %d in experiment %d.', ...
          caller, size(us{k}, 2), size(ys{k}, 2), k);
  end
  if size(us{k}, 1) ~= size(us{1}, 1) || size(ys{k}, 1) ~= size(ys{1}, 1)
    error('localmodels:sysid:badRecords', ...
          '%s: every experiment must have the same inputs and outputs (rows).', caller);
  end
end
end

function a = signal(a, name, caller)
if ~(isnumeric(a) || islogical(a)) || ~isreal(a) || ndims(a) ~= 2
  error('localmodels:sysid:badRecords', ...
        '%s: %s must be a real matrix with a column per sample.', caller, name);
end
a = double(a);
end
