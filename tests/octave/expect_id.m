function expect_id(f, id)
% EXPECT_ID  Calls F and asserts that it fails with the identifier ID.
try
  f();
catch
  err = lasterror();
  assert(strcmp(err.identifier, id), 'expected %s, got %s (%s)', id, err.identifier, ...
         err.message);
  return;
end
error('test:noError', 'no error, expected %s', id);
end
