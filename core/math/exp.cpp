// exp: the fast path of core/math/fast.h, its rounding test, and the
// fixed-point path for the arguments it cannot decide (about one in 2^14).
#include "core/math/exp.h"

#include "core/math/fast.h"
#include "core/math/round.h"
#include "core/math/variants.h"
#include "core/math/wide.h"

namespace localmodels::math {

namespace {

// The fast path and its rounding test: true with *r decided.
template <bool fused>
LOCALMODELS_MATH_INLINE bool fast_exp(double x, double* r)
{
    double hi, lo;
    std::int64_t e;
    fast::exp_eval<fast::scalar_ops_of<fused>, false>(x, 0.0, &hi, &lo, &e);
    return detail::finish(hi, lo, e, fast::exp_error * hi, r);
}

LOCALMODELS_MATH_FUSED bool fast_exp_fused(double x, double* r)
{
    return fast_exp<true>(x, r);
}

double exp_with(double x, bool fused)
{
    // Beyond +-745.2 (and for NaN, whose comparison fails) the result is
    // NaN, +inf or 0 at once.
    if (!(x <= 745.2 && x >= -745.2)) return x != x ? x + x : x > 0 ? 0x1p1023 * 2.0 : 0.0;
    double r;
    if (fused ? fast_exp_fused(x, &r) : fast_exp<false>(x, &r)) return r;
    wide::exp(x, &r);
    return r;
}

}  // namespace

double exp(double x)
{
    return exp_with(x, fast::fused_products());
}

double detail::exp_dekker(double x)
{
    return exp_with(x, false);
}

}  // namespace localmodels::math
