// log: pow's double-double log (core/math/fast.h), a rounding test with a
// bound of its own, and the fixed-point path for the undecided.
//
// The bound. Within [1 - 2^-9, 1 + 2^-8) (rows 0 and 255 of the table, the
// exponent shifted to 0) u = x - 1 is exact and no table term enters, so
// log_eval's error is relative to log x: the u^3 term, 2.03 * 2^-53 |u|^3
// < 2^-67.98 |u| (its P, u qh and product roundings, and qh against u^2),
// its sum 2^-70.6 |u|, the series left out 2^-83 |u|: below 2^-67.7 |log x|,
// and 2^-67 |lh| is used. Elsewhere |log x| >= 2^-9 and the absolute
// log_error holds; the subnormals' 64 log 2 adds below 2^-89; 2^-74 is used.
// Either covers the sums of the test itself (2^-104 |lh|).
#include "core/math/log.h"

#include "core/math/fast.h"
#include "core/math/variants.h"
#include "core/math/wide.h"

namespace localmodels::math {

namespace {

// The fast path and its rounding test: true with *r decided.
template <bool fused>
LOCALMODELS_MATH_INLINE bool fast_log(double x, double* r)
{
    double lh, ll;
    fast::log_positive<fast::scalar_ops_of<fused>>(x, &lh, &ll);
    const bool near_one = x >= 0x1.ffp-1 && x < 0x1.01p0;
    const double err = near_one ? 0x1p-67 * (lh < 0 ? -lh : lh) : 0x1p-74;
    const double a = lh + (ll - err), b = lh + (ll + err);
    *r = a;
    return a == b;
}

LOCALMODELS_MATH_FUSED bool fast_log_fused(double x, double* r)
{
    return fast_log<true>(x, r);
}

// log x for x > 0 finite.
double positive(double x, bool fused)
{
    double r;
    if (fused ? fast_log_fused(x, &r) : fast_log<false>(x, &r)) return r;
    wide::log(x, &r);
    return r;
}

double log_with(double x, bool fused)
{
    if (x > 0 && x < __builtin_inf()) return positive(x, fused);
    if (x == 0) return -1.0 / (x * x);  // -inf (x * x = +0), and the divide-by-zero flag
    if (x > 0 || x != x) return x + x;  // +inf; NaN
    return (x - x) / (x - x);           // x < 0: NaN, and the invalid flag
}

}  // namespace

double log(double x)
{
    return log_with(x, fast::fused_products());
}

double detail::log_dekker(double x)
{
    return log_with(x, false);
}

}  // namespace localmodels::math
