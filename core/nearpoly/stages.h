// The stages of one nearpoly query, on plain pointers and counts. Used by
// predict() and tested one by one.
#pragma once

#include "core/common/lanes.h"
#include "core/common/simd.h"
#include "core/nearpoly/nearpoly.h"
#include "core/nearpoly/neighbours.h"

namespace localmodels::nearpoly::detail {

// An ordered candidate list of length L, best (smallest error) first, laid
// out as a neighbour list is (neighbours.h).
struct candidate_list {
    double* errors;       // L + 2 values from errors - 1: position m at [m]
    double* predictions;  // L + 1
    double* rows;         // (L + 1) rows of r coefficients, or null
    int L, r;
};

// Frees every position (error +inf); with clear_rows also zeroes the rows.
void reset_list(candidate_list* list, bool clear_rows);

// Inserts candidate (e, v, c[rc]) by strict less-than from the tail; the row
// is c followed by zeros. An error that is not less than the last kept one
// (NaN included) changes nothing.
void insert_candidate(candidate_list* list, double e, double v, const double* c, int rc);

// The neighbours of one query as the fits read them: K example rows,
// nearest first, and their differences to the query, column-major K-by-n
// (row t is neighbour t's: example rows[t] minus the query).
struct neighbourhood {
    const int* rows;
    const double* diff;
    const double* data_y;  // the targets of all examples
    int K, n;
};

// Scores the mean of the targets of the k nearest neighbours for every k of
// the family's range and inserts each into `list`.
void constant_fits(candidate_list* list, const family_settings& f, const neighbourhood& nb);

// Working storage of one recursive least-squares family. The vector paths
// score several neighbours at once from `cols`, the regressors transposed,
// whose rows run `stride` columns: k_max, then zeros to whole vectors. P's
// rows, theta and the gain also run to whole vectors, so that the vector
// paths never take part of one; what lies past m is never read into a result.
struct fit_storage {
    double* rows;       // k_max regressors of m values
    double* targets;    // stride: k_max targets, then zeros
    double* P;          // m-by-m covariance, rows of whole_vectors(m)
    double* theta;      // whole_vectors(m): m parameters
    double* gain;       // whole_vectors(m): m
    double* cols;       // m rows of stride: cols[b * stride + t] = rows[t * m + b]
    double* squares;    // stride: squared leave-one-out residuals
    int stride;         // whole_vectors(k_max)
    simd::level level;  // the vector level of the call
};

// count rounded up to whole vectors of the widest level, whichever level
// runs: the workspace is sized before the level is chosen.
inline int whole_vectors(int count)
{
    return (count + max_lanes - 1) / max_lanes * max_lanes;
}

// Fits the linear (m = n + 1) or quadratic family by recursive least squares
// on the nearest neighbours and inserts every scored fit into `list`.
void fit_family(candidate_list* list, fit_storage* fs, const family_settings& f, bool quadratic,
                const neighbourhood& nb, double cov_init);

struct tree;

// The examples a search runs over: x N-by-n column-major (n of the query),
// through the tree t or, when t is null, by a pass over all of them.
struct examples {
    const double* x;
    const tree* t;
    int N;
};

// Keeps the list->capacity nearest examples to the query in `list`, through
// the tree or by the pass over all examples, which fills distances[N]; then
// fills diff (capacity-by-n) with those examples minus the query, row t for
// list position t.
void find_neighbours(neighbour_list* list, double* diff, double* distances, const examples& e,
                     const query& q);

// The lists one query's candidates go to and the combination reads.
struct candidate_lists {
    candidate_list global;
    candidate_list family[n_families];
};

// Combines the kept candidates with inverse-error weights into *prediction
// and, when coefs is not null, coefs[n_coef] using accum[n_coef].
void combine(double* prediction, double* coefs, double* accum, const candidate_lists& lists,
             const settings& s);

}  // namespace localmodels::nearpoly::detail
