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
%   Example: linearise a two-cluster network at x = 0.5.
%     [D, y] = dmat_inputs(0.5, [0 1], cat(3, 1, 1), cat(3, [1 0], [0 5]))
%
%   See also NETSIM, DMAT_PARAMS.
