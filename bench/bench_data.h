// Deterministic inputs for the benchmarks.
#pragma once

#include <vector>

// `count` values uniform in [0, 1) from a fixed linear congruential sequence.
inline std::vector<double> uniform(std::size_t count, unsigned long long seed)
{
    std::vector<double> v(count);
    for (double& x : v) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        x = static_cast<double>(seed >> 11) * 0x1.0p-53;
    }
    return v;
}
