// The last step of the fast paths: (hi + lo) 2^e rounded to nearest, when
// the error bound err (on hi + lo, unscaled) cannot change the rounding.
#pragma once

#include <cstdint>

#include "core/math/dd.h"

namespace localmodels::math::detail {

// hi near [0.99, 2). True with *r the correctly rounded result, or false
// when the interval of width 2 err around hi + lo holds a boundary.
inline bool finish(double hi, double lo, std::int64_t e, double err, double* r)
{
    if (e >= -1021 || (e == -1022 && hi >= 1)) {
        if (e > 1024) {
            *r = 0x1p1023 * 2.0;  // overflows to +inf
            return true;
        }
        const double a = hi + (lo - err), b = hi + (lo + err);
        if (a != b || (e == -1022 && a < 1)) return false;
        // 2^e in two factors where 2^e alone is no double.
        *r = e == 1024 ? a * 0x1p1023 * 2.0 : a * dd::pow2(static_cast<int>(e));
        return true;
    }
    if (e < -1080) {
        *r = 0.0;
        return true;
    }
    // Below 2^-1022: c + (hi + lo) lies in [c, 2c), whose spacing is that of
    // the subnormals scaled by 2^-e; c + its rounding, minus c, is exact.
    const double c = dd::pow2(static_cast<int>(-1022 - e));
    double uh, ul;
    dd::two_sum(c, hi, &uh, &ul);
    const double u = ul + lo;
    const double bound = err + 0x1p-52 * (u < 0 ? -u : u);
    const double a = uh + (u - bound), b = uh + (u + bound);
    if (a != b) return false;
    *r = (a - c) * dd::pow2(static_cast<int>(e + 64)) * 0x1p-64;
    return true;
}

}  // namespace localmodels::math::detail
