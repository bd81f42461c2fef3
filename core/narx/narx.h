// narx: a one-step model of p outputs and m inputs run recursively (free
// run). The regressor at sample t holds, in this order, the output lags
// y_1(t-1 … t-na_1), …, y_p(t-1 … t-na_p), then the input lags
// u_1(t-nk_1 … t-nk_1-nb_1+1), …, u_m(…), each signal most recent first.
// Samples 0 … L-1 of y are given; each later sample is the model's one-step
// prediction at the regressor built from the simulated outputs, so a model
// computes here exactly what its plug-in computes for that point.
//
// Signals are column-major, a column per sample: u m-by-T, y p-by-T. A run
// may be split into ranges of samples taken in order: its whole state is y
// (and, for nearpoly, the index that prepare built).
#pragma once

#include <cstddef>

#include "core/common/simd.h"
#include "core/gridval/gridval.h"
#include "core/nearpoly/nearpoly.h"
#include "core/network/network.h"

namespace localmodels::narx {

// The lag structure; every count is non-negative.
struct orders {
    const int* na;  // p output lags
    const int* nb;  // m input lags
    const int* nk;  // m input delays
    int p, m;
};

// Settings of one run.
struct settings {
    int T;                                    // samples of u and y
    const double* bounds;                     // 2-by-p, (lower, upper) of each output; null: none
    simd::level level = simd::level::scalar;  // of the models' inner loops, fixed per run
};

// n = sum(na) + sum(nb); the caller keeps it within the 32-bit range.
int regressor_count(const orders& o);

// L, the first simulated sample: the largest output lag and the largest
// nk_j + nb_j - 1 over the inputs that have lags (nb_j > 0); an input
// without lags reaches no sample.
int start(const orders& o);

// y's first min(L, T) columns from y0 (p-by-L or wider, column-major).
void initial(double* y, const double* y0, const orders& o, const settings& s);

// The regressor at sample t (L <= t < T) into r[k * stride], k < n.
void regressor(double* r, std::size_t stride, const double* y, const double* u, const orders& o,
               int t);

// Holds the p outputs of one sample within the bounds:
// min(max(v, lower), upper); NaN stays NaN.
void hold(double* y, const double* bounds, int p);

// The one-step models. Their n inputs are the regressors, their outputs the
// p outputs.
struct network_model {
    network::view net;  // n inputs, p outputs
    network::options options;
};

// One output. problem.query_x and problem.M are the run's own (the
// regressors of its T - L steps); the rest is the examples as nearpoly takes
// them, with settings as check_nearpoly decodes them for one output.
struct nearpoly_model {
    nearpoly::problem problem;
    nearpoly::settings settings;
};

// One table per output over the n regressors: grid.table is output 0's,
// output j's starts j * (product of grid.counts) values later. grid.queries
// and grid.N are the run's own.
struct table_model {
    gridval::problem grid;
};

// Bytes of workspace one run needs, for all its ranges.
std::size_t workspace_size(const orders& o, const settings& s, const network_model& m);
std::size_t workspace_size(const orders& o, const settings& s, const nearpoly_model& m);
std::size_t workspace_size(const orders& o, const settings& s, const table_model& m);

// nearpoly only: builds the run's search index at the start of `memory` on
// up to `threads` threads, once, before the first range.
void prepare(const orders& o, const settings& s, const nearpoly_model& m, int threads,
             void* memory);

// The signals of a run: y p-by-T, the outputs (samples 0 … L-1 given, the
// rest simulated), and u m-by-T, the inputs.
struct signals {
    double* y;
    const double* u;
};

// Samples [first, last) of a run.
struct samples {
    int first, last;
};

// Simulates samples [first, last) of y, L <= first <= last <= T; the samples
// before first must be those of the run so far. `memory` is the run's
// workspace of workspace_size(…) bytes, the same for every range.
void simulate(const signals& io, const orders& o, const settings& s, const network_model& m,
              samples r, memory_block memory);
void simulate(const signals& io, const orders& o, const settings& s, const nearpoly_model& m,
              samples r, memory_block memory);
void simulate(const signals& io, const orders& o, const settings& s, const table_model& m,
              samples r, memory_block memory);

}  // namespace localmodels::narx
