// Bracketing, corner gathering and the corner blend of the lookup-table
// interpolation. The table is column-major over the breakpoint dimensions:
// node (i_0, …, i_(d-1)) sits at the sum of i_k * s_k, s_0 = 1,
// s_k = counts[0] * … * counts[k-1].
//
// The blend is defined recursively, splitting on the highest dimension
// first: blend(run, j) = (1 - f) * blend(lower half, j-1)
// + blend(upper half, j-1) * f, f = f_(j-1), blend(run, 0) = *run. Unfolded,
// its innermost level pairs corners 2m and 2m+1 with f_0, the next pairs
// those results with f_1, and so on: blending level by level from
// dimension 0 up performs the same operations on the same operands.
//
// Points go eight at a time while 2^d is small, so that their searches and
// table reads overlap; the operations of each point are those of one point
// alone, so the grouping never shows in a result.
#include <cmath>
#include <cstddef>
#include <limits>

#include "core/common/threads.h"
#include "core/common/workspace.h"
#include "core/gridval/gridval.h"
#include "core/gridval/search.h"

namespace localmodels::gridval {

using detail::search;

namespace {

constexpr int group = 8;           // points per pass
constexpr int max_group_dims = 6;  // beyond, one point per pass

int points_per_pass(int d)
{
    return d <= max_group_dims ? group : 1;
}

struct scratch {
    int* starts[max_dimensions];  // the guide of each dimension
    search* plans;                // d
    double* fractions;            // d x lanes
    std::size_t* steps;           // d x lanes: upper minus lower node offset
    double* values;               // 2^d x lanes
};

scratch lay_out(workspace* w, const problem& p)
{
    const std::size_t lanes = static_cast<std::size_t>(points_per_pass(p.d)), d = p.d;
    scratch s;
    for (int k = 0; k < p.d; ++k)
        s.starts[k] =
            take<int>(w, static_cast<std::size_t>(detail::guide_buckets(p.counts[k])) + 1);
    s.plans = take<search>(w, d);
    s.fractions = take<double>(w, d * lanes);
    s.steps = take<std::size_t>(w, d * lanes);
    s.values = take<double>(w, (std::size_t{1} << p.d) * lanes);
    return s;
}

// The fraction and node offsets of dimension k for the L coordinates q[l]:
// fraction 1 at or below the first breakpoint, 0 above the last, else
// (q - b[i-1]) / (b[i] - b[i-1]). Adds the lower offset to base[l].
template <int L>
void bracket(const search& plan, std::size_t stride, const double* q, double* fraction,
             std::size_t* step, std::size_t* base)
{
    int i[L];
    detail::find<L>(plan, q, i);
    const double* b = plan.b;
    const int M = plan.M;
    for (int l = 0; l < L; ++l) {
        const int lower = i[l] - (i[l] > 0), upper = i[l] - (i[l] == M);
        const double f = (q[l] - b[lower]) / (b[upper] - b[lower]);
        fraction[l] = i[l] == 0 ? 1.0 : i[l] == M ? 0.0 : f;
        step[l] = static_cast<std::size_t>(upper - lower) * stride;
        base[l] += static_cast<std::size_t>(lower) * stride;
    }
}

// Corner m of point l at values[m * L + l]: the lower node plus the steps
// of the dimensions whose bit is set in m. With d fixed at compile time
// the sums unroll; otherwise the corners are visited in Gray code order,
// so that each offset differs from the last by one step.
template <int L, int D>
void gather(double* values, const double* table, const std::size_t* base, const std::size_t* steps,
            int d)
{
    const std::size_t corners = std::size_t{1} << d;
    if (D > 0) {
        for (std::size_t m = 0; m < corners; ++m)
            for (int l = 0; l < L; ++l) {
                std::size_t at = base[l];
                for (int k = 0; k < D; ++k)
                    if (m >> k & 1) at += steps[k * L + l];
                values[m * L + l] = table[at];
            }
        return;
    }
    std::size_t at[L];
    for (int l = 0; l < L; ++l) {
        at[l] = base[l];
        values[l] = table[at[l]];
    }
    for (std::size_t g = 1; g < corners; ++g) {
        const int k = __builtin_ctzll(g);
        const std::size_t m = g ^ (g >> 1);
        const bool up = m >> k & 1;
        for (int l = 0; l < L; ++l) {
            at[l] = up ? at[l] + steps[k * L + l] : at[l] - steps[k * L + l];
            values[m * L + l] = table[at[l]];
        }
    }
}

// values[l] becomes the blend of point l's corners.
template <int L>
void blend(double* values, const double* fractions, int d)
{
    for (int k = 0; k < d; ++k) {
        const double* f = fractions + k * L;
        const std::size_t half = std::size_t{1} << (d - 1 - k);
        for (std::size_t m = 0; m < half; ++m)
            for (int l = 0; l < L; ++l)
                values[m * L + l] =
                    (1 - f[l]) * values[2 * m * L + l] + values[(2 * m + 1) * L + l] * f[l];
    }
}

// Points t … t + L - 1; D > 0 fixes d at compile time.
template <int L, int D>
void points(double* out, const problem& p, const scratch& s, int t)
{
    const int d = D > 0 ? D : p.d;
    std::size_t base[L] = {}, stride = 1;
    bool nan[L] = {};
    for (int k = 0; k < d; ++k) {
        double q[L];
        for (int l = 0; l < L; ++l) {
            q[l] = p.queries[static_cast<std::size_t>(t + l) * static_cast<std::size_t>(d) +
                             static_cast<std::size_t>(k)];
            nan[l] = nan[l] || std::isnan(q[l]);
        }
        bracket<L>(s.plans[k], stride, q, s.fractions + k * L, s.steps + k * L, base);
        stride *= static_cast<std::size_t>(p.counts[k]);
    }
    gather<L, D>(s.values, p.table, base, s.steps, d);
    blend<L>(s.values, s.fractions, d);
    // No breakpoint brackets a NaN.
    for (int l = 0; l < L; ++l)
        out[t + l] = nan[l] ? std::numeric_limits<double>::quiet_NaN() : s.values[l];
}

// Points [first, last) on one thread, in one workspace. The guides pay for
// their building only when there are enough points to search.
void interpolate_block(double* out, const problem& p, int first, int last, void* memory,
                       std::size_t bytes)
{
    workspace w = memory_workspace(memory, bytes);
    const scratch s = lay_out(&w, p);
    for (int k = 0; k < p.d; ++k) {
        const bool guided = 4 * static_cast<double>(last - first) >= p.counts[k];
        s.plans[k] = detail::plan(p.breakpoints[k], p.counts[k], guided ? s.starts[k] : nullptr);
    }
    int t = first;
    if (p.d == 1)
        for (; last - t >= group; t += group) points<group, 1>(out, p, s, t);
    else if (p.d == 2)
        for (; last - t >= group; t += group) points<group, 2>(out, p, s, t);
    else if (points_per_pass(p.d) == group)
        for (; last - t >= group; t += group) points<group, 0>(out, p, s, t);
    for (; t < last; ++t) points<1, 0>(out, p, s, t);
}

}  // namespace

std::size_t workspace_size(const problem& p)
{
    workspace w = counting_workspace();
    lay_out(&w, p);
    return bytes_needed(w);
}

std::size_t memory_size(const problem& p, int threads)
{
    return per_thread(workspace_size(p), threads);
}

int threads_for(const problem& p, int first, int last, int asked)
{
    double cost = static_cast<double>(std::size_t{1} << p.d) * (p.d + 1);
    for (int k = 0; k < p.d; ++k) cost += std::log2(p.counts[k] + 1.0);
    return threads::count_for(static_cast<std::size_t>(last - first), cost, asked);
}

void interpolate(double* out, const problem& p, const threads::job& j)
{
    const int threads = j.r.threads;
    const std::size_t each = j.bytes / static_cast<std::size_t>(threads);
    threads::run(threads, static_cast<std::size_t>(j.first), static_cast<std::size_t>(j.last),
                 [&](int t, std::size_t begin, std::size_t end) {
                     interpolate_block(out, p, static_cast<int>(begin), static_cast<int>(end),
                                       threads::share(j.memory, each, t), each);
                 });
}

}  // namespace localmodels::gridval
