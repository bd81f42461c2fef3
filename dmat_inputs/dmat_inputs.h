// dmat_inputs: derivatives of a local-model network's outputs with respect
// to its inputs, at one point.
#pragma once

#include "host/host.h"

// Host entry: the network inputs of netsim; the point is the first n values
// of X. Inputs after the seventh are ignored.
void dmat_inputs_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Writes derivatives[n*p], entry (k, j) at k + j*n the derivative of output j
// with respect to input k, and y[p], the outputs at x[n]. Exact for symmetric
// norm matrices and validity_type 1 or 2; zero for any other type. Takes its
// scratch with mxCalloc and releases it.
void input_derivatives(double* derivatives, double* y, const double* x, const double* centres,
                       const double* norm_matrices, const double* consequents, int n, int p,
                       int c, int normalize, int validity_type, double fuzziness);
