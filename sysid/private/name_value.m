function opts = name_value(args, known, caller)
% NAME_VALUE  Options given as name/value pairs or as one struct, checked
%   against the names KNOWN (a cell of strings); a struct of those given.
opts = struct();
if numel(args) == 1 && isstruct(args{1})
  s = args{1};
  names = fieldnames(s);
  pairs = cell(1, 2 * numel(names));
  for i = 1:numel(names)
    pairs{2 * i - 1} = names{i};
    pairs{2 * i} = s.(names{i});
  end
  args = pairs;
end
if mod(numel(args), 2) ~= 0
  error('localmodels:sysid:badOptions', '%s: options must come as name/value pairs.', caller);
end
for i = 1:2:numel(args)
  name = args{i};
  if ~ischar(name) || ~any(strcmp(name, known))
    if ischar(name)
      shown = name;
    else
      shown = class(name);
    end
    error('localmodels:sysid:badOptions', '%s: unknown option ''%s''; the options are %s.', ...
          caller, shown, strjoin(known, ', '));
  end
  opts.(name) = args{i + 1};
end
end
