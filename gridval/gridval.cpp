// Bracketing, corner gathering and the recursive blend of the lookup-table
// interpolation. The table is column-major over the breakpoint dimensions:
// node (i_0, …, i_(d-1)) sits at the sum of i_k * s_k, s_0 = 1,
// s_k = counts[0] * … * counts[k-1].
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "gridval/gridval.h"

double blend_corners(const double* const* run, const double* fractions, int j)
{
    if (j == 0) return *run[0];
    const double f = fractions[j - 1];
    const std::size_t half = std::size_t{1} << (j - 1);
    const double a = blend_corners(run + half, fractions, j - 1) * f;
    const double b = blend_corners(run, fractions, j - 1);
    return (1 - f) * b + a;
}

namespace {

// Finds the bracket of q among b[0 … M-1]: the first breakpoint not less
// than q, held at either end. The breakpoints are non-decreasing, so a
// binary search finds the same breakpoint as a forward scan.
void bracket(double q, const double* b, int M, double* fraction, int* lower, int* upper)
{
    const int i = static_cast<int>(std::lower_bound(b, b + M, q) - b);
    if (i == 0) {
        *fraction = 1.0;
        *lower = *upper = 0;
    } else if (i == M) {
        *fraction = 0.0;
        *lower = *upper = M - 1;
    } else {
        *fraction = (q - b[i - 1]) / (b[i] - b[i - 1]);
        *lower = i - 1;
        *upper = i;
    }
}

}  // namespace

void interpolate_table(double* out, const double* queries, const double* table,
                       const double* const* breakpoints, const int* counts, int d, int N)
{
    const std::size_t n_corners = std::size_t{1} << d;
    double* fractions = static_cast<double*>(mxCalloc(d, sizeof(double)));
    int* lower_index = static_cast<int*>(mxCalloc(d, sizeof(int)));
    int* upper_index = static_cast<int*>(mxCalloc(d, sizeof(int)));
    const double** corners =
        static_cast<const double**>(mxCalloc(n_corners, sizeof(const double*)));

    for (int t = 0; t < N; ++t) {
        const double* q = queries + static_cast<std::size_t>(t) * d;
        bool has_nan = false;
        for (int k = 0; k < d; ++k) {
            has_nan = has_nan || std::isnan(q[k]);
            bracket(q[k], breakpoints[k], counts[k], &fractions[k], &lower_index[k],
                    &upper_index[k]);
        }
        if (has_nan) {
            out[t] = NAN;  // no breakpoint brackets a NaN coordinate
            continue;
        }
        for (std::size_t m = 0; m < n_corners; ++m) {
            std::size_t offset = 0;
            std::size_t stride = 1;
            for (int k = 0; k < d; ++k) {
                offset += static_cast<std::size_t>((m >> k & 1) ? upper_index[k] : lower_index[k]) *
                          stride;
                stride *= static_cast<std::size_t>(counts[k]);
            }
            corners[m] = table + offset;
        }
        out[t] = blend_corners(corners, fractions, d);
    }

    mxFree(fractions);
    mxFree(lower_index);
    mxFree(upper_index);
    mxFree(corners);
}
