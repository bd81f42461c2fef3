// The neighbour search through the tree against the plain search in row
// order, list for list and bit for bit: random problems from one example to
// a hundred thousand, one to eight inputs, weights with zeros, exact ties on
// integer grids, repeated and identical examples, differences that round
// alike, queries on examples, between them and far away, and distances that
// overflow. The pass over all examples is checked alongside.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "core/nearpoly/stages.h"
#include "core/nearpoly/tree.h"
#include "core/nearpoly/tree_select.h"
#include "helpers.h"
#include "plain_search.h"

using namespace localmodels::nearpoly::detail;
using testing_helpers::lcg;

namespace {

// A tree over column-major x (N-by-n) in memory of its own, which holds
// `fill` bytes before the build, as the plug-in's does not zero it.
struct owned_tree {
    std::vector<unsigned char> memory;
    tree t;
    owned_tree(const std::vector<double>& x, int N, int n, const double* weights, int threads,
               unsigned char fill = 0)
    {
        localmodels::workspace count = localmodels::counting_workspace();
        take_tree(&count, N, n);
        memory.assign(localmodels::bytes_needed(count), fill);
        localmodels::workspace w = localmodels::filled_workspace(memory.data(), memory.size());
        t = take_tree(&w, N, n);
        build_tree(&t, x.data(), weights, threads);
    }
};

// Whether two trees over the same examples have the same layout and bytes.
bool same_tree(const tree& a, const tree& b)
{
    if (a.N != b.N || a.n != b.n || a.depth != b.depth) return false;
    const std::size_t N = static_cast<std::size_t>(a.N), nodes = (std::size_t{2} << a.depth) - 1;
    const auto same = [](const void* u, const void* v, std::size_t bytes) {
        return std::memcmp(u, v, bytes) == 0;
    };
    return same(a.rows, b.rows, N * sizeof(int)) && same(a.x, b.x, N * a.n * sizeof(double)) &&
           same(a.boxes, b.boxes, nodes * 2 * a.n * sizeof(double)) &&
           same(a.first_row, b.first_row, nodes * sizeof(int));
}

struct search_problem {
    int N, n, K, M;
    std::vector<double> x, q, w;  // w empty: unweighted
    const double* weights() const { return w.empty() ? nullptr : w.data(); }
};

template <class T, std::size_t C>
T pick(lcg& rng, const T (&values)[C])
{
    return values[rng.below(static_cast<int>(C))];
}

// A value of one example's coordinate, by kind of data.
double coordinate(lcg& rng, int kind, int j)
{
    switch (kind) {
        case 0: return rng.uniform(-2, 2);
        case 1: return std::round(rng.uniform(-3, 3));                     // ties
        case 2: return std::round(rng.uniform(-1, 1) * 4) / 4;             // few values
        case 3: return 0.5;                                                // all equal
        case 4: return rng.uniform(-1, 1) * std::pow(10.0, 2 * j - 6);     // scales
        case 5: return 1e16 + 2 * rng.below(8);                            // rounding
        case 6: return pick(rng, {-1e308, 1e308, 0.0, 1.0, 1e307, -3.0});  // overflow
        default: return j % 2 ? 1.0 : std::round(rng.uniform(-5, 5));      // flat sides
    }
}

void fill_examples(lcg& rng, search_problem& pb, int kind)
{
    const int N = pb.N, n = pb.n;
    pb.x.assign(static_cast<std::size_t>(N) * n, 0.0);
    const bool clustered = rng.below(4) == 0;
    for (int i = 0; i < N; ++i) {
        // Some rows repeat an earlier one; clustered data sits near a few.
        const int copy = i > 0 && rng.below(5) == 0 ? rng.below(i) : -1;
        const int centre = clustered && i > 0 ? rng.below(std::min(i, 4)) : -1;
        for (int j = 0; j < n; ++j) {
            double& v = pb.x[i + static_cast<std::size_t>(j) * N];
            if (copy >= 0)
                v = pb.x[copy + static_cast<std::size_t>(j) * N];
            else if (centre >= 0 && kind == 0)
                v = pb.x[centre + static_cast<std::size_t>(j) * N] + rng.uniform(-1e-3, 1e-3);
            else
                v = coordinate(rng, kind, j);
        }
    }
}

void fill_queries(lcg& rng, search_problem& pb, int kind)
{
    const int N = pb.N, n = pb.n, M = pb.M;
    pb.q.assign(static_cast<std::size_t>(M) * n, 0.0);
    for (int t = 0; t < M; ++t) {
        const int how = rng.below(5), a = rng.below(N), b = rng.below(N);
        for (int j = 0; j < n; ++j) {
            const double xa = pb.x[a + static_cast<std::size_t>(j) * N];
            const double xb = pb.x[b + static_cast<std::size_t>(j) * N];
            double& v = pb.q[t + static_cast<std::size_t>(j) * M];
            switch (how) {
                case 0: v = xa; break;                                 // on an example
                case 1: v = xa / 2 + xb / 2; break;                    // between two
                case 2: v = xa + pick(rng, {1e3, -1e6, 40.0}); break;  // far away
                case 3: v = coordinate(rng, kind, j); break;
                default: v = std::round(xa) + rng.uniform(-0.5, 0.5);
            }
        }
    }
}

search_problem random_problem(lcg& rng, int max_N, int max_K)
{
    search_problem pb;
    // Sizes spread over the orders of magnitude up to max_N.
    pb.N = std::max(1, static_cast<int>(std::pow(static_cast<double>(max_N), rng.uniform())));
    pb.n = 1 + rng.below(max_tree_inputs);
    const int K_cap = std::min(pb.N, max_K);
    pb.K = 1 + (rng.below(4) == 0 ? rng.below(K_cap) : rng.below(std::min(K_cap, 60)));
    pb.M = 1 + rng.below(4);
    const int kind = rng.below(8);
    fill_examples(rng, pb, kind);
    fill_queries(rng, pb, kind);
    const int weighting = rng.below(4);
    if (weighting == 1)
        for (int j = 0; j < pb.n; ++j) pb.w.push_back(pick(rng, {0.0, 0.5, 1.0, 2.0, 0.3, 1e-3}));
    if (weighting == 2) pb.w.assign(pb.n, 0.0);
    return pb;
}

std::string describe(const search_problem& pb, int trial)
{
    return "trial " + std::to_string(trial) + ": N=" + std::to_string(pb.N) +
           " n=" + std::to_string(pb.n) + " K=" + std::to_string(pb.K) +
           (pb.w.empty() ? "" : " weighted");
}

// The queries in turn through the tree, by the pass over all examples and
// by the plain search, each list starting from the same stale rows as the
// queries of one thread would; every list, its distances and the
// neighbours' differences must agree.
void expect_plain_lists(const search_problem& pb, const tree* t, const std::string& what)
{
    SCOPED_TRACE(what);
    const int N = pb.N, n = pb.n, K = pb.K;
    std::vector<int> index(K + 1), all_index(K + 1), plain_index(K + 1);
    for (int m = 0; m <= K; ++m) index[m] = all_index[m] = plain_index[m] = (7 * m) % N;
    std::vector<double> dist(K + 2, 0.0), all_dist = dist, plain_dist = dist;
    std::vector<double> diff(static_cast<std::size_t>(K) * n), all_diff = diff;
    std::vector<double> plain_diff(static_cast<std::size_t>(N) * n), distances(N);
    neighbour_list list{dist.data() + 1, index.data(), K, 0};
    neighbour_list all_list{all_dist.data() + 1, all_index.data(), K, 0};
    std::vector<double> point(n);
    for (int q = 0; q < pb.M; ++q) {
        for (int j = 0; j < n; ++j) point[j] = pb.q[q + static_cast<std::size_t>(j) * pb.M];
        const query at{point.data(), pb.weights(), n};
        find_neighbours(&list, diff.data(), t ? nullptr : distances.data(), {pb.x.data(), t, N},
                        at);
        find_neighbours(&all_list, all_diff.data(), distances.data(), {pb.x.data(), nullptr, N},
                        at);
        plain_search::search(plain_diff, plain_index, plain_dist, pb.x, pb.q, q, pb.M, pb.weights(),
                             N, n, K);
        const std::vector<int> expected(plain_index.begin(), plain_index.begin() + K);
        const std::vector<double> expected_dist(plain_dist.begin(), plain_dist.begin() + K + 1);
        const std::vector<double> expected_diff =
            plain_search::neighbour_rows(plain_diff, plain_index, N, n, K);
        ASSERT_EQ(std::vector<int>(index.begin(), index.begin() + K), expected) << "query " << q;
        ASSERT_TRUE(testing_helpers::bitwise_equal(
            std::vector<double>(dist.begin(), dist.begin() + K + 1), expected_dist));
        ASSERT_TRUE(testing_helpers::bitwise_equal(diff, expected_diff));
        ASSERT_EQ(std::vector<int>(all_index.begin(), all_index.begin() + K), expected);
        ASSERT_TRUE(testing_helpers::bitwise_equal(
            std::vector<double>(all_dist.begin(), all_dist.begin() + K + 1), expected_dist));
        ASSERT_TRUE(testing_helpers::bitwise_equal(all_diff, expected_diff));
    }
}

}  // namespace

TEST(NearpolyTree, SearchMatchesThePlainOrderOnRandomProblems)
{
    lcg rng(2027);
    for (int trial = 0; trial < 2000; ++trial) {
        const search_problem pb = random_problem(rng, 2000, 2000);
        const owned_tree tr(pb.x, pb.N, pb.n, pb.weights(), 1);
        expect_plain_lists(pb, &tr.t, describe(pb, trial));
        if (HasFatalFailure()) return;
    }
}

// Trees of up to 1e5 examples, built on 1, 2 and 7 threads and over memory
// that held zeros or NaNs: the same bytes.
TEST(NearpolyTree, LargeProblemsMatchThePlainOrder)
{
    lcg rng(2028);
    for (int trial = 0; trial < 6; ++trial) {
        search_problem pb = random_problem(rng, 100000, 200);
        if (trial < 3) {
            // At least one level split on several threads.
            pb.N = 70000 + trial * 15000;
            fill_examples(rng, pb, trial % 2);
            fill_queries(rng, pb, trial % 2);
        }
        const owned_tree tr(pb.x, pb.N, pb.n, pb.weights(), 1);
        for (int threads : {2, 7})
            EXPECT_TRUE(
                same_tree(owned_tree(pb.x, pb.N, pb.n, pb.weights(), threads, 0xff).t, tr.t))
                << threads << " threads";
        expect_plain_lists(pb, &tr.t, describe(pb, trial));
    }
}

// Many examples at the K-th distance, the list ending inside a group of
// ties: the smaller rows win, wherever the tree put them.
TEST(NearpolyTree, TiesAtTheLastPlaceKeepTheSmallerRows)
{
    for (int n : {1, 2, 3}) {
        search_problem pb;
        pb.n = n;
        pb.N = 2000;
        pb.M = 3;
        pb.x.resize(static_cast<std::size_t>(pb.N) * n);
        for (int i = 0; i < pb.N; ++i)
            for (int j = 0; j < n; ++j) pb.x[i + j * pb.N] = (i * 7 + j * 3) % 5;
        pb.q = std::vector<double>(static_cast<std::size_t>(pb.M) * n, 2.0);
        pb.q[0] = 0.5;
        for (int K : {1, 37, 400, 401, 1999}) {
            pb.K = K;
            const owned_tree tr(pb.x, pb.N, n, nullptr, 1);
            expect_plain_lists(pb, &tr.t, "n=" + std::to_string(n) + " K=" + std::to_string(K));
        }
        // All examples equal: the K first rows.
        std::fill(pb.x.begin(), pb.x.end(), -1.25);
        pb.K = 50;
        const owned_tree same(pb.x, pb.N, n, nullptr, 1);
        expect_plain_lists(pb, &same.t, "equal examples, n=" + std::to_string(n));
    }
}

// The build's selection on orders that defeat fixed pivots, ties and
// equal keys: the element of each rank lands in place, with the smaller
// (key, row) pairs in front, and every row keeps its coordinates.
TEST(NearpolyTree, SelectionPutsTheRankInPlace)
{
    lcg rng(2029);
    for (int trial = 0; trial < 300; ++trial) {
        const int N = 1 + rng.below(trial < 280 ? 300 : 20000), n = 1 + rng.below(3);
        const int order = rng.below(6);
        std::vector<double> x(static_cast<std::size_t>(N) * n);
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < n; ++j) {
                const double v = order == 0   ? i                              // sorted
                                 : order == 1 ? N - i                          // reversed
                                 : order == 2 ? std::min(i, N - i)             // organ pipe
                                 : order == 3 ? 7.0                            // all equal
                                 : order == 4 ? std::round(rng.uniform(0, 3))  // ties
                                              : rng.uniform(-1, 1);
                x[i + static_cast<std::size_t>(j) * N] = v + j;
            }
        std::vector<double> moved = x;
        std::vector<int> rows(N);
        std::iota(rows.begin(), rows.end(), 0);
        const int j = rng.below(n), a = rng.below(N), b = a + 1 + rng.below(N - a);
        const int mid = a + rng.below(b - a);
        const double* key = moved.data() + static_cast<std::size_t>(j) * N;
        select_rank(columns{moved.data(), rows.data(), static_cast<std::size_t>(N), n}, key, a, b,
                    mid, trial);
        const auto pair = [&](int p) { return std::make_pair(key[p], rows[p]); };
        std::vector<std::pair<double, int>> sorted;
        for (int p = a; p < b; ++p) sorted.push_back(pair(p));
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(pair(mid), sorted[mid - a]) << "trial " << trial;
        for (int p = a; p < b; ++p) ASSERT_EQ(p < mid, pair(p) < pair(mid)) << "trial " << trial;
        for (int p = 0; p < N; ++p) {
            if (p < a || p >= b) {
                ASSERT_EQ(rows[p], p);
            }
            for (int c = 0; c < n; ++c)
                ASSERT_EQ(moved[p + static_cast<std::size_t>(c) * N],
                          x[rows[p] + static_cast<std::size_t>(c) * N]);
        }
    }
}

TEST(NearpolyTree, TheTreeIsUsedWhereItPays)
{
    EXPECT_TRUE(use_tree(100000, 3, 50, 1000));
    EXPECT_TRUE(use_tree(2000, 2, 30, 50));
    EXPECT_FALSE(use_tree(100000, 0, 50, 1000));  // every distance 0
    EXPECT_FALSE(use_tree(100000, max_tree_inputs + 1, 50, 1000));
    EXPECT_FALSE(use_tree(1000, 3, 50, 1000));
    EXPECT_FALSE(use_tree(100000, 3, 90000, 1000));
    EXPECT_FALSE(use_tree(100000, 3, 50, 10));  // the build would not pay
    EXPECT_FALSE(use_tree(100000, 8, 225, 1000));
    EXPECT_TRUE(use_tree(1000000, 8, 225, 1000));
}

// Without inputs the pass over all examples keeps the K first rows.
TEST(NearpolyTree, NoInputsKeepTheFirstRows)
{
    search_problem pb{40, 0, 7, 2, {}, {}, {}};
    expect_plain_lists(pb, nullptr, "n = 0");
}
