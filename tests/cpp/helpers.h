// Small helpers for driving gateways through the standalone host in tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/standalone/standalone.h"
#include "random.h"

namespace testing_helpers {

using standalone::array;
using standalone::call_result;

// Runs gateway g with the given inputs and nlhs outputs asked for.
inline call_result run(standalone::gateway g, int nlhs, const std::vector<const array*>& inputs)
{
    std::vector<const mxArray*> raw;
    for (const array* a : inputs) raw.push_back(a->get());
    return standalone::call(g, nlhs, raw);
}

// Asserts that the call ended with exactly `message`.
inline void expect_error(const call_result& r, const std::string& message)
{
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, message);
}

// The values of output `slot` of a successful call.
inline std::vector<double> output(const call_result& r, std::size_t slot)
{
    EXPECT_TRUE(r.ok) << r.error;
    if (!r.ok || slot >= r.outputs.size() || !r.outputs[slot]) {
        ADD_FAILURE() << "no output " << slot;
        return {};
    }
    return standalone::values(r.outputs[slot].get());
}

// The dimensions of output `slot`, as {rows, columns}.
inline std::vector<mwSize> output_dims(const call_result& r, std::size_t slot)
{
    if (!r.ok || slot >= r.outputs.size() || !r.outputs[slot]) return {};
    return standalone::dims(r.outputs[slot].get());
}

// Succeeds when a and b have the same length and every element the same bit
// pattern (so 0.0 and -0.0 differ), except that two NaNs count as equal:
// NaN positions must agree, their payloads need not, because a compiler may
// swap the operands of a commutative operation. On failure names the first
// differing element, in hexadecimal floating point.
inline ::testing::AssertionResult bitwise_equal(const std::vector<double>& got,
                                                const std::vector<double>& expected)
{
    if (got.size() != expected.size())
        return ::testing::AssertionFailure()
               << "sizes differ: " << got.size() << " against " << expected.size();
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (std::isnan(got[i]) && std::isnan(expected[i])) continue;
        std::uint64_t a, b;
        std::memcpy(&a, &got[i], sizeof a);
        std::memcpy(&b, &expected[i], sizeof b);
        if (a != b) {
            char text[96];
            std::snprintf(text, sizeof text, "%a against %a", got[i], expected[i]);
            return ::testing::AssertionFailure() << "element " << i << ": " << text;
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace testing_helpers
