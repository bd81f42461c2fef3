% NARX_SIMULATE  Free-run simulation of a NARX model (network, nearpoly or table).
%   Y = NARX_SIMULATE(U, Y0, NA, NB, NK, BOUNDS, KIND, MODEL...) runs a
%   one-step model recursively: each output sample is the model's
%   prediction at a regressor built from the simulated outputs before it
%   and from the inputs, and it is fed back for the samples after it.
%
%   Signals take a column per sample:
%     U       m-by-T inputs (zeros(0, T) for a model without inputs)
%     Y0      p-by-L or wider: the first L outputs (only the first L
%             columns are read; fewer are refused)
%     Y       p-by-T, Y(:, 1:L) = Y0(:, 1:L), then the simulated samples
%   Orders, non-negative integers:
%     NA      1-by-p, output lags;  NB  1-by-m, input lags;
%     NK      1-by-m, input delays (0: the input acts at once)
%   The regressor of sample t is, in this order,
%     y_1(t-1) ... y_1(t-NA(1)), ..., y_p(t-1) ... y_p(t-NA(p)),
%     u_1(t-NK(1)) ... u_1(t-NK(1)-NB(1)+1), ..., u_m(...)
%   n = sum(NA) + sum(NB) values. L, the first simulated sample (from 0),
%   is the largest of NA and of NK(j) + NB(j) - 1 over the inputs with
%   NB(j) > 0.
%   BOUNDS  [] (none) or 2-by-p: each simulated output is held in
%           [BOUNDS(1, j), BOUNDS(2, j)] before it is fed back; -Inf or
%           Inf leaves a side open; a NaN output stays NaN.
%   KIND and MODEL...:
%     'network' (or 1)   CENTRES, NORM_MATRICES, CONSEQUENTS and the
%                        optional NORMALIZE, VALIDITY_TYPE, FUZZINESS,
%                        exactly as NETSIM's arguments 2 to 7; n inputs,
%                        p outputs.
%     'nearpoly' (or 2)  DATA_X (N-by-n), DATA_Y (N-by-1), ID_PAR and the
%                        optional COMB_PAR, COV_INIT, WEIGHTS, as
%                        NEARPOLY's; one output (p = 1).
%     'table' (or 3)     TABLE, M1-by-...-by-Mn-by-p (TABLE(:, ..., :, j)
%                        the table of output j), then B1, ..., Bn, the
%                        breakpoint rows of the n regressors, as GRIDVAL's.
%   Each step computes exactly what NETSIM, NEARPOLY or GRIDVAL computes
%   for that one regressor, to the last bit; NEARPOLY's neighbour search
%   index is built once for the whole run.
%
%   Example: y(t) = 0.5 y(t-1) + u(t-1) as a network of one cluster.
%     C = [0; 0]; A = zeros(2); T = [0.5 1 0];
%     y = narx_simulate([1 1 1 1], 0, 1, 1, 1, [], 'network', C, A, T)   % y = [0 1 1.5 1.75]
%     narx_simulate([1 1 1 1], 0, 1, 1, 1, [0; 1.6], 1, C, A, T)   % ans = [0 1 1.5 1.6]
%
%   Example: y(t) = u(t)^2 from a table, no delay, no output lag.
%     y = narx_simulate([0 0.5 2], [], 0, 1, 0, [], 'table', [0 1 4], [0 1 2])   % y = [0 0.5 4]
%
%   See also NETSIM, NEARPOLY, GRIDVAL.
