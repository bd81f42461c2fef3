// pow: the C standard's special values, then x^y = exp(y log x) for x > 0 by
// the fast paths of core/math/fast.h, the results that are exactly a double
// or a midpoint between two (which no approximation can round), and the
// fixed-point path for the rest of the undecided.
#include "core/math/pow.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/math/fast.h"
#include "core/math/round.h"
#include "core/math/variants.h"
#include "core/math/wide.h"

namespace localmodels::math {

namespace {

using u64 = std::uint64_t;

// y an integer, and odd.
bool is_integer(double y)
{
    return std::trunc(y) == y;
}

bool is_odd(double y)
{
    return is_integer(y) && std::fabs(y) < 0x1p53 && (static_cast<std::int64_t>(y) & 1) != 0;
}

// x^y for x or y zero, infinite or NaN, or x = 1; the C standard's table.
double special(double x, double y)
{
    const double inf = HUGE_VAL;
    if (y == 0 || x == 1) return 1.0;
    if (x != x || y != y) return x + y;
    if (std::isinf(y)) {
        const double a = std::fabs(x);
        return a == 1 ? 1.0 : (a < 1) == (y < 0) ? inf : 0.0;
    }
    if (x == 0) return y < 0 ? (is_odd(y) ? 1 / x : inf) : (is_odd(y) ? x : 0.0);
    // x infinite
    if (x < 0) return y < 0 ? (is_odd(y) ? -0.0 : 0.0) : (is_odd(y) ? -inf : inf);
    return y < 0 ? 0.0 : inf;
}

// B 2^f rounded to nearest, ties to even, B < 2^63.
double scaled(u64 B, std::int64_t f)
{
    int p = 63;
    while (p > 0 && ((B >> p) & 1) == 0) --p;
    if (f + p > 1100) return HUGE_VAL;
    if (f + p < -1100) return 0.0;
    const std::int64_t q = std::max<std::int64_t>(p - 52, -1074 - f);
    if (q <= 0) return std::ldexp(static_cast<double>(B), static_cast<int>(f));
    if (q > 63) return 0.0;
    u64 R = B >> q;
    const u64 rest = B & ((u64{1} << q) - 1), half = u64{1} << (q - 1);
    if (rest > half || (rest == half && (R & 1) != 0)) ++R;
    return std::ldexp(static_cast<double>(R), static_cast<int>(q + f));
}

// The integer square root of v, if v is a square.
bool exact_root(u64 v, u64* r)
{
    u64 s = static_cast<u64>(std::sqrt(static_cast<double>(v)));
    while (s * s > v) --s;
    while ((s + 1) * (s + 1) <= v) ++s;
    *r = s;
    return s * s == v;
}

// x^y when it is a dyadic rational, x > 0 finite, y finite, x != 1: with
// x = X 2^E (X odd) and y = n / 2^k (n odd, or k = 0), that needs 2^k | E n,
// and for X > 1 also n > 0, X = Z^(2^k) and Z^n below 2^54 (a double or a
// midpoint has at most 54 bits), so k <= 5 and n < 35. Otherwise x^y is
// irrational, or rational with more than 54 bits: never a boundary.
bool exact(double x, double y, double* r)
{
    int ex, ey;
    u64 X = static_cast<u64>(std::ldexp(std::frexp(x, &ex), 53));
    std::int64_t n = static_cast<std::int64_t>(std::ldexp(std::frexp(y, &ey), 53));
    std::int64_t E = ex - 53, k = 53 - ey;
    while ((X & 1) == 0) X >>= 1, ++E;
    while (k > 0 && (n & 1) == 0) n /= 2, --k;
    if (k < 0) {  // y an integer of more than 53 bits
        if (X != 1 || E == 0) return false;
        *r = (E > 0) == (y > 0) ? HUGE_VAL : 0.0;
        return true;
    }
    if (k > 5 || E % (std::int64_t{1} << k) != 0) return false;
    if (X != 1 && (n <= 0 || n > 34)) return false;
    if (n > (std::int64_t{1} << 40) || n < -(std::int64_t{1} << 40)) return false;
    u64 Z = X;
    for (int i = 0; i < k; ++i)
        if (!exact_root(Z, &Z)) return false;
    u64 B = 1;
    for (std::int64_t i = 0; X != 1 && i < n; ++i) {
        if (B > (u64{1} << 54) / Z) return false;
        B *= Z;
    }
    *r = scaled(B, E / (std::int64_t{1} << k) * n);
    return true;
}

// The fast path of |x|^y and its rounding test: true with *r decided.
template <bool fused>
LOCALMODELS_MATH_INLINE bool fast_pow(double x, double y, double* r)
{
    using O = fast::scalar_ops_of<fused>;
    double lh, ll;
    fast::log_positive<O>(x, &lh, &ll);
    const double t = y * lh;
    if (t > 709.8 || t < -745.2) {
        *r = t > 0 ? HUGE_VAL : 0.0;
        return true;
    }
    double th, tl, hi, lo;
    O::two_prod(y, lh, &th, &tl);
    tl = O::mul_add(y, ll, tl);
    // The error of th + tl as an argument of exp, then exp's own.
    const double dt = std::fabs(y) * fast::log_error + std::fabs(th) * 0x1p-100 + 0x1p-1000;
    std::int64_t e;
    fast::exp_eval<O, true>(th, tl, &hi, &lo, &e);
    return detail::finish(hi, lo, e, (fast::exp_error + dt * 1.01) * hi, r);
}

LOCALMODELS_MATH_FUSED bool fast_pow_fused(double x, double y, double* r)
{
    return fast_pow<true>(x, y, r);
}

// |x|^y for x > 0 finite, y finite, not both trivial.
double positive(double x, double y, bool fused)
{
    double r;
    if (fused ? fast_pow_fused(x, y, &r) : fast_pow<false>(x, y, &r)) return r;
    if (exact(x, y, &r)) return r;
    wide::pow(x, y, &r);
    return r;
}

// x^y by the fast path of the products asked for.
double pow_with(double x, double y, bool fused)
{
    if (y == 0 || x == 1 || x == 0 || std::isinf(x) || !std::isfinite(y) || x != x)
        return special(x, y);
    if (x > 0) return positive(x, y, fused);
    if (!is_integer(y)) return (x - x) / (x - x);  // NaN, and the invalid flag
    const double r = positive(-x, y, fused);
    return is_odd(y) ? -r : r;
}

}  // namespace

double pow(double x, double y)
{
    return pow_with(x, y, fast::fused_products());
}

double detail::pow_dekker(double x, double y)
{
    return pow_with(x, y, false);
}

}  // namespace localmodels::math
