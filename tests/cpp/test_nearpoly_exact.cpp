// nearpoly against plain transcriptions of its evaluation order, bit for
// bit, so that the faster loop structure of the plug-in is proven to give
// the same numbers: the neighbour search and the recursive fits on their
// own, then whole calls through the gateway, the constant family's
// recursive and window forms, the candidate lists and the combination
// included, on random data with ties and repeated examples.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <string>
#include <utility>

#include "core/common/simd.h"
#include "core/nearpoly/stages.h"
#include "core/nearpoly/tree.h"
#include "fit_buffers.h"
#include "helpers.h"
#include "host/standalone/gateways.h"
#include "levels.h"
#include "plain_search.h"

using namespace localmodels::nearpoly;
using namespace localmodels::nearpoly::detail;
using namespace testing_helpers;
namespace simd = localmodels::simd;
using plain_search::neighbour_rows;

namespace {

// The recursion and its score as written, each sum over b innermost.
struct plain_candidate {
    double E;
    std::vector<double> theta;
};

// With `state`, also the final P followed by the final theta.
std::vector<plain_candidate> plain_fits(const std::vector<double>& diff,
                                        const std::vector<int>& index, const std::vector<double>& y,
                                        int N, int n, bool quadratic, int k_min, int k_max, int w,
                                        double cov, std::vector<double>* state = nullptr)
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
    if (state) {
        *state = P;
        state->insert(state->end(), theta.begin(), theta.end());
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
            std::vector<double> diff(K * n), dist(K + 2, 0.0), diff2(N * n), dist2(K + 2, 0.0);
            std::vector<int> index(K + 1), index2(K + 1);
            std::vector<double> all(N);
            std::vector<double> point(n);
            for (int j = 0; j < n; ++j) point[j] = q[qi + j * M];
            neighbour_list list{dist.data() + 1, index.data(), K, 0};
            find_neighbours(&list, diff.data(), all.data(), {x.data(), nullptr, N},
                            {point.data(), weights, n});
            plain_search::search(diff2, index2, dist2, x, q, qi, M, weights, N, n, K);
            EXPECT_EQ(diff, neighbour_rows(diff2, index2, N, n, K));
            EXPECT_EQ(std::vector<int>(index.begin(), index.begin() + K),
                      std::vector<int>(index2.begin(), index2.begin() + K));
            EXPECT_EQ(std::vector<double>(dist.begin(), dist.begin() + K + 1),
                      std::vector<double>(dist2.begin(), dist2.begin() + K + 1));
        }
    }
}

namespace {

// One family scan: differences of N examples, the neighbour order, targets.
struct fit_case {
    int N, n, k_min, k_max, w;
    bool quadratic;
    double cov;
    std::vector<double> diff, y;
    std::vector<int> index;
};

// fit_family on `level` against the plain order: every list entry, and the
// final P and theta, bit for bit (NaNs where the plain order has them).
void expect_fits_match(const fit_case& c, simd::level level, const std::string& what)
{
    SCOPED_TRACE(what + " on " + simd::name(level));
    const int m = c.quadratic ? (c.n + 1) * (c.n + 2) / 2 : c.n + 1;
    const int count = c.k_max - c.k_min + 1;
    const family_settings f{m, c.k_min, c.k_max, count, c.w, count, true};
    fit_buffers b(m, c.k_max, level);
    const int L = count;
    std::vector<double> errors(L + 2, 0.0), predictions(L + 1), coefs((L + 1) * m);
    std::vector<double> errors2 = errors, predictions2 = predictions, coefs2 = coefs;
    candidate_list got{errors.data() + 1, predictions.data(), coefs.data(), L, m};
    candidate_list expected{errors2.data() + 1, predictions2.data(), coefs2.data(), L, m};
    reset_list(&got, true);
    reset_list(&expected, true);
    const std::vector<double> near = neighbour_rows(c.diff, c.index, c.N, c.n, c.k_max);
    fit_family(&got, &b.fs, f, c.quadratic, {c.index.data(), near.data(), c.y.data(), c.k_max, c.n},
               c.cov);
    std::vector<double> state;
    for (const plain_candidate& p : plain_fits(c.diff, c.index, c.y, c.N, c.n, c.quadratic, c.k_min,
                                               c.k_max, c.w, c.cov, &state))
        insert_candidate(&expected, p.E, p.theta[0], p.theta.data(), m);
    EXPECT_TRUE(bitwise_equal(errors, errors2));
    EXPECT_TRUE(bitwise_equal(predictions, predictions2));
    EXPECT_TRUE(bitwise_equal(coefs, coefs2));
    std::vector<double> final_state = b.covariance();
    const std::vector<double> theta = b.parameters();
    final_state.insert(final_state.end(), theta.begin(), theta.end());
    EXPECT_TRUE(bitwise_equal(final_state, state));
}

// n inputs, k_min ... k_max neighbours, window w, on N = k_max + extra
// examples: continuous, on a coarse grid, or with repeated rows and rows at
// the query itself; the neighbours in a random order.
fit_case random_fit_case(lcg& rng, int n, bool quadratic, int k_min, int k_max, int w, double cov)
{
    fit_case c{k_max + 1 + rng.below(4), n, k_min, k_max, w, quadratic, cov, {}, {}, {}};
    const int kind = rng.below(3);
    c.diff.assign(static_cast<std::size_t>(c.N) * n, 0.0);
    for (int i = 0; i < c.N; ++i) {
        const int copy = kind == 2 && i > 0 && rng.below(3) == 0 ? rng.below(i) : -1;
        const bool at_query = kind == 2 && rng.below(8) == 0;
        for (int j = 0; j < n; ++j)
            c.diff[i + j * c.N] = copy >= 0   ? c.diff[copy + j * c.N]
                                  : at_query  ? 0.0
                                  : kind == 1 ? std::round(rng.uniform(-2, 2))
                                              : rng.uniform(-1, 1);
    }
    for (int i = 0; i < c.N; ++i)
        c.y.push_back(kind == 1 ? std::round(rng.uniform(-6, 6)) / 2 : rng.uniform(-3, 3));
    c.index.resize(c.N);
    std::iota(c.index.begin(), c.index.end(), 0);
    for (int i = c.N - 1; i > 0; --i) std::swap(c.index[i], c.index[rng.below(i + 1)]);
    return c;
}

}  // namespace

TEST(NearpolyExact, RecursiveFitsMatchThePlainOrder)
{
    const std::vector<simd::level> levels = runnable_levels();
    lcg rng(37);
    for (int trial = 0; trial < 30; ++trial) {
        const int n = trial % 4;
        const bool quadratic = trial % 2 == 0;
        const int k_max = 2 + trial % 13, k_min = 2 + trial % std::max(1, k_max - 1);
        const int w = trial % 3 == 0 ? 2 + trial % 4 : 0;
        const double cov = trial % 5 == 0 ? 0.5 : 1e6;
        const fit_case c = random_fit_case(rng, n, quadratic, k_min, k_max, w, cov);
        for (simd::level l : levels) expect_fits_match(c, l, "trial " + std::to_string(trial));
    }
}

// Up to eight inputs (45 quadratic parameters), neighbour counts that end
// anywhere in a group of vectors, windows, and priors that are zero,
// negative, huge (P and theta overflow to infinities and NaNs) or tiny.
TEST(NearpolyExact, WideFitsMatchThePlainOrderOnEveryLevel)
{
    const std::vector<simd::level> levels = runnable_levels();
    const double covs[] = {1e6, 0.5, 0.0, -1.0, 1e300, 1e-300, 3e3};
    lcg rng(41);
    for (int trial = 0; trial < 120; ++trial) {
        const int n = trial % 9;
        const bool quadratic = trial % 2 == 1;
        const int m = quadratic ? (n + 1) * (n + 2) / 2 : n + 1;
        const int k_max = 2 + rng.below(m > 20 ? 40 : 60), k_min = 2 + rng.below(k_max - 1);
        const int w = rng.below(3) == 0 ? 2 + rng.below(30) : 0;
        const double cov = covs[rng.below(7)];
        const fit_case c = random_fit_case(rng, n, quadratic, k_min, k_max, w, cov);
        const std::string what = "trial " + std::to_string(trial) + ": n=" + std::to_string(n) +
                                 " k " + std::to_string(k_min) + "-" + std::to_string(k_max) +
                                 " w=" + std::to_string(w) + " cov=" + std::to_string(cov);
        for (simd::level l : levels) expect_fits_match(c, l, what);
    }
    // The benchmarks' ranges: many groups of neighbours per score.
    const int ranges[][5] = {{8, 1, 120, 140, 0},
                             {8, 1, 130, 134, 100},
                             {3, 1, 30, 50, 0},
                             {3, 0, 12, 20, 0},
                             {6, 1, 84, 90, 0}};
    for (const auto& r : ranges) {
        const fit_case c = random_fit_case(rng, r[0], r[1] != 0, r[2], r[3], r[4], 1e6);
        for (simd::level l : levels) expect_fits_match(c, l, "n=" + std::to_string(r[0]));
    }
}

// Parameter counts that fill whole blocks of columns on every level (the
// products P x go four vectors at a time: 8 doubles on SSE2 and NEON, 16 on
// AVX2, 32 on AVX-512), and the counts around them: the linear family at
// n = 7, 15, 31 and 63, the quadratic one at n = 14, 15, 30 and 31 (120,
// 136, 496 and 528 parameters), on every level against the plain order.
TEST(NearpolyExact, FitsOfWholeBlocksMatchThePlainOrderOnEveryLevel)
{
    const std::vector<simd::level> levels = runnable_levels();
    const int linear[] = {6, 7, 8, 14, 15, 16, 30, 31, 32, 63};
    const int quadratic[] = {14, 15, 30, 31};
    lcg rng(43);
    for (int trial = 0; trial < 14; ++trial) {
        const bool q = trial >= 10;
        const int n = q ? quadratic[trial - 10] : linear[trial];
        const int m = q ? (n + 1) * (n + 2) / 2 : n + 1;
        // More neighbours than parameters for the small counts; a few, with
        // a window, for the large ones (every level scores in groups).
        const int k_max = m > 100 ? 5 + trial % 3 : m + 5 + rng.below(20);
        const int k_min = 2 + rng.below(k_max - 1), w = trial % 3 == 0 ? 3 : 0;
        const fit_case c = random_fit_case(rng, n, q, k_min, k_max, w, trial % 2 ? 1e6 : 0.5);
        const std::string what = "n=" + std::to_string(n) + (q ? " quadratic" : " linear") + ", " +
                                 std::to_string(m) + " parameters";
        for (simd::level l : levels) expect_fits_match(c, l, what);
    }
}

// --- The whole call, through the gateway ---------------------------------

namespace {

// The settings the documentation derives from id_par (3-by-cols, column-
// major) and comb_par (empty when not passed), for finite entries of
// moderate size.
struct plain_settings {
    int m[3], k_min[3], k_max[3], window[3], keep[3];
    bool active[3];
    int G, n_coef, K;
};

plain_settings plain_decode(const std::vector<double>& id, int cols,
                            const std::vector<double>& comb, int N, int n)
{
    plain_settings s{{1, n + 1, (n + 2) * (n + 1) / 2}, {}, {}, {}, {}, {}, 1, 1, 0};
    for (int f = 0; f < 3; ++f) {
        const double first = id[f] > 0 ? id[f] : 0.0;
        s.window[f] = 0;
        if (cols == 1) {
            s.k_max[f] = first == 0 ? 0 : static_cast<int>(std::ceil((5 * s.m[f]) * first));
            s.k_min[f] = first == 0 ? 0 : static_cast<int>(std::floor((3 * s.m[f]) * first));
        } else {
            s.k_min[f] = static_cast<int>(first);
            s.k_max[f] = std::max(static_cast<int>(id[3 + f]), 0);
            if (cols == 3) {
                s.window[f] = std::max(static_cast<int>(id[6 + f]), 0);
                if (s.window[f] == 1) s.window[f] = 2;
            }
        }
        s.k_min[f] = std::max(s.k_min[f], 2);
        s.k_max[f] = std::min(s.k_max[f], N);
        s.active[f] = s.k_max[f] - s.k_min[f] + 1 >= 1;
        s.K = std::max(s.K, s.k_max[f]);
    }
    auto count = [&](int f) { return s.k_max[f] - s.k_min[f] + 1; };
    if (comb.size() == 1) {
        int total = 0;
        for (int f = 0; f < 3; ++f) total += s.active[f] ? count(f) : 0;
        s.G = std::min(std::abs(static_cast<int>(comb[0])), total);
    } else if (comb.size() == 3) {
        s.G = 0;
        for (int f = 0; f < 3; ++f) {
            s.keep[f] = s.active[f] ? std::min(std::abs(static_cast<int>(comb[f])), count(f)) : 0;
            s.active[f] = s.keep[f] >= 1;
        }
    }
    s.n_coef = s.active[2] ? s.m[2] : s.active[1] ? s.m[1] : 1;
    return s;
}

double square(double v)
{
    return v * v;
}

// The constant family for one query: (error, mean) for the neighbour counts
// k_min ... k_max in increasing order; y[t] is the target of neighbour t.
std::vector<std::pair<double, double>> plain_constant(const std::vector<double>& y, int k_min,
                                                      int k_max, int window)
{
    std::vector<std::pair<double, double>> out;
    double mean = y[0], E = 1.0;
    for (int k = 1; k <= k_max - 1; ++k) {
        const double kk = k;
        if (window == 0) {
            E = square(kk - 1) * (kk + 1) * E / (kk * kk * kk) + square(y[k] - mean) / kk;
            mean = (kk * mean + y[k]) / (kk + 1);
        } else {
            mean = (kk * mean + y[k]) / (kk + 1);
            const int L = std::min(window, k + 1);
            double S = 0.0;
            for (int t = 0; t < L; ++t) S = S + square(mean - y[t]);
            E = L * S / (L - 1);
        }
        if (k + 1 >= k_min) out.emplace_back(E, mean);
    }
    return out;
}

// A candidate list of length L as documented: errors[0] the head sentinel,
// errors[m + 1] and predictions[m] position m, position L the overflow;
// rows of r coefficients (r = 0: none).
struct plain_list {
    int L, r;
    std::vector<double> errors, predictions, rows;
    plain_list(int L_, int r_)
        : L(L_), r(r_), errors(L_ + 2, 0.0), predictions(L_ + 1, 0.0), rows((L_ + 1) * r_, 0.0)
    {
    }
    void reset(bool clear_rows)
    {
        for (int m = 1; m <= L; ++m) errors[m] = INFINITY;
        if (clear_rows) std::fill(rows.begin(), rows.end(), 0.0);
    }
    void insert(double e, double v, const std::vector<double>& c)
    {
        int m = L;
        while (e < errors[m]) {
            errors[m + 1] = errors[m];
            predictions[m] = predictions[m - 1];
            for (int j = 0; j < r; ++j) rows[m * r + j] = rows[(m - 1) * r + j];
            --m;
        }
        errors[m + 1] = e;
        predictions[m] = v;
        for (int j = 0; j < r; ++j) rows[m * r + j] = j < static_cast<int>(c.size()) ? c[j] : 0.0;
    }
};

struct plain_outputs {
    std::vector<double> y, coefs;
};

// Every query as documented: the neighbour search, the families in the
// order constant, linear, quadratic, then the inverse-error combination.
// data_x (N-by-n) and query_x (M-by-n) are column-major.
plain_outputs plain_nearpoly(const std::vector<double>& data_x, const std::vector<double>& data_y,
                             const std::vector<double>& query_x, int N, int n, int M,
                             const double* weights, const plain_settings& s, double cov,
                             bool want_coefs)
{
    plain_list global(s.G, want_coefs ? s.n_coef : 0);
    std::vector<plain_list> family;
    for (int f = 0; f < 3; ++f) family.emplace_back(s.keep[f], want_coefs && f > 0 ? s.m[f] : 0);
    plain_outputs out{std::vector<double>(M), std::vector<double>(want_coefs ? s.n_coef * M : 0)};
    std::vector<double> diff(N * n), dist(s.K + 2, 0.0);
    std::vector<int> index(s.K + 1);
    for (int q = 0; q < M; ++q) {
        bool finite = true;
        for (int j = 0; j < n; ++j) finite = finite && std::isfinite(query_x[q + j * M]);
        if (!finite) {
            // No distance is defined: NaN, in both outputs.
            out.y[q] = NAN;
            for (int j = 0; want_coefs && j < s.n_coef; ++j) out.coefs[q * s.n_coef + j] = NAN;
            continue;
        }
        plain_search::search(diff, index, dist, data_x, query_x, q, M, weights, N, n, s.K);
        if (s.G > 0) global.reset(true);
        for (int f = 0; f < 3; ++f) {
            if (!s.active[f]) continue;
            plain_list& list = s.G > 0 ? global : family[f];
            if (s.G == 0) list.reset(false);
            if (f == 0) {
                std::vector<double> y;
                for (int t = 0; t < s.k_max[f]; ++t) y.push_back(data_y[index[t]]);
                for (const auto& c : plain_constant(y, s.k_min[f], s.k_max[f], s.window[f]))
                    list.insert(c.first, c.second, {c.second});
            } else {
                const std::vector<plain_candidate> fits = plain_fits(
                    diff, index, data_y, N, n, f == 2, s.k_min[f], s.k_max[f], s.window[f], cov);
                for (const plain_candidate& c : fits) list.insert(c.E, c.theta[0], c.theta);
            }
        }
        double A = 0.0, B = 0.0;
        std::vector<double> acc(s.n_coef, 0.0);
        auto add = [&](const plain_list& list, int width) {
            for (int m = 0; m < list.L; ++m) {
                const double e = list.errors[m + 1] == 0.0 ? 1e-20 : list.errors[m + 1];
                const double v = list.predictions[m];
                for (int j = 0; want_coefs && j < width; ++j)
                    acc[j] = acc[j] + (list.r > 0 ? list.rows[m * list.r + j] : v) / e;
                B = B + v / e;
                A = A + 1 / e;
            }
        };
        if (s.G > 0) {
            add(global, s.n_coef);
        } else {
            for (int f = 0; f < 3; ++f)
                if (s.active[f]) add(family[f], s.m[f]);
        }
        for (int j = 0; want_coefs && j < s.n_coef; ++j) out.coefs[q * s.n_coef + j] = acc[j] / A;
        out.y[q] = B / A;
    }
    return out;
}

template <class T, std::size_t K>
T pick(lcg& rng, const T (&values)[K])
{
    return values[rng.below(static_cast<int>(K))];
}

// A random nearpoly call. Examples and targets come continuous, on a coarse
// grid (ties in distance and in value), with repeated rows, or constant;
// queries anywhere, at an example or between two.
struct near_problem {
    int N, n, M;
    std::vector<double> x, y, q;  // column-major
    std::vector<double> id;
    int id_cols;
    std::vector<double> comb;     // empty: not passed
    std::vector<double> weights;  // empty: not passed
    int nrhs, nlhs;
    double cov;
};

void random_data(lcg& rng, near_problem& pb)
{
    const int N = pb.N, n = pb.n;
    const bool coarse = rng.below(2) == 0;
    pb.x.assign(N * n, 0.0);
    for (int i = 0; i < N; ++i) {
        const int copy = i > 0 && rng.below(4) == 0 ? rng.below(i) : -1;
        for (int j = 0; j < n; ++j)
            pb.x[i + j * N] = copy >= 0 ? pb.x[copy + j * N]
                              : coarse  ? std::round(rng.uniform(-3, 3))
                                        : rng.uniform(-2, 2);
    }
    const int targets = rng.below(5);
    const double offset = pick(rng, {0.0, 0.0, 1000.0, -0.001});
    for (int i = 0; i < N; ++i) {
        double v = targets == 0   ? std::round(rng.uniform(-8, 8)) / 4  // ties
                   : targets == 1 ? 2.5                                 // all equal
                                  : rng.uniform(-5, 5);
        if (targets == 2 && i > 0 && rng.below(3) == 0) v = pb.y[rng.below(i)];
        pb.y.push_back(v + offset);
    }
    pb.q.assign(pb.M * n, 0.0);
    for (int t = 0; t < pb.M; ++t) {
        const int kind = rng.below(3), a = rng.below(N), b = rng.below(N);
        for (int j = 0; j < n; ++j)
            pb.q[t + j * pb.M] = kind == 0   ? rng.uniform(-2.5, 2.5)
                                 : kind == 1 ? pb.x[a + j * N]
                                             : (pb.x[a + j * N] + pb.x[b + j * N]) / 2;
    }
    if (rng.below(3) == 0)
        for (int j = 0; j < n; ++j) pb.weights.push_back(pick(rng, {0.0, 0.5, 1.0, 2.0, 0.3}));
}

// The optional inputs: comb_par, then cov_init and weights (either may be
// passed empty, which keeps its default).
void random_tail(lcg& rng, near_problem& pb, int nrhs)
{
    pb.nrhs = nrhs;
    pb.nlhs = 1 + rng.below(2);
    pb.cov = nrhs >= 6 && rng.below(2) == 0 ? pick(rng, {10.0, 0.5, 1e6, 3e3}) : 1e6;
    if (nrhs < 7) pb.weights.clear();
}

// Only the constant family: one factor, an explicit range, or a range and a
// window, the other families off by a 0, a negative entry or an empty range.
near_problem constant_problem(lcg& rng)
{
    for (;;) {
        near_problem pb{};
        pb.N = 2 + rng.below(50);
        pb.n = rng.below(4);
        pb.M = 1 + rng.below(4);
        random_data(rng, pb);
        pb.id_cols = 1 + rng.below(3);
        const double off = pick(rng, {0.0, -1.0});
        if (pb.id_cols == 1) {
            const double f = rng.below(3) == 0 ? rng.uniform(0.4, 5.0)
                                               : pick(rng, {1.0, 1.3, 0.5, 0.7, 2.0, 2.7, 3.3});
            pb.id = {f, off, off};
        } else {
            const int k_min = rng.below(6), k_max = k_min + rng.below(20);
            pb.id = {double(k_min), off, 3, double(k_max), off, 0};
            if (pb.id_cols == 3) {
                // Windows of 6, 7 and from 10 on are where the order of the
                // error's multiplication and division shows: for other
                // widths L or L - 1 is a power of two.
                const double w = pick(rng, {0.0, 1.0, 2.0, 2.9, 3.0, 4.0, 6.0, 7.0, 7.0, 10.0, 13.0,
                                            100.0, 100.0, -2.0});
                pb.id.insert(pb.id.end(), {w, 0.0, 5.0});
            }
        }
        // Mostly several candidates combined: with a single one the errors
        // show in the output only through (v/e)/(1/e).
        const int nrhs = rng.below(8) == 0 ? 4 : 5 + rng.below(3);
        if (nrhs >= 5)
            pb.comb = rng.below(2) == 0
                          ? std::vector<double>{pick(rng, {1.0, 2.0, 3.0, 5.0, -2.0, 100.0, 2.9})}
                          : std::vector<double>{pick(rng, {1.0, 2.0, 3.0, -4.0, 50.0}), 0, 5};
        random_tail(rng, pb, nrhs);
        const plain_settings s = plain_decode(pb.id, pb.id_cols, pb.comb, pb.N, pb.n);
        if (s.active[0]) return pb;
    }
}

// The k_min, no-k_max and k_max draws of random_id_par: 2 + below(k_min)
// neighbours at least; none at most one time in `none`, else up to
// below(k_span) more.
struct id_spans {
    int k_min, none, k_span;
};

// id_par in one of its three forms: a column of factors from `factors`;
// ranges; or ranges and windows from `windows`.
template <std::size_t F, std::size_t W>
void random_id_par(lcg& rng, near_problem& pb, const double (&factors)[F], id_spans spans,
                   const double (&windows)[W])
{
    pb.id_cols = 1 + rng.below(3);
    if (pb.id_cols == 1) {
        for (int f = 0; f < 3; ++f) pb.id.push_back(pick(rng, factors));
        return;
    }
    std::vector<double> k_min, k_max;
    for (int f = 0; f < 3; ++f) {
        k_min.push_back(2 + rng.below(spans.k_min));
        k_max.push_back(rng.below(spans.none) == 0 ? 0 : k_min.back() + rng.below(spans.k_span));
    }
    pb.id = k_min;
    pb.id.insert(pb.id.end(), k_max.begin(), k_max.end());
    if (pb.id_cols == 3)
        for (int f = 0; f < 3; ++f) pb.id.push_back(pick(rng, windows));
}

// Every family may take part: ranges from factors or explicit, windows,
// global or per-family combination, several prior covariances.
near_problem mixed_problem(lcg& rng)
{
    for (;;) {
        near_problem pb{};
        pb.n = 1 + rng.below(2);
        pb.N = 10 + rng.below(45);
        pb.M = 1 + rng.below(3);
        random_data(rng, pb);
        random_id_par(rng, pb, {0.0, 0.5, 1.0, 1.0, 1.3}, {6, 5, 9},
                      {0.0, 1.0, 2.0, 3.0, 5.0, 6.0, 7.0, 10.0});
        const int nrhs = rng.below(8) == 0 ? 4 : 5 + rng.below(3);
        if (nrhs >= 5)
            pb.comb = rng.below(2) == 0
                          ? std::vector<double>{pick(rng, {1.0, 2.0, 3.0, 5.0, 100.0})}
                          : std::vector<double>{double(rng.below(4)), double(rng.below(4)),
                                                double(rng.below(4))};
        random_tail(rng, pb, nrhs);
        const plain_settings s = plain_decode(pb.id, pb.id_cols, pb.comb, pb.N, pb.n);
        if ((s.active[0] || s.active[1] || s.active[2]) && (pb.comb.size() != 1 || s.G > 0))
            return pb;
    }
}

// Both outputs of the problem in the plain order.
plain_outputs plain_order(const near_problem& pb)
{
    const plain_settings s = plain_decode(pb.id, pb.id_cols, pb.comb, pb.N, pb.n);
    return plain_nearpoly(pb.x, pb.y, pb.q, pb.N, pb.n, pb.M,
                          pb.weights.empty() ? nullptr : pb.weights.data(), s, pb.cov,
                          pb.nlhs >= 2);
}

// Runs the gateway on the problem and compares both outputs with the plain
// order's, bit for bit.
void expect_outputs(const near_problem& pb, const plain_outputs& expected, const std::string& what)
{
    SCOPED_TRACE(what);
    array x = standalone::make_matrix(pb.N, pb.n, pb.x), y = standalone::make_matrix(pb.N, 1, pb.y),
          q = standalone::make_matrix(pb.M, pb.n, pb.q),
          id = standalone::make_matrix(3, pb.id_cols, pb.id),
          comb = standalone::make_matrix(1, pb.comb.size(), pb.comb),
          cov = pb.cov == 1e6 ? standalone::make_empty() : standalone::make_scalar(pb.cov),
          w = standalone::make_matrix(pb.weights.size(), 1, pb.weights);
    std::vector<const array*> in = {&x, &y, &q, &id, &comb, &cov, &w};
    in.resize(pb.nrhs);
    const call_result r = run(nearpoly_gateway, pb.nlhs, in);
    ASSERT_TRUE(r.ok) << r.error;

    const plain_settings s = plain_decode(pb.id, pb.id_cols, pb.comb, pb.N, pb.n);
    EXPECT_TRUE(bitwise_equal(output(r, 0), expected.y));
    if (pb.nlhs >= 2) {
        EXPECT_EQ(output_dims(r, 1), (std::vector<mwSize>{mwSize(s.n_coef), mwSize(pb.M)}));
        EXPECT_TRUE(bitwise_equal(output(r, 1), expected.coefs));
    }
}

// The same on every vector level this CPU runs.
void expect_plain_order(const near_problem& pb, const std::string& what)
{
    const plain_outputs expected = plain_order(pb);
    for (simd::level l : runnable_levels()) {
        scoped_env level("LOCALMODELS_SIMD", simd::name(l));
        expect_outputs(pb, expected, what + " on " + simd::name(l));
    }
}

std::string describe(int trial, const near_problem& pb)
{
    std::string id;
    for (double v : pb.id) id += " " + std::to_string(v);
    std::string comb;
    for (double v : pb.comb) comb += " " + std::to_string(v);
    return "trial " + std::to_string(trial) + ": N=" + std::to_string(pb.N) +
           " n=" + std::to_string(pb.n) + " id_par (" + std::to_string(pb.id_cols) +
           " columns):" + id + "; comb_par:" + comb + "; inputs " + std::to_string(pb.nrhs);
}

}  // namespace

// The constant family alone, recursive and window forms, through the
// gateway: the search, the leave-one-out update and running mean, the lists
// and the combination, against the plain order.
TEST(NearpolyExact, ConstantFamilyMatchesThePlainOrderBitForBit)
{
    lcg rng(1411);
    for (int trial = 0; trial < 400; ++trial) {
        const near_problem pb = constant_problem(rng);
        expect_plain_order(pb, describe(trial, pb));
    }
}

// All families together: constant candidates padded with zeros in the
// global list, ties between families, per-family lists pooled.
TEST(NearpolyExact, WholeCallMatchesThePlainOrderBitForBit)
{
    lcg rng(1412);
    for (int trial = 0; trial < 100; ++trial) {
        const near_problem pb = mixed_problem(rng);
        expect_plain_order(pb, describe(trial, pb));
    }
}

namespace {

// Up to eight inputs, queries with a NaN or infinite coordinate, every
// id_par form, global and per-family combination, priors that are zero,
// negative, huge or tiny, weights.
near_problem wide_problem(lcg& rng)
{
    const double covs[] = {1e6, 0.5, 0.0, -1.0, 1e300, 1e-300};
    const double bad[] = {std::nan(""), HUGE_VAL, -HUGE_VAL};
    for (;;) {
        near_problem pb{};
        pb.n = rng.below(9);
        pb.N = 12 + rng.below(pb.n > 5 ? 70 : 80);
        pb.M = 1 + rng.below(pb.n > 5 ? 4 : 9);
        random_data(rng, pb);
        for (int t = 1; t < pb.M && pb.n > 0; ++t)  // query 0 stays finite
            if (rng.below(5) == 0) pb.q[t + rng.below(pb.n) * pb.M] = bad[rng.below(3)];
        random_id_par(rng, pb, {0.0, 0.3, 0.5, 1.0, 1.3}, {8, 6, 40},
                      {0.0, 1.0, 2.0, 3.0, 5.0, 8.0, 13.0, 40.0});
        pb.nrhs = 5 + rng.below(3);
        pb.comb = rng.below(2) == 0
                      ? std::vector<double>{pick(rng, {1.0, 2.0, 3.0, 5.0, 100.0})}
                      : std::vector<double>{double(rng.below(4)), double(rng.below(4)),
                                            double(rng.below(4))};
        pb.nlhs = 1 + rng.below(2);
        pb.cov = pb.nrhs >= 6 ? covs[rng.below(6)] : 1e6;
        if (pb.nrhs < 7) pb.weights.clear();
        const plain_settings s = plain_decode(pb.id, pb.id_cols, pb.comb, pb.N, pb.n);
        if ((s.active[0] || s.active[1] || s.active[2]) && (pb.comb.size() != 1 || s.G > 0))
            return pb;
    }
}

// A mixed problem with enough examples to search through the tree.
near_problem tree_problem(lcg& rng)
{
    near_problem pb = mixed_problem(rng);
    pb.N = 4096 + rng.below(8000);
    pb.n = 1 + rng.below(3);
    pb.M = 50 + rng.below(20);
    pb.y.clear();
    pb.weights.clear();
    random_data(rng, pb);
    if (pb.nrhs < 7) pb.weights.clear();
    return pb;
}

}  // namespace

// Whole calls on every vector level this CPU runs and on 1, 2 and 7
// threads, against the plain order.
TEST(NearpolyExact, EveryLevelAndThreadCountGivesThePlainOrder)
{
    lcg rng(1413);
    for (int trial = 0; trial < 100; ++trial) {
        const near_problem pb = wide_problem(rng);
        const plain_outputs expected = plain_order(pb);
        for_each_setting([&](const setting& c) {
            scoped_env count("LOCALMODELS_THREADS", std::to_string(c.threads));
            expect_outputs(pb, expected,
                           describe(trial, pb) + " on " + simd::name(c.level) + ", " +
                               std::to_string(c.threads) + " threads");
        });
    }
}

// Calls with enough examples to search through the tree, on every vector
// level and on 1, 2 and 7 threads: the same bits as the plain order.
TEST(NearpolyExact, WholeCallThroughTheTreeMatchesThePlainOrderBitForBit)
{
    lcg rng(1413);
    for (int trial = 0; trial < 12; ++trial) {
        const near_problem pb = tree_problem(rng);
        const plain_settings s = plain_decode(pb.id, pb.id_cols, pb.comb, pb.N, pb.n);
        ASSERT_TRUE(use_tree(pb.N, pb.n, s.K, pb.M)) << describe(trial, pb);
        const plain_outputs expected = plain_order(pb);
        for_each_setting([&](const setting& c) {
            scoped_env count("LOCALMODELS_THREADS", std::to_string(c.threads));
            expect_outputs(pb, expected,
                           describe(trial, pb) + " on " + simd::name(c.level) + ", " +
                               std::to_string(c.threads) + " threads");
        });
    }
}
