// The options the three network plug-ins share: the integer options at the
// ends of the signed 32-bit range, and omitted options equal to their
// defaults bit for bit.
#include <cmath>
#include <string>
#include <vector>

#include "host/standalone/gateways.h"
#include "network_fixture.h"

using namespace testing_helpers;
using standalone::make_scalar;

namespace {

struct plugin {
    const char* name;
    standalone::gateway g;
    int nlhs;
};
const plugin plugins[] = {{"netsim", netsim_gateway, 1},
                          {"dmat_inputs", dmat_inputs_gateway, 2},
                          {"dmat_params", dmat_params_gateway, 2}};

// The plug-in on the network at its point: the options given as scalars,
// an empty array where an entry is NaN, then `extra` inputs.
call_result run_on(const plugin& pl, const network& net, const std::vector<double>& options,
                   const std::vector<const array*>& extra = {})
{
    array x = net.x_array(), cs = net.centres_array(), a = net.norms_array(),
          t = net.consequents_array();
    std::vector<array> opts;
    for (double v : options)
        opts.push_back(std::isnan(v) ? standalone::make_empty() : make_scalar(v));
    std::vector<const array*> in = {&x, &cs, &a, &t};
    for (const array& o : opts) in.push_back(&o);
    in.insert(in.end(), extra.begin(), extra.end());
    return run(pl.g, pl.nlhs, in);
}

// All outputs of a call, one after the other.
std::vector<double> outputs_of(const call_result& r, int nlhs)
{
    std::vector<double> all;
    for (int slot = 0; slot < nlhs; ++slot) {
        const std::vector<double> v = output(r, slot);
        all.insert(all.end(), v.begin(), v.end());
    }
    return all;
}

}  // namespace

// normalize and validity_type are accepted from just above -2147483649 to
// just below 2147483648 and truncated toward zero, so that every accepted
// value lands in the signed 32-bit range: 2147483647.9 is 2147483647 and
// -2147483648.9 is -2147483648. The first values beyond are refused.
TEST(NetworkOptions, IntegerOptionsAtTheEndsOfTheThirtyTwoBitRange)
{
    const network net = random_network(2, 2, 3, 77);
    const double below_2p31 = std::nextafter(2147483648.0, 0.0);      // 2147483647.9999998
    const double above_m2p31m1 = std::nextafter(-2147483649.0, 0.0);  // -2147483648.9999998
    const std::vector<double> to_top = {2147483647.0, 2147483647.9, below_2p31};
    const std::vector<double> to_bottom = {-2147483648.0, -2147483648.9, above_m2p31m1};

    for (const plugin& pl : plugins) {
        SCOPED_TRACE(pl.name);
        auto result = [&](const std::vector<double>& options) {
            return outputs_of(run_on(pl, net, options), pl.nlhs);
        };
        // Any nonzero normalize normalises; validity types other than 1 and
        // 2 weight by the raw distance.
        const std::vector<double> normalised = result({1, 2, 1.7});
        const std::vector<double> raw = result({1, 3, 1.7});
        for (double v : to_top) {
            SCOPED_TRACE(std::to_string(v));
            EXPECT_TRUE(bitwise_equal(result({v, 2, 1.7}), normalised));
            EXPECT_TRUE(bitwise_equal(result({1, v, 1.7}), raw));
        }
        for (double v : to_bottom) {
            SCOPED_TRACE(std::to_string(v));
            EXPECT_TRUE(bitwise_equal(result({v, 2, 1.7}), normalised));
            EXPECT_TRUE(bitwise_equal(result({1, v, 1.7}), raw));
        }
        // Just inside zero from either side truncates to 0.
        EXPECT_TRUE(bitwise_equal(result({-0.9, 2, 1.7}), result({0, 2, 1.7})));
        EXPECT_TRUE(bitwise_equal(result({1, -0.9, 1.7}), result({1, 0, 1.7})));

        for (double v : {2147483648.0, -2147483649.0, 2147483648.5, -2147483650.0}) {
            SCOPED_TRACE(std::to_string(v));
            expect_error(run_on(pl, net, {v}),
                         "normalize must be a finite number within the 32-bit integer range.");
            expect_error(run_on(pl, net, {1, v}),
                         "validity_type must be a finite number within the 32-bit integer range.");
        }
    }
}

// An omitted option is its default exactly: normalize 1, validity_type 1,
// fuzziness 2.0 (and for dmat_params the selection 15), whether the input is
// left out or passed empty. The neighbouring doubles of 2.0 change the
// results, so a default that is merely close to 2.0 would show.
TEST(NetworkOptions, OmittedOptionsAreTheirDefaultsBitForBit)
{
    network net = random_network(3, 2, 3, 78);
    net.x = {4.5, -3.0, 6.0};  // far from the centres: the fuzzy exponent tells
    const double none = NAN;   // an empty option input
    const std::vector<double> near_two = {std::nextafter(2.0, 3.0), std::nextafter(2.0, 1.0)};

    for (const plugin& pl : plugins) {
        SCOPED_TRACE(pl.name);
        auto result = [&](const std::vector<double>& options) {
            return outputs_of(run_on(pl, net, options), pl.nlhs);
        };
        for (int normalize : {0, 1}) {
            SCOPED_TRACE("normalize " + std::to_string(normalize));
            const std::vector<double> fuzzy = result({double(normalize), 2, 2.0});
            EXPECT_TRUE(bitwise_equal(result({double(normalize), 2}), fuzzy));
            EXPECT_TRUE(bitwise_equal(result({double(normalize), 2, none}), fuzzy));
            for (double m : near_two)
                EXPECT_FALSE(bitwise_equal(result({double(normalize), 2, m}), fuzzy)) << m;
        }
        const std::vector<double> defaults = result({1, 1, 2.0});
        EXPECT_TRUE(bitwise_equal(result({}), defaults));
        EXPECT_TRUE(bitwise_equal(result({1}), defaults));
        EXPECT_TRUE(bitwise_equal(result({none, none, none}), defaults));
    }

    const array all = standalone::make_uint8({1, 1}, {15});
    const std::vector<double> selected =
        outputs_of(run_on(plugins[2], net, {1, 2, 2.0}, {&all}), 2);
    EXPECT_TRUE(bitwise_equal(outputs_of(run_on(plugins[2], net, {1, 2}), 2), selected));
    EXPECT_TRUE(
        bitwise_equal(outputs_of(run_on(plugins[2], net, {1, 2, none}, {&all}), 2), selected));
}
