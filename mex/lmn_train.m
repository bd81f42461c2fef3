% LMN_TRAIN  Train a local-model network on samples by tree construction.
%   [CENTRES, NORM_MATRICES, CONSEQUENTS, INFO] = LMN_TRAIN(X, Y, OPTS) fits
%   a network of local affine models to the N samples in the columns of X
%   (n-by-N) and Y (p-by-N), one sample per column as in NETSIM. The result
%   is evaluated by
%     NETSIM(X, CENTRES, NORM_MATRICES, CONSEQUENTS, INFO.options(1), INFO.options(2))
%   and NETSIM gives the training's own fitted values bit for bit.
%
%   Training starts from one global affine model on the samples' bounding
%   box. Each step takes the model with the largest validity-weighted
%   squared error, halves its cell along each partition input in turn,
%   refits all local models for each candidate and keeps the split with the
%   best criterion. Validities are normalised Gaussians: centre at the middle
%   of the cell, standard deviation WIDTH_FACTOR times the cell's extent per
%   partition input, that is a diagonal norm matrix of 1/(2 sigma^2) (a
%   lone model gets a zero one: it is valid everywhere, also far outside the
%   data, where a Gaussian would underflow). Each
%   local model is a weighted least-squares fit with a small ridge.
%
%   Training stops at MAX_MODELS models, when no split leaves MIN_SAMPLES
%   effective samples (sum of validities) in both halves, or after PATIENCE
%   steps without improving the criterion: AICc on the training samples, or
%   the RMSE on X_VAL, Y_VAL when they are given. The best network by the
%   criterion is returned.
%
%   OPTS is an optional struct with any of these fields (others are refused):
%     max_models         most local models, default 10
%     min_samples        effective samples per model, default n_reg + 3
%                        (n_reg regression inputs)
%     width_factor       standard deviation / cell extent, default 1/3
%     regularization     ridge relative to each normal-matrix diagonal entry,
%                        default 1e-9
%     x_val, y_val       validation samples, n-by-Nv and p-by-Nv
%     partition_inputs   inputs the cells split (1-based), default all
%     regression_inputs  inputs of the local models (1-based), default all
%     lm_iterations      Levenberg-Marquardt trials refining centres, widths
%                        and local models after the tree, default 0
%     patience           steps without improvement before stopping, default 1
%     display            1 prints a line per step, default 0
%
%   Outputs: CENTRES n-by-c, NORM_MATRICES n-by-n-by-c, CONSEQUENTS
%   p-by-(n+1)-by-c (column n+1 the offsets), in NETSIM's layout; INFO a
%   struct with criterion and models (1-by-steps: the criterion and model
%   count after each step), lower and upper (n-by-c, the cells' corners),
%   options (NETSIM's normalize, validity_type, fuzziness: [1 1 2]), sse
%   (training sum of squared errors of the result) and interrupted.
%
%   Results are the same for any number of threads (LOCALMODELS_THREADS).
%
%   Example: an affine target is one model
%     x = linspace(0, 1, 50);
%     [C, A, T, info] = lmn_train(x, 2 * x + 1, struct('max_models', 1, 'regularization', 0));
%     C                                    % C = 0.5
%     A                                    % A = 0
%     T                                    % T = [2 1] to within 1e-12
%     info.options                         % ans = [1 1 2]
%
%   Example: a kink is split where it lies
%     x = linspace(0, 1, 101);
%     y = abs(x - 0.5);
%     [C, A, T, info] = lmn_train(x, y, struct('max_models', 2));
%     info.lower                           % ans = [0 0.5]
%     info.upper                           % ans = [0.5 1]
%     info.models                          % ans = [1 2]
%     sum((netsim(x, C, A, T, 1, 1) - y) .^ 2)   % ans = info.sse to within 1e-15
%
%   See also NETSIM, DMAT_PARAMS.
