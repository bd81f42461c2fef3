// gridval's core against the plain transcription of its evaluation order,
// bit for bit, at every vector level of this CPU and 1, 2 and 7 threads, on
// thousands of random tables: 1 to 8 dimensions, single, repeated, clustered
// and infinite breakpoints, rows long enough to be searched with and
// without a guide, points inside, outside, at breakpoints, infinite and NaN,
// and from no points to many.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/gridval/gridval.h"
#include "helpers.h"
#include "levels.h"
#include "plain_gridval.h"

namespace {

namespace gv = localmodels::gridval;
using testing_helpers::bitwise_equal;
using testing_helpers::lcg;

// A row of M non-decreasing breakpoints of one of several kinds.
std::vector<double> breakpoints(lcg& rng, int M)
{
    std::vector<double> b(M);
    const int kind = rng.below(8);
    double x = rng.uniform(-3, 1);
    for (int i = 0; i < M; ++i) {
        if (kind == 0) x += 1.0;                                       // evenly spaced
        if (kind == 1 && rng.uniform() < 0.6) x += rng.uniform(0, 1);  // repeats
        if (kind == 2) x += std::exp(rng.uniform(-12, 2));             // clustered
        if (kind == 3) x = 0.5;                                        // all equal
        if (kind == 4) x += rng.uniform(0, 1e-310);                    // tiny range
        if (kind >= 5) x += rng.uniform(0.01, 1);
        b[i] = x;
    }
    if (kind == 6 && M > 1) b.front() = -INFINITY;
    if (kind == 7) {
        b.back() = rng.below(2) ? INFINITY : 1e308;
        if (M > 2) b.front() = -1e308;
    }
    return b;
}

double coordinate(lcg& rng, const std::vector<double>& b)
{
    const double lo = std::isfinite(b.front()) ? b.front() : -10;
    const double hi = std::isfinite(b.back()) ? b.back() : 10;
    switch (rng.below(12)) {
        case 0: return b[rng.below(static_cast<int>(b.size()))];  // at a breakpoint
        case 1: return lo - rng.uniform(0, 2);                    // below
        case 2: return hi + rng.uniform(0, 2);                    // above
        case 3: return rng.below(2) ? INFINITY : -INFINITY;
        case 4: return rng.below(4) == 0 ? NAN : lo;
        default: return lo + (hi - lo) * rng.uniform();
    }
}

struct table_problem {
    std::vector<std::vector<double>> bps;
    std::vector<double> table, queries;
    int N;
};

table_problem random_problem(lcg& rng)
{
    table_problem t;
    const int d = rng.below(10) == 0 ? 7 + rng.below(2) : 1 + rng.below(6);
    const bool long_row = rng.below(6) == 0;
    std::size_t nodes = 1;
    for (int k = 0; k < d; ++k) {
        int M = 1 + rng.below(d <= 2 ? 12 : 4);
        if (long_row && k == 0) M = 50 + rng.below(3000);
        t.bps.push_back(breakpoints(rng, M));
        nodes *= static_cast<std::size_t>(M);
    }
    t.table = rng.uniform_vector(nodes, -10, 10);
    const int sizes[] = {0, 1, 2, 5, 7, 8, 9, 16, 17, 31, 100, 257, 1000};
    t.N = sizes[rng.below(13)];
    if (long_row && rng.below(2)) t.N = rng.below(6);  // too few points for a guide
    for (int p = 0; p < t.N; ++p)
        for (int k = 0; k < d; ++k) t.queries.push_back(coordinate(rng, t.bps[k]));
    return t;
}

gv::problem view_of(const table_problem& t)
{
    gv::problem p{t.queries.data(), t.table.data(), {}, {}, static_cast<int>(t.bps.size()), t.N};
    for (int k = 0; k < p.d; ++k) {
        p.breakpoints[k] = t.bps[k].data();
        p.counts[k] = static_cast<int>(t.bps[k].size());
    }
    return p;
}

std::vector<double> plain(const table_problem& t)
{
    const std::size_t d = t.bps.size();
    std::vector<double> out;
    for (int p = 0; p < t.N; ++p) {
        const std::vector<double> q(t.queries.begin() + p * d, t.queries.begin() + (p + 1) * d);
        out.push_back(plain_gridval::interpolate(q, t.table, t.bps));
    }
    return out;
}

// The whole call at `threads` threads, or in two ranges when split.
std::vector<double> run(const gv::problem& p, int threads, bool split)
{
    std::vector<double> out(p.N, -1.0);
    std::vector<unsigned char> memory(gv::memory_size(p, threads));
    if (!split) {
        gv::interpolate(out.data(), p, {0, p.N, threads, memory.data(), memory.size()});
    } else {
        const int middle = p.N / 3;
        gv::interpolate(out.data(), p, {0, middle, threads, memory.data(), memory.size()});
        gv::interpolate(out.data(), p, {middle, p.N, threads, memory.data(), memory.size()});
    }
    return out;
}

}  // namespace

TEST(GridvalExact, EveryLevelAndThreadCountGivesThePlainBits)
{
    const int settings = static_cast<int>(testing_helpers::runnable_levels().size() *
                                          testing_helpers::thread_counts().size());
    lcg rng(6101);
    int compared = 0;
    for (int trial = 0; trial < 2500 && !HasFatalFailure(); ++trial) {
        const table_problem t = random_problem(rng);
        const gv::problem p = view_of(t);
        const std::vector<double> expected = plain(t);
        testing_helpers::for_each_setting([&](const testing_helpers::setting& s) {
            ASSERT_TRUE(bitwise_equal(run(p, s.threads, trial % 5 == 0), expected))
                << "trial " << trial << ", d " << p.d << ", N " << p.N << ", level "
                << localmodels::simd::name(s.level) << ", threads " << s.threads;
            ++compared;
        });
    }
    EXPECT_EQ(compared, 2500 * settings);
}

TEST(GridvalExact, LongRowsAndManyPointsGiveThePlainBits)
{
    // Enough points for the guides, rows of every kind, one dimension and two.
    lcg rng(6102);
    for (int trial = 0; trial < 40; ++trial) {
        table_problem t;
        const int d = 1 + trial % 2;
        std::size_t nodes = 1;
        for (int k = 0; k < d; ++k) {
            t.bps.push_back(breakpoints(rng, d == 1 ? 1 + rng.below(2000) : 1 + rng.below(60)));
            nodes *= t.bps.back().size();
        }
        t.table = rng.uniform_vector(nodes, -10, 10);
        t.N = 3000 + rng.below(50);
        for (int p = 0; p < t.N; ++p)
            for (int k = 0; k < d; ++k) t.queries.push_back(coordinate(rng, t.bps[k]));
        const gv::problem p = view_of(t);
        const std::vector<double> expected = plain(t);
        for (int threads : testing_helpers::thread_counts())
            ASSERT_TRUE(bitwise_equal(run(p, threads, false), expected)) << "trial " << trial;
    }
}
