// exp: the fast path of core/math/fast.h, its rounding test, and the
// fixed-point path for the arguments it cannot decide (about one in 2^14).
#include "core/math/exp.h"

#include "core/math/fast.h"
#include "core/math/round.h"
#include "core/math/wide.h"

namespace localmodels::math {

double exp(double x)
{
    // Beyond +-745.2 (and for NaN, whose comparison fails) the result is
    // NaN, +inf or 0 at once.
    if (!(x <= 745.2 && x >= -745.2)) return x != x ? x + x : x > 0 ? 0x1p1023 * 2.0 : 0.0;
    double hi, lo, r;
    std::int64_t e;
    fast::exp_eval<fast::scalar_ops, false>(x, 0.0, &hi, &lo, &e);
    if (detail::finish(hi, lo, e, fast::exp_error * hi, &r)) return r;
    wide::exp(x, &r);
    return r;
}

}  // namespace localmodels::math
