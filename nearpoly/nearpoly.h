// nearpoly: prediction from stored examples by local constant, linear and
// quadratic fits on growing neighbourhoods, scored by leave-one-out error.
// The stages of one query, in order: neighbour search, constant family,
// linear and quadratic families, combination. They share the settings
// decoded once per call and the scratch taken once per call.
#pragma once

#include <cstdint>

#include "host/host.h"

// Host entry: data_x (N-by-n), data_y (N-by-1), query_x (M-by-n), id_par,
// and the optional comb_par, cov_init and weights.
void nearpoly_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

enum { constant_family, linear_family, quadratic_family, n_families };

// Neighbour-count range and combination count of one model family.
struct family_settings {
    int m;      // parameter count: 1, n + 1 or (n + 1)(n + 2)/2
    int k_min;  // smallest neighbour count scored (at least 2)
    int k_max;  // largest neighbour count scored (at most N)
    int count;  // k_max - k_min + 1 candidates per query
    int window; // leave-one-out window; 0 = off, else at least 2
    int keep;   // list length in per-family mode
    bool active;
};

struct settings {
    family_settings family[n_families];
    int G;       // global list length; 0 in per-family mode
    int n_coef;  // coefficient rows of output 2
    int K;       // neighbour list length
    double cov_init;
    bool want_coefs;  // output 2 asked for
};

// The inputs decode_settings reads, as plain values.
struct call_args {
    int nrhs, nlhs;
    int N, n;  // rows and columns of data_x
    std::int64_t rows_y, cols_y, cols_q, rows_id, cols_id;
    const double* id_par;      // rows_id * cols_id values
    std::int64_t comb_count;   // elements of comb_par (nrhs >= 5)
    const double* comb_par;
    bool has_cov_init;         // input 6 given and not empty
    double cov_init;
};

// Checks the argument counts and shapes and decodes id_par and comb_par, in
// the documented order. Returns nullptr when the call can go ahead, else the
// message to end it with.
const char* decode_settings(const call_args& a, settings* s);

// An ordered candidate list of length L, best (smallest error) first.
struct candidate_list {
    double* errors;       // L + 2: [0] head sentinel 0.0, [m + 1] position m
    double* predictions;  // L + 1: [m] position m, [L] overflow
    double* rows;         // (L + 1) rows of r coefficients, or null
    int L, r;
};

// Frees every position (error +inf); with clear_rows also zeroes the rows.
void reset_list(candidate_list* list, double inf, bool clear_rows);

// Inserts candidate (e, v, c[rc]) by strict less-than from the tail; the row
// is c followed by zeros. An error that is not less than the last kept one
// (NaN included) changes nothing.
void insert_candidate(candidate_list* list, double e, double v, const double* c, int rc);

// Scores the mean of the targets of the k nearest neighbours for every k of
// the family's range and inserts each into `list`; index[k_max] holds the
// neighbours' example rows, nearest first.
void constant_fits(candidate_list* list, const family_settings& f, const int* index,
                     const double* data_y);

// Working storage of one recursive least-squares family.
struct fit_storage {
    double* rows;     // k_max regressors of m values
    double* targets;  // k_max
    double* P;        // m-by-m covariance
    double* theta;    // m parameters
    double* gain;     // m
};

// Fits the linear (m = n + 1) or quadratic family by recursive least squares
// on the nearest neighbours and inserts every scored fit into `list`.
// diff is the N-by-n difference matrix (example minus query), column-major.
void fit_family(candidate_list* list, fit_storage* fs, const family_settings& f, bool quadratic,
                const double* diff, const int* index, const double* data_y, int N, int n,
                double cov_init);

// Fills diff (N-by-n) with data_x minus query q (row q of the M-by-n
// query_x) and distances[N] with every example's distance, and keeps the K
// nearest examples: index[K + 1] and dist[K + 2] (dist[0] is the head
// sentinel 0.0). weights may be null.
void find_neighbours(double* diff, double* distances, int* index, double* dist,
                     const double* data_x, const double* query_x, int q, int M,
                     const double* weights, int N, int n, int K, double inf);

// The lists one query's candidates go to and the combination reads.
struct candidate_lists {
    candidate_list global;
    candidate_list family[n_families];
};

// Combines the kept candidates with inverse-error weights into *prediction
// and, when coefs is not null, coefs[n_coef] using accum[n_coef].
void combine(double* prediction, double* coefs, double* accum, const candidate_lists& lists,
             const settings& s);

// Runs every query: writes out[M] and, when coefs is not null, coefs
// (n_coef-by-M). Takes all scratch with mxCalloc before the first query and
// leaves it to the host.
void predict_queries(double* out, double* coefs, const double* data_x, const double* data_y,
                     const double* query_x, const double* weights, int N, int n, int M,
                     const settings& s);
