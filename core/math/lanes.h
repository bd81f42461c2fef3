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

#include "core/common/lanes.h"
#include "core/math/exp.h"
#include "core/math/fast.h"
#include "core/math/pow.h"

namespace localmodels::math {

template <int L>
struct int_lanes_of {
    typedef long long type __attribute__((vector_size(8 * L)));
};

template <int L>
struct lane_ops {
    using T = lanes<L>;
    using I = typename int_lanes_of<L>::type;
    __attribute__((always_inline)) static I bits(T x) { return reinterpret_cast<I>(x); }
    __attribute__((always_inline)) static T real(I b) { return reinterpret_cast<T>(b); }
    __attribute__((always_inline)) static T to_real(I i) { return __builtin_convertvector(i, T); }
    __attribute__((always_inline)) static T at(const double* table, int stride, I i)
    {
        T r;
        for (int l = 0; l < L; ++l) r[l] = table[i[l] * stride];
        return r;
    }
};

namespace detail {

// hi + lo rounded when err cannot change it, times 2^e (-1021 <= e <= 1023);
// ok clears the lanes where it could.
template <int L>
__attribute__((always_inline)) inline lanes<L> finish_lanes(lanes<L> hi, lanes<L> lo,
                                                            typename lane_ops<L>::I e, lanes<L> err,
                                                            typename lane_ops<L>::I* ok)
{
    using O = lane_ops<L>;
    const lanes<L> a = hi + (lo - err), b = hi + (lo + err);
    *ok = *ok & (a == b);
    return a * O::real((e + 1023) << 52);
}

template <int L>
__attribute__((always_inline)) inline bool all_set(typename lane_ops<L>::I m)
{
    bool all = true;
    for (int l = 0; l < L; ++l) all = all && m[l] != 0;
    return all;
}

}  // namespace detail

// w[i] = exp(a[i]) lane by lane, i < count.
template <int L>
__attribute__((always_inline)) inline void exp_lanes(lanes<L>* w, const lanes<L>* a, int count)
{
    using O = lane_ops<L>;
    for (int i = 0; i < count; ++i) {
        const lanes<L> x = a[i];
        lanes<L> hi, lo;
        typename O::I e, ok = (x >= -707.0) & (x <= 707.0);  // normal results
        fast::exp_eval<O, false>(x, x, &hi, &lo, &e);
        const lanes<L> r = detail::finish_lanes<L>(hi, lo, e, hi * fast::exp_error, &ok);
        w[i] = r;
        if (!detail::all_set<L>(ok))
            for (int l = 0; l < L; ++l)
                if (!ok[l]) w[i][l] = math::exp(x[l]);
    }
}

// w[i] = pow(a[i], y) lane by lane, i < count.
template <int L>
__attribute__((always_inline)) inline void pow_lanes(lanes<L>* w, const lanes<L>* a, int count,
                                                     double y)
{
    using O = lane_ops<L>;
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
        const lanes<L> x = a[i];
        lanes<L> lh, ll, th, tl, hi, lo;
        fast::log_eval<O>(x, &lh, &ll);
        dd::two_prod_split(vy, lanes<L>{} + yh, lanes<L>{} + yl, lh, &th, &tl);
        tl = tl + vy * ll;
        typename O::I e,
            ok = (x >= 0x1p-1022) & (x <= 0x1.fffffffffffffp1023) & (th >= -707.0) & (th <= 707.0);
        fast::exp_eval<O, true>(th, tl, &hi, &lo, &e);
        w[i] = detail::finish_lanes<L>(hi, lo, e, hi * rel, &ok);
        if (!detail::all_set<L>(ok))
            for (int l = 0; l < L; ++l)
                if (!ok[l]) w[i][l] = math::pow(x[l], y);
    }
}

}  // namespace localmodels::math
