% NEARPOLY  Local polynomial prediction from stored examples.
%   Y = NEARPOLY(DATA_X, DATA_Y, QUERY_X, ID_PAR) predicts the function known
%   through the N examples DATA_X (N-by-n, one example per row) -> DATA_Y
%   (N-by-1) at the M query points in the rows of QUERY_X (M-by-n), and
%   returns the M-by-1 predictions Y.
%
%   For every query the examples are ordered by their city-block distance
%   to it. Local constant, linear and quadratic models are then fitted on
%   the k nearest examples, for every k of each family's range, each fit is
%   scored by its leave-one-out error, and the best-scored fits are averaged
%   with weights 1/error.
%
%   ID_PAR (3 rows: constant, linear, quadratic) sets the ranges of k:
%     3-by-1   factors f: k runs from floor(3*p*f) to ceil(5*p*f), where p
%              is the family's parameter count (1, n+1, (n+1)(n+2)/2); f = 0
%              turns a family off. [1; 1; 1] is a sound default.
%     3-by-2   [k_min k_max] per family.
%     3-by-3   [k_min k_max window]: with a window w >= 2 only the w nearest
%              neighbours enter the leave-one-out score (0 = all).
%   Every k_min is at least 2 and every k_max at most N; a family whose
%   range is empty is off.
%
%   Y = NEARPOLY(..., COMB_PAR, COV_INIT, WEIGHTS) sets (an empty [] keeps
%   the default):
%     COMB_PAR  one number G: average the G best fits over all families
%               (default 1: the single best fit); three numbers [nc nl nq]:
%               average the best nc constant, nl linear and nq quadratic fits
%               (a family with 0 is not fitted).
%     COV_INIT  initial covariance of the recursive least-squares fits
%               (default 1e6); smaller values pull the local models toward 0.
%     WEIGHTS   n non-negative weights of the input dimensions in the
%               distance (default: all 1).
%
%   [Y, COEFS] = NEARPOLY(...) also returns the combined local model of
%   every query, one column per query: row 1 is the prediction, rows 2 to
%   n+1 the slopes with respect to the inputs at the query, and, when the
%   quadratic family takes part, the second-order coefficients of
%   x_a*x_b (a <= b, in the order (1,1), (1,2), ..., (1,n), (2,2), ...).
%
%   A query with a NaN or infinite coordinate gets NaN. DATA_X and DATA_Y
%   must be finite.
%
%   Example:
%     x = linspace(-2, 2, 200)';
%     y = sin(2 * x);
%     [yq, c] = nearpoly(x, y, [0; 0.5], [1; 1; 1]);
%     % yq is close to sin([0; 1]), c(2, :) to the slopes 2*cos([0 1])
%
%   See also NETSIM, GRIDVAL.
