// Sizes and integer conversions shared by the whole core. Counts are 32-bit;
// every double becomes an integer by truncation toward zero, decided here once.
#pragma once

#include <cmath>
#include <cstdint>

namespace localmodels {

// Largest element count, dimension or count the core accepts.
constexpr std::int64_t max_count = 2147483647;

// Truncation toward zero, defined for every double: NaN gives 0 and values
// beyond the 32-bit range give its nearest end.
inline int trunc_to_int(double v)
{
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);  // truncates toward zero
}

}  // namespace localmodels
