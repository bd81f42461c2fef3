// netsim: output of a local-model network for a batch of points.
#pragma once

#include "host/host.h"

// Host entry: X (n-by-N), centres, norm_matrices, consequents and the
// optional normalize, validity_type and fuzziness.
void netsim_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Writes out[p*N], column t the network output at the point x[t*n … t*n+n-1].
// The parameters follow the layout of netcore.h. Takes its scratch with
// mxCalloc once for all points and releases it.
void evaluate_network(double* out, const double* x, const double* centres,
                      const double* norm_matrices, const double* consequents, int N, int n,
                      int p, int c, int normalize, int validity_type, double fuzziness);
