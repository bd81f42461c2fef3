// dmat_params: derivatives of a local-model network's outputs with respect
// to a selectable set of its parameters, at one point.
#pragma once

#include <cstdint>

#include "host/host.h"

// Host entry: the network inputs of netsim, then an optional one-byte
// parameter selection.
void dmat_params_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Bits of the parameter selection.
enum : unsigned {
    select_centres = 1,        // n*c rows
    select_norm_matrices = 2,  // n*n*c rows
    select_consequents = 4,    // (n+1)*p*c rows
    select_offsets = 8         // offset rows carry their derivatives, else hold 0
};

// Number of rows of the derivative matrix for a selection, in 64 bits.
std::int64_t selected_rows(int n, int p, int c, unsigned selection);

// Writes derivatives[R*p], column j the derivatives of output j with respect
// to the selected parameters (blocks centres, norm matrices, consequents,
// each in the storage order of its array), and y[p], the outputs at x[n].
// R = selected_rows(…) must be positive. Takes its scratch with mxCalloc and
// releases it.
void parameter_derivatives(double* derivatives, double* y, const double* x,
                           const double* centres, const double* norm_matrices,
                           const double* consequents, int n, int p, int c, int normalize,
                           int validity_type, double fuzziness, unsigned char selection);
