// Multilinear interpolation in a d-dimensional lookup table.
#pragma once

#include "host/host.h"

// Host entry: queries (d-by-N), table, then one breakpoint row per dimension.
void gridval_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Interpolates the table at the N points of `queries` (point t is the d values
// from t*d) and writes out[N]. The table holds the product of the counts[k]
// values, column-major over the dimensions; breakpoints[k] points to counts[k]
// non-decreasing values. Coordinates outside a breakpoint range are held at
// its end; a NaN coordinate gives NaN. Takes its scratch with mxCalloc and
// releases it.
void interpolate_table(double* out, const double* queries, const double* table,
                       const double* const* breakpoints, const int* counts, int d, int N);

// Blends the 2^j table values that `run` refers to along dimensions j-1 … 0,
// upper half first: (1 - f) * lower + upper * f at each level.
double blend_corners(const double* const* run, const double* fractions, int j);
