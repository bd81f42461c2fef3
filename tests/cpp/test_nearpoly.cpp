// nearpoly end to end through the standalone host: agreement of the
// recursion with a direct regularised least-squares solve, output shapes,
// scratch use, and refused or unusual inputs.
#include <cmath>
#include <numeric>

#include "core/nearpoly/stages.h"
#include "fit_buffers.h"
#include "helpers.h"
#include "host/standalone/gateways.h"

using namespace localmodels::nearpoly::detail;
using localmodels::nearpoly::family_settings;
using namespace testing_helpers;
using standalone::make_matrix;
using standalone::make_scalar;

namespace {

// Solves (XᵀX + I/cov) theta = Xᵀy for the k-by-m row-major X and returns
// theta, the inverse P, and E = sum over the u first rows of r_t^2, over k.
struct direct_fit {
    std::vector<double> theta, P;
    double E;
};

direct_fit solve_directly(const std::vector<double>& X, const std::vector<double>& y, int k, int m,
                          double cov, int u)
{
    // Gauss-Jordan on [A | I | Xᵀy] with partial pivoting.
    const int w = 2 * m + 1;
    std::vector<double> a(m * w, 0.0);
    for (int r = 0; r < m; ++r) {
        for (int s = 0; s < m; ++s)
            for (int t = 0; t < k; ++t) a[r * w + s] += X[t * m + r] * X[t * m + s];
        a[r * w + r] += 1 / cov;
        a[r * w + m + r] = 1;
        for (int t = 0; t < k; ++t) a[r * w + 2 * m] += X[t * m + r] * y[t];
    }
    for (int col = 0; col < m; ++col) {
        int pivot = col;
        for (int r = col + 1; r < m; ++r)
            if (std::fabs(a[r * w + col]) > std::fabs(a[pivot * w + col])) pivot = r;
        for (int s = 0; s < w; ++s) std::swap(a[col * w + s], a[pivot * w + s]);
        const double d = a[col * w + col];
        for (int s = 0; s < w; ++s) a[col * w + s] /= d;
        for (int r = 0; r < m; ++r) {
            if (r == col) continue;
            const double f = a[r * w + col];
            for (int s = 0; s < w; ++s) a[r * w + s] -= f * a[col * w + s];
        }
    }
    direct_fit fit{std::vector<double>(m), std::vector<double>(m * m), 0.0};
    for (int r = 0; r < m; ++r) {
        fit.theta[r] = a[r * w + 2 * m];
        for (int s = 0; s < m; ++s) fit.P[r * m + s] = a[r * w + m + s];
    }
    for (int t = 0; t < u; ++t) {
        double e = y[t], h = 0;
        for (int r = 0; r < m; ++r) {
            e -= X[t * m + r] * fit.theta[r];
            for (int s = 0; s < m; ++s) h += X[t * m + r] * fit.P[r * m + s] * X[t * m + s];
        }
        fit.E += (e / (1 - h)) * (e / (1 - h));
    }
    fit.E /= k;
    return fit;
}

// The regressor of a difference row, as the documentation lays it out.
std::vector<double> regressor(const std::vector<double>& d, bool quadratic)
{
    std::vector<double> x = {1};
    x.insert(x.end(), d.begin(), d.end());
    if (quadratic)
        for (std::size_t a = 0; a < d.size(); ++a)
            for (std::size_t b = a; b < d.size(); ++b) x.push_back(d[a] * d[b]);
    return x;
}

void expect_rel(double got, double expected, double tol, const std::string& what)
{
    EXPECT_NEAR(got, expected, tol * (1 + std::fabs(expected))) << what;
}

// Random examples of a smooth function of n inputs, row-major for the test.
struct problem {
    int N, n;
    std::vector<double> x_rows, y;
    array data_x, data_y;
    problem(int N_, int n_, unsigned long long seed) : N(N_), n(n_)
    {
        lcg rng(seed);
        x_rows = rng.uniform_vector(N * n, -1, 1);
        std::vector<double> cols(N * n);
        for (int i = 0; i < N; ++i) {
            double v = 0.3;
            for (int j = 0; j < n; ++j) {
                cols[i + j * N] = x_rows[i * n + j];
                v += std::sin(1.5 * (j + 1) * x_rows[i * n + j]);
            }
            y.push_back(v + rng.uniform(-0.05, 0.05));
        }
        data_x = make_matrix(N, n, cols);
        data_y = make_matrix(N, 1, y);
    }
    array queries(int M, unsigned long long seed) const
    {
        lcg rng(seed);
        return make_matrix(M, n, rng.uniform_vector(M * n, -0.8, 0.8));
    }
    // The example rows of the k nearest to query q, by city-block distance.
    std::vector<int> nearest(const std::vector<double>& q, int k) const
    {
        std::vector<double> dist(N, 0.0);
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < n; ++j) dist[i] += std::fabs(x_rows[i * n + j] - q[j]);
        std::vector<int> order(N);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return dist[a] < dist[b]; });
        order.resize(k);
        return order;
    }
};

}  // namespace

// The recursion's scores and parameters against a direct solve, on random
// differences in neighbour order.
TEST(NearpolyFits, RecursionAgreesWithADirectSolve)
{
    lcg rng(17);
    for (int trial = 0; trial < 24; ++trial) {
        const int n = 1 + (trial / 6) % 3;
        const bool quadratic = trial % 2 == 1;
        const int m = quadratic ? (n + 1) * (n + 2) / 2 : n + 1;
        const double cov = trial % 3 == 0 ? 10.0 : 1e6;
        // Well determined, or held by a strong prior when there are fewer
        // neighbours than parameters: both ways then agree closely.
        const int k = cov == 10.0 && quadratic ? m - 1 : m + 3 + trial % 5;
        const int window = trial % 4 == 0 ? 2 + trial % 3 : 0;
        const int N = k + 3;
        std::vector<double> diff = rng.uniform_vector(N * n, -1, 1),
                            y = rng.uniform_vector(N, -2, 2);
        std::vector<int> index(N);
        std::iota(index.begin(), index.end(), 0);

        fit_buffers b(m, k);
        family_settings f{m, k, k, 1, window, 1, true};
        std::vector<double> errors(3), predictions(2), coef_rows(2 * m);
        candidate_list list{errors.data() + 1, predictions.data(), coef_rows.data(), 1, m};
        reset_list(&list, true);
        fit_family(&list, &b.fs, f, quadratic, {index.data(), diff.data(), y.data(), N, n}, cov);
        const std::vector<double> P = b.covariance();

        std::vector<double> X;
        for (int t = 0; t < k; ++t) {
            std::vector<double> d(n);
            for (int j = 0; j < n; ++j) d[j] = diff[t + j * N];
            const std::vector<double> x = regressor(d, quadratic);
            X.insert(X.end(), x.begin(), x.end());
        }
        const int u = window != 0 && window < k ? window : k;
        const direct_fit ref = solve_directly(X, y, k, m, cov, u);
        const std::string what = "trial " + std::to_string(trial);
        expect_rel(errors[1], ref.E, 1e-7, what + " E");
        expect_rel(predictions[0], ref.theta[0], 1e-8, what + " prediction");
        for (int a = 0; a < m; ++a) {
            expect_rel(coef_rows[a], ref.theta[a], 1e-7, what + " theta");
            for (int b = 0; b < m; ++b)
                expect_rel(P[a * m + b], ref.P[a * m + b], 1e-7, what + " P");
        }
    }
}

// The whole call, neighbour search included, for one linear or quadratic
// family and the single best fit.
TEST(Nearpoly, PredictionsAndCoefficientsMatchADirectSolve)
{
    for (int n = 1; n <= 3; ++n) {
        for (bool quadratic : {false, true}) {
            const int m = quadratic ? (n + 1) * (n + 2) / 2 : n + 1;
            const int k = m + 4;
            problem pb(60, n, 5 + n);
            array q = pb.queries(7, 50 + n);
            std::vector<double> id = {0, 0, 0, 0, 0, 0};
            id[quadratic ? 2 : 1] = id[quadratic ? 5 : 4] = k;
            array id_par = make_matrix(3, 2, id);
            call_result r = run(nearpoly_gateway, 2, {&pb.data_x, &pb.data_y, &q, &id_par});
            const std::vector<double> y = output(r, 0), coefs = output(r, 1);
            ASSERT_EQ(coefs.size(), static_cast<std::size_t>(7 * m));
            const std::vector<double> qv = standalone::values(q.get());
            for (int t = 0; t < 7; ++t) {
                std::vector<double> point(n);
                for (int j = 0; j < n; ++j) point[j] = qv[t + j * 7];
                std::vector<double> X, targets;
                for (int i : pb.nearest(point, k)) {
                    std::vector<double> d(n);
                    for (int j = 0; j < n; ++j) d[j] = pb.x_rows[i * n + j] - point[j];
                    const std::vector<double> x = regressor(d, quadratic);
                    X.insert(X.end(), x.begin(), x.end());
                    targets.push_back(pb.y[i]);
                }
                const direct_fit ref = solve_directly(X, targets, k, m, 1e6, k);
                expect_rel(y[t], ref.theta[0], 1e-8, "prediction");
                for (int a = 0; a < m; ++a)
                    expect_rel(coefs[t * m + a], ref.theta[a], 1e-7, "coef");
            }
        }
    }
}

TEST(Nearpoly, FactorRangesScoreTheirWholeNeighbourCounts)
{
    // id_par [1.3; 0; 0] scores the constant fits of 3 to 7 neighbours, as
    // [3 7; 0 0; 0 0] does; with every candidate combined, one count more
    // or less at either end changes the answer.
    problem pb(60, 2, 14);
    array q = pb.queries(6, 15), all = make_scalar(100);
    auto both = [&](array id) {
        call_result r = run(nearpoly_gateway, 2, {&pb.data_x, &pb.data_y, &q, &id, &all});
        std::vector<double> v = output(r, 0), c = output(r, 1);
        v.insert(v.end(), c.begin(), c.end());
        return v;
    };
    const std::vector<double> factor = both(make_matrix(3, 1, {1.3, 0, 0}));
    EXPECT_TRUE(bitwise_equal(factor, both(make_matrix(3, 2, {3, 0, 0, 7, 0, 0}))));
    for (const std::vector<double>& range :
         {std::vector<double>{4, 0, 0, 7, 0, 0}, std::vector<double>{2, 0, 0, 7, 0, 0},
          std::vector<double>{3, 0, 0, 6, 0, 0}, std::vector<double>{3, 0, 0, 8, 0, 0}})
        EXPECT_FALSE(bitwise_equal(factor, both(make_matrix(3, 2, range))))
            << range[0] << " to " << range[3];
}

TEST(Nearpoly, OutputShapes)
{
    problem pb(40, 2, 1);
    array id = make_matrix(3, 1, {1, 1, 1});
    array none = make_matrix(0, 2);
    call_result r = run(nearpoly_gateway, 2, {&pb.data_x, &pb.data_y, &none, &id});
    EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{0, 1}));
    EXPECT_EQ(output_dims(r, 1), (std::vector<mwSize>{6, 0}));

    array q = pb.queries(5, 2);
    r = run(nearpoly_gateway, 0, {&pb.data_x, &pb.data_y, &q, &id});
    ASSERT_EQ(r.outputs.size(), 1u);
    EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{5, 1}));

    // Only the constant family: output 2 is 1-by-M and equals output 1.
    array comb = make_matrix(1, 3, {2, 0, 0});
    r = run(nearpoly_gateway, 2, {&pb.data_x, &pb.data_y, &q, &id, &comb});
    EXPECT_EQ(output_dims(r, 1), (std::vector<mwSize>{1, 5}));
    EXPECT_EQ(output(r, 0), output(r, 1));
    // More outputs asked for than exist: still two.
    r = run(nearpoly_gateway, 3, {&pb.data_x, &pb.data_y, &q, &id});
    EXPECT_EQ(r.outputs[2], nullptr);
}

TEST(Nearpoly, NoInputDimensions)
{
    // n = 0: every example is at distance 0, so the fits see the first
    // examples in row order; the linear regressor is just (1).
    array x = make_matrix(5, 0), y = make_matrix(5, 1, {1, 2, 3, 4, 5}), q = make_matrix(2, 0);
    array id = make_matrix(3, 2, {2, 2, 0, 3, 3, 0});
    call_result r = run(nearpoly_gateway, 2, {&x, &y, &q, &id});
    const std::vector<double> v = output(r, 0);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0], v[1]);
    EXPECT_NEAR(v[0], 1.5, 1e-5);  // the best fit: the mean of the two nearest, 1 and 2
    EXPECT_EQ(output_dims(r, 1), (std::vector<mwSize>{1, 2}));
}

TEST(Nearpoly, ExactConstantDataKeepsTheConstantFitAhead)
{
    // Every fit is exact: the constant one has error 0.0 and comes first.
    problem pb(30, 2, 3);
    array flat = make_matrix(30, 1, std::vector<double>(30, 5.0));
    array id = make_matrix(3, 1, {1, 1, 0});
    array q = pb.queries(3, 4);
    call_result r = run(nearpoly_gateway, 2, {&pb.data_x, &flat, &q, &id});
    EXPECT_EQ(output(r, 0), std::vector<double>(3, 5.0));
    EXPECT_EQ(output(r, 1), (std::vector<double>{5, 0, 0, 5, 0, 0, 5, 0, 0}));
}

TEST(Nearpoly, ScratchIsTakenOnceBeforeTheQueries)
{
    problem pb(50, 2, 6);
    array id = make_matrix(3, 1, {1, 1, 1});
    array many = pb.queries(40, 1);
    const std::vector<double> qv = standalone::values(many.get());
    array one = make_matrix(1, 2, {qv[0], qv[40]});
    for (int nlhs : {1, 2}) {
        call_result a = run(nearpoly_gateway, nlhs, {&pb.data_x, &pb.data_y, &one, &id});
        call_result b = run(nearpoly_gateway, nlhs, {&pb.data_x, &pb.data_y, &many, &id});
        // One workspace per call, released before the call returns.
        EXPECT_EQ(a.calloc_calls, 1u);
        EXPECT_EQ(b.calloc_calls, 1u);
        EXPECT_EQ(b.blocks_left, 0u);
        // The first query's answer does not depend on the others.
        EXPECT_EQ(output(a, 0)[0], output(b, 0)[0]);
    }
}

TEST(Nearpoly, NonFiniteQueriesGiveNaNOnlyForThemselves)
{
    problem pb(40, 2, 8);
    array id = make_matrix(3, 1, {1, 1, 0});
    array q = make_matrix(3, 2, {0.1, NAN, 0.3, 0.2, 0.5, INFINITY});
    array q0 = make_matrix(1, 2, {0.1, 0.2});
    call_result r = run(nearpoly_gateway, 2, {&pb.data_x, &pb.data_y, &q, &id});
    const std::vector<double> y = output(r, 0), c = output(r, 1);
    EXPECT_EQ(y[0], output(run(nearpoly_gateway, 1, {&pb.data_x, &pb.data_y, &q0, &id}), 0)[0]);
    EXPECT_TRUE(std::isnan(y[1]) && std::isnan(y[2]));
    for (int j = 3; j < 9; ++j) EXPECT_TRUE(std::isnan(c[j]));
    EXPECT_FALSE(std::isnan(c[0]));
}

TEST(Nearpoly, OptionalInputsAndDefaults)
{
    problem pb(40, 2, 9);
    array id = make_matrix(3, 1, {1, 1, 0});
    array q = pb.queries(4, 3);
    array g1 = make_scalar(1), cov = make_scalar(1e6), empty = standalone::make_empty();
    array ones = make_matrix(1, 2, {1, 1});
    const std::vector<double> base =
        output(run(nearpoly_gateway, 1, {&pb.data_x, &pb.data_y, &q, &id}), 0);
    EXPECT_EQ(output(run(nearpoly_gateway, 1, {&pb.data_x, &pb.data_y, &q, &id, &g1, &cov}), 0),
              base);
    EXPECT_EQ(
        output(run(nearpoly_gateway, 1, {&pb.data_x, &pb.data_y, &q, &id, &g1, &empty, &empty}), 0),
        base);
    EXPECT_EQ(
        output(run(nearpoly_gateway, 1, {&pb.data_x, &pb.data_y, &q, &id, &g1, &cov, &ones}), 0),
        base);
    // Weights 0 for the second input: the neighbours follow the first only.
    array w = make_matrix(2, 1, {1, 0});
    EXPECT_NE(output(run(nearpoly_gateway, 1, {&pb.data_x, &pb.data_y, &q, &id, &g1, &cov, &w}), 0),
              base);
    // cov_init 0: every linear prediction is 0.
    array zero = make_scalar(0), lin_only = make_matrix(1, 3, {0, 1, 0});
    EXPECT_EQ(
        output(run(nearpoly_gateway, 1, {&pb.data_x, &pb.data_y, &q, &id, &lin_only, &zero}), 0),
        std::vector<double>(4, 0.0));
}

TEST(Nearpoly, RefusedInputs)
{
    problem pb(30, 2, 10);
    array id = make_matrix(3, 1, {1, 1, 0});
    array q = pb.queries(2, 1);
    array g = make_scalar(1), cov = make_scalar(1e6);
    auto expect = [&](std::vector<const array*> in, const std::string& message) {
        expect_error(run(nearpoly_gateway, 1, in), message);
    };
    expect({&pb.data_x, &pb.data_y, &q}, "Not enough arguments.");
    array y_short = make_matrix(29, 1);
    expect({&pb.data_x, &y_short, &q, &id}, "Matrix dimensions must agree.");
    array id_bad = make_matrix(1, 3, {1, 1, 1});
    expect({&pb.data_x, &pb.data_y, &q, &id_bad}, "Illegal id_par.");
    array id_off = make_matrix(3, 1, {0, 0, 0});
    expect({&pb.data_x, &pb.data_y, &q, &id_off, &g, &cov, &cov, &cov}, "Identification is empty.");
    expect({&pb.data_x, &pb.data_y, &q, &id, &g, &cov, &cov, &cov}, "Number of argument no good.");
    array comb2 = make_matrix(1, 2, {1, 1});
    expect({&pb.data_x, &pb.data_y, &q, &id, &comb2}, "Combination parameter no good.");
    array comb0 = make_scalar(0.7);
    expect({&pb.data_x, &pb.data_y, &q, &id, &comb0}, "Combination is empty!.");

    array single = standalone::make_class(mxSINGLE_CLASS, {30, 2});
    expect({&single, &pb.data_y, &q, &id}, "data_x must be a full double array.");
    array logical = standalone::make_class(mxLOGICAL_CLASS, {1, 2});
    expect({&pb.data_x, &pb.data_y, &q, &id, &g, &cov, &logical},
           "weights must be a full double array.");
    array w_short = make_scalar(1), w_neg = make_matrix(1, 2, {1, -1}),
          w_nan = make_matrix(1, 2, {NAN, 1}), w_inf = make_matrix(1, 2, {1, INFINITY});
    expect({&pb.data_x, &pb.data_y, &q, &id, &g, &cov, &w_short},
           "weights must hold at least n = 2 values.");
    for (const array* w : {&w_neg, &w_nan, &w_inf})
        expect({&pb.data_x, &pb.data_y, &q, &id, &g, &cov, w},
               "weights must be finite and not negative.");

    std::vector<double> xv = standalone::values(pb.data_x.get()), yv = pb.y;
    xv[17] = NAN;
    yv[3] = -INFINITY;
    array x_nan = make_matrix(30, 2, xv), y_inf = make_matrix(30, 1, yv);
    expect({&x_nan, &pb.data_y, &q, &id}, "data_x must not contain NaN or infinite values.");
    expect({&pb.data_x, &y_inf, &q, &id}, "data_y must not contain NaN or infinite values.");
    // The very last value of each is checked too.
    std::vector<double> x_last = standalone::values(pb.data_x.get()), y_last = pb.y;
    x_last.back() = INFINITY;
    y_last.back() = NAN;
    array x_end = make_matrix(30, 2, x_last), y_end = make_matrix(30, 1, y_last);
    expect({&x_end, &pb.data_y, &q, &id}, "data_x must not contain NaN or infinite values.");
    expect({&pb.data_x, &y_end, &q, &id}, "data_y must not contain NaN or infinite values.");
}

TEST(Nearpoly, EachQueryIsAnsweredAsIfItWereAlone)
{
    // Queries share the call's scratch. Whatever an earlier query left in
    // a list (an infinite or NaN prediction or coefficient from a wild
    // cov_init, say) must not reach a later one through a free position,
    // or results would depend on the order and grouping of the queries.
    for (int trial = 0; trial < 60; ++trial) {
        lcg rng(500 + trial);
        const int N = 6 + trial % 9, n = 1 + trial % 2, M = 5;
        problem pb(N, n, 900 + trial);
        const double covs[] = {1e6, -1, 1e300, 0, -1e-300, 1e-320};
        array cov = make_scalar(covs[trial % 6]);
        array id = make_matrix(3, 2, {2, 2, 2, 1.0 + trial % 5, 6, 1.0 * N});
        array comb = trial % 2 ? make_matrix(1, 3, {1, 3, 2}) : make_scalar(1 + trial % 4);
        array q = pb.queries(M, 77 + trial);
        const std::vector<double> qv = standalone::values(q.get());
        call_result all = run(nearpoly_gateway, 2, {&pb.data_x, &pb.data_y, &q, &id, &comb, &cov});
        if (!all.ok) continue;
        const std::vector<double> y = output(all, 0), c = output(all, 1);
        const std::size_t rows = c.size() / M;
        for (int k = 0; k < M; ++k) {
            std::vector<double> row(n);
            for (int j = 0; j < n; ++j) row[j] = qv[k + j * M];
            array one = make_matrix(1, n, row);
            call_result r =
                run(nearpoly_gateway, 2, {&pb.data_x, &pb.data_y, &one, &id, &comb, &cov});
            EXPECT_TRUE(bitwise_equal(output(r, 0), {y[k]})) << "trial " << trial << " query " << k;
            EXPECT_TRUE(bitwise_equal(
                output(r, 1),
                std::vector<double>(c.begin() + k * rows, c.begin() + (k + 1) * rows)))
                << "trial " << trial << " query " << k;
        }
    }
}
