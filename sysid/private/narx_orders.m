function o = narx_orders(na, nb, nk, p, m, caller)
% NARX_ORDERS  Orders of p outputs and m inputs as a struct: na (1-by-p),
%   nb and nk (1-by-m), p, m, n (the regressor's length) and lag (the
%   first sample, from 0, with a full regressor). A scalar applies to
%   every signal, as in the Python package.
o.na = counts(na, p, 'NA', caller);
o.nb = counts(nb, m, 'NB', caller);
o.nk = counts(nk, m, 'NK', caller);
o.p = p;
o.m = m;
o.n = sum(o.na) + sum(o.nb);
used = o.nb > 0;
o.lag = max([0, o.na, o.nk(used) + o.nb(used) - 1]);
end

function a = counts(v, len, name, caller)
if ~isnumeric(v) || ~isreal(v) || (~isempty(v) && ~isvector(v)) || ...
    any(~isfinite(v(:))) || any(v(:) ~= round(v(:))) || any(v(:) < 0)
  error('localmodels:sysid:badOrders', '%s: %s must hold integers of at least 0.', caller, name);
end
a = double(v(:)');
if numel(a) == 1 && len > 1
  a = repmat(a, 1, len);
end
if numel(a) ~= len
  error('localmodels:sysid:badOrders', ...
        '%s: %s must have %d entries (one per signal); got %d.', caller, name, len, numel(a));
end
end
