// gridval: multilinear interpolation in a d-dimensional lookup table.
#pragma once

#include <cstddef>

#include "core/common/threads.h"

namespace localmodels::gridval {

// The corner count 2^d must fit a signed 32-bit integer.
constexpr int max_dimensions = 30;

// The N points of `queries` (point t is the d values from t*d) and a table
// of the product of the counts[k] values, column-major over the dimensions;
// breakpoints[k] points to counts[k] non-decreasing values.
struct problem {
    const double* queries;
    const double* table;
    const double* breakpoints[max_dimensions];
    int counts[max_dimensions];
    int d, N;
};

// Bytes of workspace one thread of interpolate() needs.
std::size_t workspace_size(const problem& p);

// Bytes of `memory` that interpolate() needs on `threads` threads.
std::size_t memory_size(const problem& p, int threads);

// The threads worth running for points [first, last) (threads::count_for).
// `asked`: a thread count, or threads::from_environment or threads::all_cores.
int threads_for(const problem& p, int first, int last, int asked = threads::from_environment);

// Writes out[t] for the points t in [j.first, j.last). Coordinates outside
// a breakpoint range are held at its end; a NaN coordinate gives NaN.
// j.memory holds j.r.threads workspaces of workspace_size(p) bytes each.
void interpolate(double* out, const problem& p, const threads::job& j);

}  // namespace localmodels::gridval
