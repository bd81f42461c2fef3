function y = knn_average(X, t, Q, k)
% KNN_AVERAGE  Plain k-nearest-neighbour average: for each row of Q, the mean
%   of the targets T of the K rows of X nearest to it (Euclidean distance).
y = zeros(size(Q, 1), 1);
for i = 1:size(Q, 1)
  [~, order] = sort(sum((X - Q(i, :)).^2, 2));
  y(i) = mean(t(order(1:k)));
end
end
