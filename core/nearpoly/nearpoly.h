// nearpoly: prediction from stored examples by local constant, linear and
// quadratic fits on growing neighbourhoods, scored by leave-one-out error.
// The stages of one query, in order: neighbour search, constant family,
// linear and quadratic families, combination (stages.h). They share the
// settings decoded once per call and a workspace the caller provides.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/common/error.h"
#include "core/common/threads.h"
#include "core/common/workspace.h"

namespace localmodels::nearpoly {

enum { constant_family, linear_family, quadratic_family, n_families };

// Neighbour-count range and combination count of one model family.
struct family_settings {
    int m;       // parameter count: 1, n + 1 or (n + 1)(n + 2)/2
    int k_min;   // smallest neighbour count scored (at least 2)
    int k_max;   // largest neighbour count scored (at most N)
    int count;   // k_max - k_min + 1 candidates per query
    int window;  // leave-one-out window; 0 = off, else at least 2
    int keep;    // list length in per-family mode
    bool active;
};

// The prior covariance P = default_cov_init * I of the recursive fits when
// input 6 is absent: large enough that the prior's pull, I/cov_init, is
// far below the data's in any fit of reasonably scaled examples.
constexpr double default_cov_init = 1e6;

struct settings {
    family_settings family[n_families];
    int G;       // global list length; 0 in per-family mode
    int n_coef;  // coefficient rows of output 2
    int K;       // neighbour list length
    double cov_init;
    bool want_coefs;  // output 2 asked for
};

// The examples and queries of one call, column-major: data_x N-by-n,
// data_y N values, query_x M-by-n; weights n values or null (unweighted).
struct problem {
    const double* data_x;
    const double* data_y;
    const double* query_x;
    const double* weights;
    int N, n, M;
    // The index serves many calls on these examples (built once, then
    // queried again and again): it is used wherever a search through it
    // pays for some queries, whatever this call's M.
    bool many_calls = false;
};

// The shapes and parameter inputs decode_settings reads, as plain values.
struct call_args {
    int nrhs, nlhs;
    int N, n;  // rows and columns of data_x
    std::int64_t rows_y, cols_y, cols_q, rows_id, cols_id;
    const double* id_par;     // rows_id * cols_id values
    std::int64_t comb_count;  // elements of comb_par (nrhs >= 5)
    const double* comb_par;
    bool has_cov_init;  // input 6 given and not empty
    double cov_init;
};

// Checks the argument counts and shapes and decodes id_par and comb_par, in
// the documented order; the first failing check is the refusal.
error decode_settings(const call_args& a, settings* s);

// Bytes predict() needs for the call's search index, shared by its threads
// (0 when the call searches without one).
std::size_t index_size(const problem& p, const settings& s);

// Bytes of workspace one thread of predict() needs.
std::size_t workspace_size(const problem& p, const settings& s);

// Bytes of `memory` that predict() or predict_built() needs on `threads`
// threads: the index, then one workspace per thread.
std::size_t memory_size(const problem& p, const settings& s, int threads);

// Bytes of `memory` that predict_indexed() needs on `threads` threads, the
// index held apart.
std::size_t indexed_memory_size(const problem& p, const settings& s, int threads);

// The threads worth running for queries [first, last) (threads::count_for).
// `asked`: a thread count, or threads::from_environment or threads::all_cores.
int threads_for(const problem& p, const settings& s, int first, int last,
                int asked = threads::from_environment);

// Where the answers go: out[q] and, when coefs is not null, column q of
// coefs (n_coef-by-M).
struct outputs {
    double* out;
    double* coefs;
};

// The queries [first, last) of the M one call answers, on plan.threads
// threads with the fits at plan.level.
struct part {
    int first, last;
    threads::plan plan;
};

// Answers the queries of `q` into `o`. `m` holds index_size(p, s) bytes for
// the index, which predict builds there, followed by q.plan.threads
// workspaces of workspace_size(p, s) bytes each. Each query is answered as
// if it were alone, so results do not depend on threads, level or ranges.
void predict(const outputs& o, const problem& p, const settings& s, const part& q, memory_block m);

// The same in two steps, for a caller that answers the queries in several
// ranges and builds the index once: build_index fills the first
// index_size(p, s) bytes of `memory` on up to `threads` threads;
// predict_built then reads that index where predict would build it.
void build_index(const problem& p, const settings& s, int threads, void* memory);
void predict_built(const outputs& o, const problem& p, const settings& s, const part& q,
                   memory_block m);

// predict_built with the index apart: `index` as build_index left it (only
// read, so calls on several threads may share it) and `m` q.plan.threads
// workspaces of workspace_size(p, s) bytes each.
void predict_indexed(const outputs& o, const problem& p, const settings& s, const part& q,
                     const void* index, memory_block m);

}  // namespace localmodels::nearpoly
