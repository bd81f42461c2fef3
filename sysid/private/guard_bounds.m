function bounds = guard_bounds(model)
% GUARD_BOUNDS  The 2-by-p bounds a clamped run holds its outputs in (the
%   estimation outputs' range widened by clamp_margin times its span on
%   each side), or [] when the model is not clamped.
bounds = [];
if model.clamp
  lo = model.output_range(1, :);
  hi = model.output_range(2, :);
  m = model.clamp_margin;
  bounds = [lo - m * (hi - lo); hi + m * (hi - lo)];
end
end
