// nearpoly's stages one at a time: neighbour search, candidate lists and
// the constant family, the recursive fits, and the combination, on the
// worked examples.
#include <cmath>

#include <gtest/gtest.h>

#include "core/nearpoly/stages.h"
#include "fit_buffers.h"
#include "host/standalone/gateways.h"

using namespace localmodels::nearpoly;
using namespace localmodels::nearpoly::detail;
using testing_helpers::fit_buffers;
namespace {

// A candidate list backed by vectors.
struct owned_list {
    std::vector<double> errors, predictions, rows;
    candidate_list list;
    owned_list(int L, int r, bool with_rows)
        : errors(L + 2, 0.0), predictions(L + 1, 0.0), rows(with_rows ? (L + 1) * r : 0, 0.0)
    {
        list = {errors.data() + 1, predictions.data(), with_rows ? rows.data() : nullptr, L, r};
        reset_list(&list, true);
    }
    double error(int m) const { return errors[m + 1]; }
    std::vector<double> row(int m) const
    {
        return std::vector<double>(rows.begin() + m * list.r, rows.begin() + (m + 1) * list.r);
    }
};

struct neighbours {
    std::vector<double> diff;
    std::vector<int> index;
    std::vector<double> dist;
    int count;
};

neighbours search(const std::vector<double>& data_x, int N, int n, const std::vector<double>& q,
                  int K, const double* weights = nullptr)
{
    neighbours nb{std::vector<double>(K * n), std::vector<int>(K + 1), std::vector<double>(K + 2),
                  -1};
    std::vector<double> all(N);
    neighbour_list list{nb.dist.data() + 1, nb.index.data(), K, 0};
    find_neighbours(&list, nb.diff.data(), all.data(), {data_x.data(), nullptr, N},
                    {q.data(), weights, n});
    nb.count = list.count;
    nb.index.resize(K);
    return nb;
}

family_settings family(int m, int k_min, int k_max, int window = 0, int keep = 0)
{
    return {m, k_min, k_max, k_max - k_min + 1, window, keep, true};
}

// The constant family on targets given in neighbour order, into a list of
// length L.
owned_list constant_list(const std::vector<double>& y, int k_min, int k_max, int window, int L)
{
    std::vector<int> index(y.size());
    for (std::size_t t = 0; t < y.size(); ++t) index[t] = static_cast<int>(t);
    owned_list out(L, 1, false);
    const neighbourhood nb{index.data(), nullptr, y.data(), static_cast<int>(y.size()), 0};
    constant_fits(&out.list, family(1, k_min, k_max, window), nb);
    return out;
}

// The linear family (n = 1) on neighbours with differences d and targets y.
owned_list linear_list(const std::vector<double>& d, const std::vector<double>& y, int k_min,
                       int k_max, int window, double cov_init, std::vector<double>* P = nullptr)
{
    const int N = static_cast<int>(d.size()), m = 2;
    std::vector<int> index(N);
    for (int t = 0; t < N; ++t) index[t] = t;
    fit_buffers b(m, k_max);
    const family_settings f = family(m, k_min, k_max, window);
    owned_list out(f.count, m, true);
    fit_family(&out.list, &b.fs, f, false, {index.data(), d.data(), y.data(), N, 1}, cov_init);
    if (P) *P = b.covariance();
    return out;
}

}  // namespace

TEST(NeighbourSearch, WorkedExample)
{
    // Examples (1, 0), (0, -1), (2, 2), (-1, 1) around the origin.
    const std::vector<double> x = {1, 0, 2, -1, 0, -1, 2, 1};
    neighbours plain = search(x, 4, 2, {0, 0}, 3);
    EXPECT_EQ(plain.index, (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(plain.dist, (std::vector<double>{0, 1, 1, 2, 4}));  // sentinel, 3 kept, overflow
    // The kept examples minus the query, in list order: the examples.
    EXPECT_EQ(plain.diff, (std::vector<double>{1, 0, -1, 0, -1, 1}));

    const double w[] = {2, 0.5};
    neighbours weighted = search(x, 4, 2, {0, 0}, 3, w);
    EXPECT_EQ(weighted.index, (std::vector<int>{1, 0, 3}));
    EXPECT_EQ(weighted.diff, (std::vector<double>{0, 1, -1, -1, 0, 1}));
}

TEST(NeighbourSearch, CountsThePositionsTaken)
{
    const std::vector<double> x = {1, 0, 2, -1, 0, -1, 2, 1};
    EXPECT_EQ(search(x, 4, 2, {0, 0}, 3).count, 3);
    EXPECT_EQ(search(x, 4, 2, {0, 0}, 4).count, 4);
    // A list longer than the examples: the rest stays free.
    neighbours two = search({3, 1}, 2, 1, {0}, 3);
    EXPECT_EQ(two.count, 2);
    EXPECT_EQ(std::vector<int>(two.index.begin(), two.index.begin() + 2), (std::vector<int>{1, 0}));
    EXPECT_EQ(two.dist, (std::vector<double>{0, 1, 3, INFINITY, INFINITY}));  // free ones shift on
}

TEST(NeighbourSearch, TiesKeepRowOrder)
{
    // Distances to 0: 2, 1, 0, 1, 0, 2.
    const std::vector<double> x = {2, -1, 0, 1, 0, -2};
    EXPECT_EQ(search(x, 6, 1, {0}, 6).index, (std::vector<int>{2, 4, 1, 3, 0, 5}));
    // Rows 1 and 3 compete for the last place: the smaller row stays.
    EXPECT_EQ(search(x, 6, 1, {0}, 3).index, (std::vector<int>{2, 4, 1}));
    // A weight of 0 ignores a dimension in the distance, not in the differences.
    const std::vector<double> x2 = {1, 2, 50, -90};
    const double w[] = {1, 0};
    neighbours nb = search(x2, 2, 2, {0, 0}, 2, w);
    EXPECT_EQ(nb.index, (std::vector<int>{0, 1}));
    EXPECT_EQ(nb.diff, x2);
}

TEST(NeighbourSearch, SecondQueryKeepsNoTraceOfTheFirst)
{
    const std::vector<double> x = {0, 1, 2, 3, 4};
    std::vector<double> diff(2), dist(4);
    std::vector<int> index(3);
    const double q1 = 0, q2 = 4;
    std::vector<double> all(5);
    neighbour_list list{dist.data() + 1, index.data(), 2, 0};
    find_neighbours(&list, diff.data(), all.data(), {x.data(), nullptr, 5}, {&q1, nullptr, 1});
    find_neighbours(&list, diff.data(), all.data(), {x.data(), nullptr, 5}, {&q2, nullptr, 1});
    EXPECT_EQ(std::vector<int>(index.begin(), index.begin() + 2), (std::vector<int>{4, 3}));
    EXPECT_EQ(diff, (std::vector<double>{0, -1}));
}

TEST(ConstantFamily, WorkedExampleRecursiveForm)
{
    // Targets 1, 3, 2, 7: counts 2, 3, 4 give E = 4, 1.5, 83/9, means 2, 2, 3.25.
    owned_list all = constant_list({1, 3, 2, 7}, 2, 4, 0, 3);
    EXPECT_EQ(all.error(0), 1.5);
    EXPECT_EQ(all.error(1), 4.0);
    EXPECT_EQ(all.error(2), (16 * 1.5) / 27 + 25.0 / 3);
    EXPECT_NEAR(all.error(2), 83.0 / 9, 1e-14);
    EXPECT_EQ(all.predictions, (std::vector<double>{2, 2, 3.25, 0}));
    // Per-family mode, n_c = 2: (1.5, mean 2 from count 3), then (4, mean 2).
    owned_list two = constant_list({1, 3, 2, 7}, 2, 4, 0, 2);
    EXPECT_EQ(two.error(0), 1.5);
    EXPECT_EQ(two.error(1), 4.0);
}

TEST(ConstantFamily, WorkedExampleWindowForm)
{
    owned_list w2 = constant_list({1, 3, 2, 7}, 2, 4, 2, 3);
    EXPECT_EQ(w2.error(0), 4.0);
    EXPECT_EQ(w2.error(1), 4.0);
    EXPECT_EQ(w2.error(2), 10.25);
    EXPECT_EQ(w2.predictions, (std::vector<double>{2, 2, 3.25, 0}));  // equal errors: count order
    owned_list w3 = constant_list({1, 3, 2, 7}, 2, 4, 3, 3);
    EXPECT_EQ(w3.error(0), 3.0);
    EXPECT_EQ(w3.error(1), 4.0);
    EXPECT_EQ(w3.error(2), 10.03125);
}

TEST(ConstantFamily, EqualTargetsAndTwoNeighbours)
{
    owned_list equal = constant_list({5, 5, 5, 5}, 2, 4, 0, 3);
    EXPECT_EQ(equal.error(0), 0.0);
    EXPECT_EQ(equal.error(2), 0.0);
    owned_list two = constant_list({1.5, -2}, 2, 2, 0, 1);
    EXPECT_EQ(two.error(0), 3.5 * 3.5);
    EXPECT_EQ(two.predictions[0], (1.5 + -2) / 2);
}

TEST(CandidateList, InsertionOrderRowsAndOverflow)
{
    owned_list g(2, 3, true);
    const double lin[] = {7, 8};
    const double quad[] = {1, 2, 3};
    insert_candidate(&g.list, 2.0, 10, lin, 2);   // row: c, then zeros
    insert_candidate(&g.list, 2.0, 11, quad, 3);  // equal error: stays behind
    insert_candidate(&g.list, 3.0, 12, quad, 3);  // worse than a full list: dropped
    insert_candidate(&g.list, NAN, 13, quad, 3);  // not a number: never enters
    EXPECT_EQ(g.predictions[0], 10);
    EXPECT_EQ(g.predictions[1], 11);
    EXPECT_EQ(g.row(0), (std::vector<double>{7, 8, 0}));
    EXPECT_EQ(g.row(1), (std::vector<double>{1, 2, 3}));
    insert_candidate(&g.list, 1.0, 14, lin, 1);
    EXPECT_EQ(g.predictions[0], 14);
    EXPECT_EQ(g.row(0), (std::vector<double>{7, 0, 0}));
    EXPECT_EQ(g.error(1), 2.0);
    EXPECT_EQ(g.predictions[1], 10);
}

TEST(LinearFamily, WorkedExample)
{
    // n = 1, cov_init = 1: neighbours d = 0.5 (target 1) and d = -1 (target 3).
    std::vector<double> P;
    owned_list two = linear_list({0.5, -1}, {1, 3}, 2, 2, 0, 1.0, &P);
    EXPECT_NEAR(two.predictions[0], 31.0 / 26, 1e-15);
    EXPECT_NEAR(two.row(0)[1], -11.0 / 13, 1e-15);
    EXPECT_NEAR(P[0], 9.0 / 26, 1e-15);
    EXPECT_NEAR(P[1], 1.0 / 13, 1e-15);
    EXPECT_NEAR(P[2], 1.0 / 13, 1e-15);
    EXPECT_NEAR(P[3], 6.0 / 13, 1e-15);
    EXPECT_NEAR(two.error(0), 2581.0 / 648, 1e-14);  // r = 1/2, 25/9

    // A third neighbour d = 2, target 0; counts 2 and 3.
    owned_list three = linear_list({0.5, -1, 2}, {1, 3, 0}, 2, 3, 0, 1.0);
    const double e3 = ((2.0 / 17) * (2.0 / 17) + (47.0 / 19) * (47.0 / 19) + 0.25) / 3;
    EXPECT_NEAR(three.error(0), e3, 1e-14);
    EXPECT_NEAR(e3, 2.127651, 1e-6);
    EXPECT_NEAR(three.predictions[0], 115.0 / 91, 1e-15);
    EXPECT_NEAR(three.error(1), 2581.0 / 648, 1e-14);

    // Window 2: count 2 as before, count 3 scores two residuals over 3.
    owned_list window = linear_list({0.5, -1, 2}, {1, 3, 0}, 2, 3, 2, 1.0);
    const double w3 = ((2.0 / 17) * (2.0 / 17) + (47.0 / 19) * (47.0 / 19)) / 3;
    EXPECT_NEAR(window.error(0), w3, 1e-14);
    EXPECT_NEAR(w3, 2.044318, 1e-6);
    EXPECT_EQ(window.error(1), two.error(0));
    // A window at least k_max is the same as no window.
    owned_list wide = linear_list({0.5, -1, 2}, {1, 3, 0}, 2, 3, 3, 1.0);
    EXPECT_EQ(wide.errors, three.errors);
}

TEST(LinearFamily, ZeroCovInitPredictsZero)
{
    owned_list z = linear_list({0.5, -1, 2}, {1, 3, 0}, 3, 3, 0, 0.0);
    EXPECT_EQ(z.predictions[0], 0.0);
    EXPECT_EQ(z.error(0), (1.0 + 9.0 + 0.0) / 3);
    owned_list zw = linear_list({0.5, -1, 2}, {1, 3, 0}, 3, 3, 2, 0.0);
    EXPECT_EQ(zw.error(0), (1.0 + 9.0) / 3);
}

TEST(Combination, WorkedExampleAndZeroErrors)
{
    owned_list g(2, 1, false);
    insert_candidate(&g.list, 1.0, 2, nullptr, 0);
    insert_candidate(&g.list, 3.0, 6, nullptr, 0);
    settings s{};
    s.G = 2;
    s.n_coef = 1;
    candidate_lists lists{};
    lists.global = g.list;
    double y;
    combine(&y, nullptr, nullptr, lists, s);
    EXPECT_EQ(y, 3.0);  // A = 4/3, B = 4

    // Two zero errors among large ones: their plain average.
    owned_list z(3, 1, false);
    insert_candidate(&z.list, 0.0, 2, nullptr, 0);
    insert_candidate(&z.list, 0.0, 4, nullptr, 0);
    insert_candidate(&z.list, 1e3, 100, nullptr, 0);
    s.G = 3;
    lists.global = z.list;
    combine(&y, nullptr, nullptr, lists, s);
    EXPECT_NEAR(y, 3.0, 1e-15);

    // Every position free: 0/0.
    owned_list empty(1, 1, false);
    s.G = 1;
    lists.global = empty.list;
    combine(&y, nullptr, nullptr, lists, s);
    EXPECT_TRUE(std::isnan(y));
}

TEST(Combination, PerFamilyCoefficientsPoolAllKeptCandidates)
{
    // n = 1: a constant candidate adds only to row 0, but its weight counts.
    owned_list c(1, 1, false), l(1, 2, true);
    const double mean = 4, theta[] = {2, 6};
    insert_candidate(&c.list, 1.0, mean, &mean, 1);
    insert_candidate(&l.list, 1.0, 2, theta, 2);
    settings s{};
    s.G = 0;
    s.n_coef = 2;
    s.family[constant_family] = family(1, 2, 2, 0, 1);
    s.family[linear_family] = family(2, 2, 2, 0, 1);
    candidate_lists lists{};
    lists.family[constant_family] = c.list;
    lists.family[linear_family] = l.list;
    double y, coefs[2], accum[2];
    combine(&y, coefs, accum, lists, s);
    EXPECT_EQ(y, 3.0);
    EXPECT_EQ(coefs[0], 3.0);
    EXPECT_EQ(coefs[1], 3.0);  // the slope 6 halved by the constant's weight
}
