% The identification M-files through the real plug-ins: regressors against
% a plain loop, the metrics' formulas, k-step predictions against a loop of
% one-point netsim calls, the linearisation of an affine network, tables,
% files, the tuning folds and clamped runs.
function test_sysid()
  regressors_match_a_loop();
  compare_gives_the_formulas();
  predictions_match_a_loop();
  linearisation_of_an_arx_network();
  tables_of_a_linear_model();
  files_round_trip();
  tuning_folds_use_earlier_data();
  clamped_runs_stay_in_range();
  fits_of_each_kind();
  refusals();
  disp('sysid: all Octave tests passed');
end

function regressors_match_a_loop()
  % Three outputs, two inputs (one acting at once), two experiments.
  rand('seed', 5);
  na = [2 0 1]; nb = [1 3]; nk = [0 2];
  us = {rand(2, 9), rand(2, 14)};
  ys = {rand(3, 9), rand(3, 14)};
  [phi, target] = narx_regressors(us, ys, na, nb, nk);
  [p1, t1] = loop_regressors(us{1}, ys{1}, na, nb, nk);
  [p2, t2] = loop_regressors(us{2}, ys{2}, na, nb, nk);
  assert(isequal(phi, [p1 p2]) && isequal(target, [t1 t2]));
  assert(isequal(size(phi), [7, 5 + 10]));
  [phi, target] = narx_regressors(us{2}, ys{2}, na, nb, nk);
  assert(isequal(phi, p2) && isequal(target, t2));
  % A scalar order applies to every signal; NK defaults to 1.
  [phi, target] = narx_regressors(us{1}, ys{1}(1, :), 2, 1);
  [p, t] = loop_regressors(us{1}, ys{1}(1, :), 2, [1 1], [1 1]);
  assert(isequal(phi, p) && isequal(target, t));
  % Records shorter than the lag give no column.
  [phi, target] = narx_regressors(1:3, 1:3, 3, 1);
  assert(isequal(size(phi), [4 0]) && isequal(size(target), [1 0]));
end

function [phi, target] = loop_regressors(u, y, na, nb, nk)
  L = max([0, na, nk(nb > 0) + nb(nb > 0) - 1]);
  phi = zeros(sum(na) + sum(nb), 0);
  target = zeros(size(y, 1), 0);
  for t = L + 1:size(y, 2)
    r = [];
    for i = 1:numel(na)
      for l = 1:na(i)
        r(end + 1, 1) = y(i, t - l);
      end
    end
    for j = 1:numel(nb)
      for l = 0:nb(j) - 1
        r(end + 1, 1) = u(j, t - nk(j) - l);
      end
    end
    phi(:, end + 1) = r;
    target(:, end + 1) = y(:, t);
  end
end

function compare_gives_the_formulas()
  % Output 1: e = [0 0 0 -1]; output 2: y = [2 0 2 0], e = [1 0 0 0].
  r = lm_compare([1 2 3 4; 2 0 2 0], [1 2 3 5; 1 0 2 0]);
  assert(r.rmse, [0.5; 0.5], 1e-15);
  assert(r.nrmse, [0.5 / sqrt(1.25); 0.5], 1e-15);
  assert(r.fit, [100 * (1 - 1 / sqrt(5)); 100 * (1 - 1 / 2)], 1e-12);
  assert(r.r2, [0.8; 0.75], 1e-15);
  assert(isequal(r.samples, [4; 4]));
  % Leading columns without a model output are left out, a later NaN counts,
  % experiments are joined.
  r = lm_compare({[9 1 2 3 4], [7 7]}, {[NaN 1 2 3 5], [NaN 7]});
  assert(isequal(r.samples, 5));
  assert(r.rmse, sqrt(1 / 5), 1e-15);
  r = lm_compare([1 2 3], [NaN 2 NaN]);
  assert(isequal(r.samples, 2) && isnan(r.rmse));
  r = lm_compare([1 2 3], NaN(1, 3));
  assert(isequal(r.samples, 0));
end

function model = hand_network(clamp)
  % p = 2 outputs, m = 2 inputs: NA = [2 1], NB = [1 2], NK = [0 1], three
  % clusters, so n = 6 regressors and lag 2.
  rand('seed', 7);
  n = 6; c = 3;
  C = 2 * rand(n, c) - 1;
  A = zeros(n, n, c);
  for i = 1:c
    B = 0.5 * (2 * rand(n) - 1);
    A(:, :, i) = B * B' + 0.3 * eye(n);
  end
  T = 0.3 * (2 * rand(2, n + 1, c) - 1);
  model = struct('kind', 'network', 'na', [2 1], 'nb', [1 2], 'nk', [0 1], ...
                 'output_range', [-0.2 -0.1; 0.2 0.1], 'regressor_range', [-ones(1, n); ones(1, n)], ...
                 'clamp', clamp, 'clamp_margin', 0, 'network', struct('centres', C, 'norm_matrices', A, ...
                 'consequents', T, 'options', [1 1 2]), 'examples', [], 'table', [], ...
                 'info', struct());
end

function predictions_match_a_loop()
  model = hand_network(false);
  net = model.network;
  step = @(r) netsim(r, net.centres, net.norm_matrices, net.consequents, 1, 1, 2);
  rand('seed', 8);
  u = 2 * rand(2, 40) - 1;
  y = lm_simulate(model, u, 0.1 * rand(2, 2)) + 0.01 * rand(2, 40);
  % k = 1: the model at the measured regressors.
  phi = narx_regressors(u, y, model.na, model.nb, model.nk);
  yp = lm_predict(model, u, y);
  assert(isequaln(yp, [NaN(2, 2), step(phi)]));
  assert(isequaln(lm_predict(model, {u, u}, {y, y}, 1), {yp, yp}));
  % k = 3: a free run of three steps from the measurements up to t - 3.
  yp = lm_predict(model, u, y, 3);
  assert(all(all(isnan(yp(:, 1:4)))));
  for t = 5:40
    z = y(:, 1:t);
    for s = t - 2:t
      z(:, s) = step(one_regressor(u, z, model, s));
    end
    assert(isequal(yp(:, t), z(:, t)), 'the 3-step prediction of sample %d differs', t);
  end
  assert(all(all(isnan(lm_predict(model, u(:, 1:4), y(:, 1:4), 3)))));
end

function r = one_regressor(u, y, model, t)
  [r, ~] = loop_regressors(u(:, 1:t), y(:, 1:t), model.na, model.nb, model.nk);
  r = r(:, end);
end

function model = arx_network(T, na, nb, nk)
  % One cluster of validity 1 everywhere: the affine model T * [regressor; 1].
  n = sum(na) + sum(nb);
  model = struct('kind', 'arx', 'na', na, 'nb', nb, 'nk', nk, ...
                 'output_range', repmat([-10; 10], 1, numel(na)), ...
                 'regressor_range', repmat([-1; 1], 1, n), 'clamp', false, 'clamp_margin', 0, ...
                 'network', struct('centres', zeros(n, 1), 'norm_matrices', zeros(n), ...
                 'consequents', T, 'options', [1 1 2]), 'examples', [], 'table', [], ...
                 'info', struct());
end

function linearisation_of_an_arx_network()
  % Two outputs, two inputs, one at once (NK = 0) and one two steps late.
  na = [2 1]; nb = [2 1]; nk = [0 2];
  T = [0.5 -0.2 0.1 0.3 0.2 -0.4 0; ...
       0.1 0.05 0.6 -0.3 0.1 0.5 0];
  model = arx_network(T, na, nb, nk);
  lin = lm_linearize(model, [0.3 -0.2], [0.1 0.4]);
  assert(isequal(lin.regressor, [0.1; 0.1; 0.4; 0.3; 0.3; -0.2]));
  assert(lin.gradient, T(:, 1:6), 1e-14);
  assert(lin.A, T(:, 1:3), 1e-14);
  assert(lin.B, T(:, 4:6), 1e-14);
  assert(lin.y, T * [lin.regressor; 1], 1e-14);
  assert(lin.offset, zeros(2, 1), 1e-14);
  lin2 = lm_linearize(model, 'regressor', [1 2 3 4 5 6]);
  assert(lin2.gradient, T(:, 1:6), 1e-14);
  % The state-space run from rest equals the ARX recursion from rest (no
  % sample before the first), and lm_simulate continues that recursion.
  rand('seed', 9);
  u = 2 * rand(2, 30) - 1;
  y = zeros(2, 30);
  for t = 1:30
    r = zeros(6, 1);
    lags = [1 1; 1 2; 2 1];   % (output, lag) of the regressor's rows 1..3
    for k = 1:3
      if t - lags(k, 2) >= 1
        r(k) = y(lags(k, 1), t - lags(k, 2));
      end
    end
    ulags = [1 0; 1 1; 2 2];   % (input, lag) of rows 4..6
    for k = 1:3
      if t - ulags(k, 2) >= 1
        r(3 + k) = u(ulags(k, 1), t - ulags(k, 2));
      end
    end
    y(:, t) = T(:, 1:6) * r;
  end
  z = zeros(size(lin.a, 1), 1);
  ys = zeros(2, 30);
  for t = 1:30
    ys(:, t) = lin.c * z + lin.d * u(:, t);
    z = lin.a * z + lin.b * u(:, t);
  end
  assert(isequal(size(lin.a), [6 6]) && isequal(size(lin.b), [6 2]));
  assert(isequal(size(lin.c), [2 6]) && isequal(size(lin.d), [2 2]));
  assert(ys, y, 1e-12);
  sim = lm_simulate(model, u, y(:, 1:2));
  assert(sim, y, 1e-12);
end

function tables_of_a_linear_model()
  T = [0.5 -0.2 0.3 0.1];
  model = arx_network(T, 2, 1, 1);
  model.regressor_range = [-2 -2 0; 2 2 3];
  table = lm_table(model, {3, [-2 0 2], 4});
  assert(strcmp(table.kind, 'table'));
  assert(isequal(table.table.breakpoints, {[-2 0 2], [-2 0 2], [0 1 2 3]}));
  assert(isequal(size(table.table.tables), [3 3 4]));
  rand('seed', 10);
  phi = [4 * rand(1, 50) - 2; 4 * rand(1, 50) - 2; 3 * rand(1, 50)];
  table = lm_table(model, [3 3 4], 'regressors', phi);
  assert(table.info.max_error < 1e-14);
  assert(strcmp(table.info.source, 'arx'));
  lin = lm_linearize(table, 0.2, 0.1);
  assert(lin.gradient, T(1:3), 1e-12);
  u = 3 * rand(1, 20);
  assert(lm_simulate(table, u, [0.1 0.2]), lm_simulate(model, u, [0.1 0.2]), 1e-13);
  % Without regressors, and no examples, the error is measured nowhere.
  table = lm_table(model, 2);
  assert(isempty(table.info.max_error));
  assert(isequal(table.table.breakpoints{3}, [0 3]));
  % One regressor: y(t) = 2 u(t) + 1, a column of four values.
  one = arx_network([2 1], 0, 1, 0);
  one.regressor_range = [0; 3];
  table = lm_table(one);
  assert(isequal(table.table.breakpoints, {[0 0.75 1.5 2.25 3]}));
  assert(isequal(table.table.tables, [1; 2.5; 4; 5.5; 7]));
  assert(isequal(lm_simulate(table, [0.5 1.5], zeros(1, 0)), [2 4]));
  % A regressor whose range is a single value gets one node.
  model.regressor_range(:, 2) = [1; 1];
  table = lm_table(model, 3);
  assert(isequal(table.table.breakpoints{2}, 1) && isequal(size(table.table.tables), [3 1 3]));
end

function files_round_trip()
  rand('seed', 11);
  u = 2 * rand(1, 80) - 1;
  y = filter([0 0.5], [1 -0.8], u) + 0.1 * sin(3 * u);
  near = lm_fit(u, y, 2, 2, 1, 'nearpoly', 'id_par', [1; 2; 1], 'cov_init', 1e4);
  net = hand_network(true);
  ue = 2 * rand(2, 25) - 1;
  models = {near, net, lm_table(near, 4)};
  inputs = {u, ue, u};
  starts = {y, zeros(2, 2), y};
  file = [tempname() '.mat'];
  for i = 1:numel(models)
    lm_save(file, models{i});
    back = lm_load(file);
    assert(isequal(back, models{i}), 'model %d changed in its file', i);
    assert(isequal(fieldnames(back), fieldnames(models{i})));
    assert(islogical(back.clamp));
    a = lm_simulate(models{i}, inputs{i}, starts{i});
    b = lm_simulate(back, inputs{i}, starts{i});
    assert(isequal(typecast(a(:), 'uint64'), typecast(b(:), 'uint64')));
  end
  s = load(file);
  assert(strcmp(s.format, 'localmodels.sysid.Model/1'));
  format = 'something else';
  model = near;
  save(file, 'format', 'model', '-v7');
  expect_error(['lm_load: ' file ' is not a model saved by lm_save.'], @() lm_load(file));
  delete(file);
end

function tuning_folds_use_earlier_data()
  % The scores are those of fits on the earlier blocks only: recomputed
  % here with the block edges floor(i T / (folds + 1)).
  rand('seed', 12);
  T = 103;
  u = 2 * rand(1, T) - 1;
  y = filter([0 0.5], [1 -0.8], u) + 0.2 * tanh(2 * filter(1, [1 -0.5], u));
  grid = struct('id_par', {{[1; 1; 1], [1; 2; 0]}}, 'comb_par', [1 2]);
  [best, scores] = lm_tune(u, y, 1, 2, 1, 'nearpoly', grid, 'folds', 3);
  assert(isequal(size(scores), [1 4]));
  edges = [0 25 51 77 103];
  ids = {[1; 1; 1], [1; 1; 1], [1; 2; 0], [1; 2; 0]};
  combs = [1 2 1 2];
  for c = 1:4
    assert(isequal(scores(c).setting, struct('id_par', ids{c}, 'comb_par', combs(c))));
    errs = zeros(1, 3);
    for i = 1:3
      fit = 1:edges(i + 1);
      held = edges(i + 1) + 1:edges(i + 2);
      m = lm_fit(u(:, fit), y(:, fit), 1, 2, 1, 'nearpoly', 'id_par', ids{c}, 'comb_par', combs(c));
      ys = lm_simulate(m, u(:, held), y(:, held));
      errs(i) = sqrt(mean((y(held(3:end)) - ys(3:end)) .^ 2));
    end
    assert(scores(c).score, mean(errs), 1e-14);
  end
  [~, k] = min([scores.score]);
  assert(isequal(best, scores(k).setting));
  % Poisoned later samples change no fold's fit on earlier blocks: only the
  % last fold, which scores them, sees them.
  bad = y;
  bad(78:end) = 1e3;
  [~, s1] = lm_tune(u, bad, 1, 2, 1, 'nearpoly', struct('id_par', {{[1; 1; 1]}}), 'folds', 2, ...
                    'criterion', 'one_step');
  [~, s2] = lm_tune(u, y, 1, 2, 1, 'nearpoly', struct('id_par', {{[1; 1; 1]}}), 'folds', 2, ...
                    'criterion', 'one_step');
  % folds = 2: edges [0 34 68 103]; samples 78.. lie in the last block only.
  m = lm_fit(u(1:34), y(1:34), 1, 2, 1, 'nearpoly');
  r1 = lm_compare(y(35:68), lm_predict(m, u(35:68), y(35:68), 1));
  m = lm_fit(u(1:68), y(1:68), 1, 2, 1, 'nearpoly');
  r2 = lm_compare(bad(69:103), lm_predict(m, u(69:103), bad(69:103), 1));
  assert(s1.score, (r1.rmse + r2.rmse) / 2, 1e-14);
  assert(s1.score > s2.score);
  % A validation record: one fit on all of the estimation record.
  [~, s] = lm_tune(u(1:60), y(1:60), 1, 2, 'nearpoly', struct('id_par', {{[1; 1; 1]}}), ...
                   'validation', {u(61:end), y(61:end)}, 'criterion', 'one_step');
  m = lm_fit(u(1:60), y(1:60), 1, 2, 'nearpoly');
  r = lm_compare(y(61:end), lm_predict(m, u(61:end), y(61:end)));
  assert(s.score, r.rmse, 1e-15);
end

function clamped_runs_stay_in_range()
  % y(t) = 1.5 y(t-1) + u(t-1) diverges; clamped, it stays in [-1, 2].
  model = arx_network([1.5 1 0], 1, 1, 1);
  model.output_range = [-1; 2];
  u = ones(1, 30);
  free = lm_simulate(model, u, 0.5);
  assert(max(free) > 1e3);
  model.clamp = true;
  held = lm_simulate(model, u, 0.5);
  assert(all(held(2:end) >= -1 & held(2:end) <= 2) && held(end) == 2);
  yp = lm_predict(model, u, free, 3);
  assert(all(yp(4:end) >= -1 & yp(4:end) <= 2));
  % A NaN stays NaN when clamped.
  yp = lm_predict(model, [1 NaN 1 1], [0 0 0 0], 1);
  assert(isnan(yp(3)) && yp(2) == 1 && yp(4) == 1);
  % Several experiments: a cell of runs.
  runs = lm_simulate(model, {u, -u}, {0.5, 0});
  assert(iscell(runs) && isequal(runs{1}, held) && min(runs{2}) == -1);
  % A margin widens the range by that fraction of its span on each side.
  model.clamp_margin = 0.5;
  wide = lm_simulate(model, u, 0.5);
  assert(wide(end) == 3.5 && min(lm_simulate(model, -u, 0)) == -2.5);
end

function fits_of_each_kind()
  rand('seed', 13);
  u = 2 * rand(1, 120) - 1;
  y = filter([0 0.5], [1 -0.8], u);
  % nearpoly: the regressors, the targets and the range weights.
  m = lm_fit(u, y, 1, 1, 'nearpoly', struct('scale', true));
  [phi, target] = narx_regressors(u, y, 1, 1);
  assert(isequal(m.examples.data_x, phi') && isequal(m.examples.data_y, target'));
  span = max(phi, [], 2)' - min(phi, [], 2)';
  assert(isequal(m.examples.weights, 1 ./ span));
  assert(isequal(m.output_range, [min(y); max(y)]));
  assert(isequal(m.regressor_range, [min(phi, [], 2)'; max(phi, [], 2)']));
  m = lm_fit(u, y, 1, 1, 'nearpoly', 'scale', false);
  assert(isempty(m.examples.weights));
  m = lm_fit({u(1:60), u(61:end)}, {y(1:60), y(61:end)}, 1, 1, 1, 'nearpoly');
  assert(isequal(size(m.examples.data_x), [118 2]));
  % arx: one affine model, the system's coefficients.
  m = lm_fit(u, y, 1, 1, 1, 'arx');
  assert(strcmp(m.kind, 'arx') && size(m.network.centres, 2) == 1);
  assert(m.network.consequents, [0.8 0.5 0], 1e-10);
  assert(lm_simulate(m, u, y), y, 1e-9);
  % network: more than one model on a nonlinear system, checked on later
  % data and with its validation record.
  y2 = filter([0 0.5], [1 -0.5], u) + 0.5 * u .^ 2 .* [0, y(1:end - 1)];
  m = lm_fit(u(1:80), y2(1:80), 1, 1, 1, 'network', 'max_models', 4, ...
             'validation', {u(81:end), y2(81:end)});
  assert(strcmp(m.kind, 'network') && isfield(m.info, 'criterion'));
  assert(isequal(m.network.options, m.info.options));
end

function refusals()
  expect_error('narx_regressors: NB must have 2 entries (one per signal); got 3.', ...
               @() narx_regressors(rand(2, 9), rand(1, 9), 1, [1 2 3], 1));
  expect_error('narx_regressors: NA must hold integers of at least 0.', ...
               @() narx_regressors(rand(1, 9), rand(1, 9), 1.5, 1));
  expect_error(['narx_regressors: U and Y must have the same samples (columns); got 9 and ' ...
                '8 in experiment 1.'], @() narx_regressors(rand(1, 9), rand(1, 8), 1, 1));
  expect_error('lm_fit: the records are too short for lag 3: no regressor.', ...
               @() lm_fit(1:3, 1:3, 3, 1, 'nearpoly'));
  expect_error(['lm_fit: unknown option ''max_model''; the options are validation, clamp, ' ...
                'clamp_margin, id_par, comb_par, cov_init, scale, max_models, min_samples, width_factor, ' ...
                'regularization, partition_inputs, regression_inputs, lm_iterations, patience, ' ...
                'display.'], @() lm_fit(1:9, 1:9, 1, 1, 'max_model', 3));
  expect_error('lm_fit: KIND must be one of arx, network, nearpoly; got ''nerapoly''.', ...
               @() lm_fit(1:9, 1:9, 1, 1, 1, 'nerapoly'));
  expect_error('lm_fit: kind ''nearpoly'' models one output; fit one model per output.', ...
               @() lm_fit(rand(1, 9), rand(2, 9), 1, 1, 'nearpoly'));
  model = arx_network([0.5 1 0], 1, 1, 1);
  expect_error('lm_predict: K must be a positive integer.', @() lm_predict(model, 1:5, 1:5, 0));
  expect_error(['lm_simulate: the model has 1 inputs and 1 outputs: U must have 1 rows and ' ...
                'Y0 1.'], @() lm_simulate(model, rand(2, 5), 0));
  expect_error('lm_simulate: MODEL must be a model from lm_fit, lm_table or lm_load.', ...
               @() lm_simulate(struct('kind', 'x'), 1:5, 0));
  expect_error('lm_table: a table of 16777216 nodes is beyond 10000000; use fewer breakpoints.', ...
               @() lm_table(arx_network(zeros(1, 7), 3, 3, 1), 16));
  expect_error('lm_tune: GRID must be a struct naming at least one setting.', ...
               @() lm_tune(1:20, 1:20, 1, 1, 'nearpoly', struct()));
  try
    narx_regressors(1, 1, -1, 1);
    error('no error raised');
  catch
    err = lasterror();
    assert(strcmp(err.identifier, 'localmodels:sysid:badOrders'));
  end
end
