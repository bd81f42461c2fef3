// The network core and netsim: worked examples, option decoding, zero sizes,
// argument messages, refused inputs, and bit-for-bit agreement with a plain
// transcription of the evaluation order.
#include <cmath>

#include "core/network/network.h"
#include "network_fixture.h"
#include "plain_network.h"

using namespace testing_helpers;
using standalone::make_array;
using standalone::make_matrix;
using standalone::make_scalar;

namespace {

// The core's evaluation of one point with the options as the plug-ins
// receive them.
void evaluate_network_point(double* y, double* D, double* w, double* Y, double* S, const double* x,
                            const double* C, const double* A, const double* T, int n, int p, int c,
                            int normalize, int type, double m)
{
    namespace net = localmodels::network;
    const net::view v{C, A, T, n, p, c};
    const net::options o{normalize, net::validity_of_type(type), m};
    net::point_state s{D, w, Y, 0.0};
    net::evaluate_point(y, &s, x, v, o);
    *S = s.validity_sum;
}

// The two-cluster example: one input, centres 0 and 1, unit norm matrices,
// local models x and 5.
struct two_clusters {
    array x = make_scalar(0.5);
    array centres = make_matrix(1, 2, {0, 1});
    array norms = make_array({1, 1, 2}, {1, 1});
    array consequents = make_array({1, 2, 2}, {1, 0, 0, 5});

    call_result run_with(const std::vector<double>& options, int nlhs = 1)
    {
        std::vector<array> opts;
        for (double v : options) opts.push_back(make_scalar(v));
        std::vector<const array*> in = {&x, &centres, &norms, &consequents};
        for (const array& o : opts) in.push_back(&o);
        return run(netsim_gateway, nlhs, in);
    }
    double y(const std::vector<double>& options) { return output(run_with(options), 0).at(0); }
};

}  // namespace

TEST(NetworkCore, NonSymmetricNormMatrixReadsOnlyTheLowerPart)
{
    // A(1,0) = 3 below the diagonal counts twice; A(0,1) = 7 is never read.
    const double x[] = {1, 1}, centre[] = {0, 0}, norm[] = {1, 3, 7, 1}, theta[] = {0, 0, 1};
    double y, D[2], w, Y, S;
    evaluate_network_point(&y, D, &w, &Y, &S, x, centre, norm, theta, 2, 1, 1, 0, 3, 2.0);
    EXPECT_EQ(w, 8.0);
    EXPECT_EQ(y, 8.0);
}

TEST(NetworkCore, TwoClusterExample)
{
    two_clusters e;
    EXPECT_EQ(e.y({}), 2.7500000000000004);  // the evaluation order's last bit
    const double w = std::exp(-0.25);
    EXPECT_EQ(e.y({0}), w * 5 + (w * 0.5 + 0));
    EXPECT_NEAR(e.y({0}), 4.2834, 1e-4);
    EXPECT_EQ(e.y({1, 2, 2}), 2.75);
    EXPECT_EQ(e.y({0, 2, 2}), 22.0);
}

TEST(NetworkCore, DegenerateSizes)
{
    const double x[] = {0.3}, theta[] = {4, 6};
    double y[2] = {9, 9}, w = 9, S = 9;
    // c = 0: the outputs are 0 and the sum is its starting value.
    evaluate_network_point(y, nullptr, nullptr, nullptr, &S, x, nullptr, nullptr, nullptr, 1, 2, 0,
                           1, 1, 2.0);
    EXPECT_EQ(y[0], 0.0);
    EXPECT_EQ(y[1], 0.0);
    EXPECT_EQ(S, 2.2251e-308);
    // n = 0: distance 0, so w = 1 (Gaussian) or 1e100 (fuzzy, m = 2), and
    // each local output is the constant term.
    double Y[2];
    evaluate_network_point(y, nullptr, &w, Y, &S, x, nullptr, nullptr, theta, 0, 2, 1, 0, 1, 2.0);
    EXPECT_EQ(w, 1.0);
    EXPECT_EQ(Y[0], 4.0);
    EXPECT_EQ(Y[1], 6.0);
    evaluate_network_point(y, nullptr, &w, Y, &S, x, nullptr, nullptr, theta, 0, 2, 1, 0, 2, 2.0);
    EXPECT_EQ(w, 1e100);
    // At a centre with fuzziness 1.2 the power overflows to infinity.
    evaluate_network_point(y, nullptr, &w, Y, &S, x, nullptr, nullptr, theta, 0, 2, 1, 0, 2, 1.2);
    EXPECT_EQ(w, INFINITY);
}

TEST(NetworkCore, MatchesThePlainEvaluationOrderBitForBit)
{
    for (int trial = 0; trial < 40; ++trial) {
        const int n = trial % 4, p = 1 + trial % 3, c = trial % 5;
        network net = random_network(n, p, c, 100 + trial, trial % 2 == 0);
        for (int type : {1, 2, 3}) {
            for (int normalize : {0, 1}) {
                std::vector<double> y(p), D(n * c + 1), w(c + 1), Y(p * c + 1), y2(p),
                    D2(n * c + 1), w2(c + 1), Y2(p * c + 1);
                double S, S2;
                evaluate_network_point(y.data(), D.data(), w.data(), Y.data(), &S, net.x.data(),
                                       net.centres.data(), net.norms.data(), net.consequents.data(),
                                       n, p, c, normalize, type, 1.7);
                plain_network::evaluate_point(y2.data(), D2.data(), w2.data(), Y2.data(), &S2,
                                              net.x.data(), net.centres.data(), net.norms.data(),
                                              net.consequents.data(), n, p, c, normalize, type,
                                              1.7);
                EXPECT_EQ(y, y2);
                EXPECT_EQ(D, D2);
                EXPECT_EQ(w, w2);
                EXPECT_EQ(Y, Y2);
                EXPECT_EQ(S, S2);
            }
        }
    }
}

TEST(Netsim, ShapesAndBatchColumns)
{
    network net = random_network(2, 4, 3, 5);
    lcg rng(9);
    std::vector<double> points = rng.uniform_vector(10, -1, 1);
    array X = make_matrix(2, 5, points), C = net.centres_array(), A = net.norms_array(),
          T = net.consequents_array();
    call_result r = run(netsim_gateway, 1, {&X, &C, &A, &T});
    EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{4, 5}));
    const std::vector<double> all = output(r, 0);
    for (int t = 0; t < 5; ++t) {
        network one = net;
        one.x.assign(points.begin() + 2 * t, points.begin() + 2 * t + 2);
        const std::vector<double> y = netsim_at(one, {});
        EXPECT_EQ(y, std::vector<double>(all.begin() + 4 * t, all.begin() + 4 * t + 4));
    }
    // The scratch is taken once for all points and released.
    array X1 = make_matrix(2, 1, points);
    EXPECT_EQ(r.calloc_calls, 1u);
    EXPECT_EQ(run(netsim_gateway, 1, {&X1, &C, &A, &T}).calloc_calls, 1u);
    EXPECT_EQ(r.blocks_left, 0u);
}

TEST(Netsim, OptionsAreTruncatedAndEmptyOptionsTakeDefaults)
{
    two_clusters e;
    const double plain = e.y({0});
    EXPECT_EQ(e.y({0.9}), plain);
    EXPECT_EQ(e.y({-0.5}), plain);
    EXPECT_EQ(e.y({1.5}), e.y({}));
    EXPECT_EQ(e.y({1, 2.7}), e.y({1, 2}));
    EXPECT_EQ(e.y({0, 1.5}), e.y({0, 1}));
    // fuzziness 1.5 is used as given: exponent -2, both validities 16.
    EXPECT_EQ(e.y({0, 2, 1.5}), 16 * 5 + (16 * 0.5 + 0));
    // Raw distances as weights, divided by their sum plus the constant.
    EXPECT_EQ(e.y({1, 0}), (0.25 * 5 + (0.25 * 0.5 + 0)) / (2.2251e-308 + 0.25 + 0.25));

    array empty = standalone::make_empty();
    array many = make_matrix(1, 3, {0, 7, 7});
    EXPECT_EQ(output(run(netsim_gateway, 1,
                         {&e.x, &e.centres, &e.norms, &e.consequents, &empty, &empty, &empty}),
                     0)
                  .at(0),
              e.y({}));
    EXPECT_EQ(output(run(netsim_gateway, 1, {&e.x, &e.centres, &e.norms, &e.consequents, &many}), 0)
                  .at(0),
              plain);
}

TEST(Netsim, ZeroSizes)
{
    two_clusters e;
    array none = make_matrix(1, 0);
    call_result r = run(netsim_gateway, 1, {&none, &e.centres, &e.norms, &e.consequents});
    EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{1, 0}));
    EXPECT_EQ(r.blocks_left, 0u);

    array no_outputs = make_array({0, 2, 2});
    r = run(netsim_gateway, 1, {&e.x, &e.centres, &e.norms, &no_outputs});
    EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{0, 1}));

    array X = make_matrix(2, 3, {1, 2, 3, 4, 5, 6}), C = make_matrix(2, 0),
          A = make_array({2, 2, 0}), T = make_array({2, 3, 0});
    EXPECT_EQ(output(run(netsim_gateway, 1, {&X, &C, &A, &T}), 0), std::vector<double>(6, 0.0));
    // No output asked for: the output is still made.
    EXPECT_TRUE(output_dims(run(netsim_gateway, 0, {&X, &C, &A, &T}), 0).size() == 2);
}

TEST(Netsim, PointsWithoutColumnsNeedNoMatchingRows)
{
    // With no points the row count of X is never consulted: n = 2, p = 4.
    const network net = random_network(2, 4, 3, 12);
    array C = net.centres_array(), A = net.norms_array(), T = net.consequents_array();
    for (mwSize rows : {3, 0, 1, 2}) {
        array X = make_matrix(rows, 0);
        call_result r = run(netsim_gateway, 1, {&X, &C, &A, &T});
        ASSERT_TRUE(r.ok) << rows << " rows: " << r.error;
        EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{4, 0}));
        EXPECT_EQ(r.blocks_left, 0u);
    }
    // One column is a point, and then the rows must be n.
    array X = make_matrix(3, 1, {0.1, 0.2, 0.3});
    expect_error(run(netsim_gateway, 1, {&X, &C, &A, &T}),
                 "X must have n = 2 rows, one per input (the rows of centres).");
}

TEST(Netsim, ArgumentCountMessagesInOrder)
{
    two_clusters e;
    const array* a = &e.x;
    std::vector<const array*> three = {a, a, a}, eight(8, a);
    expect_error(run(netsim_gateway, 2, three), "netsim requires four input arguments.");
    expect_error(run(netsim_gateway, 2, eight),
                 "netsim don't handle more than seven input arguments.");
    expect_error(e.run_with({}, 2), "netsim requires one output argument.");
}

TEST(Netsim, RefusedInputs)
{
    two_clusters e;
    array X2 = make_matrix(2, 1, {0.5, 0.5});
    array short_norms = make_array({1, 1, 1}, {1});
    array short_theta = make_array({1, 2, 1}, {1, 0});
    array bad_class = standalone::make_class(mxINT32_CLASS, {1, 2});
    array sparse = standalone::make_sparse(1, 2, {1});
    expect_error(run(netsim_gateway, 1, {&X2, &e.centres, &e.norms, &e.consequents}),
                 "X must have n = 1 rows, one per input (the rows of centres).");
    expect_error(run(netsim_gateway, 1, {&e.x, &e.centres, &short_norms, &e.consequents}),
                 "norm_matrices must hold at least n*n*c = 2 values.");
    expect_error(run(netsim_gateway, 1, {&e.x, &e.centres, &e.norms, &short_theta}),
                 "consequents must hold at least p*(n+1)*c = 4 values.");
    array hollow = make_array({1, 2, 0});  // two dimensions say n = 1, c = 2; no data
    expect_error(run(netsim_gateway, 1, {&e.x, &hollow, &e.norms, &e.consequents}),
                 "centres must hold at least n*c = 2 values.");
    expect_error(run(netsim_gateway, 1, {&e.x, &bad_class, &e.norms, &e.consequents}),
                 "centres must be a full double array.");
    expect_error(run(netsim_gateway, 1, {&sparse, &e.centres, &e.norms, &e.consequents}),
                 "X must be a full double array.");
    const char* range = "normalize must be a finite number within the 32-bit integer range.";
    expect_error(e.run_with({NAN}), range);
    expect_error(e.run_with({INFINITY}), range);
    expect_error(e.run_with({3e9}), range);
    expect_error(e.run_with({1, -3e9}),
                 "validity_type must be a finite number within the 32-bit integer range.");
    EXPECT_TRUE(e.run_with({2147483647.9, -2147483648.9}).ok);
}
