// dmat_inputs and dmat_params: worked examples, row layouts, argument
// messages, zero sizes, refused inputs, and every derivative against
// central differences of netsim.
#include <cmath>
#include <cstring>

#include "host/standalone/gateways.h"
#include "network_fixture.h"

using namespace testing_helpers;
using standalone::make_array;
using standalone::make_matrix;
using standalone::make_scalar;

namespace {

// Runs a derivative plug-in on the network with the given options and, for
// dmat_params, a selection as input 8 (then three options must be given).
call_result derive(standalone::gateway g, const network& net, const std::vector<double>& options,
                   const array* selection = nullptr, int nlhs = 2)
{
    array x = net.x_array(), cs = net.centres_array(), a = net.norms_array(),
          t = net.consequents_array();
    std::vector<array> opts;
    for (double v : options) opts.push_back(make_scalar(v));
    std::vector<const array*> in = {&x, &cs, &a, &t};
    for (const array& o : opts) in.push_back(&o);
    if (selection) in.push_back(selection);
    return run(g, nlhs, in);
}

const std::vector<std::vector<double>> option_sets = {{1, 1, 2}, {0, 1, 2},   {1, 2, 2},
                                                      {0, 2, 2}, {1, 2, 1.6}, {0, 2, 3}};

void expect_close(double got, double expected, const std::string& what)
{
    EXPECT_NEAR(got, expected, 2e-6 * (1 + std::fabs(expected))) << what;
}

}  // namespace

TEST(DmatInputs, AgreesWithCentralDifferences)
{
    for (int trial = 0; trial < 6; ++trial) {
        const network net = random_network(1 + trial % 3, 1 + trial % 2, 1 + trial % 4, 40 + trial);
        for (const auto& options : option_sets) {
            call_result r = derive(dmat_inputs_gateway, net, options);
            const std::vector<double> D = output(r, 0);
            EXPECT_EQ(output(r, 1), netsim_at(net, options));  // same evaluation as netsim
            for (int k = 0; k < net.n; ++k) {
                const std::vector<double> fd = central_difference(
                    net, options, 1e-6, [k](network& m, double h) { m.x[k] += h; });
                for (int j = 0; j < net.p; ++j)
                    expect_close(D[k + j * net.n], fd[j], "input " + std::to_string(k));
            }
        }
    }
}

TEST(DmatParams, AgreesWithCentralDifferencesForEveryGroup)
{
    for (int trial = 0; trial < 5; ++trial) {
        const network net = random_network(1 + trial % 3, 1 + trial % 2, 1 + trial % 3, 60 + trial);
        const int n = net.n, p = net.p, c = net.c;
        for (const auto& options : option_sets) {
            const std::vector<double> D = output(derive(dmat_params_gateway, net, options), 0);
            const std::size_t R = D.size() / p;
            ASSERT_EQ(R, static_cast<std::size_t>(c * (n + n * n + (n + 1) * p)));
            auto check = [&](std::size_t row, std::size_t pair_row, auto perturb) {
                const std::vector<double> fd = central_difference(net, options, 1e-6, perturb);
                for (int j = 0; j < p; ++j) {
                    double d = D[row + j * R];
                    if (pair_row != row) d += D[pair_row + j * R];
                    expect_close(d, fd[j], "row " + std::to_string(row));
                }
            };
            for (int i = 0; i < c; ++i)
                for (int k = 0; k < n; ++k)
                    check(k + i * n, k + i * n,
                          [=](network& m, double h) { m.centres[k + i * n] += h; });
            const std::size_t norms = static_cast<std::size_t>(n) * c;
            for (int i = 0; i < c; ++i)
                for (int s = 0; s < n; ++s)
                    for (int r = s; r < n; ++r) {
                        const std::size_t rs = r + s * n + i * n * n, sr = s + r * n + i * n * n;
                        check(norms + rs, norms + sr, [=](network& m, double h) {
                            m.norms[rs] += h;
                            if (sr != rs) m.norms[sr] += h;
                        });
                    }
            const std::size_t consequents = norms + static_cast<std::size_t>(n) * n * c;
            for (std::size_t e = 0; e < net.consequents.size(); ++e)
                check(consequents + e, consequents + e,
                      [=](network& m, double h) { m.consequents[e] += h; });
        }
    }
}

TEST(DmatParams, RowLayoutOfTheDefaultSelection)
{
    // n = 2, p = 1, c = 3: rows 0-5 centres, 6-17 norm matrices, 18-26
    // consequents (two slopes, then the offset, per cluster).
    const network net = random_network(2, 1, 3, 11);
    call_result r = derive(dmat_params_gateway, net, {});
    EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{27, 1}));
    const std::vector<double> D = output(r, 0);
    array x = net.x_array(), cs = net.centres_array(), a = net.norms_array(),
          t = net.consequents_array();
    for (unsigned char bits : {1, 2, 12}) {
        array sel = standalone::make_uint8({1, 1}, {bits});
        const std::vector<double> part =
            output(derive(dmat_params_gateway, net, {1, 1, 2}, &sel), 0);
        const std::size_t first = bits == 1 ? 0 : bits == 2 ? 6 : 18;
        EXPECT_EQ(part, std::vector<double>(D.begin() + first, D.begin() + first + part.size()));
    }
}

TEST(DmatParams, ConsequentRowsOfSelectionTwelve)
{
    // n = 1, p = 2, c = 1, selection 12 (consequents and offsets): the
    // columns hold w x / S, 0, w / S, 0 and 0, w x / S, 0, w / S.
    network net = random_network(1, 2, 1, 3);
    array sel = standalone::make_uint8({1, 1}, {12});
    call_result r = derive(dmat_params_gateway, net, {1, 1, 2}, &sel);
    EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{4, 2}));
    const double d = net.norms[0] * (net.x[0] - net.centres[0]) * (net.x[0] - net.centres[0]);
    const double w = std::exp(-d), S = 2.2251e-308 + w;
    const double wx = (w * net.x[0]) / S, w1 = w / S;
    EXPECT_EQ(output(r, 0), (std::vector<double>{wx, 0, w1, 0, 0, wx, 0, w1}));

    sel = standalone::make_uint8({1, 1}, {4});  // offsets present but 0
    EXPECT_EQ(output(derive(dmat_params_gateway, net, {1, 1, 2}, &sel), 0),
              (std::vector<double>{wx, 0, 0, 0, 0, wx, 0, 0}));
}

TEST(DmatParams, EmptySelectionsAndNoClusters)
{
    const network net = random_network(2, 3, 2, 8);
    array eight = standalone::make_uint8({1, 1}, {8});
    array zero = standalone::make_uint8({1, 1}, {0});
    array high = standalone::make_uint8({1, 1}, {16 + 32 + 64 + 128});
    for (const array* sel : {&eight, &zero, &high}) {
        call_result r = derive(dmat_params_gateway, net, {1, 1, 2}, sel);
        EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{0, 3}));
        EXPECT_EQ(output(r, 1), std::vector<double>(3, 0.0));  // not evaluated
    }
    // A floating-point selection is refused: the first byte of the double
    // 15.0 is 0 and once selected nothing. Integer, logical and char
    // selections keep the first-byte rule.
    for (const array& sel : {make_scalar(15), standalone::make_class(mxSINGLE_CLASS, {1, 1})}) {
        call_result r = derive(dmat_params_gateway, net, {1, 1, 2}, &sel);
        expect_error(r,
                     "parameter_selection must be an integer array such as uint8(15); the first "
                     "byte of a double is not its value.");
        EXPECT_EQ(r.identifier, "dmat_params:selectionNotInteger");
    }
    std::int16_t fifteen = 15;
    std::vector<unsigned char> bytes(2);
    std::memcpy(bytes.data(), &fifteen, 2);
    array i16 = standalone::make_class(mxINT16_CLASS, {1, 1}, bytes);
    array logical = standalone::make_class(mxLOGICAL_CLASS, {1, 1}, {1});
    array letter = standalone::make_class(mxCHAR_CLASS, {1, 1}, {4, 0});
    EXPECT_EQ(output_dims(derive(dmat_params_gateway, net, {1, 1, 2}, &i16), 0),
              (std::vector<mwSize>{2 * (2 + 4 + 9), 3}));
    EXPECT_EQ(output_dims(derive(dmat_params_gateway, net, {1, 1, 2}, &logical), 0),
              (std::vector<mwSize>{2 * 2, 3}));
    EXPECT_EQ(output_dims(derive(dmat_params_gateway, net, {1, 1, 2}, &letter), 0),
              (std::vector<mwSize>{2 * 9, 3}));

    // An empty selection takes the default, all groups; so does an empty double.
    array empty = standalone::make_empty();
    EXPECT_EQ(output_dims(derive(dmat_params_gateway, net, {1, 1, 2}, &empty), 0),
              (std::vector<mwSize>{2 * (2 + 4 + 9), 3}));
    const network none = random_network(2, 3, 0, 8);
    call_result r = derive(dmat_params_gateway, none, {});
    EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{0, 3}));
    EXPECT_EQ(output(r, 1), std::vector<double>(3, 0.0));
}

TEST(NetworkDerivatives, RawDistanceWeightsGiveZeroDistanceRows)
{
    const network net = random_network(2, 2, 2, 21);
    for (double type : {0.0, 3.0}) {
        call_result in = derive(dmat_inputs_gateway, net, {1, type, 2});
        EXPECT_EQ(output(in, 0), std::vector<double>(4, 0.0));
        EXPECT_EQ(output(in, 1), netsim_at(net, {1, type, 2}));
        const std::vector<double> D = output(derive(dmat_params_gateway, net, {0, type, 2}), 0);
        const std::size_t R = D.size() / 2, distance_rows = 2 * (2 + 4);
        for (std::size_t row = 0; row < distance_rows; ++row) EXPECT_EQ(D[row], 0.0);
        // Consequent rows use the raw distances the core leaves as validities.
        EXPECT_NE(D[distance_rows + 4], 0.0);
        EXPECT_EQ(D[R + distance_rows + 1], D[distance_rows]);
    }
}

TEST(DmatInputs, ShapesAndSpecialCases)
{
    network net = random_network(2, 3, 2, 30);
    call_result r = derive(dmat_inputs_gateway, net, {});
    EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{2, 3}));
    EXPECT_EQ(output_dims(r, 1), (std::vector<mwSize>{3, 1}));
    EXPECT_EQ(r.blocks_left, 0u);
    // One output asked for: only the first slot is filled.
    call_result one = derive(dmat_inputs_gateway, net, {}, nullptr, 1);
    EXPECT_EQ(one.outputs.size(), 1u);
    EXPECT_EQ(output(one, 0), output(r, 0));
    EXPECT_EQ(one.blocks_left, 0u);

    // At a centre under the Gaussian, g = 0: the entry is w T / S.
    network at = random_network(2, 1, 1, 31);
    at.x = at.centres;
    const std::vector<double> D = output(derive(dmat_inputs_gateway, at, {0, 1, 2}), 0);
    EXPECT_EQ(D, (std::vector<double>{at.consequents[0], at.consequents[1]}));

    const network no_clusters = random_network(2, 2, 0, 32);
    r = derive(dmat_inputs_gateway, no_clusters, {});
    EXPECT_EQ(output(r, 0), std::vector<double>(4, 0.0));
    EXPECT_EQ(output(r, 1), std::vector<double>(2, 0.0));

    const network no_outputs = random_network(2, 0, 2, 33);
    r = derive(dmat_inputs_gateway, no_outputs, {});
    EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{2, 0}));
    EXPECT_EQ(output_dims(r, 1), (std::vector<mwSize>{0, 1}));
}

TEST(NetworkDerivatives, ArgumentCountMessagesInOrder)
{
    const network net = random_network(1, 1, 1, 1);
    array x = net.x_array(), c = net.centres_array(), a = net.norms_array(),
          t = net.consequents_array(), o = make_scalar(1);
    array odd = standalone::make_class(mxCELL_CLASS, {1, 1});
    const std::vector<const array*> three = {&x, &c, &a}, four = {&x, &c, &a, &t},
                                    eight = {&x, &c, &a, &t, &o, &o, &o, &o},
                                    nine = {&x, &c, &a, &t, &o, &o, &o, &o, &odd};
    const char* at_least = "DMAT requires at least four input arguments.";
    const char* at_most = "DMAT requires at most two output argument.";
    expect_error(run(dmat_inputs_gateway, 3, three), at_least);
    expect_error(run(dmat_inputs_gateway, 3, four), at_most);
    EXPECT_TRUE(run(dmat_inputs_gateway, 2, nine).ok);  // inputs after the seventh are ignored

    expect_error(run(dmat_params_gateway, 3, nine), "DMAT requires four or five input arguments.");
    expect_error(run(dmat_params_gateway, 3, eight), at_most);
    expect_error(run(dmat_params_gateway, 2, three), at_least);
    expect_error(run(dmat_params_gateway, 0, {}), at_least);
}

TEST(NetworkDerivatives, RefusedInputs)
{
    const network net = random_network(2, 1, 2, 2);
    array x = net.x_array(), c = net.centres_array(), a = net.norms_array(),
          t = net.consequents_array();
    array short_x = make_matrix(1, 1, {0.5});
    array short_a = make_array({2, 2, 1}, {1, 0, 0, 1});
    array short_t = make_array({1, 3, 1}, {1, 2, 3});
    array nan = make_scalar(NAN), one = make_scalar(1), two = make_scalar(2);
    array cell = standalone::make_class(mxCELL_CLASS, {1, 1});
    for (standalone::gateway g : {dmat_inputs_gateway, dmat_params_gateway}) {
        expect_error(run(g, 2, {&short_x, &c, &a, &t}), "X must hold at least n = 2 values.");
        expect_error(run(g, 2, {&x, &c, &short_a, &t}),
                     "norm_matrices must hold at least n*n*c = 8 values.");
        expect_error(run(g, 2, {&x, &c, &a, &short_t}),
                     "consequents must hold at least p*(n+1)*c = 6 values.");
        expect_error(run(g, 2, {&x, &c, &a, &t, &one, &nan}),
                     "validity_type must be a finite number within the 32-bit integer range.");
    }
    expect_error(run(dmat_params_gateway, 2, {&x, &c, &a, &t, &one, &one, &two, &cell}),
                 "parameter_selection must be a numeric, logical or char array.");
    // A 2-by-1 X gives the point; a longer X is fine too.
    array long_x = make_matrix(2, 3, {net.x[0], net.x[1], 9, 9, 9, 9});
    EXPECT_EQ(output(run(dmat_inputs_gateway, 2, {&long_x, &c, &a, &t}), 0),
              output(run(dmat_inputs_gateway, 2, {&x, &c, &a, &t}), 0));
}
