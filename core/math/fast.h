// The fast paths of exp and pow: double-double evaluations with a proven
// bound on their error, written once for a double (scalar_ops) and for a
// vector of doubles (lane_ops<L, fused> in core/math/exp_pow_lanes.h). O supplies
// the exact products, Dekker's or from fused multiply-adds: both give the
// same p + e = a b wherever the bounds below need it. The caller rounds and
// tests: hi + lo is returned unscaled, the result is (hi + lo) 2^e.
//
// exp(t), t = th + tl: t = k log2/128 + r, k = 128 e + j, |r| <= 2^-8.52,
// exp(t) = 2^e 2^(j/128) exp(r), 2^(j/128) from a table in double-double and
// exp(r) = 1 + r + r^2 (1/2 + r/6 + ... + r^4/720), the part from r^2 on in
// double. Error, relative to the result (the terms of the bound):
//   r^7/7! and beyond            2^-72.0
//   r^2 (...) in double          3.01 * 2^-53 * r^2/2 < 2^-69.46
//   adding rl, rl rh             2 * 2^-53 * 2^-18    = 2^-71.0
//   rl r^2/2 left out            2^-78
//   the table, the reduction, the final sums   < 2^-100
// in all below 2^-68.52; exp_error = 2^-68 is used. O::mul_add may fuse a
// product and a sum (the fused kernels): one rounding where the bound counts
// two, so every term above stays within its bound.
//
// log(x), x = 2^E m, m in [1, 2): m c = 1 + u exactly, c (20 bits) from a
// table of 256, |u| <= 2^-8; log x = (E + s) log 2 - log c - s log 2 + log(1 + u),
// log(1 + u) = u - u^2/2 (double-double) + u^3 (1/3 - u/4 + ... - u^7/10).
// Absolute error: the u^3 term, 3.1 * 2^-53 |u|^3/3 + uh^2 ul < 2^-76,
// its sums < 2^-78.5, the rest (log 2, the table) < 2^-85: log_error = 2^-75.
#pragma once

#include <cstdint>

#include "core/math/dd.h"
#include "core/math/tables.h"

namespace localmodels::math::fast {

constexpr double exp_error = 0x1p-68;
constexpr double log_error = 0x1p-75;

// exp's bound also covers the sums of the rounding test (2^-104).
// 2^52 + 2^51: z + shift puts the integer nearest z in the low bits.
constexpr double shift = 0x1.8p52;
constexpr std::int64_t shift_bits = 0x4338000000000000;

// On one double; fused takes the exact products and the sums of products
// from fused multiply-adds, for functions compiled for a target with them.
template <bool fused>
struct scalar_ops_of {
    using T = double;
    using I = std::int64_t;
    LOCALMODELS_MATH_INLINE static I bits(T x) { return static_cast<I>(dd::bits(x)); }
    LOCALMODELS_MATH_INLINE static T real(I b)
    {
        return dd::from_bits(static_cast<std::uint64_t>(b));
    }
    LOCALMODELS_MATH_INLINE static T to_real(I i) { return static_cast<T>(i); }
    LOCALMODELS_MATH_INLINE static T at(const double* table, int stride, I i)
    {
        return table[i * stride];
    }
    // The two words of row i of a table of pairs.
    LOCALMODELS_MATH_INLINE static void pair(const double (*table)[2], I i, T* a, T* b)
    {
        *a = table[i][0];
        *b = table[i][1];
    }
    LOCALMODELS_MATH_INLINE static T mul_add(T a, T b, T c)
    {
        if constexpr (fused)
            return __builtin_fma(a, b, c);
        else
            return a * b + c;
    }
    LOCALMODELS_MATH_INLINE static void two_prod(T a, T b, T* p, T* e)
    {
        if constexpr (fused) {
            const T prod = a * b;
            *e = __builtin_fma(a, b, -prod);
            *p = prod;
        } else {
            dd::two_prod(a, b, p, e);
        }
    }
    LOCALMODELS_MATH_INLINE static void two_prod_split(T a, T ah, T al, T b, T* p, T* e)
    {
        if constexpr (fused)
            two_prod(a, b, p, e);
        else
            dd::two_prod_split(a, ah, al, b, p, e);
    }
};

using scalar_ops = scalar_ops_of<false>;

// The scalar functions take the fused variant where the CPU has fused
// multiply-adds: a run-time test on x86, always on aarch64. Either rounds
// correctly, so the choice changes the speed only.
#if defined(__x86_64__) || defined(__i386__)
#define LOCALMODELS_MATH_FUSED __attribute__((target("fma")))
inline bool fused_products()
{
    return __builtin_cpu_supports("fma");
}
#elif defined(__aarch64__)
#define LOCALMODELS_MATH_FUSED
inline bool fused_products()
{
    return true;
}
#else
#define LOCALMODELS_MATH_FUSED
inline bool fused_products()
{
    return false;
}
#endif

// exp(th + tl) = (hi + lo) 2^e within exp_error (hi + lo); |th| < 2^17 log 2
// / 128 * 2^7, |tl| < 2^-40. With_low = false takes tl as 0.
template <class O, bool with_low>
LOCALMODELS_MATH_INLINE void exp_eval(typename O::T th, typename O::T tl, typename O::T* hi,
                                      typename O::T* lo, typename O::I* e)
{
    using T = typename O::T;
    using I = typename O::I;
    const T z = th * tables::inv_ln2_128 + shift;
    const T kd = z - shift;
    const I k = O::bits(z) - shift_bits;
    const I j = k & 127;
    *e = k >> 7;

    // r = th + tl - k log2/128 = rh + rl: k c1 and k c2 are exact, and so is
    // th - k c1 (its result has at most 44 bits).
    const T r1 = O::mul_add(-kd, T{} + tables::ln2_128[0], th);
    T ah, al, rh, rr;
    dd::two_sum(r1, -(kd * tables::ln2_128[1]), &ah, &al);
    if (with_low) {
        dd::two_sum(ah, tl, &rh, &rr);
        rr = rr + al;
    } else {
        rh = ah;
        rr = al;
    }
    const T rl = O::mul_add(-kd, T{} + tables::ln2_128[2], rr);

    const T a2 = rh * rh;
    // 1/2 + r/6 + r^2/24 + r^3/120 + r^4/720.
    const T c2 = T{} + 0.5, c3 = T{} + 0x1.5555555555555p-3, c4 = T{} + 0x1.5555555555555p-5,
            c5 = T{} + 0x1.1111111111111p-7, c6 = T{} + 0x1.6c16c16c16c17p-10;
    const T h = O::mul_add(rh, O::mul_add(rh, O::mul_add(rh, O::mul_add(rh, c6, c5), c4), c3), c2);
    const T q = O::mul_add(a2, h, O::mul_add(rl, rh, rl));
    T sh, sl;
    dd::two_sum(rh, q, &sh, &sl);

    T th_, tl_, ph, pl, m;
    O::pair(tables::exp2_table, j, &th_, &tl_);
    O::two_prod(th_, sh, &ph, &pl);
    dd::fast_two_sum(th_, ph, hi, &m);
    *lo = m + (pl + (tl_ + O::mul_add(th_, sl, tl_ * sh)));
}

// log x = lh + ll within log_error, for x positive and normal.
template <class O>
LOCALMODELS_MATH_INLINE void log_eval(typename O::T x, typename O::T* lh, typename O::T* ll)
{
    using T = typename O::T;
    using I = typename O::I;
    const I b = O::bits(x);
    const I i = (b >> 44) & 255;
    const T m = O::real((b & 0x000fffffffffffff) | 0x3ff0000000000000);
    const double* row = &tables::log_table[0][0];
    const T c = O::at(row, 4, i), L_hi = O::at(row + 1, 4, i), L_lo = O::at(row + 2, 4, i);
    const T E = O::to_real((b >> 52) - 1023) + O::at(row + 3, 4, i);

    // m c = ph + pl exactly: m = mh + ml, mh of 26 bits and ml of 27.
    const T mh = O::real(O::bits(m) & -0x8000000LL);
    const T ml = m - mh;
    const T ph = mh * c, pl = ml * c;
    T uh, ul;
    dd::two_sum(ph - 1.0, pl, &uh, &ul);

    T qh, ql;
    O::two_prod(uh, uh, &qh, &ql);
    ql = O::mul_add(2.0 * uh, ul, ql);
    T s1, e1;
    dd::fast_two_sum(uh, -0.5 * qh, &s1, &e1);
    // 1/3 - u/4 + u^2/5 - ... - u^7/10.
    const T d3 = T{} + 0x1.5555555555555p-2, d4 = T{} - 0.25, d5 = T{} + 0.2,
            d6 = T{} - 0x1.5555555555555p-3, d7 = T{} + 0x1.2492492492492p-3, d8 = T{} - 0.125,
            d9 = T{} + 0x1.c71c71c71c71cp-4, d10 = T{} - 0.1;
    T P = O::mul_add(uh, d10, d9);
    P = O::mul_add(uh, P, d8);
    P = O::mul_add(uh, P, d7);
    P = O::mul_add(uh, P, d6);
    P = O::mul_add(uh, P, d5);
    P = O::mul_add(uh, P, d4);
    P = O::mul_add(uh, P, d3);
    const T tail = ((ul - 0.5 * ql) + e1) + (uh * qh) * P;

    T a_h, a_l, s2;
    dd::two_sum(E * tables::ln2_split[0], L_hi, &a_h, &a_l);
    a_l = a_l + (E * tables::ln2_split[1] + L_lo);
    dd::two_sum(a_h, s1, lh, &s2);
    *ll = s2 + (a_l + tail);
}

// log x = lh + ll for x positive and finite, subnormals from log(x 2^64) -
// 64 log 2 (the scalar functions' entry to log_eval).
template <class O>
LOCALMODELS_MATH_INLINE void log_positive(double x, double* lh, double* ll)
{
    const bool tiny = x < 0x1p-1022;
    log_eval<O>(tiny ? x * 0x1p64 : x, lh, ll);
    if (tiny) {
        double s;
        dd::two_sum(*lh, -64 * tables::ln2_split[0], lh, &s);
        *ll = *ll + (s - 64 * tables::ln2_split[1]);
    }
}

}  // namespace localmodels::math::fast
