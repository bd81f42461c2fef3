function expect_error(message, f)
% EXPECT_ERROR  Asserts that calling F ends with exactly MESSAGE, as Octave
%   shows it (prefixed by the plug-in's name, e.g. 'gridval: ...').
try
  f();
catch err
  assert(err.message, message);
  return;
end
error('no error raised; expected "%s"', message);
end
