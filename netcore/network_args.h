// What the three network plug-ins share around the core: reading the
// parameter set (X, centres, norm_matrices, consequents and three options)
// from their inputs, output 2 or its stand-in, and the core's scratch.
#pragma once

#include "host/host.h"

enum {
    in_x,
    in_centres,
    in_norm_matrices,
    in_consequents,
    in_normalize,
    in_validity_type,
    in_fuzziness,
    in_selection
};

struct network_args {
    const double* x;
    const double* centres;
    const double* norm_matrices;
    const double* consequents;
    int n, p, c;  // inputs, outputs, clusters
    int normalize, validity_type;
    double fuzziness;
};

// Reads inputs 1 to 4 and the options present among inputs 5 to 7 (absent
// or empty: 1, 1 and 2.0). n and c come from the dimensions of centres, p
// from the rows of consequents. Ends the call unless inputs 2 to 4 are double
// arrays holding n*c, n*n*c and p*(n+1)*c values and the integer options are
// finite 32-bit values. X is only checked to be a double array: its shape is
// each plug-in's own.
network_args read_network_args(int nrhs, const mxArray* prhs[]);

// Creates output `slot` as a p-by-1 matrix and returns its data when the
// caller asked for that output; otherwise returns a scratch block of p
// doubles for the caller to release. A host provides only max(nlhs, 1)
// output slots, so nothing is placed beyond them.
double* output_or_scratch(int nlhs, mxArray* plhs[], int slot, int p);

// The core's intermediate results for one point, in blocks taken with
// mxCalloc: differences (n*c), local_outputs (p*c), validities (c).
struct network_scratch {
    double* differences;
    double* local_outputs;
    double* validities;
};
network_scratch take_network_scratch(int n, int p, int c);
void release_network_scratch(const network_scratch& s);
