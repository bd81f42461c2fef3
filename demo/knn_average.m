function y = knn_average(X, t, Q, k)
% KNN_AVERAGE  Plain k-nearest-neighbour average: for each row of Q, the mean
%   of the targets T of the K rows of X nearest to it (Euclidean distance).
y = zeros(rows(Q), 1);
for i = 1:rows(Q)
  [~, order] = sort(sumsq(X - Q(i, :), 2));
  y(i) = mean(t(order(1:k)));
end
end
