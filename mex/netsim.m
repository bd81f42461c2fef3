% NETSIM  Output of a local-model network.
%   Y = NETSIM(X, CENTRES, NORM_MATRICES, CONSEQUENTS) returns the p-by-N
%   network output for the N points in the columns of the n-by-N matrix X:
%   column t of Y is the output at column t of X.
%
%   The network has c clusters, each with a centre, a norm matrix and an
%   affine local model:
%     CENTRES        n-by-c; column i is the centre of cluster i
%     NORM_MATRICES  n-by-n-by-c; page i is the norm matrix A_i of cluster i
%                    (only its diagonal and the part below it are read, so
%                    give symmetric matrices)
%     CONSEQUENTS    p-by-(n+1)-by-c; CONSEQUENTS(j, k, i) is the coefficient
%                    of input k in output j of local model i, and
%                    CONSEQUENTS(j, n+1, i) its constant term
%   With d_i = (x - centre_i)' * A_i * (x - centre_i) and validity w_i, the
%   output is sum_i w_i * (T_i * [x; 1]), divided by sum_i w_i when
%   normalising. The local models take x itself, not x minus the centre.
%
%   Y = NETSIM(..., NORMALIZE, VALIDITY_TYPE, FUZZINESS) sets the options
%   (an empty [] keeps the default):
%     NORMALIZE      0: weighted sum; otherwise divided by the validity sum
%                    (default 1)
%     VALIDITY_TYPE  1: Gaussian, w = exp(-d); 2: fuzzy inverse distance,
%                    w = (d + 1e-100)^(-1/(FUZZINESS-1)); other: w = d
%                    (default 1)
%     FUZZINESS      exponent parameter of type 2 (default 2.0)
%   NORMALIZE and VALIDITY_TYPE are truncated toward zero.
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
%   Example: two clusters on one input, local models x and 5.
%     C = [0 1]; A = cat(3, 1, 1); T = cat(3, [1 0], [0 5]);
%     y = netsim(0.5, C, A, T)     % y = 2.7500000000000004
%     netsim([0 0.5 1], C, A, T)   % ans = [1.3447 2.75 3.9242] to within 1e-4
%     size(netsim(zeros(1, 0), C, A, T))   % ans = [1 0]
%
%   See also DMAT_INPUTS, DMAT_PARAMS, GRIDVAL.
