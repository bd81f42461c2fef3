// Double-double arithmetic for the core's exp and pow: a value hi + lo
// carried in two doubles, and the exact sums and products (Knuth's and
// Dekker's) it is built from. Each template runs on a double or, lane by
// lane, on a vector of doubles (core/common/lanes.h): the same operations in
// the same order, so a vector lane computes what the scalar code computes.
// They need IEEE double arithmetic rounded to nearest, without excess
// precision and without contraction into fused multiply-adds (the build's
// -ffp-contract=off); x87 arithmetic is refused here.
#pragma once

#include <cfloat>
#include <cstdint>
#include <cstring>

#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "double arithmetic with excess precision (x87): build with -msse2 -mfpmath=sse"
#endif

// Every template is inlined, so that a vector kernel compiles it for its
// own target.
#define LOCALMODELS_MATH_INLINE __attribute__((always_inline)) inline

namespace localmodels::math::dd {

// s + e = a + b exactly, s = fl(a + b).
template <class T>
LOCALMODELS_MATH_INLINE void two_sum(T a, T b, T* s, T* e)
{
    const T sum = a + b, bb = sum - a;
    *e = (a - (sum - bb)) + (b - bb);
    *s = sum;
}

// The same when the exponent of a is at least that of b (or a = 0).
template <class T>
LOCALMODELS_MATH_INLINE void fast_two_sum(T a, T b, T* s, T* e)
{
    const T sum = a + b;
    *e = b - (sum - a);
    *s = sum;
}

// a = hi + lo, hi of 26 significant bits and lo of 27 (Veltkamp), for
// |a| < 2^995.
template <class T>
LOCALMODELS_MATH_INLINE void split(T a, T* hi, T* lo)
{
    const T c = a * 134217729.0;  // 2^27 + 1
    const T h = c - (c - a);
    *hi = h;
    *lo = a - h;
}

// p + e = a b exactly (Dekker), p = fl(a b), when a b neither overflows nor
// comes near the subnormals; ah, al is the split of a.
template <class T>
LOCALMODELS_MATH_INLINE void two_prod_split(T a, T ah, T al, T b, T* p, T* e)
{
    T bh, bl;
    split(b, &bh, &bl);
    const T prod = a * b;
    *e = ((ah * bh - prod) + ah * bl + al * bh) + al * bl;
    *p = prod;
}

template <class T>
LOCALMODELS_MATH_INLINE void two_prod(T a, T b, T* p, T* e)
{
    T ah, al;
    split(a, &ah, &al);
    two_prod_split(a, ah, al, b, p, e);
}

inline std::uint64_t bits(double x)
{
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

inline double from_bits(std::uint64_t b)
{
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// 2^e for -1022 <= e <= 1023.
inline double pow2(int e)
{
    return from_bits(static_cast<std::uint64_t>(e + 1023) << 52);
}

}  // namespace localmodels::math::dd
