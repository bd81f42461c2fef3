% GRIDVAL  Multilinear interpolation in an n-dimensional lookup table.
%   V = GRIDVAL(Q, TABLE, B1, B2, ..., Bd) interpolates TABLE at the N query
%   points in the columns of the d-by-N matrix Q and returns the 1-by-N row V.
%
%   Bk is the row vector of the Mk breakpoints of dimension k, in
%   non-decreasing order (repeats are allowed). TABLE is M1-by-M2-by-...-by-Md:
%   TABLE(i1, i2, ..., id) is the value at the node (B1(i1), ..., Bd(id)).
%   A one-dimensional table is a vector of M1 values.
%
%   Inside the grid the result is multilinear in each cell. A coordinate
%   outside the range of its breakpoints is held at the first or last
%   breakpoint: there is no extrapolation. A NaN coordinate gives NaN.
%
%   Each Bk must be a row vector, and TABLE must hold exactly M1*...*Md
%   values (in any shape: a flattened table is read the same way); a column
%   of breakpoints, or a breakpoint input forgotten, is refused. At most 30
%   dimensions.
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
%   Example:
%     T = [10 40; 20 50; 30 60];                  % 3 breakpoints by 2
%     gridval([1.5; 0.25], T, [0 1 2], [0 1])     % ans = 32.5
%     gridval([-1 2; 5 0], T, [0 1 2], [0 1])     % ans = [40 30]
%
%   See also NETSIM, NEARPOLY.
