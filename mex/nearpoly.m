% NEARPOLY  Local polynomial prediction from stored examples.
%   Y = NEARPOLY(DATA_X, DATA_Y, QUERY_X, ID_PAR) predicts the function known
%   through the N examples DATA_X (N-by-n, one example per row) -> DATA_Y
%   (N-by-1) at the M query points in the rows of QUERY_X (M-by-n), and
%   returns the M-by-1 predictions Y.
%
%   For every query the examples are ordered by their city-block distance
%   to it (weighted by WEIGHTS, when given). Local constant, linear and
%   quadratic models are then fitted on the k nearest examples, for every k
%   of each family's range, each fit is scored by its leave-one-out error,
%   and the best-scored fits are averaged with weights 1/error.
%
%   ID_PAR (3 rows: constant, linear, quadratic) sets the ranges of k:
%     3-by-1   factors f: k runs from floor(3*p*f) to ceil(5*p*f), where p
%              is the family's parameter count (1, n+1, (n+1)(n+2)/2); f = 0
%              turns a family off. [1; 1; 1] is a sound default.
%     3-by-2   [k_min k_max] per family.
%     3-by-3   [k_min k_max window]: a window w scores each fit on its w
%              nearest neighbours only (0 = on all k). A window of 1 is
%              taken as 2: leaving one neighbour out needs at least two.
%              The linear and quadratic scores still divide by k; the
%              constant family's windowed score is on another scale than
%              its unwindowed one.
%   Every k_min is at least 2 and every k_max at most N (a range that only
%   partly fits is cut at N). A family whose range does not fit in N at all
%   (k_min > N) is left out without a message: with
%   n = 6 inputs the quadratic family (p = 28) needs N >= 84 examples for
%   ID_PAR = [1; 1; 1], so with N = 40 only the constant and linear families
%   take part. Only when no family is left does the call end with
%   "Identification is empty.".
%
%   Y = NEARPOLY(..., COMB_PAR, COV_INIT, WEIGHTS) sets:
%     COMB_PAR  one number G: average the G best fits over all families
%               (default 1: the single best fit); three numbers [nc nl nq]:
%               average the best nc constant, nl linear and nq quadratic fits
%               (a family with 0 is not fitted). COMB_PAR has no empty form:
%               [] ends the call with "Combination parameter no good.", so
%               give 1 to keep its default when setting a later option.
%     COV_INIT  initial covariance of the recursive least-squares fits
%               (default 1e6; [] keeps it); smaller values pull the local
%               models toward 0.
%     WEIGHTS   n non-negative weights of the input dimensions in the
%               distance (default, or [], all 1).
%
%   Scale matters: the inputs are used as given. The distance adds the raw
%   coordinate differences (times WEIGHTS), so an input with a wide range
%   decides alone which examples are near, and the fits work on the same raw
%   differences, under the prior COV_INIT on every coefficient. Standardise
%   the inputs (the queries with the same shift and factor), for instance to
%   zero mean and unit standard deviation per column; WEIGHTS then sets how
%   much each standardised input counts. WEIGHTS changes the distance only,
%   not the fits.
%
%   [Y, COEFS] = NEARPOLY(...) also returns the combined local model of
%   every query, one column per query: row 1 is the prediction, rows 2 to
%   n+1 the slopes with respect to the inputs at the query, and, when the
%   quadratic family takes part, the second-order coefficients of
%   (x_a - q_a)*(x_b - q_b), q the query (a <= b, in the order (1,1),
%   (1,2), ..., (1,n), (2,2), ...). COEFS has 1, n+1 or (n+1)(n+2)/2 rows:
%   as many as the largest family taking part needs. A constant fit has
%   slopes 0, so a query whose winning fit is constant gets slopes of
%   exactly 0; when several fits are averaged (G > 1, or three numbers in
%   COMB_PAR), the constant ones among them pull the slopes toward 0. For
%   derivatives, turn the constant family off: ID_PAR = [0; 1; 1].
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
%   A query with a NaN or infinite coordinate gets NaN. DATA_X and DATA_Y
%   must be finite.
%
%   Example: values and slopes of a smooth function.
%     x = linspace(-2, 2, 201)';
%     [yq, c] = nearpoly(x, sin(2 * x), [0; 0.5], [1; 1; 1]);
%     % yq = sin([0; 1]) to within 1e-4
%     % c(2, :) = 2 * cos([0 1]) to within 1e-2
%     % size(c) = [3 2]
%
%   Example: exact-zero slopes from a winning constant fit.
%     x = linspace(-2, 2, 201)';
%     y = sin(2 * x) + 0.02 * sin(1000 * x);          % slightly rough data
%     [~, c] = nearpoly(x, y, [-1; 1], [1; 1; 1]);
%     % c(2, :) = [0 0]
%     [~, c] = nearpoly(x, y, [-1; 1], [0; 1; 1]);    % constant family off
%     % c(2, :) = 2 * cos([-2 2]) to within 0.02
%
%   Example: a family left out, a window of 1, and no empty COMB_PAR.
%     X = reshape(sin(1:240), 40, 6);                 % 40 examples of 6 inputs
%     [~, c] = nearpoly(X, sum(X, 2), X(1:3, :), [1; 1; 1]);
%     % size(c) = [7 3]
%     x = linspace(-2, 2, 201)';
%     y = sin(2 * x);
%     a = nearpoly(x, y, [-1; 1], [2 10 1; 6 12 1; 9 15 1]);
%     b = nearpoly(x, y, [-1; 1], [2 10 2; 6 12 2; 9 15 2]);
%     % isequal(a, b) = true
%     nearpoly(x, y, 0, [1; 1; 1], [], 1e3)  % error: Combination parameter no good.
%     nearpoly(x, y, 0, [1; 1; 1], 1, 1e3);  % 1 is the default of COMB_PAR
%
%   Example: the same data in other units.
%     x = linspace(-2, 2, 201)';
%     q = linspace(-1.5, 1.5, 31)';
%     e1 = norm(nearpoly(x, sin(2 * x), q, [1; 1; 1]) - sin(2 * q));
%     e8 = norm(nearpoly(1e8 * x, sin(2 * x), 1e8 * q, [1; 1; 1]) - sin(2 * q));
%     % (e8 > 100 * e1) = true
%
%   See also NETSIM, GRIDVAL.
