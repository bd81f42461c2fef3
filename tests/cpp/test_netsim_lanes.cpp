// netsim's core, vectors of points at a time, against the plain
// transcription of the evaluation order, bit for bit, at every vector level
// of this CPU and 1, 2 and 7 threads: thousands of random networks with no
// clusters, no inputs or no outputs among them, every validity type and
// normalisation, fuzziness down to 1, points at, near and far from the
// centres, and point counts on both sides of every vector width.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/network/network.h"
#include "helpers.h"
#include "levels.h"
#include "plain_network.h"

namespace {

namespace net = localmodels::network;
using testing_helpers::bitwise_equal;
using testing_helpers::lcg;

template <class T, std::size_t K>
T pick(lcg& rng, const T (&values)[K])
{
    return values[rng.below(static_cast<int>(K))];
}

struct network_problem {
    plain_network::network_call a;
    int N;
    std::vector<double> X;
};

network_problem random_problem(lcg& rng)
{
    const int n = pick(rng, {0, 1, 2, 3, 4, 4, 5, 7}), p = pick(rng, {0, 1, 2, 2, 3}),
              c = pick(rng, {0, 1, 2, 3, 5, 40});
    network_problem t{
        {n, p, c, rng.uniform_vector(n * c, -1, 1), std::vector<double>(n * n * c),
         rng.uniform_vector(p * (n + 1) * c, -2, 2), pick(rng, {0, 1, 1, -3}),
         pick(rng, {1, 1, 2, 2, 0, 3}), pick(rng, {2.0, 1.5, 3.0, 1.05, 1.0, 0.7, 2.6})},
        pick(rng, {0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 33, 64, 200}),
        {}};
    // Symmetric, lopsided or indefinite norm matrices; large scales let the
    // Gaussian validities underflow.
    const double scale = pick(rng, {0.05, 1.0, 4.0, 400.0});
    for (double& v : t.a.A) v = scale * rng.uniform(-0.3, 1);
    for (int i = 0; i < c; ++i)
        for (int k = 0; k < n; ++k) t.a.A[k + k * n + i * n * n] = scale * rng.uniform(0.2, 1.5);
    for (int s = 0; s < t.N; ++s) {
        const int kind = c > 0 ? rng.below(4) : 0, i = c > 0 ? rng.below(c) : 0;
        for (int k = 0; k < n; ++k) {
            const double centre = c > 0 ? t.a.C[k + i * n] : 0.0;
            t.X.push_back(kind == 0   ? rng.uniform(-1.5, 1.5)
                          : kind == 1 ? centre
                          : kind == 2 ? centre + rng.uniform(-1e-6, 1e-6)
                                      : rng.uniform(-30, 30));
        }
    }
    return t;
}

std::vector<double> run(const network_problem& t, int threads, bool split)
{
    const plain_network::network_call& a = t.a;
    const net::view v{a.C.data(), a.A.data(), a.T.data(), a.n, a.p, a.c};
    const net::options o{a.normalize, net::validity_of_type(a.type), a.m};
    std::vector<double> out(static_cast<std::size_t>(a.p) * t.N, -1.0);
    std::vector<unsigned char> memory(net::simulate_memory_size(v, threads));
    const int middle = split ? t.N / 3 : t.N;
    net::simulate(out.data(), t.X.data(), v, o, {0, middle, threads, memory.data(), memory.size()});
    net::simulate(out.data(), t.X.data(), v, o,
                  {middle, t.N, threads, memory.data(), memory.size()});
    return out;
}

}  // namespace

TEST(NetsimLanes, EveryLevelAndThreadCountGivesThePlainBits)
{
    const int settings = static_cast<int>(testing_helpers::runnable_levels().size() *
                                          testing_helpers::thread_counts().size());
    lcg rng(7201);
    int compared = 0;
    for (int trial = 0; trial < 2500 && !HasFatalFailure(); ++trial) {
        const network_problem t = random_problem(rng);
        const std::vector<double> expected = plain_network::outputs(t.a, t.X, t.N);
        testing_helpers::for_each_setting([&](const testing_helpers::setting& s) {
            ASSERT_TRUE(bitwise_equal(run(t, s.threads, trial % 4 == 0), expected))
                << "trial " << trial << ": n=" << t.a.n << " p=" << t.a.p << " c=" << t.a.c
                << " N=" << t.N << " type=" << t.a.type << " normalize=" << t.a.normalize
                << " m=" << t.a.m << ", level " << localmodels::simd::name(s.level) << ", threads "
                << s.threads;
            ++compared;
        });
    }
    EXPECT_EQ(compared, 2500 * settings);
}

TEST(NetsimLanes, ALargeBatchGivesThePlainBits)
{
    lcg rng(7202);
    for (int type : {1, 2, 3}) {
        network_problem t = random_problem(rng);
        t.a = {4,
               2,
               40,
               rng.uniform_vector(160, 0, 1),
               std::vector<double>(640, 0.0),
               rng.uniform_vector(400, -1, 1),
               1,
               type,
               2.0};
        for (int i = 0; i < 40; ++i)
            for (int k = 0; k < 4; ++k) t.a.A[k + 4 * k + 16 * i] = 4.0;
        t.N = 20011;
        t.X = rng.uniform_vector(4 * t.N, 0, 1);
        const std::vector<double> expected = plain_network::outputs(t.a, t.X, t.N);
        testing_helpers::for_each_setting([&](const testing_helpers::setting& s) {
            ASSERT_TRUE(bitwise_equal(run(t, s.threads, false), expected))
                << "type " << type << ", level " << localmodels::simd::name(s.level) << ", threads "
                << s.threads;
        });
    }
}
