// The tests' one random generator, host-free, for every test program.
#pragma once

#include <cstddef>
#include <vector>

namespace testing_helpers {

// A minimal deterministic generator, so tests do not depend on a library's
// distribution algorithms.
struct lcg {
    unsigned long long state;
    explicit lcg(unsigned long long seed) : state(seed * 6364136223846793005ULL + 1) {}
    double uniform(double lo = 0.0, double hi = 1.0)
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return lo + (hi - lo) * static_cast<double>(state >> 11) * 0x1.0p-53;
    }
    // An integer from 0 to count - 1.
    int below(int count) { return static_cast<int>(uniform() * count); }
    std::vector<double> uniform_vector(std::size_t count, double lo = 0.0, double hi = 1.0)
    {
        std::vector<double> v(count);
        for (double& x : v) x = uniform(lo, hi);
        return v;
    }
};

}  // namespace testing_helpers
