function [nk, kind, rest] = leading_args(args, kind, kinds, caller)
% LEADING_ARGS  The optional NK (numeric; [] or none is 1) and KIND (one of
%   KINDS, default KIND) before the options.
nk = 1;
rest = args;
if ~isempty(rest) && isnumeric(rest{1})
  if ~isempty(rest{1})
    nk = rest{1};
  end
  rest = rest(2:end);
end
if ~isempty(rest) && ischar(rest{1})
  if any(strcmp(rest{1}, kinds))
    kind = rest{1};
    rest = rest(2:end);
  elseif mod(numel(rest), 2) == 1
    % An odd count cannot be name/value pairs: the first is a kind.
    error('localmodels:sysid:badKind', '%s: KIND must be one of %s; got ''%s''.', caller, ...
          strjoin(kinds, ', '), rest{1});
  end
end
end
