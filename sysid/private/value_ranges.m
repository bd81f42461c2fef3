function r = value_ranges(a)
% VALUE_RANGES  The 2-by-rows smallest and largest entries of each row of
%   A; NaN where a row holds a NaN, or for no columns at all (as numpy's
%   min and max).
if size(a, 2) == 0
  r = NaN(2, size(a, 1));
  return;
end
r = [min(a, [], 2)'; max(a, [], 2)'];
r(:, any(isnan(a), 2)') = NaN;
end
