function w = range_weights(r)
% RANGE_WEIGHTS  Distance weights 1/(max - min) that scale every
%   regressor's range to one; 1 where max == min. A row.
span = r(2, :) - r(1, :);
w = ones(size(span));
w(span > 0) = 1 ./ span(span > 0);
end
