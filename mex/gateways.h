// The gateways: check the arguments, size the outputs, take the
// workspace, run the core, free. Each has the signature of mexFunction.
#pragma once

#include "mex/mex_host.h"

namespace localmodels::mex {

// data_x (N-by-n), data_y (N-by-1), query_x (M-by-n), id_par, and the
// optional comb_par, cov_init and weights.
void nearpoly_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// X (n-by-N), centres, norm_matrices, consequents and the optional
// normalize, validity_type and fuzziness.
void netsim_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// The inputs of netsim; the point is the first n values of X. Inputs after
// the seventh are ignored.
void dmat_inputs_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// The inputs of netsim, then an optional one-byte parameter selection.
void dmat_params_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// queries (d-by-N), table, then one breakpoint row per dimension.
void gridval_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// U (m-by-T), Y0, NA, NB, NK, BOUNDS, KIND, then the model's arguments.
void narx_simulate_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
// X (n-by-N), Y (p-by-N) and an optional struct of options.
void lmn_train_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace localmodels::mex
