% DMAT_PARAMS  Derivatives of a local-model network with respect to its parameters.
%   [D, Y] = DMAT_PARAMS(X, CENTRES, NORM_MATRICES, CONSEQUENTS) returns, at
%   the point formed by the first n values of X, the R-by-p matrix D whose
%   column j holds the derivatives of output j with respect to the network's
%   parameters, one row per parameter, and the p-by-1 network output Y there.
%
%   [D, Y] = DMAT_PARAMS(..., NORMALIZE, VALIDITY_TYPE, FUZZINESS, SELECTION)
%   sets the options of NETSIM (an empty [] keeps the default: 1, 1, 2.0)
%   and the parameter groups that get rows. SELECTION is read as the FIRST
%   BYTE of its data, so pass it as an integer: uint8(5) selects centres
%   and consequents. A double or single selection is refused, since its
%   first byte is not its value (the double 15 would select nothing). Its bits:
%     1  centres          n*c rows, row k + i*n for CENTRES(k, i)
%     2  norm matrices    n*n*c rows, row r + s*n + i*n*n for A_i(r, s)
%     4  consequents      (n+1)*p*c rows, row o + k*p + i*(n+1)*p for
%                         CONSEQUENTS(o, k, i); k = n are the offsets
%     8  offsets          the offset rows carry their derivatives; without
%                         this bit they hold 0 (no effect without bit 4)
%   The default is uint8(15): everything. Rows are 0-based above, and the
%   present blocks follow one another in the order centres, norm matrices,
%   consequents, each in the storage order of its parameter array.
%
%   For a symmetric norm matrix, the derivative for a symmetric change of
%   the pair A_i(r, s), A_i(s, r) is the sum of their two rows. When no row
%   is selected, D is 0-by-p and Y holds p zeros (the network is not
%   evaluated).
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
%   Example: Jacobian rows for a Gauss-Newton step on the consequents only.
%     C = [0 1]; A = cat(3, 1, 1); T = cat(3, [1 0], [0 5]);
%     D = dmat_params(0.5, C, A, T, 1, 1, 2, uint8(12))
%     % D = [0.25; 0.5; 0.25; 0.5]
%     size(dmat_params(0.5, C, A, T))                 % ans = [8 1]
%     size(dmat_params(0.5, C, A, T, 1, 1, 2, uint8(8)))   % ans = [0 1]
%     dmat_params(0.5, C, A, T, 1, 1, 2, 15)  % error: the first byte of a double is not its value.
%
%   See also NETSIM, DMAT_INPUTS.
