% DMAT_INPUTS  Derivatives of a local-model network with respect to its inputs.
%   [D, Y] = DMAT_INPUTS(X, CENTRES, NORM_MATRICES, CONSEQUENTS) returns, at
%   the point formed by the first n values of X, the n-by-p matrix D of
%   derivatives, D(k, j) = dy_j / dx_k (column j is the gradient of output
%   j), and the p-by-1 network output Y there, as NETSIM computes it.
%
%   [D, Y] = DMAT_INPUTS(..., NORMALIZE, VALIDITY_TYPE, FUZZINESS) sets the
%   options of NETSIM (an empty [] keeps the default: 1, 1, 2.0). Further
%   inputs are ignored.
%
%   The parameter layout is that of NETSIM: CENTRES n-by-c, NORM_MATRICES
%   n-by-n-by-c, CONSEQUENTS p-by-(n+1)-by-c. D is the exact derivative of
%   Y for symmetric norm matrices and VALIDITY_TYPE 1 or 2; any other
%   VALIDITY_TYPE gives zeros.
%
%   Points and results of the five plug-ins:
%     plug-in      points                   results
%     nearpoly     rows: DATA_X N-by-n,     Y M-by-1 (a row per query),
%                  QUERY_X M-by-n           COEFS n_coef-by-M (a column each)
%     netsim       columns: X n-by-N        Y p-by-N (a column per point)
%     dmat_inputs  one: X's first n values  D n-by-p (a column per output),
%                                           Y p-by-1
%     dmat_params  one: X's first n values  D R-by-p (a column per output),
%                                           Y p-by-1
%     gridval      columns: Q d-by-N        V 1-by-N (a column per point)
%   nearpoly takes one point per row; netsim and gridval one per column.
%
%   Example: linearise a two-cluster network at x = 0.5.
%     [D, y] = dmat_inputs(0.5, [0 1], cat(3, 1, 1), cat(3, [1 0], [0 5]))
%     % D = 2.7500000000000004
%     % y = 2.7500000000000004
%
%   See also NETSIM, DMAT_PARAMS.
