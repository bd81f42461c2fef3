% lmn_train through the real host: a known function is fitted, netsim of the
% result gives INFO's training error, the options take effect, and every
% refusal carries its identifier.
function test_lmn_train()
  % A smooth function of two inputs on a fixed grid of samples.
  [g1, g2] = meshgrid(linspace(0, 1, 25), linspace(0, 1, 20));
  X = [g1(:)'; g2(:)'];
  Y = sin(2 * pi * X(1, :)) .* (1 + X(2, :));
  [C, A, T, info] = lmn_train(X, Y, struct('max_models', 12, 'patience', 3));
  c = size(C, 2);
  assert(size(C), [2 c]);
  assert(size(A), [2 2 c]);
  assert(size(T), [1 3 c]);
  assert(size(info.lower), [2 c]);
  assert(info.options, [1 1 2]);
  yhat = netsim(X, C, A, T, info.options(1), info.options(2), info.options(3));
  sse = 0;
  for e = 1:numel(Y)
    sse = sse + (yhat(e) - Y(e)) ^ 2;
  end
  assert(sse, info.sse);  % the training's own fitted values, bit for bit
  assert(sqrt(info.sse / numel(Y)) < 0.05);
  [~, best] = min(info.criterion);
  assert(info.models(best), c);
  % The cells tile the unit square; centres at their middles.
  assert(C, (info.lower + info.upper) / 2);
  assert(sum(prod(info.upper - info.lower, 1)), 1, 1e-12);

  % Partition and regression inputs, 1-based; a validation record.
  Xv = rand(2, 100);
  Yv = sin(2 * pi * Xv(1, :)) .* (1 + Xv(2, :));
  [C, A, T, info] = lmn_train(X, Y, struct('partition_inputs', 1, 'regression_inputs', [2], ...
                                           'x_val', Xv, 'y_val', Yv, 'max_models', 6));
  assert(all(all(A(2, :, :) == 0)) && all(all(A(:, 2, :) == 0)));
  assert(all(T(1, 1, :) == 0));
  assert(all(info.lower(2, :) == 0) && all(info.upper(2, :) == 1));
  rmse = sqrt(mean((netsim(Xv, C, A, T) - Yv) .^ 2));
  assert(rmse, min(info.criterion), 1e-14);

  % Refinement lowers the training error.
  [~, ~, ~, plain] = lmn_train(X, Y, struct('max_models', 4));
  [C, A, T, refined] = lmn_train(X, Y, struct('max_models', 4, 'lm_iterations', 10));
  assert(refined.sse < plain.sse);
  assert(sum((netsim(X, C, A, T) - Y) .^ 2), refined.sse, 1e-12);

  % A progress line per step.
  text = evalc('lmn_train(X, Y, struct(''max_models'', 3, ''display'', 1, ''patience'', 5));');
  assert(numel(strfind(text, 'lmn_train: step')), 3);

  % Refusals.
  expect_id(@() lmn_train(X), 'lmn_train:notEnoughArguments');
  expect_id(@() lmn_train(X, Y, struct(), 1), 'lmn_train:tooManyArguments');
  expect_id(@() lmn_train(X, Y(1:10)), 'lmn_train:yColumns');
  expect_id(@() lmn_train(X, Y, {1}), 'lmn_train:optionsNotStruct');
  expect_id(@() lmn_train(X, Y, struct('max_model', 3)), 'lmn_train:unknownOption');
  expect_id(@() lmn_train(X, Y, struct('max_models', 0)), 'lmn_train:badMaxModels');
  expect_id(@() lmn_train(X, Y, struct('partition_inputs', 3)), 'lmn_train:badPartitionInputs');
  expect_id(@() lmn_train(X, Y, struct('partition_inputs', 0)), 'lmn_train:badPartitionInputs');
  expect_id(@() lmn_train(X, Y, struct('x_val', Xv)), 'lmn_train:validationPair');
  expect_id(@() lmn_train(X, [Y(1:end-1) NaN]), 'lmn_train:nonFinite');
  expect_id(@() lmn_train(single(X), Y), 'lmn_train:notDoubleArray');
  expect_id(@() lmn_train(X, Y, struct('width_factor', -1)), 'lmn_train:badWidthFactor');
  expect_error('lmn_train: lmn_train has no option ''foo''.', ...
               @() lmn_train(X, Y, struct('foo', 1)));
  disp('lmn_train: all Octave tests passed');
end
