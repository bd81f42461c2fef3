// nearpoly's neighbour search and recursive fits against plain
// transcriptions of their evaluation order, bit for bit, so that the faster
// loop structure of the plug-in is proven to give the same numbers.
#include <cmath>
#include <numeric>

#include "helpers.h"
#include "core/nearpoly/stages.h"
#include "host/standalone/gateways.h"

using namespace localmodels::nearpoly;
using namespace localmodels::nearpoly::detail;
using namespace testing_helpers;

namespace {

// The search as written: example by example, dimension by dimension.
void plain_search(std::vector<double>& diff, std::vector<int>& index, std::vector<double>& dist,
                  const std::vector<double>& x, const std::vector<double>& q, int q_row, int M,
                  const double* w, int N, int n, int K)
{
    for (int m = 1; m <= K; ++m) dist[m] = INFINITY;
    for (int i = 0; i < N; ++i) {
        double s = 0.0;
        for (int j = 0; j < n; ++j) {
            const double d = x[i + j * N] - q[q_row + j * M];
            diff[i + j * N] = d;
            s = w ? s + std::fabs(d) * w[j] : s + std::fabs(d);
        }
        int m = K;
        while (s < dist[m]) {
            dist[m + 1] = dist[m];
            index[m] = index[m - 1];
            --m;
        }
        dist[m + 1] = s;
        index[m] = i;
    }
}

// The recursion and its score as written, each sum over b innermost.
struct plain_candidate {
    double E;
    std::vector<double> theta;
};

std::vector<plain_candidate> plain_fits(const std::vector<double>& diff,
                                        const std::vector<int>& index,
                                        const std::vector<double>& y, int N, int n,
                                        bool quadratic, int k_min, int k_max, int w, double cov)
{
    const int m = quadratic ? (n + 1) * (n + 2) / 2 : n + 1;
    std::vector<std::vector<double>> X(k_max);
    for (int t = 0; t < k_max; ++t) {
        X[t].push_back(1.0);
        for (int j = 0; j < n; ++j) X[t].push_back(diff[index[t] + j * N]);
        if (quadratic)
            for (int a = 0; a < n; ++a)
                for (int b = a; b < n; ++b) X[t].push_back(X[t][1 + a] * X[t][1 + b]);
    }
    std::vector<double> P(m * m, 0.0), theta(m, 0.0), g(m);
    for (int a = 0; a < m; ++a) P[a * m + a] = cov;
    auto P_times = [&](int a, const std::vector<double>& x) {
        double h = 0.0;
        for (int b = 0; b < m; ++b) h = h + P[a * m + b] * x[b];
        return h;
    };
    std::vector<plain_candidate> out;
    for (int k = 1; k <= k_max; ++k) {
        const std::vector<double>& x = X[k - 1];
        const double target = y[index[k - 1]];
        for (int a = 0; a < m; ++a) g[a] = P_times(a, x);
        double delta = 1.0, e = target;
        for (int a = 0; a < m; ++a) delta = delta + g[a] * x[a];
        for (int a = 0; a < m; ++a) e = e - x[a] * theta[a];
        for (int a = 0; a < m; ++a)
            for (int b = 0; b < m; ++b) P[a * m + b] = P[a * m + b] - (g[a] * g[b]) / delta;
        for (int a = 0; a < m; ++a) theta[a] = theta[a] + e * P_times(a, x);
        if (k < k_min) continue;
        const int u = w != 0 && w < k ? w : k;
        double sum = 0.0;
        for (int t = 0; t < u; ++t) {
            double num = y[index[t]], den = 1.0;
            for (int a = 0; a < m; ++a) num = num - X[t][a] * theta[a];
            for (int a = 0; a < m; ++a) den = den - X[t][a] * P_times(a, X[t]);
            const double r = num / den;
            sum = sum + r * r;
        }
        out.push_back({sum / k, theta});
    }
    return out;
}

}  // namespace

TEST(NearpolyExact, NeighbourSearchMatchesThePlainOrder)
{
    lcg rng(31);
    for (int trial = 0; trial < 20; ++trial) {
        const int N = 1 + trial * 7, n = trial % 4, M = 3, K = std::max(1, N / 3);
        // Coarse values give ties; weights include 0.
        std::vector<double> x(N * n), q(M * n), w(n);
        for (double& v : x) v = std::round(rng.uniform(-4, 4));
        for (double& v : q) v = rng.uniform(-4, 4);
        for (double& v : w) v = std::round(rng.uniform(0, 2));
        for (int qi = 0; qi < M; ++qi) {
            const double* weights = trial % 2 ? w.data() : nullptr;
            std::vector<double> diff(N * n), dist(K + 2, 0.0), diff2(N * n), dist2(K + 2, 0.0);
            std::vector<int> index(K + 1), index2(K + 1);
            std::vector<double> all(N);
            find_neighbours(diff.data(), all.data(), index.data(), dist.data(), x.data(), q.data(),
                            qi, M, weights, N, n, K);
            plain_search(diff2, index2, dist2, x, q, qi, M, weights, N, n, K);
            EXPECT_EQ(diff, diff2);
            EXPECT_EQ(std::vector<int>(index.begin(), index.begin() + K),
                      std::vector<int>(index2.begin(), index2.begin() + K));
            EXPECT_EQ(std::vector<double>(dist.begin(), dist.begin() + K + 1),
                      std::vector<double>(dist2.begin(), dist2.begin() + K + 1));
        }
    }
}

TEST(NearpolyExact, RecursiveFitsMatchThePlainOrder)
{
    lcg rng(37);
    for (int trial = 0; trial < 30; ++trial) {
        const int n = trial % 4;
        const bool quadratic = trial % 2 == 0;
        const int m = quadratic ? (n + 1) * (n + 2) / 2 : n + 1;
        const int k_max = 2 + trial % 13, k_min = 2 + trial % std::max(1, k_max - 1);
        const int w = trial % 3 == 0 ? 2 + trial % 4 : 0;
        const double cov = trial % 5 == 0 ? 0.5 : 1e6;
        const int N = k_max + 2;
        const std::vector<double> diff = rng.uniform_vector(N * n, -1, 1),
                                  y = rng.uniform_vector(N, -3, 3);
        std::vector<int> index(N);
        std::iota(index.begin(), index.end(), 0);
        std::reverse(index.begin(), index.end());

        const family_settings f{m, k_min, k_max, k_max - k_min + 1, w, k_max - k_min + 1, true};
        std::vector<double> rows(k_max * m), targets(k_max), P(m * m), theta(m), gain(m);
        fit_storage fs{rows.data(), targets.data(), P.data(), theta.data(), gain.data()};
        const int L = f.count;
        std::vector<double> errors(L + 2, 0.0), predictions(L + 1), coefs((L + 1) * m);
        std::vector<double> errors2 = errors, predictions2 = predictions, coefs2 = coefs;
        candidate_list got{errors.data(), predictions.data(), coefs.data(), L, m};
        candidate_list expected{errors2.data(), predictions2.data(), coefs2.data(), L, m};
        reset_list(&got, true);
        reset_list(&expected, true);
        fit_family(&got, &fs, f, quadratic, diff.data(), index.data(), y.data(), N, n, cov);
        for (const plain_candidate& c :
             plain_fits(diff, index, y, N, n, quadratic, k_min, k_max, w, cov))
            insert_candidate(&expected, c.E, c.theta[0], c.theta.data(), m);
        EXPECT_EQ(errors, errors2) << "trial " << trial;
        EXPECT_EQ(predictions, predictions2) << "trial " << trial;
        EXPECT_EQ(coefs, coefs2) << "trial " << trial;
    }
}
