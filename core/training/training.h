// Training of a local-model network by incremental tree construction: local
// affine models on axis-parallel cells, each cell split in half along one
// partition input at a time, the worst model first; optional
// Levenberg-Marquardt refinement of all parameters afterwards.
//
// The result is a network in netsim's layout (core/network/network.h) with
// normalised Gaussian validities. Training computes every validity and fitted
// value with network::evaluate_point, so netsim gives the training's fitted
// values bit for bit.
#pragma once

#include <cstddef>

#include "core/network/network.h"

namespace localmodels::training {

// N samples of n inputs and p outputs, a column per sample (as netsim):
// x n-by-N, y p-by-N. With x_val non-null, the criterion is the RMSE on
// N_val validation samples (x_val n-by-N_val, y_val p-by-N_val), else AICc.
struct problem {
    const double* x;
    const double* y;
    int n, p, N;
    const double* x_val;
    const double* y_val;
    int N_val;
};

// Called after each step with its number (1: the global model), the model
// count and the criterion; returning false stops the training.
using progress_fn = bool (*)(void* user, int step, int models, double criterion);

struct settings {
    int max_models;         // >= 1
    double min_samples;     // sum of validities each model keeps
    double width_factor;    // standard deviation / cell extent
    double regularization;  // ridge, relative to each diagonal entry
    int lm_iterations;      // Levenberg-Marquardt trials after the tree
    int patience;           // steps without improvement before stopping
    const int* partition;   // 0-based inputs the cells split, n_partition of them
    int n_partition;
    const int* regression;  // 0-based inputs of the local models
    int n_regression;
    int threads;           // >= 1: candidates and Jacobian rows split between them
    progress_fn progress;  // may be null
    void* user;
};

// Defaults for n inputs, all of them partition and regression inputs (the
// index pointers are left null, which means all inputs).
settings default_settings(int n);

// min_samples for n_regression regression inputs: their coefficients and
// the offset, plus two.
double default_min_samples(int n_regression);

// The netsim options of a trained network: normalised, Gaussian.
inline network::options trained_options()
{
    return network::options{1, network::validity::gaussian, 2.0};
}

// Caller-owned results, each with room for max_models models (c_max):
// centres n*c_max, norm_matrices n*n*c_max, consequents p*(n+1)*c_max,
// lower and upper n*c_max (the cells' corners), criterion and models
// max_models entries (one per step). The first `models` models and `steps`
// steps are written.
struct result {
    double* centres;
    double* norm_matrices;
    double* consequents;
    double* lower;
    double* upper;
    double* criterion;
    double* models_per_step;
    int models;
    int steps;
    bool interrupted;  // the progress callback asked to stop
    double sse;        // training sum of squared errors of the returned network
};

// Bytes of the caller's workspace for train(), for s.threads threads.
std::size_t workspace_size(const problem& pr, const settings& s);

// The threads worth running for this problem (threads::count_for).
int threads_for(const problem& pr, const settings& s);

void train(result* r, const problem& pr, const settings& s, void* memory, std::size_t bytes);

// --- The steps, for tests -------------------------------------------------------

// c axis-parallel cells in n inputs: their corners lower and upper, n-by-c.
struct cells {
    const double* lower;
    const double* upper;
    int n, c;
};

// The network of the cells: centres at the cells' middles, norm matrices
// diag(1 / (2 sigma_k^2)), sigma_k = width_factor * extent_k, on the
// partition inputs (zero rows and columns elsewhere).
void cells_to_network(double* centres, double* norm_matrices, const cells& cs, const settings& s);

// Weighted least squares of one local model: theta (p-by-(n_reg+1), the
// regression inputs then the offset) minimising
// sum_t weight[t] |y_t - theta z_t|^2, z_t = (x_t at the regression inputs, 1),
// with the relative ridge. `scratch` holds (n_reg+1)*(n_reg+1+p) doubles.
void fit_local(double* theta, const double* weight, const problem& pr, const settings& s,
               double* scratch);

// Solves m z = b in place for a symmetric positive semi-definite m (k-by-k,
// only its lower triangle read and overwritten by the Cholesky factor), for
// `rhs` right-hand sides (b k-by-rhs, overwritten by z). A pivot that is not
// positive drops its unknown, which is then 0.
void cholesky_solve(double* m, double* b, int k, int rhs);

// The parameters Levenberg-Marquardt refines, as offsets into one array
// made of centres (n*c), then norm matrices (n*n*c), then consequents
// (p*(n+1)*c), in the order of dmat_params' rows: per cluster the centres and
// the diagonal norm entries of the partition inputs, the consequents of the
// regression inputs and the offsets. Returns the count; `offsets` may be null.
int refined_parameters(int* offsets, int n, int p, int c, const settings& s);

// The gradient of the training SSE over the refined parameters, g[count],
// from dmat_params' derivatives for all samples. `memory` of
// gradient_workspace_size bytes.
std::size_t gradient_workspace_size(const problem& pr, int c, const settings& s);
void sse_gradient(double* g, const network::view& net, const problem& pr, const settings& s,
                  void* memory, std::size_t bytes);

}  // namespace localmodels::training
