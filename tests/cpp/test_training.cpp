// The trainer on its own: local fits against a direct weighted least-squares
// solve in long double, the trained network against netsim bit for bit,
// where splits fall, each stopping rule, thread counts, the refinement's
// gradient against central differences, and every refusal of its checks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/checks/check_train.h"
#include "core/training/training.h"
#include "random.h"

namespace {

namespace tr = localmodels::training;
namespace net = localmodels::network;
namespace ck = localmodels::checks;

using testing_helpers::lcg;

bool same_bits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// Samples of n inputs in [0, 1), a column each, and p outputs of f.
struct data {
    int n, p, N;
    std::vector<double> x, y;
    tr::problem problem() const { return {x.data(), y.data(), n, p, N, nullptr, nullptr, 0}; }
};

template <class F>
data make_data(int n, int p, int N, unsigned long long seed, F f)
{
    data d{n, p, N, {}, {}};
    lcg r(seed);
    for (int t = 0; t < N; ++t)
        for (int k = 0; k < n; ++k) d.x.push_back(r.uniform());
    d.y.resize(static_cast<std::size_t>(p) * N);
    for (int t = 0; t < N; ++t)
        f(&d.x[static_cast<std::size_t>(t) * n], &d.y[static_cast<std::size_t>(t) * p]);
    return d;
}

data smooth_data(int N, unsigned long long seed, int p = 1)
{
    return make_data(3, p, N, seed, [p](const double* x, double* y) {
        for (int j = 0; j < p; ++j) y[j] = std::sin(3 * x[0] + j) + x[1] * x[1] - 0.5 * x[2] * x[0];
    });
}

// A trained network and its results, in vectors of their full capacity.
struct trained {
    std::vector<double> centres, norms, consequents, lower, upper, criterion, models;
    tr::result r;
    net::view view(int n, int p) const
    {
        return {centres.data(), norms.data(), consequents.data(), n, p, r.models};
    }
};

trained train(const tr::problem& pr, const tr::settings& s)
{
    trained t;
    const std::size_t n = pr.n, p = pr.p, c = s.max_models;
    t.centres.resize(n * c);
    t.norms.resize(n * n * c);
    t.consequents.resize(p * (n + 1) * c);
    t.lower.resize(n * c);
    t.upper.resize(n * c);
    t.criterion.resize(c);
    t.models.resize(c);
    t.r = {t.centres.data(),
           t.norms.data(),
           t.consequents.data(),
           t.lower.data(),
           t.upper.data(),
           t.criterion.data(),
           t.models.data(),
           0,
           0,
           false,
           0.0};
    std::vector<unsigned char> memory(tr::workspace_size(pr, s));
    tr::train(&t.r, pr, s, memory.data(), memory.size());
    return t;
}

// netsim's output (p-by-N) of a network: the vector code included.
std::vector<double> netsim(const net::view& v, const double* x, int N)
{
    std::vector<double> out(static_cast<std::size_t>(v.p) * N);
    std::vector<unsigned char> memory(net::simulate_workspace_size(v));
    net::simulate(out.data(), x, v, tr::trained_options(), {0, N, 1, memory.data(), memory.size()});
    return out;
}

double sse_of(const std::vector<double>& out, const std::vector<double>& y)
{
    double s = 0.0;
    for (std::size_t e = 0; e < y.size(); ++e) s = (out[e] - y[e]) * (out[e] - y[e]) + s;
    return s;
}

// Direct weighted least squares in long double: normal equations solved by
// Gaussian elimination with partial pivoting, over regressors z = (x_reg, 1).
std::vector<long double> direct_wls(const data& d, const std::vector<int>& reg,
                                    const std::vector<double>& w, int j)
{
    const int k = static_cast<int>(reg.size()) + 1;
    std::vector<long double> m(static_cast<std::size_t>(k) * (k + 1), 0.0L);
    auto z = [&](int t, int a) -> long double {
        return a < k - 1 ? d.x[static_cast<std::size_t>(t) * d.n + reg[a]] : 1.0L;
    };
    for (int t = 0; t < d.N; ++t)
        for (int a = 0; a < k; ++a) {
            for (int b = 0; b < k; ++b) m[a * (k + 1) + b] += w[t] * z(t, a) * z(t, b);
            m[a * (k + 1) + k] += w[t] * z(t, a) * d.y[static_cast<std::size_t>(t) * d.p + j];
        }
    for (int c = 0; c < k; ++c) {
        int piv = c;
        for (int r = c + 1; r < k; ++r)
            if (std::fabs(m[r * (k + 1) + c]) > std::fabs(m[piv * (k + 1) + c])) piv = r;
        for (int q = 0; q <= k; ++q) std::swap(m[c * (k + 1) + q], m[piv * (k + 1) + q]);
        for (int r = 0; r < k; ++r) {
            if (r == c) continue;
            const long double f = m[r * (k + 1) + c] / m[c * (k + 1) + c];
            for (int q = 0; q <= k; ++q) m[r * (k + 1) + q] -= f * m[c * (k + 1) + q];
        }
    }
    std::vector<long double> theta(k);
    for (int a = 0; a < k; ++a) theta[a] = m[a * (k + 1) + k] / m[a * (k + 1) + a];
    return theta;
}

tr::settings settings_for(int n)
{
    tr::settings s = tr::default_settings(n);
    return s;
}

}  // namespace

TEST(Training, LocalFitEqualsADirectWeightedSolve)
{
    const data d = smooth_data(300, 1, 2);
    const std::vector<int> reg = {2, 0};
    tr::settings s = settings_for(d.n);
    s.regression = reg.data();
    s.n_regression = 2;
    s.regularization = 0.0;
    lcg r(7);
    std::vector<double> w(d.N);
    for (double& v : w) v = r.uniform();
    const int k = 3;
    std::vector<double> theta(static_cast<std::size_t>(d.p) * k), scratch(k * (k + d.p));
    tr::fit_local(theta.data(), w.data(), d.problem(), s, scratch.data());
    for (int j = 0; j < d.p; ++j) {
        const std::vector<long double> direct = direct_wls(d, reg, w, j);
        for (int a = 0; a < k; ++a)
            EXPECT_NEAR(theta[j + a * d.p], static_cast<double>(direct[a]),
                        1e-11 * (1 + std::fabs(static_cast<double>(direct[a]))));
    }
}

TEST(Training, TrainedModelsAreTheWeightedFitsOfTheirPartition)
{
    const data d = smooth_data(400, 2);
    tr::settings s = settings_for(d.n);
    s.max_models = 5;
    s.patience = 10;
    s.regularization = 0.0;
    const trained t = train(d.problem(), s);
    ASSERT_EQ(t.r.models, 5);
    // The validities of the returned cells, computed here from the Gaussian
    // of each cell's middle and width, then each model's direct solve.
    const int c = t.r.models, n = d.n;
    std::vector<double> w(static_cast<std::size_t>(c) * d.N);
    for (int q = 0; q < d.N; ++q) {
        long double sum = 0;
        std::vector<long double> g(c);
        for (int i = 0; i < c; ++i) {
            long double e = 0;
            for (int k = 0; k < n; ++k) {
                const double lo = t.lower[i * n + k], hi = t.upper[i * n + k];
                const long double sigma = (hi - lo) / 3.0L, dx = d.x[q * n + k] - (lo + hi) / 2.0L;
                e += dx * dx / (2 * sigma * sigma);
            }
            g[i] = std::exp(-e);
            sum += g[i];
        }
        for (int i = 0; i < c; ++i) w[i * d.N + q] = static_cast<double>(g[i] / sum);
    }
    const std::vector<int> all = {0, 1, 2};
    for (int i = 0; i < c; ++i) {
        const std::vector<double> wi(w.begin() + i * d.N, w.begin() + (i + 1) * d.N);
        const std::vector<long double> direct = direct_wls(d, all, wi, 0);
        for (int k = 0; k <= n; ++k) {
            const double got = t.consequents[static_cast<std::size_t>(i) * (n + 1) + k];
            EXPECT_NEAR(got, static_cast<double>(direct[k]), 1e-8 * (1 + std::fabs(got)))
                << "model " << i << " coefficient " << k;
        }
    }
}

TEST(Training, NetsimReproducesTheTrainingSseBitForBit)
{
    for (int lm : {0, 3}) {
        const data d = smooth_data(500, 3, 2);
        tr::settings s = settings_for(d.n);
        s.max_models = 6;
        s.lm_iterations = lm;
        const trained t = train(d.problem(), s);
        const std::vector<double> out = netsim(t.view(d.n, d.p), d.x.data(), d.N);
        const double sse = sse_of(out, d.y);
        EXPECT_EQ(std::memcmp(&sse, &t.r.sse, sizeof sse), 0) << sse << " against " << t.r.sse;
    }
}

TEST(Training, AnAffineTargetIsOneModelExactly)
{
    const data d = make_data(3, 2, 200, 4, [](const double* x, double* y) {
        y[0] = 2 * x[0] - 3 * x[1] + 0.5 * x[2] + 1;
        y[1] = -x[2] + 4;
    });
    tr::settings s = settings_for(d.n);
    s.max_models = 1;
    // The default ridge biases the fit by about its size; without it the fit
    // is exact.
    s.regularization = 0.0;
    const trained t = train(d.problem(), s);
    ASSERT_EQ(t.r.models, 1);
    const double expected[2][4] = {{2, -3, 0.5, 1}, {0, 0, -1, 4}};
    for (int j = 0; j < 2; ++j)
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(t.consequents[j + k * 2], expected[j][k], 1e-12);
    const std::vector<double> out = netsim(t.view(d.n, d.p), d.x.data(), d.N);
    for (std::size_t e = 0; e < out.size(); ++e) EXPECT_NEAR(out[e], d.y[e], 1e-12);
    s.regularization = 1e-9;
    const trained ridge = train(d.problem(), s);
    for (int e = 0; e < 8; ++e) EXPECT_NEAR(ridge.consequents[e], t.consequents[e], 1e-6);

    // Far outside the data the lone model stays affine: no Gaussian there
    // to underflow to 0.
    for (double v : t.norms) EXPECT_EQ(v, 0.0);
    const double far[3] = {400.0, -300.0, 1e6};
    const std::vector<double> out_far = netsim(t.view(d.n, d.p), far, 1);
    EXPECT_NEAR(out_far[0], 2 * 400.0 + 3 * 300.0 + 0.5e6 + 1, 1e-6);
    EXPECT_NEAR(out_far[1], -1e6 + 4, 1e-6);
}

TEST(Training, APiecewiseTargetIsSplitAtItsKink)
{
    // A kink at x0 = 0.5, nothing along x1: the first split halves x0.
    const data d = make_data(
        2, 1, 400, 5, [](const double* x, double* y) { y[0] = x[0] < 0.5 ? x[0] : 1 - x[0]; });
    tr::settings s = settings_for(d.n);
    s.max_models = 2;
    const trained t = train(d.problem(), s);
    ASSERT_EQ(t.r.models, 2);
    const double mid = 0.5 * (t.lower[0] + t.upper[0 + 2]);
    EXPECT_EQ(t.upper[0], mid);
    EXPECT_EQ(t.lower[2], mid);
    EXPECT_EQ(t.lower[1], t.lower[3]);  // x1 not split
    EXPECT_EQ(t.upper[1], t.upper[3]);
    EXPECT_NEAR(mid, 0.5, 0.01);
    EXPECT_LT(t.criterion[1], t.criterion[0]);
}

TEST(Training, StopsAtMaxModels)
{
    const data d = smooth_data(400, 6);
    tr::settings s = settings_for(d.n);
    s.patience = 100;
    for (int most : {1, 2, 4, 7}) {
        s.max_models = most;
        const trained t = train(d.problem(), s);
        EXPECT_EQ(t.r.steps, most);
        EXPECT_LE(t.r.models, most);
        for (int k = 0; k < t.r.steps; ++k) EXPECT_EQ(t.models[k], k + 1);
    }
}

TEST(Training, StopsWhenASplitWouldLeaveTooFewSamples)
{
    const data d = smooth_data(100, 7);
    tr::settings s = settings_for(d.n);
    s.patience = 100;
    s.max_models = 50;
    s.min_samples = 60;  // no half of the 100 samples keeps 60
    trained t = train(d.problem(), s);
    EXPECT_EQ(t.r.steps, 1);
    EXPECT_EQ(t.r.models, 1);
    s.min_samples = 15;
    t = train(d.problem(), s);
    EXPECT_GT(t.r.steps, 1);
    EXPECT_LT(t.r.steps, 50);
    // Every model of the result keeps its samples.
    const int c = t.r.models;
    std::vector<double> sum(c, 0.0);
    std::vector<double> y(1), dif(d.n * c), w(c), loc(c);
    net::point_state ps{dif.data(), w.data(), loc.data(), 0};
    for (int q = 0; q < d.N; ++q) {
        net::evaluate_point(y.data(), &ps, &d.x[q * d.n], t.view(d.n, d.p), tr::trained_options());
        for (int i = 0; i < c; ++i) sum[i] += w[i] / ps.validity_sum;
    }
    for (int i = 0; i < c; ++i) EXPECT_GE(sum[i], 15 * 0.999) << i;
}

TEST(Training, StopsOnTheValidationErrorAndReturnsTheBestNetwork)
{
    // Noisy samples: many models overfit them, and the validation error turns.
    data d = smooth_data(150, 8);
    lcg noise(9);
    for (double& v : d.y) v += noise.uniform(-0.3, 0.3);
    const data val = smooth_data(300, 10);
    tr::problem pr = d.problem();
    pr.x_val = val.x.data();
    pr.y_val = val.y.data();
    pr.N_val = val.N;
    tr::settings s = settings_for(d.n);
    s.max_models = 40;
    s.min_samples = 2;
    s.patience = 2;
    const trained t = train(pr, s);
    ASSERT_LT(t.r.steps, 40);
    int best = 0;
    for (int k = 0; k < t.r.steps; ++k)
        if (t.criterion[k] < t.criterion[best]) best = k;
    EXPECT_EQ(t.r.steps, best + 1 + 2);  // two steps without improvement
    EXPECT_EQ(t.r.models, static_cast<int>(t.models[best]));
    const std::vector<double> out = netsim(t.view(d.n, d.p), val.x.data(), val.N);
    const double rmse = std::sqrt(sse_of(out, val.y) / val.N);
    EXPECT_EQ(rmse, t.criterion[best]);
}

TEST(Training, PartitionAndRegressionInputsMayDiffer)
{
    const data d = make_data(
        3, 1, 300, 11, [](const double* x, double* y) { y[0] = x[0] * std::sin(4 * x[1]) + x[2]; });
    const std::vector<int> part = {1}, reg = {0, 2};
    tr::settings s = settings_for(d.n);
    s.partition = part.data();
    s.n_partition = 1;
    s.regression = reg.data();
    s.n_regression = 2;
    s.max_models = 4;
    s.patience = 10;
    const trained t = train(d.problem(), s);
    ASSERT_EQ(t.r.models, 4);
    for (int i = 0; i < 4; ++i) {
        for (int r = 0; r < 3; ++r)
            for (int q = 0; q < 3; ++q) {
                const double a = t.norms[i * 9 + r + q * 3];
                if (r == 1 && q == 1)
                    EXPECT_GT(a, 0);
                else
                    EXPECT_EQ(a, 0.0);
            }
        EXPECT_EQ(t.consequents[i * 4 + 1], 0.0);  // input 1 is no regressor
        EXPECT_NE(t.consequents[i * 4 + 0], 0.0);
        EXPECT_EQ(t.lower[i * 3 + 0], t.lower[0]);  // only input 1 is split
        EXPECT_EQ(t.upper[i * 3 + 2], t.upper[2]);
    }
}

TEST(Training, EveryThreadCountGivesTheSameBits)
{
    const data d = smooth_data(600, 12, 2);
    tr::settings s = settings_for(d.n);
    s.max_models = 6;
    s.lm_iterations = 4;
    s.threads = 1;
    const trained one = train(d.problem(), s);
    for (int threads : {2, 3, 7}) {
        s.threads = threads;
        const trained t = train(d.problem(), s);
        EXPECT_TRUE(same_bits(t.centres, one.centres)) << threads;
        EXPECT_TRUE(same_bits(t.norms, one.norms)) << threads;
        EXPECT_TRUE(same_bits(t.consequents, one.consequents)) << threads;
        EXPECT_TRUE(same_bits(t.criterion, one.criterion)) << threads;
        EXPECT_EQ(std::memcmp(&t.r.sse, &one.r.sse, sizeof(double)), 0) << threads;
    }
}

TEST(Training, RefinementLowersTheSse)
{
    const data d = smooth_data(500, 13);
    tr::settings s = settings_for(d.n);
    s.max_models = 4;
    const trained plain = train(d.problem(), s);
    s.lm_iterations = 10;
    const trained refined = train(d.problem(), s);
    EXPECT_EQ(refined.r.models, plain.r.models);
    EXPECT_LT(refined.r.sse, plain.r.sse);
    // The cells are those of the tree; the centres have moved.
    EXPECT_TRUE(same_bits(refined.lower, plain.lower));
    EXPECT_FALSE(same_bits(refined.centres, plain.centres));
}

TEST(Training, SseGradientAgreesWithCentralDifferences)
{
    const data d = smooth_data(80, 14, 2);
    const std::vector<int> part = {0, 2}, reg = {1, 2};
    tr::settings s = settings_for(d.n);
    s.partition = part.data();
    s.n_partition = 2;
    s.regression = reg.data();
    s.n_regression = 2;
    s.max_models = 3;
    s.patience = 10;
    s.threads = 2;
    trained t = train(d.problem(), s);
    ASSERT_EQ(t.r.models, 3);
    const int c = 3, n = d.n, p = d.p;
    const int count = tr::refined_parameters(nullptr, n, p, c, s);
    EXPECT_EQ(count, c * (2 + 2 + 3 * p));
    std::vector<int> offsets(count);
    tr::refined_parameters(offsets.data(), n, p, c, s);
    std::vector<double> g(count);
    std::vector<unsigned char> memory(tr::gradient_workspace_size(d.problem(), c, s));
    tr::sse_gradient(g.data(), t.view(n, p), d.problem(), s, memory.data(), memory.size());
    // The three arrays one after another, as the offsets count them.
    std::vector<double*> arrays = {t.centres.data(), t.norms.data(), t.consequents.data()};
    const std::size_t sizes[] = {static_cast<std::size_t>(n) * c,
                                 static_cast<std::size_t>(n) * n * c};
    for (int q = 0; q < count; ++q) {
        std::size_t o = offsets[q];
        double* target = o < sizes[0]              ? &t.centres[o]
                         : o < sizes[0] + sizes[1] ? &t.norms[o - sizes[0]]
                                                   : &t.consequents[o - sizes[0] - sizes[1]];
        const double keep = *target, h = 1e-6 * (1 + std::fabs(keep));
        *target = keep + h;
        const double up = sse_of(netsim(t.view(n, p), d.x.data(), d.N), d.y);
        *target = keep - h;
        const double down = sse_of(netsim(t.view(n, p), d.x.data(), d.N), d.y);
        *target = keep;
        const double fd = (up - down) / (2 * h);
        EXPECT_NEAR(g[q], fd, 1e-5 * (1 + std::fabs(fd))) << "parameter " << q;
    }
}

TEST(Training, ProgressIsCalledEveryStepAndMayStop)
{
    const data d = smooth_data(300, 15);
    tr::settings s = settings_for(d.n);
    s.max_models = 8;
    s.patience = 100;
    struct seen {
        std::vector<int> steps, models;
    } log;
    s.user = &log;
    s.progress = [](void* user, int step, int models, double) {
        seen* l = static_cast<seen*>(user);
        l->steps.push_back(step);
        l->models.push_back(models);
        return step < 3;
    };
    const trained t = train(d.problem(), s);
    EXPECT_TRUE(t.r.interrupted);
    EXPECT_EQ(t.r.steps, 3);
    EXPECT_EQ(log.steps, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(log.models, (std::vector<int>{1, 2, 3}));
}

TEST(Training, CholeskyDropsADependentUnknown)
{
    // Columns 0 and 1 equal: the second is dropped and the first takes all.
    double m[9] = {4, 4, 2, 4, 4, 2, 2, 2, 3};
    double b[3] = {6, 6, 5};
    tr::cholesky_solve(m, b, 3, 1);
    EXPECT_EQ(b[1], 0.0);
    EXPECT_NEAR(4 * b[0] + 2 * b[2], 6, 1e-12);
    EXPECT_NEAR(2 * b[0] + 3 * b[2], 5, 1e-12);
}

// --- The checks ----------------------------------------------------------------

namespace {

ck::arg doubles(std::uint64_t rows, std::uint64_t cols, const double* data)
{
    return {ck::elem_class::double_, false, false, rows, cols, cols, rows * cols, data};
}

// A call of lmn_train with X 2-by-4, Y 1-by-4 and the given fields.
struct check_case {
    std::vector<double> x = {0, 0, 1, 0, 0, 1, 1, 1}, y = {1, 2, 3, 4};
    std::vector<ck::arg> in;
    ck::arg fields[ck::train_fields];
    bool present[ck::train_fields] = {};
    int nlhs = 4;
    check_case() { in = {doubles(2, 4, x.data()), doubles(1, 4, y.data())}; }
    void set(int f, ck::arg a)
    {
        fields[f] = a;
        present[f] = true;
    }
    std::string id(int base = 1)
    {
        ck::train_call a;
        int part[8], reg[8];
        const localmodels::error e = ck::check_lmn_train(
            {nlhs, static_cast<int>(in.size()), in.data()}, {fields, present, base, part, reg}, &a);
        return e.id;
    }
};

}  // namespace

TEST(TrainChecks, AcceptsAWellFormedCall)
{
    check_case k;
    const double two = 2, idx[] = {2, 1};
    k.set(ck::field_max_models, doubles(1, 1, &two));
    k.set(ck::field_partition_inputs, doubles(1, 2, idx));
    EXPECT_EQ(k.id(), "");
    ck::train_call a;
    int part[2], reg[2];
    ck::check_lmn_train({4, 2, k.in.data()}, {k.fields, k.present, 1, part, reg}, &a);
    EXPECT_EQ(a.settings.max_models, 2);
    EXPECT_EQ(part[0], 1);
    EXPECT_EQ(part[1], 0);
    EXPECT_EQ(a.settings.min_samples, 5.0);  // two regression inputs, the offset, two
}

TEST(TrainChecks, RefusesEveryBadCall)
{
    const double nan = std::nan(""), half = 0.5, zero = 0, minus = -1, three = 3, two = 2;
    const double rows3[] = {0, 0, 0};
    {
        check_case k;
        k.in.pop_back();
        EXPECT_EQ(k.id(), "lmn_train:notEnoughArguments");
    }
    {
        check_case k;
        k.in.push_back(k.in[0]);
        k.in.push_back(k.in[0]);
        EXPECT_EQ(k.id(), "lmn_train:tooManyArguments");
    }
    {
        check_case k;
        k.nlhs = 5;
        EXPECT_EQ(k.id(), "lmn_train:tooManyOutputs");
    }
    {
        check_case k;
        k.in[0].cls = ck::elem_class::single;
        EXPECT_EQ(k.id(), "lmn_train:notDoubleArray");
    }
    {
        check_case k;
        k.y[2] = nan;
        EXPECT_EQ(k.id(), "lmn_train:nonFinite");
    }
    {
        check_case k;
        k.in[1] = doubles(1, 3, k.y.data());
        EXPECT_EQ(k.id(), "lmn_train:yColumns");
    }
    {
        check_case k;
        k.in = {doubles(2, 0, nullptr), doubles(1, 0, nullptr)};
        EXPECT_EQ(k.id(), "lmn_train:noSamples");
    }
    {
        check_case k;
        k.in[1] = doubles(0, 4, nullptr);
        EXPECT_EQ(k.id(), "lmn_train:noOutputs");
    }
    {
        check_case k;
        k.set(ck::field_x_val, k.in[0]);
        EXPECT_EQ(k.id(), "lmn_train:validationPair");
    }
    {
        check_case k;
        k.set(ck::field_x_val, doubles(3, 1, rows3));
        k.set(ck::field_y_val, doubles(1, 1, rows3));
        EXPECT_EQ(k.id(), "lmn_train:xValShape");
    }
    {
        check_case k;
        k.set(ck::field_x_val, doubles(1, 2, rows3));
        k.set(ck::field_y_val, doubles(1, 2, rows3));
        EXPECT_EQ(k.id(), "lmn_train:xValShape");
    }
    {
        check_case k;
        k.set(ck::field_x_val, doubles(2, 1, rows3));
        k.set(ck::field_y_val, doubles(1, 2, rows3));
        EXPECT_EQ(k.id(), "lmn_train:yValShape");
    }
    const struct {
        int field;
        double value;
        const char* id;
    } scalars[] = {{ck::field_max_models, zero, "lmn_train:badMaxModels"},
                   {ck::field_max_models, half, "lmn_train:badMaxModels"},
                   {ck::field_width_factor, zero, "lmn_train:badWidthFactor"},
                   {ck::field_width_factor, nan, "lmn_train:badWidthFactor"},
                   {ck::field_regularization, minus, "lmn_train:badRegularization"},
                   {ck::field_lm_iterations, minus, "lmn_train:badLmIterations"},
                   {ck::field_patience, zero, "lmn_train:badPatience"},
                   {ck::field_display, two, "lmn_train:badDisplay"},
                   {ck::field_min_samples, minus, "lmn_train:badMinSamples"},
                   {ck::field_partition_inputs, three, "lmn_train:badPartitionInputs"},
                   {ck::field_partition_inputs, half, "lmn_train:badPartitionInputs"},
                   {ck::field_regression_inputs, zero, "lmn_train:badRegressionInputs"}};
    for (const auto& c : scalars) {
        check_case k;
        k.set(c.field, doubles(1, 1, &c.value));
        EXPECT_EQ(k.id(), c.id) << ck::train_field_names[c.field] << " " << c.value;
    }
    {
        check_case k;
        const double twice[] = {1, 1};
        k.set(ck::field_regression_inputs, doubles(1, 2, twice));
        EXPECT_EQ(k.id(), "lmn_train:badRegressionInputs");
    }
    {
        check_case k;  // a 2-element max_models
        const double v[] = {2, 2};
        k.set(ck::field_max_models, doubles(1, 2, v));
        EXPECT_EQ(k.id(), "lmn_train:badMaxModels");
    }
    {
        check_case k;
        const double most = 2147483647.0;
        k.set(ck::field_max_models, doubles(1, 1, &most));
        EXPECT_EQ(k.id(), "lmn_train:tooLarge");
    }
    {
        check_case k;
        ck::arg s = doubles(1, 1, nullptr);
        s.cls = ck::elem_class::cell;
        k.in.push_back(s);
        bool has;
        EXPECT_EQ(std::string(ck::check_train_options_arg({4, 3, k.in.data()}, &has).id),
                  "lmn_train:optionsNotStruct");
        k.in[2].cls = ck::elem_class::structure;
        EXPECT_EQ(std::string(ck::check_train_options_arg({4, 3, k.in.data()}, &has).id), "");
        EXPECT_TRUE(has);
    }
    int f = -1;
    EXPECT_EQ(std::string(ck::train_field_of("max_model", &f).id), "lmn_train:unknownOption");
    EXPECT_EQ(std::string(ck::train_field_of("patience", &f).id), "");
    EXPECT_EQ(f, ck::field_patience);
}

TEST(TrainChecks, ZeroBasedIndicesForPython)
{
    check_case k;
    const double zero = 0;
    k.set(ck::field_partition_inputs, doubles(1, 1, &zero));
    EXPECT_EQ(k.id(0), "");
    EXPECT_EQ(k.id(1), "lmn_train:badPartitionInputs");
}

// The criterion of each step is the small-sample AIC of that network's
// training errors, N log(SSE / N) + 2k + 2k(k + 1) / (N - k - 1) with k the
// p(n + 1) parameters of each model; SSE from netsim's outputs.
TEST(Training, TheCriterionIsTheCorrectedAicOfTheErrors)
{
    const data d = smooth_data(300, 41);
    tr::settings s = settings_for(d.n);
    s.max_models = 1;
    const trained t = train(d.problem(), s);
    ASSERT_EQ(t.r.models, 1);
    const double sse = sse_of(netsim(t.view(d.n, d.p), d.x.data(), d.N), d.y);
    const double N = d.N, k = d.n + 1.0;
    const double expected = N * std::log(sse / N) + 2 * k + 2 * k * (k + 1) / (N - k - 1);
    EXPECT_NEAR(t.criterion[0], expected, 1e-9 * std::fabs(expected));
}
