// Threads and ranges: a fixed partition of the items, and results that are
// the same bits for any thread count and any split of a call into ranges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/common/chunks.h"
#include "core/common/simd.h"
#include "core/common/threads.h"
#include "core/gridval/gridval.h"
#include "core/nearpoly/nearpoly.h"
#include "core/network/network.h"
#include "levels.h"
#include "nearpoly_args.h"

namespace {

namespace th = localmodels::threads;
namespace net = localmodels::network;
namespace np = localmodels::nearpoly;
namespace gv = localmodels::gridval;

bool same_bits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

std::vector<double> noise(std::size_t count, unsigned seed)
{
    std::vector<double> v(count);
    for (std::size_t i = 0; i < count; ++i) v[i] = std::sin(12.9898 * (i + 1) + 78.233 * seed);
    return v;
}

// Runs f(first, last, threads) over the whole range at once with each
// thread count, and in uneven ranges on one thread.
template <class F>
void expect_same_for_every_split(int count, F f)
{
    const std::vector<double> serial = f({{0, count}}, 1);
    for (int threads : {2, 3, 7}) EXPECT_TRUE(same_bits(f({{0, count}}, threads), serial));
    EXPECT_TRUE(same_bits(
        f({{0, count / 3}, {count / 3, count / 3 + 1}, {count / 3 + 1, count}}, 2), serial));
}

using ranges = std::vector<std::pair<int, int>>;

}  // namespace

TEST(Threads, ThePartitionCoversEveryItemOnceInOrder)
{
    for (std::size_t count : {0u, 1u, 5u, 64u, 1001u})
        for (int threads : {1, 2, 3, 7, 16}) {
            std::size_t next = 10;
            for (int t = 0; t < threads; ++t) {
                std::size_t b, e;
                th::block(10, 10 + count, threads, t, &b, &e);
                EXPECT_EQ(b, next);
                EXPECT_LE(e - b, count / threads + 1);
                next = e;
            }
            EXPECT_EQ(next, 10 + count);
        }
}

TEST(Threads, TheEnvironmentSetsTheCountHeldToTheCoresAndTheWork)
{
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    ::setenv("LOCALMODELS_THREADS", "3", 1);
    EXPECT_EQ(th::count_for(100000, 1e3), std::min(3, cores));
    EXPECT_EQ(th::count_for(2, 1e9), std::min(2, cores));  // never more than the items
    EXPECT_EQ(th::count_for(100, 1.0), 1);  // 100 operations: one thread is all they need
    ::setenv("LOCALMODELS_THREADS", "999999", 1);
    EXPECT_EQ(th::count_for(1000000, 1e9), cores);          // never more than the cores
    EXPECT_EQ(th::count_for(50, 1e3), std::min(5, cores));  // 5e4 operations: five at most
    ::setenv("LOCALMODELS_THREADS", "1", 1);
    EXPECT_EQ(th::count_for(1000000, 1e9), 1);
    ::setenv("LOCALMODELS_THREADS", "many", 1);
    EXPECT_EQ(th::count_for(100, 1.0), 1);  // not a count: the default, small work
    ::unsetenv("LOCALMODELS_THREADS");
    EXPECT_EQ(th::count_for(10, 1.0), 1);
    EXPECT_EQ(th::count_for(1000000, 1e6), cores);
}

TEST(Threads, AnAskedCountTakesThePlaceOfTheEnvironment)
{
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    ::setenv("LOCALMODELS_THREADS", "1", 1);
    EXPECT_EQ(th::count_for(1000000, 1e9, 2), std::min(2, cores));
    EXPECT_EQ(th::count_for(1000000, 1e9, th::all_cores), cores);
    EXPECT_EQ(th::count_for(1000000, 1e9, th::from_environment), 1);
    EXPECT_EQ(th::count_for(1000000, 1e9, 999999), cores);                 // held to the cores
    EXPECT_EQ(th::count_for(50, 1e3, th::all_cores), std::min(5, cores));  // and the work
    EXPECT_EQ(th::count_for(3, 1e9, 64), std::min(3, cores));              // and the items
    ::unsetenv("LOCALMODELS_THREADS");
    EXPECT_EQ(th::count_for(1000000, 1e9, 1), 1);
}

// Each point of a batch of derivatives is the one-point call's, for any
// thread count and split.
TEST(Threads, BatchedDerivativesAreTheOnePointCalls)
{
    for (int trial = 0; trial < 12; ++trial) {
        const int n = 1 + trial % 3, p = 1 + trial % 2, c = 1 + trial % 4, N = 1 + 13 * trial % 40;
        std::vector<double> C = noise(n * c, trial), T = noise(p * (n + 1) * c, trial + 50),
                            A(n * n * c, 0.0), X = noise(n * N, trial + 99);
        for (int i = 0; i < c; ++i)
            for (int k = 0; k < n; ++k) A[k + k * n + i * n * n] = 0.5 + 0.1 * k;
        const net::view v{C.data(), A.data(), T.data(), n, p, c};
        const net::options o{trial % 2,
                             trial % 3 == 0 ? net::validity::fuzzy : net::validity::gaussian, 1.7};
        const unsigned selection = 1 + trial % 15;
        const std::size_t R = static_cast<std::size_t>(net::selected_rows(n, p, c, selection));
        std::vector<double> one_point;
        std::vector<unsigned char> ws(net::parameter_derivatives_workspace_size(v));
        for (int t = 0; t < N; ++t) {
            std::vector<double> d(R * p, 0.0), y(p, 0.0);
            net::parameter_derivatives({d.data(), y.data()}, X.data() + t * n, v, o, selection,
                                       {ws.data(), ws.size()});
            one_point.insert(one_point.end(), d.begin(), d.end());
        }
        expect_same_for_every_split(N, [&](const ranges& rs, int threads) {
            std::vector<double> out(R * p * N, 0.0), y(static_cast<std::size_t>(p) * N);
            std::vector<unsigned char> mem(net::parameter_derivatives_memory_size(v, threads));
            for (auto r : rs)
                net::parameter_derivatives_at({out.data(), y.data()}, X.data(), v, o, selection,
                                              {r.first, r.second, threads, mem.data(), mem.size()});
            EXPECT_TRUE(same_bits(out, one_point));
            return out;
        });
    }
}

TEST(Threads, NetsimGivesTheSameBitsForAnyThreadsAndRanges)
{
    for (int trial = 0; trial < 20; ++trial) {
        const int n = trial % 4, p = 1 + trial % 3, c = trial % 6, N = 1 + 37 * trial % 200;
        std::vector<double> C = noise(n * c, trial), T = noise(p * (n + 1) * c, trial + 50),
                            A(n * n * c, 0.0), X = noise(n * N, trial + 99);
        for (int i = 0; i < c; ++i)
            for (int k = 0; k < n; ++k) A[k + k * n + i * n * n] = 0.5 + 0.1 * k;
        const net::view v{C.data(), A.data(), T.data(), n, p, c};
        const net::options o{trial % 2,
                             trial % 3 == 0 ? net::validity::fuzzy : net::validity::gaussian, 1.7};
        expect_same_for_every_split(N, [&](const ranges& rs, int threads) {
            std::vector<double> out(static_cast<std::size_t>(p) * N, -1.0);
            std::vector<unsigned char> ws(net::simulate_memory_size(v, threads));
            for (auto r : rs)
                net::simulate(out.data(), X.data(), v, o,
                              {r.first, r.second, threads, ws.data(), ws.size()});
            return out;
        });
    }
}

TEST(Threads, GridvalGivesTheSameBitsForAnyThreadsAndRanges)
{
    for (int d = 1; d <= 3; ++d) {
        const int N = 301;
        std::vector<double> b = {0, 0.25, 0.5, 1}, table = noise(64, d), q = noise(d * N, d + 7);
        gv::problem p{q.data(), table.data(), {}, {}, d, N};
        for (int k = 0; k < d; ++k) p.breakpoints[k] = b.data(), p.counts[k] = 4;
        expect_same_for_every_split(N, [&](const ranges& rs, int threads) {
            std::vector<double> out(N, -1.0);
            std::vector<unsigned char> ws(gv::memory_size(p, threads));
            for (auto r : rs)
                gv::interpolate(out.data(), p, {r.first, r.second, threads, ws.data(), ws.size()});
            return out;
        });
    }
}

TEST(Threads, NearpolyGivesTheSameBitsForAnyThreadsAndRanges)
{
    for (int trial = 0; trial < 8; ++trial) {
        // The last two search through a tree.
        const bool tree = trial >= 6;
        const int N = tree ? 5000 + trial : 30 + 7 * trial, n = 1 + trial % 3, M = tree ? 61 : 23;
        std::vector<double> x = noise(N * n, trial), y = noise(N, trial + 3),
                            q = noise(M * n, trial + 5);
        q[trial % M] = NAN;  // a query without a distance
        const double id_par[] = {1, 1, trial % 2 ? 1.0 : 0.0}, comb[] = {1, 2, 3};
        const np::call_args a =
            testing_helpers::well_shaped_args(5, 2, N, n, id_par, 1, comb, trial % 3 == 0 ? 1 : 3);
        np::settings s;
        ASSERT_FALSE(localmodels::failed(np::decode_settings(a, &s)));
        const np::problem p{x.data(), y.data(), q.data(), nullptr, N, n, M};
        // In one step per range, or with the index built once for all
        // ranges, as the Python front end does.
        const auto run = [&](const ranges& rs, int threads, bool built) {
            std::vector<double> out(M + static_cast<std::size_t>(M) * s.n_coef, -1.0);
            std::vector<unsigned char> ws(np::memory_size(p, s, threads));
            if (built) np::build_index(p, s, threads, ws.data());
            for (auto r : rs)
                (built ? np::predict_built : np::predict)({out.data(), out.data() + M}, p, s,
                                                          {r.first, r.second, threads},
                                                          {ws.data(), ws.size()});
            return out;
        };
        expect_same_for_every_split(
            M, [&](const ranges& rs, int threads) { return run(rs, threads, false); });
        expect_same_for_every_split(
            M, [&](const ranges& rs, int threads) { return run(rs, threads, true); });
    }
}

// An index built once for many calls (NearPoly's) is searched even for the
// few queries for which a call builds none, and gives the plain search's
// bits; the index lies apart from the workspaces and is only read.
TEST(Threads, NearpolyThroughAnIndexForManyCallsGivesThePlainSearchsBits)
{
    for (int trial = 0; trial < 6; ++trial) {
        const int N = 3000 + 17 * trial, n = 1 + trial % 4, M = trial % 2 ? 1 : 23;
        std::vector<double> x = noise(N * n, trial + 40), y = noise(N, trial + 41),
                            q = noise(M * n, trial + 42);
        if (M > 1) q[trial % M] = NAN;
        const double id_par[] = {1, 1, trial % 3 ? 1.0 : 0.0}, comb[] = {1, 2, 3};
        const np::call_args a =
            testing_helpers::well_shaped_args(5, 2, N, n, id_par, 1, comb, trial % 3 == 0 ? 1 : 3);
        np::settings s;
        ASSERT_FALSE(localmodels::failed(np::decode_settings(a, &s)));
        const np::problem plain{x.data(), y.data(), q.data(), nullptr, N, n, M};
        np::problem many = plain;
        many.many_calls = true;
        ASSERT_EQ(np::index_size(plain, s), 0u);
        ASSERT_GT(np::index_size(many, s), 0u);
        std::vector<unsigned char> index(np::index_size(many, s));
        np::build_index(many, s, 2, index.data());
        const std::vector<unsigned char> built = index;
        const auto run = [&](const np::problem& p, const ranges& rs, int threads) {
            std::vector<double> out(M + static_cast<std::size_t>(M) * s.n_coef, -1.0);
            std::vector<unsigned char> ws(np::indexed_memory_size(p, s, threads));
            for (auto r : rs) {
                if (p.many_calls)
                    np::predict_indexed({out.data(), out.data() + M}, p, s,
                                        {r.first, r.second, threads}, index.data(),
                                        {ws.data(), ws.size()});
                else
                    np::predict({out.data(), out.data() + M}, p, s, {r.first, r.second, threads},
                                {ws.data(), ws.size()});
            }
            return out;
        };
        const std::vector<double> want = run(plain, {{0, M}}, 1);
        expect_same_for_every_split(M, [&](const ranges& rs, int threads) {
            const std::vector<double> got = run(many, rs, threads);
            EXPECT_TRUE(same_bits(got, want));
            return got;
        });
        EXPECT_TRUE(index == built);
    }
}

namespace {

// nearpoly on the data x (N-by-n), y and the M-by-n queries q with the
// given id_par (3-by-cols) and one comb_par value: on every vector level
// and 1, 2 and 7 threads, the scalar level's bits on one thread.
void expect_nearpoly_levels_agree(const std::vector<double>& x, const std::vector<double>& y,
                                  const std::vector<double>& q, int N, int n, int M,
                                  const double* id_par, int cols, double cov_init,
                                  const std::string& what)
{
    namespace simd = localmodels::simd;
    const double comb[] = {3};
    np::call_args a = testing_helpers::well_shaped_args(6, 2, N, n, id_par, cols, comb, 1);
    a.has_cov_init = true;
    a.cov_init = cov_init;
    np::settings s;
    ASSERT_FALSE(localmodels::failed(np::decode_settings(a, &s)));
    const np::problem p{x.data(), y.data(), q.data(), nullptr, N, n, M};
    auto run = [&](int threads) {
        std::vector<double> out(M + static_cast<std::size_t>(M) * s.n_coef, -1.0);
        std::vector<unsigned char> ws(np::memory_size(p, s, threads));
        np::predict({out.data(), out.data() + M}, p, s, {0, M, threads}, {ws.data(), ws.size()});
        return out;
    };
    std::vector<double> scalar;
    {
        testing_helpers::scoped_env env("LOCALMODELS_SIMD", "scalar");
        scalar = run(1);
    }
    testing_helpers::for_each_setting([&](const testing_helpers::setting& s) {
        EXPECT_TRUE(same_bits(run(s.threads), scalar))
            << what << " on " << simd::name(s.level) << ", " << s.threads << " threads";
    });
}

}  // namespace

// Every vector level gives the scalar level's bits, on any thread count,
// with up to eight inputs (45 quadratic parameters).
TEST(Threads, NearpolyGivesTheSameBitsOnEveryLevel)
{
    for (int trial = 0; trial < 6; ++trial) {
        const int n = 3 + trial, N = 60 + 25 * trial, M = 9;
        std::vector<double> x = noise(N * n, trial + 11), y = noise(N, trial + 13),
                            q = noise(M * n, trial + 17);
        q[(trial * 5) % M] = NAN;
        // Factors [1; 1; 0.3], or ranges and windows, column by column.
        const double id_par[] = {1,  1,  0.3, 2, double(3 + trial),     2,
                                 40, 15, 44,  0, trial % 2 ? 7.0 : 0.0, 0};
        expect_nearpoly_levels_agree(x, y, q, N, n, M, trial % 3 == 0 ? id_par : id_par + 3,
                                     trial % 3 == 0 ? 1 : 3, trial % 2 ? 1e6 : 0.25,
                                     "trial " + std::to_string(trial));
    }
}

// Parameter counts that fill whole blocks of columns on every level: the
// linear family alone at n = 7, 15 and 31 (8, 16 and 32 parameters) and the
// quadratic one at n = 15 (136), for whole calls on every level.
TEST(Threads, NearpolyOfWholeBlocksGivesTheSameBitsOnEveryLevel)
{
    const int inputs[] = {7, 15, 31, 15};
    for (int trial = 0; trial < 4; ++trial) {
        const bool quadratic = trial == 3;
        const int n = inputs[trial], m = quadratic ? (n + 1) * (n + 2) / 2 : n + 1;
        const int N = m + 40, M = 5;
        std::vector<double> x = noise(N * n, trial + 21), y = noise(N, trial + 23),
                            q = noise(M * n, trial + 27);
        // Ranges: the constant family off, then linear or quadratic alone.
        const double k_min = quadratic ? 4 : m - 4, k_max = quadratic ? 9 : m + 30;
        const double linear_par[] = {2, k_min, 0, 0, k_max, 0};
        const double quadratic_par[] = {2, 0, k_min, 0, 0, k_max};
        expect_nearpoly_levels_agree(x, y, q, N, n, M, quadratic ? quadratic_par : linear_par, 2,
                                     trial % 2 ? 1e6 : 0.25, "n=" + std::to_string(n));
    }
}

TEST(Simd, TheChosenLevelIsOneThisCpuRuns)
{
    namespace simd = localmodels::simd;
    ::unsetenv("LOCALMODELS_SIMD");
    EXPECT_EQ(simd::chosen(), simd::detected());
    ::setenv("LOCALMODELS_SIMD", "scalar", 1);
    EXPECT_EQ(simd::chosen(), simd::level::scalar);
    ::setenv("LOCALMODELS_SIMD", "no such level", 1);
    EXPECT_EQ(simd::chosen(), simd::detected());
    ::unsetenv("LOCALMODELS_SIMD");
}

// A level named in LOCALMODELS_SIMD that this CPU lacks gives the best level
// it has, never the scalar one (the bits would not show it, only the speed):
// NEON on x86-64, the x86 levels on aarch64; every other name gives itself
// or the best level.
TEST(Simd, ALevelThisCpuLacksGivesTheBestLevel)
{
    namespace simd = localmodels::simd;
    const simd::level best = simd::detected();
    const simd::level all[] = {simd::level::scalar, simd::level::sse2, simd::level::neon,
                               simd::level::avx2, simd::level::avx512};
    for (simd::level l : all) {
        ::setenv("LOCALMODELS_SIMD", simd::name(l), 1);
        const simd::level got = simd::chosen();
        EXPECT_TRUE(got == l || got == best) << simd::name(l) << " gave " << simd::name(got);
        if (l != simd::level::scalar && best != simd::level::scalar) {
            EXPECT_NE(got, simd::level::scalar) << simd::name(l);
        }
    }
#if defined(__x86_64__)
    ::setenv("LOCALMODELS_SIMD", "neon", 1);
    EXPECT_EQ(simd::chosen(), best);
#elif defined(__aarch64__)
    ::setenv("LOCALMODELS_SIMD", "avx2", 1);
    EXPECT_EQ(simd::chosen(), best);
#endif
    ::unsetenv("LOCALMODELS_SIMD");
}

// --- calls in chunks (the Python front end's loop) ---------------------------

namespace ch = localmodels::chunks;

TEST(Chunks, TheEnvironmentChangedDuringACallChangesNoWorkspaceAndNoBit)
{
    const int n = 3, p = 2, c = 5, N = 3000;
    std::vector<double> C = noise(n * c, 1), T = noise(p * (n + 1) * c, 2), A(n * n * c, 0.0),
                        X = noise(n * N, 3);
    for (int i = 0; i < c; ++i)
        for (int k = 0; k < n; ++k) A[k + k * n + i * n * n] = 0.7;
    const net::view v{C.data(), A.data(), T.data(), n, p, c};
    const net::options o{1, net::validity::gaussian, 2.0};
    const std::size_t each = net::simulate_workspace_size(v);
    std::vector<unsigned char> one(each);
    std::vector<double> whole(static_cast<std::size_t>(p) * N), chunked(whole.size());
    net::simulate(whole.data(), X.data(), v, o, {0, N, 1, one.data(), one.size()});

    ::setenv("LOCALMODELS_THREADS", "1", 1);
    const th::plan r(1);
    // Exactly one workspace, at its exact size: the sanitizer build sees a
    // chunk that writes past it.
    std::vector<unsigned char> memory(each);
    int calls = 0;
    const bool done = ch::run(
        0, N, 37, r,
        [&](int first, int last, const th::plan& part) {
            EXPECT_LE(part.threads, r.threads);
            EXPECT_EQ(part.level, r.level);
            net::simulate(
                chunked.data(), X.data(), v, o,
                {first, last, part, memory.data(), net::simulate_memory_size(v, part.threads)});
        },
        ch::plain_end{N},
        [&] {
            ::setenv("LOCALMODELS_THREADS", ++calls % 2 ? "64" : "999999", 1);
            ::setenv("LOCALMODELS_SIMD", calls % 3 ? "scalar" : "avx2", 1);
            return true;
        });
    ::unsetenv("LOCALMODELS_THREADS");
    ::unsetenv("LOCALMODELS_SIMD");
    EXPECT_TRUE(done);
    EXPECT_GT(calls, 50);
    EXPECT_TRUE(same_bits(chunked, whole));
}

TEST(Chunks, FreeRowsGrowNoChunkOfDearOnesBeyondTwiceTheLast)
{
    // 4000 rows with a NaN (free), then 1000 finite ones: sized by time
    // alone, the free rows would grow the chunks without bound.
    const int M = 5000, n = 2;
    std::vector<double> q(static_cast<std::size_t>(M) * n, 0.5);
    for (int i = 0; i < 4000; ++i) q[i + (i % 2) * M] = std::nan("");
    const ch::finite_rows_end end{q.data(), M, n};
    int next = 0, last_dear = 1, stops = 0;
    ch::run(
        0, M, 0, th::plan(2, localmodels::simd::level::scalar),
        [&](int first, int last, const th::plan&) {
            EXPECT_EQ(first, next);
            int dear = 0;
            for (int i = first; i < last; ++i)
                dear += std::isfinite(q[i]) && std::isfinite(q[i + M]) ? 1 : 0;
            EXPECT_LE(dear, 2 * last_dear);
            if (dear > 0) last_dear = dear;
            next = last;
        },
        end, [&] { return ++stops < 1000000; });
    EXPECT_EQ(next, M);

    // A host that asks to stop is obeyed after that chunk.
    int chunks_run = 0;
    EXPECT_FALSE(ch::run(
        0, M, 10, th::plan(1), [&](int, int, const th::plan&) { ++chunks_run; }, end,
        [] { return false; }));
    EXPECT_EQ(chunks_run, 1);
}
