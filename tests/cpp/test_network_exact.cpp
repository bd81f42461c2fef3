// netsim, dmat_inputs and dmat_params through their gateways against plain
// transcriptions of the documented evaluation order, bit for bit, on random
// networks: every size from 0 up, symmetric, lopsided and indefinite norm
// matrices, points at, near and far from the centres, every validity type
// and normalisation, fuzziness down to 1, every selection byte. A change of
// a single rounding anywhere in the three plug-ins shows here.
#include <cmath>
#include <string>
#include <vector>

#include "helpers.h"
#include "host/standalone/gateways.h"
#include "plain_network.h"

using namespace testing_helpers;
using standalone::make_array;
using standalone::make_matrix;
using standalone::make_scalar;

namespace {

template <class T, std::size_t N>
T pick(lcg& rng, const T (&values)[N])
{
    return values[rng.below(static_cast<int>(N))];
}

// A random call of a network plug-in: the network, N points, and how many
// of the options normalize, validity_type and fuzziness are passed (those
// not passed hold their defaults in `net`).
struct problem {
    plain_network::network_call net;
    int N;
    std::vector<double> X;  // n-by-N
    int options_given;
};

problem random_problem(lcg& rng, int N)
{
    const int n = pick(rng, {0, 1, 1, 2, 2, 3, 4}), p = pick(rng, {0, 1, 1, 2, 3}),
              c = pick(rng, {0, 1, 1, 2, 3, 4});
    problem pb{{n, p, c, rng.uniform_vector(n * c, -1, 1), std::vector<double>(n * n * c),
                rng.uniform_vector(p * (n + 1) * c, -2, 2), 1, 1, 2.0},
               N,
               {},
               rng.below(2) == 0 ? 3 : rng.below(3)};

    // Norm matrices: symmetric positive definite, the same with entries
    // above the diagonal that only the derivative plug-ins read, arbitrary
    // (indefinite, so distances may be negative), or diagonal. Large scales
    // let Gaussian validities underflow.
    const double scale = pick(rng, {0.05, 0.5, 1.0, 1.0, 4.0, 40.0});
    for (int i = 0; i < c; ++i) {
        double* a = pb.net.A.data() + i * n * n;
        const int kind = rng.below(4);
        const std::vector<double> b = rng.uniform_vector(n * n, -1, 1);
        for (int r = 0; r < n; ++r)
            for (int s = 0; s < n; ++s) {
                double v = 0.0;
                if (kind == 2) {
                    v = b[r + s * n];
                } else if (kind == 3) {
                    v = r == s ? 0.1 + std::fabs(b[r]) : 0.0;
                } else {
                    v = r == s ? 0.3 : 0.0;
                    for (int k = 0; k < n; ++k) v += b[r * n + k] * b[s * n + k];
                    if (kind == 1 && r < s) v += rng.uniform(-1, 1);
                }
                a[r + s * n] = scale * v;
            }
    }

    // Points: anywhere, exactly at a centre, a hair from one, or far off.
    for (int t = 0; t < N; ++t) {
        const int kind = c > 0 ? rng.below(4) : 0;
        const int i = c > 0 ? rng.below(c) : 0;
        for (int k = 0; k < n; ++k) {
            const double centre = c > 0 ? pb.net.C[k + i * n] : 0.0;
            pb.X.push_back(kind == 0   ? rng.uniform(-1.5, 1.5)
                           : kind == 1 ? centre
                           : kind == 2 ? centre + rng.uniform(-1e-6, 1e-6)
                                       : rng.uniform(-30, 30));
        }
    }

    // Options: any nonzero normalize normalises; validity types other than
    // 1 and 2 weight by the raw distance. Fuzziness near 1 gives huge
    // exponents, 1 itself divides by zero; most values make m - 1 inexact,
    // so that divisions by it round.
    if (pb.options_given >= 1) pb.net.normalize = pick(rng, {0, 0, 0, 1, 1, 5, -3, 2147483647});
    if (pb.options_given >= 2) pb.net.type = pick(rng, {1, 1, 1, 2, 2, 2, 2, 0, 3, -1});
    if (pb.options_given >= 3)
        pb.net.m = rng.below(3) == 0
                       ? rng.uniform(1.1, 4.0)
                       : pick(rng, {2.0, 1.5, 3.0, 1.3, 1.05, 1.01, 1.0, 0.7, 7.25, 2.6, 1.7});
    return pb;
}

// Runs a gateway on the problem's points (as X, the first n of which are
// the point of a derivative plug-in) and its options, then `extra` inputs.
call_result run_problem(standalone::gateway g, int nlhs, const problem& pb,
                        const std::vector<const array*>& extra = {})
{
    const plain_network::network_call& net = pb.net;
    array X = make_matrix(net.n, pb.N, pb.X), C = make_matrix(net.n, net.c, net.C),
          A = make_array({mwSize(net.n), mwSize(net.n), mwSize(net.c)}, net.A),
          T = make_array({mwSize(net.p), mwSize(net.n + 1), mwSize(net.c)}, net.T);
    const double given[] = {static_cast<double>(net.normalize), static_cast<double>(net.type),
                            net.m};
    std::vector<array> options;
    for (int o = 0; o < pb.options_given; ++o) options.push_back(make_scalar(given[o]));
    std::vector<const array*> in = {&X, &C, &A, &T};
    for (const array& o : options) in.push_back(&o);
    in.insert(in.end(), extra.begin(), extra.end());
    return run(g, nlhs, in);
}

std::string describe(int trial, const problem& pb)
{
    const plain_network::network_call& a = pb.net;
    return "trial " + std::to_string(trial) + ": n=" + std::to_string(a.n) +
           " p=" + std::to_string(a.p) + " c=" + std::to_string(a.c) +
           " normalize=" + std::to_string(a.normalize) + " type=" + std::to_string(a.type) +
           " m=" + std::to_string(a.m) + " options=" + std::to_string(pb.options_given);
}

}  // namespace

TEST(NetworkExact, NetsimMatchesThePlainEvaluationOrderBitForBit)
{
    lcg rng(1401);
    for (int trial = 0; trial < 300; ++trial) {
        const problem pb = random_problem(rng, rng.below(6));
        SCOPED_TRACE(describe(trial, pb));
        const call_result r = run_problem(netsim_gateway, 1, pb);
        EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{mwSize(pb.net.p), mwSize(pb.N)}));
        EXPECT_TRUE(bitwise_equal(output(r, 0), plain_network::outputs(pb.net, pb.X, pb.N)));
    }
}

TEST(NetworkExact, DmatInputsMatchesThePlainEvaluationOrderBitForBit)
{
    lcg rng(1402);
    for (int trial = 0; trial < 400; ++trial) {
        // A second column of X is ignored.
        const problem pb = random_problem(rng, 1 + rng.below(2));
        SCOPED_TRACE(describe(trial, pb));
        const plain_network::derivative_outputs expected =
            plain_network::input_derivatives(pb.net, pb.X.data());
        const call_result r = run_problem(dmat_inputs_gateway, 2, pb);
        EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{mwSize(pb.net.n), mwSize(pb.net.p)}));
        EXPECT_TRUE(bitwise_equal(output(r, 0), expected.derivatives));
        EXPECT_TRUE(bitwise_equal(output(r, 1), expected.y));
    }
}

TEST(NetworkExact, DmatParamsMatchesThePlainEvaluationOrderBitForBit)
{
    // Every combination of the four selection bits, and some with the
    // ignored high bits set as well.
    std::vector<unsigned char> selections;
    for (unsigned bits = 0; bits < 16; ++bits)
        selections.push_back(static_cast<unsigned char>(bits));
    for (unsigned bits : {0u, 5u, 7u, 12u, 15u})
        selections.push_back(static_cast<unsigned char>(0xF0 | bits));
    selections.push_back(16);
    selections.push_back(0x80 | 9);

    lcg rng(1403);
    for (int trial = 0; trial < 400; ++trial) {
        const problem pb = random_problem(rng, 1 + rng.below(2));
        SCOPED_TRACE(describe(trial, pb));
        const int p = pb.net.p;
        auto check = [&](const call_result& r, unsigned char selection) {
            SCOPED_TRACE("selection " + std::to_string(selection));
            const plain_network::derivative_outputs expected =
                plain_network::parameter_derivatives(pb.net, pb.X.data(), selection);
            const int R = plain_network::selected_rows(pb.net.n, p, pb.net.c, selection);
            EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{mwSize(R), mwSize(p)}));
            EXPECT_TRUE(bitwise_equal(output(r, 0), expected.derivatives));
            EXPECT_TRUE(bitwise_equal(output(r, 1), expected.y));
        };
        check(run_problem(dmat_params_gateway, 2, pb), 15);  // the default selection
        if (pb.options_given < 3) continue;                  // a selection needs all options
        for (unsigned char selection : selections) {
            const array s = standalone::make_uint8({1, 1}, {selection});
            check(run_problem(dmat_params_gateway, 2, pb, {&s}), selection);
        }
    }
}
