// exp and pow over vectors of doubles (core/common/lanes.h), for the
// kernels that run a vector of points at a time: the fast paths of
// core/math/fast.h lane by lane, and the scalar functions for the lanes
// they cannot decide or do not cover. Both round correctly, so every lane
// holds the very bits of math::exp or math::pow, at every vector width.
// Include only from a kernel's own file: each width is compiled for the
// target of the function that inlines it.
#pragma once

// Vectors pass by value only between functions inlined into one kernel,
// never across a call of another target's ABI.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <cstring>

#if defined(__x86_64__) && !defined(__clang__)
#include <immintrin.h>  // declares the gather builtins at every target
#endif

#include "core/common/lanes.h"
#include "core/math/exp.h"
#include "core/math/fast.h"
#include "core/math/pow.h"

namespace localmodels::math {

template <int L>
struct int_lanes_of {
    typedef long long type __attribute__((vector_size(8 * L)));
    typedef unsigned long long unsigned_type __attribute__((vector_size(8 * L)));
};

// The operations of fast.h on L lanes; fused takes the exact products from
// fused multiply-adds, for kernels compiled for a target that has them
// (core/math/vectors.cpp), else Dekker's.
template <int L, bool fused = false>
struct lane_ops {
    using T = lanes<L>;
    using I = typename int_lanes_of<L>::type;
    __attribute__((always_inline)) static I bits(T x) { return reinterpret_cast<I>(x); }
    __attribute__((always_inline)) static T real(I b) { return reinterpret_cast<T>(b); }
    __attribute__((always_inline)) static T to_real(I i) { return __builtin_convertvector(i, T); }
    // table[i[l]] in lane l: one gather instruction at 4 and 8 lanes on
    // x86-64 (GCC's builtins; elsewhere a load per lane).
    __attribute__((always_inline)) static T gather(const double* table, I i)
    {
#if defined(__x86_64__) && !defined(__clang__)
        if constexpr (L == 8)
            return __builtin_ia32_gatherdiv8df(T{}, table, i, static_cast<unsigned char>(0xff), 8);
        if constexpr (L == 4)
            return __builtin_ia32_gatherdiv4df(T{}, table, i, reinterpret_cast<T>(I{} - 1), 8);
#endif
        T r;
        for (int l = 0; l < L; ++l) r[l] = table[i[l]];
        return r;
    }
    __attribute__((always_inline)) static T at(const double* table, int stride, I i)
    {
        return gather(table, i * stride);
    }
    // One 16-byte load per lane, then the words apart by two shuffles.
    __attribute__((always_inline)) static lanes<2> row(const double (*table)[2], long long i)
    {
        lanes<2> r;
        std::memcpy(&r, table[i], sizeof r);
        return r;
    }
    __attribute__((always_inline)) static void pair(const double (*table)[2], I i, T* a, T* b)
    {
        if constexpr (L == 2) {
            const lanes<2> p0 = row(table, i[0]), p1 = row(table, i[1]);
            *a = __builtin_shufflevector(p0, p1, 0, 2);
            *b = __builtin_shufflevector(p0, p1, 1, 3);
        } else {
            *a = gather(&table[0][0], i + i);
            *b = gather(&table[0][1], i + i);
        }
    }
    // a b + c, in one rounding where fused.
    __attribute__((always_inline)) static T mul_add(T a, T b, T c)
    {
        if constexpr (fused)
            return fma_lanes(a, b, c);
        else
            return a * b + c;
    }
    // p + e = a b exactly: e = fl(a b - p) in one rounding where fused.
    __attribute__((always_inline)) static void two_prod(T a, T b, T* p, T* e)
    {
        if constexpr (fused) {
            const T prod = a * b;
            *e = fma_lanes(a, b, -prod);
            *p = prod;
        } else {
            dd::two_prod(a, b, p, e);
        }
    }
    __attribute__((always_inline)) static void two_prod_split(T a, T ah, T al, T b, T* p, T* e)
    {
        if constexpr (fused)
            two_prod(a, b, p, e);
        else
            dd::two_prod_split(a, ah, al, b, p, e);
    }
    // Lane by lane; the compiler makes one vector instruction of it.
    __attribute__((always_inline)) static T fma_lanes(T a, T b, T c)
    {
        T r;
        for (int l = 0; l < L; ++l) r[l] = __builtin_fma(a[l], b[l], c[l]);
        return r;
    }
};

namespace detail {

// (hi + lo) 2^e (-1021 <= e <= 1023) from *a = hi + (lo - err): the
// rounding of hi + lo where *b = hi + (lo + err) equals it.
template <int L>
__attribute__((always_inline)) inline lanes<L> finish_lanes(lanes<L> hi, lanes<L> lo,
                                                            typename int_lanes_of<L>::type e,
                                                            lanes<L> err, lanes<L>* a, lanes<L>* b)
{
    *a = hi + (lo - err);
    *b = hi + (lo + err);
    return *a * lane_ops<L>::real((e + 1023) << 52);
}

// The lane tests in integer arithmetic on the bits, no comparisons: a lane
// of the result is nonzero where the test fails. (GCC 12 takes some vector
// comparisons at AVX-512 lane by lane.)
template <int L>
using bits_of = typename int_lanes_of<L>::unsigned_type;

constexpr unsigned long long sign_bit = 0x8000000000000000;

// |v| > bound or v NaN: the bits of |v| above those of bound.
template <int L>
__attribute__((always_inline)) inline bits_of<L> beyond(lanes<L> v, double bound)
{
    const bits_of<L> a = reinterpret_cast<bits_of<L>>(v) & ~sign_bit;
    return (a + (~sign_bit - dd::bits(bound))) & sign_bit;
}

// a != b, or either NaN or infinite: a - b is +0 exactly where a == b.
template <int L>
__attribute__((always_inline)) inline bits_of<L> differ(lanes<L> a, lanes<L> b)
{
    return reinterpret_cast<bits_of<L>>(a - b);
}

// v not positive and normal: its bits less those of 2^-1022 (modulo 2^64)
// above those of the largest double less 2^-1022.
template <int L>
__attribute__((always_inline)) inline bits_of<L> not_positive_normal(lanes<L> v)
{
    const bits_of<L> t = reinterpret_cast<bits_of<L>>(v) - 0x0010000000000000;
    return (t | (t + 0x0020000000000000)) & sign_bit;
}

// Some lane of m nonzero: its halves ored down to one word, without a
// branch per lane.
template <class M>
__attribute__((always_inline)) inline bool any_set(M m)
{
    if constexpr (sizeof(M) == 64)
        return any_set(__builtin_shufflevector(m, m, 0, 1, 2, 3) |
                       __builtin_shufflevector(m, m, 4, 5, 6, 7));
    else if constexpr (sizeof(M) == 32)
        return any_set(__builtin_shufflevector(m, m, 0, 1) | __builtin_shufflevector(m, m, 2, 3));
    else
        return (m[0] | m[1]) != 0;
}

// Vectors between the one read and the one fetched into the caches: long
// arrays come from memory faster when asked for well ahead.
template <int L>
__attribute__((always_inline)) inline void prefetch(const lanes<L>* a, int i, int count)
{
    constexpr int ahead = 8192 / static_cast<int>(sizeof(lanes<L>));
    __builtin_prefetch(a + (count - i > ahead ? i + ahead : i));
}

// All ones in the lanes where |x| > 746 (and x not NaN): there exp(x) is
// +0 (below half the least subnormal) or +inf (above the largest double).
template <int L>
__attribute__((always_inline)) inline bits_of<L> saturates(lanes<L> x)
{
    using S = typename int_lanes_of<L>::type;
    const bits_of<L> far = beyond<L>(x, 746.0) & ~beyond<L>(x, __builtin_inf());
    return reinterpret_cast<bits_of<L>>(reinterpret_cast<S>(far) >> 63);
}

// The bits of exp(x) in those lanes: +inf, or +0 where x is negative.
template <int L>
__attribute__((always_inline)) inline bits_of<L> saturated_exp(lanes<L> x)
{
    using S = typename int_lanes_of<L>::type;
    const bits_of<L> negative = reinterpret_cast<bits_of<L>>(reinterpret_cast<S>(x) >> 63);
    return ~negative & dd::bits(__builtin_inf());
}

}  // namespace detail

// w[i] = exp(a[i]) lane by lane, i < count.
template <int L, bool fused = false>
__attribute__((always_inline)) inline void exp_lanes(lanes<L>* w, const lanes<L>* a, int count)
{
    using O = lane_ops<L, fused>;
    using detail::bits_of;
    for (int i = 0; i < count; ++i) {
        detail::prefetch<L>(a, i, count);
        const lanes<L> x = a[i];
        lanes<L> hi, lo, ra, rb;
        typename O::I e;
        fast::exp_eval<O, false>(x, x, &hi, &lo, &e);
        const lanes<L> r = detail::finish_lanes<L>(hi, lo, e, hi * fast::exp_error, &ra, &rb);
        // Results past the range set in the lanes, without a branch.
        const bits_of<L> far = detail::saturates<L>(x);
        w[i] = reinterpret_cast<lanes<L>>((reinterpret_cast<bits_of<L>>(r) & ~far) |
                                          (detail::saturated_exp<L>(x) & far));
        // Normal results, decided roundings: one test of the whole vector,
        // a look at each lane only when some lane fails.
        const bits_of<L> bad = (detail::beyond<L>(x, 707.0) | detail::differ<L>(ra, rb)) & ~far;
        if (detail::any_set(bad))
            for (int l = 0; l < L; ++l)
                if (bad[l] != 0) w[i][l] = math::exp(x[l]);
    }
}

// w[i] = pow(a[i], y) lane by lane, i < count.
template <int L, bool fused = false>
__attribute__((always_inline)) inline void pow_lanes(lanes<L>* w, const lanes<L>* a, int count,
                                                     double y)
{
    using O = lane_ops<L, fused>;
    const double ay = y < 0 ? -y : y;
    if (!(ay <= 0x1p60) || y == 0) {  // NaN, infinite, zero or huge: scalar
        for (int i = 0; i < count; ++i)
            for (int l = 0; l < L; ++l) w[i][l] = math::pow(a[i][l], y);
        return;
    }
    // The bound of pow's fast path, with |t| <= 707.
    const double rel = fast::exp_error + (ay * fast::log_error + 0x1p-90) * 1.01;
    double yh, yl;
    dd::split(y, &yh, &yl);
    const lanes<L> vy = lanes<L>{} + y;
    for (int i = 0; i < count; ++i) {
        detail::prefetch<L>(a, i, count);
        const lanes<L> x = a[i];
        lanes<L> lh, ll, th, tl, hi, lo, ra, rb;
        fast::log_eval<O>(x, &lh, &ll);
        O::two_prod_split(vy, lanes<L>{} + yh, lanes<L>{} + yl, lh, &th, &tl);
        tl = O::mul_add(vy, ll, tl);
        typename O::I e;
        fast::exp_eval<O, true>(th, tl, &hi, &lo, &e);
        w[i] = detail::finish_lanes<L>(hi, lo, e, hi * rel, &ra, &rb);
        // Positive normal x, normal results, decided roundings.
        const detail::bits_of<L> bad = detail::not_positive_normal<L>(x) |
                                       detail::beyond<L>(th, 707.0) | detail::differ<L>(ra, rb);
        if (detail::any_set(bad))
            for (int l = 0; l < L; ++l)
                if (bad[l] != 0) w[i][l] = math::pow(x[l], y);
    }
}

}  // namespace localmodels::math
