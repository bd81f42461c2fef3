// Bracketing, corner gathering and the recursive blend of the lookup-table
// interpolation. The table is column-major over the breakpoint dimensions:
// node (i_0, …, i_(d-1)) sits at the sum of i_k * s_k, s_0 = 1,
// s_k = counts[0] * … * counts[k-1].
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "core/common/threads.h"
#include "core/common/workspace.h"
#include "core/gridval/gridval.h"

namespace localmodels::gridval {

double detail::blend_corners(const double* const* run, const double* fractions, int j)
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

// The scratch of one call: a bracket per dimension and the 2^d corners.
struct scratch {
    double* fractions;
    int* lower_index;
    int* upper_index;
    const double** corners;
};

scratch lay_out(workspace* w, int d)
{
    scratch sc;
    sc.fractions = take<double>(w, d);
    sc.lower_index = take<int>(w, d);
    sc.upper_index = take<int>(w, d);
    sc.corners = take<const double*>(w, std::size_t{1} << d);
    return sc;
}

}  // namespace

std::size_t workspace_size(const problem& p)
{
    workspace w = counting_workspace();
    lay_out(&w, p.d);
    return bytes_needed(w);
}

namespace {

// Points [first, last) on one thread, in one workspace.
void interpolate_block(double* out, const problem& p, int first, int last, void* memory,
                       std::size_t bytes)
{
    const int d = p.d;
    const std::size_t n_corners = std::size_t{1} << d;
    workspace w = memory_workspace(memory, bytes);
    const scratch sc = lay_out(&w, d);

    for (int t = first; t < last; ++t) {
        const double* q = p.queries + static_cast<std::size_t>(t) * d;
        bool has_nan = false;
        for (int k = 0; k < d; ++k) {
            has_nan = has_nan || std::isnan(q[k]);
            bracket(q[k], p.breakpoints[k], p.counts[k], &sc.fractions[k], &sc.lower_index[k],
                    &sc.upper_index[k]);
        }
        if (has_nan) {
            out[t] = std::numeric_limits<double>::quiet_NaN();  // no breakpoint brackets a NaN
            continue;
        }
        for (std::size_t m = 0; m < n_corners; ++m) {
            std::size_t offset = 0;
            std::size_t stride = 1;
            for (int k = 0; k < d; ++k) {
                const int i = (m >> k & 1) ? sc.upper_index[k] : sc.lower_index[k];
                offset += static_cast<std::size_t>(i) * stride;
                stride *= static_cast<std::size_t>(p.counts[k]);
            }
            sc.corners[m] = p.table + offset;
        }
        out[t] = detail::blend_corners(sc.corners, sc.fractions, d);
    }
}

}  // namespace

int threads_for(const problem& p, int first, int last)
{
    double cost = static_cast<double>(std::size_t{1} << p.d) * (p.d + 1);
    for (int k = 0; k < p.d; ++k) cost += std::log2(p.counts[k] + 1.0);
    return threads::count_for(static_cast<std::size_t>(last - first), cost);
}

void interpolate(double* out, const problem& p, int first, int last, int threads, void* memory,
                 std::size_t bytes)
{
    const std::size_t each = bytes / static_cast<std::size_t>(threads);
    threads::run(threads, static_cast<std::size_t>(first), static_cast<std::size_t>(last),
                 [&](int t, std::size_t begin, std::size_t end) {
                     interpolate_block(out, p, static_cast<int>(begin), static_cast<int>(end),
                                       threads::share(memory, each, t), each);
                 });
}

}  // namespace localmodels::gridval
