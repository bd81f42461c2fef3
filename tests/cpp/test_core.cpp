// The core without any host: one worked example per plug-in, and each
// worker run in a workspace of exactly the size it reports, so that the
// address sanitizer catches any block laid out beyond it.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/gridval/gridval.h"
#include "core/nearpoly/nearpoly.h"
#include "core/network/network.h"
#include "nearpoly_args.h"

namespace {

namespace net = localmodels::network;
namespace np = localmodels::nearpoly;
namespace gv = localmodels::gridval;

// Exactly `bytes` of heap, so that one byte more is out of bounds.
struct exact_block {
    std::size_t bytes;
    std::unique_ptr<unsigned char[]> memory;
    explicit exact_block(std::size_t n) : bytes(n), memory(new unsigned char[n]) {}
};

// The two-cluster network: one input, centres 0 and 1, unit norm matrices,
// local models x and 5.
struct two_clusters {
    const double centres[2] = {0, 1};
    const double norms[2] = {1, 1};
    const double consequents[4] = {1, 0, 0, 5};
    net::view view() const { return {centres, norms, consequents, 1, 1, 2}; }
    net::options options() const { return {1, net::validity::gaussian, 2.0}; }
};

// A network of n inputs, p outputs and c clusters with simple values.
struct sized_network {
    std::vector<double> x, centres, norms, consequents;
    net::view v;
    sized_network(int n, int p, int c)
        : x(n, 0.3),
          centres(static_cast<std::size_t>(n) * c, 0.1),
          norms(static_cast<std::size_t>(n) * n * c, 0.2),
          consequents(static_cast<std::size_t>(p) * (n + 1) * c, 0.5),
          v{centres.data(), norms.data(), consequents.data(), n, p, c}
    {
    }
};

}  // namespace

TEST(Core, NetworkWorkedExamples)
{
    const two_clusters e;
    const double x = 0.5;
    double y = 0;
    exact_block ws(net::simulate_workspace_size(e.view()));
    net::simulate(&y, &x, e.view(), e.options(), {0, 1, 1, ws.memory.get(), ws.bytes});
    EXPECT_EQ(y, 2.7500000000000004);

    // Equal validities w: the slope is (1 + 2.25) w + 2.25 w over 2w.
    double dx = 0, y2 = 0;
    exact_block wi(net::input_derivatives_workspace_size(e.view()));
    net::input_derivatives({&dx, &y2}, &x, e.view(), e.options(), {wi.memory.get(), wi.bytes});
    EXPECT_NEAR(dx, 2.75, 1e-15);
    EXPECT_EQ(y2, y);

    // Consequent rows of each cluster: w x / S and w / S, with w / S = 1/2.
    std::vector<double> dp(8);
    exact_block wp(net::parameter_derivatives_workspace_size(e.view()));
    ASSERT_EQ(net::selected_rows(1, 1, 2, 15), 8);
    net::parameter_derivatives({dp.data(), nullptr}, &x, e.view(), e.options(), 15,
                               {wp.memory.get(), wp.bytes});
    for (int i : {4, 6}) EXPECT_NEAR(dp[i], 0.25, 1e-15);
    for (int i : {5, 7}) EXPECT_NEAR(dp[i], 0.5, 1e-15);
}

TEST(Core, GridvalWorkedExample)
{
    const double table[] = {10, 20, 30, 40, 50, 60}, b1[] = {0, 1, 2}, b2[] = {0, 1};
    const double queries[] = {1.5, 0.25, -1, 5, 2, 0};
    gv::problem p{queries, table, {b1, b2}, {3, 2}, 2, 3};
    double out[3];
    exact_block ws(gv::workspace_size(p));
    gv::interpolate(out, p, {0, 3, 1, ws.memory.get(), ws.bytes});
    EXPECT_EQ(std::vector<double>(out, out + 3), (std::vector<double>{32.5, 40, 30}));
}

TEST(Core, NearpolyWorkedExample)
{
    // Two examples, k = 2 for the linear family only, one combined fit, and
    // cov_init 1: the regularised fit through (0.5, 1) and (-1, 3) at 0.
    const double data_x[] = {0.5, -1}, data_y[] = {1, 3}, query = 0;
    const double id_par[] = {0, 2, 0, 0, 2, 0}, comb = 1;
    np::call_args a{};
    a.nrhs = 6;
    a.nlhs = 1;
    a.N = 2;
    a.n = 1;
    a.rows_y = 2;
    a.cols_y = 1;
    a.cols_q = 1;
    a.rows_id = 3;
    a.cols_id = 2;
    a.id_par = id_par;
    a.comb_count = 1;
    a.comb_par = &comb;
    a.has_cov_init = true;
    a.cov_init = 1;
    np::settings s;
    ASSERT_FALSE(localmodels::failed(np::decode_settings(a, &s)));
    const np::problem p{data_x, data_y, &query, nullptr, 2, 1, 1};
    double y = 0;
    exact_block ws(np::memory_size(p, s, 1));
    np::predict({&y, nullptr}, p, s, {0, 1, 1}, {ws.memory.get(), ws.bytes});
    EXPECT_NEAR(y, 31.0 / 26, 1e-15);
}

TEST(Core, WorkersStayInsideTheWorkspaceTheyReport)
{
    for (int n : {0, 1, 3})
        for (int p : {0, 1, 2})
            for (int c : {0, 1, 5}) {
                sized_network s(n, p, c);
                const net::options o{1, net::validity::fuzzy, 1.5};
                std::vector<double> out(static_cast<std::size_t>(p) * 4 + 1);
                exact_block a(net::simulate_workspace_size(s.v));
                std::vector<double> x4(static_cast<std::size_t>(n) * 4 + 1, 0.2);
                net::simulate(out.data(), x4.data(), s.v, o, {0, 4, 1, a.memory.get(), a.bytes});
                std::vector<double> d(static_cast<std::size_t>(n) * p + 1);
                exact_block b(net::input_derivatives_workspace_size(s.v));
                net::input_derivatives({d.data(), nullptr}, s.x.data(), s.v, o,
                                       {b.memory.get(), b.bytes});
                const std::int64_t rows = net::selected_rows(n, p, c, 15);
                std::vector<double> dp(static_cast<std::size_t>(rows) * p + 1);
                exact_block e(net::parameter_derivatives_workspace_size(s.v));
                if (rows > 0)
                    net::parameter_derivatives({dp.data(), nullptr}, s.x.data(), s.v, o, 15,
                                               {e.memory.get(), e.bytes});
            }

    for (int d = 1; d <= 4; ++d) {
        std::vector<double> b = {0, 1, 2}, table(81, 1.0), q(static_cast<std::size_t>(d) * 3, 0.7);
        gv::problem p{q.data(), table.data(), {}, {}, d, 3};
        for (int k = 0; k < d; ++k) p.breakpoints[k] = b.data(), p.counts[k] = 3;
        double out[3];
        exact_block ws(gv::workspace_size(p));
        gv::interpolate(out, p, {0, 3, 1, ws.memory.get(), ws.bytes});
        EXPECT_EQ(out[0], 1.0);
    }

    // nearpoly in both combination modes, with and without coefficients.
    // N = 5000 searches through a tree, as there are M = 64 queries.
    const int M = 64;
    for (int N : {3, 40, 5000})
        for (int n : {1, 2})
            for (int mode : {0, 1, 2, 3}) {
                std::vector<double> x(static_cast<std::size_t>(N) * n), y(N), q(M * n, 0.45);
                for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::sin(1.7 * i);
                for (int i = 0; i < N; ++i) y[i] = std::cos(0.3 * i);
                const double id_par[] = {1, 1, 1}, global = 4, per_family[] = {1, 2, 1};
                const np::call_args a = testing_helpers::well_shaped_args(
                    5, 1 + mode % 2, N, n, id_par, 1, mode < 2 ? &global : per_family,
                    mode < 2 ? 1 : 3);
                np::settings st;
                if (localmodels::failed(np::decode_settings(a, &st))) continue;
                const np::problem p{x.data(), y.data(), q.data(), nullptr, N, n, M};
                std::vector<double> out(M), coefs(static_cast<std::size_t>(st.n_coef) * M);
                exact_block ws(np::memory_size(p, st, 1));
                np::predict({out.data(), st.want_coefs ? coefs.data() : nullptr}, p, st, {0, M, 1},
                            {ws.memory.get(), ws.bytes});
                EXPECT_TRUE(std::isfinite(out[0]));
            }
}

// Each batch worker on several threads in exactly the memory its
// memory_size reports for that count (the sanitizer build sees a thread
// that writes past its share), and the same bits as on one thread.
TEST(Core, BatchWorkersStayInsideTheMemorySizedForTheirThreads)
{
    const int N = 7;
    const sized_network s(3, 2, 4);
    const net::options o{1, net::validity::gaussian, 2.0};
    std::vector<double> x(3 * N);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.9 * i);
    const std::int64_t R = net::selected_rows(3, 2, 4, 15);
    std::vector<double> b = {0, 1, 2}, table(9), q(2 * N);
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = std::cos(1.3 * i);
    for (std::size_t i = 0; i < q.size(); ++i) q[i] = 1 + std::sin(2.1 * i);
    const gv::problem g{q.data(), table.data(), {b.data(), b.data()}, {3, 3}, 2, N};
    std::vector<double> first;
    for (int threads = 1; threads <= 3; ++threads) {
        std::vector<double> out(2 * N), y(2 * N), dx(3 * 2 * N, 0.0), dp(R * 2 * N, 0.0), v(N);
        exact_block a(net::simulate_memory_size(s.v, threads));
        net::simulate(out.data(), x.data(), s.v, o, {0, N, threads, a.memory.get(), a.bytes});
        exact_block bi(net::input_derivatives_memory_size(s.v, threads));
        net::input_derivatives_at({dx.data(), y.data()}, x.data(), s.v, o,
                                  {0, N, threads, bi.memory.get(), bi.bytes});
        exact_block bp(net::parameter_derivatives_memory_size(s.v, threads));
        net::parameter_derivatives_at({dp.data(), nullptr}, x.data(), s.v, o, 15,
                                      {0, N, threads, bp.memory.get(), bp.bytes});
        exact_block bg(gv::memory_size(g, threads));
        gv::interpolate(v.data(), g, {0, N, threads, bg.memory.get(), bg.bytes});
        std::vector<double> all = out;
        for (const std::vector<double>* part : {&y, &dx, &dp, &v})
            all.insert(all.end(), part->begin(), part->end());
        if (threads == 1) first = all;
        EXPECT_TRUE(all == first) << threads << " threads";
    }

    // nearpoly with a tree (many queries) and without, the index in front.
    const int M = 64;
    for (int examples : {30, 4000}) {
        std::vector<double> dx(examples), dy(examples), dq(M);
        for (int i = 0; i < examples; ++i) dx[i] = std::sin(1.7 * i), dy[i] = std::cos(0.3 * i);
        for (int i = 0; i < M; ++i) dq[i] = std::sin(0.7 * i);
        const double id_par[] = {1, 1, 1}, global = 4;
        const np::call_args args =
            testing_helpers::well_shaped_args(5, 1, examples, 1, id_par, 1, &global, 1);
        np::settings st;
        ASSERT_FALSE(localmodels::failed(np::decode_settings(args, &st)));
        const np::problem p{dx.data(), dy.data(), dq.data(), nullptr, examples, 1, M};
        EXPECT_EQ(np::index_size(p, st) > 0, examples > 30);
        EXPECT_EQ(np::memory_size(p, st, 3),
                  np::index_size(p, st) + np::indexed_memory_size(p, st, 3));
        std::vector<double> one;
        for (int threads = 1; threads <= 3; ++threads) {
            std::vector<double> y(M);
            exact_block ws(np::memory_size(p, st, threads));
            np::predict({y.data(), nullptr}, p, st, {0, M, threads}, {ws.memory.get(), ws.bytes});
            if (threads == 1) one = y;
            EXPECT_TRUE(y == one) << threads << " threads";
        }
    }
}
