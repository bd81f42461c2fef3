// netsim two vectors of points at a time: lane l of vector h belongs to
// point t + h*L + l and does exactly the operations of evaluate_point, in
// its order. Each accumulation (a distance, the validity sum, a local
// output, a blended output) still adds its terms one at a time in the index
// order of the scalar code; only independent work is regrouped: first the
// distances of every cluster, then the exponentials or powers (the core's
// correctly rounded functions on whole vectors, out of line in
// core/math/vectors.cpp: the bits of the scalar ones), then the sum, the
// local models and the blend. Two vectors per pass keep two independent
// chains of additions in flight.
#include "core/common/lanes.h"
#include "core/math/vectors.h"
#include "core/network/network.h"

namespace localmodels::network {

using detail::lane_scratch;
using detail::lane_setup;
using detail::matrix_offset;

namespace {

template <int L>
using vec = lanes<L>;

// The argument of the validity function at every cluster, for both
// vectors: -d for exp(-d), d + 1e-100 for the power, d for the distance.
// With the input count N fixed (N > 0), the loops unroll and the
// differences stay in registers; N = 0 reads n from the network.
template <int L, int N>
__attribute__((always_inline)) inline void distances(vec<L>* args, vec<L>* scratch,
                                                     const vec<L>* xs, const view& net,
                                                     const options& o)
{
    const int n = N > 0 ? N : net.n;
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    for (int i = 0; i < net.c; ++i) {
        const double* centre = net.centres + matrix_offset(0, i, n);
        const double* a = net.norm_matrices + nn * static_cast<std::size_t>(i);
        vec<L> own[N > 0 ? 2 * N : 1];
        vec<L>* d = N > 0 ? own : scratch;
#pragma GCC unroll 8
        for (int k = 0; k < n; ++k) {
            const double ck = centre[k];
            d[2 * k] = xs[2 * k] - ck;
            d[2 * k + 1] = xs[2 * k + 1] - ck;
        }
        vec<L> w0 = {}, w1 = {};
#pragma GCC unroll 8
        for (int s = 0; s < n; ++s) {
            const vec<L> ds0 = d[2 * s], ds1 = d[2 * s + 1];
#pragma GCC unroll 8
            for (int r = s + 1; r < n; ++r) {
                const double ars = a[matrix_offset(r, s, n)];
                w0 = ars * ds0 * d[2 * r] + w0;
                w1 = ars * ds1 * d[2 * r + 1] + w1;
            }
        }
        w0 = w0 + w0;
        w1 = w1 + w1;
#pragma GCC unroll 8
        for (int k = 0; k < n; ++k) {
            const double akk = a[matrix_offset(k, k, n)];
            const vec<L> dk0 = d[2 * k], dk1 = d[2 * k + 1];
            w0 = dk0 * dk0 * akk + w0;
            w1 = dk1 * dk1 * akk + w1;
        }
        if (o.kind == validity::gaussian) {
            w0 = -w0;
            w1 = -w1;
        } else if (o.kind == validity::fuzzy) {
            w0 = w0 + distance_floor;
            w1 = w1 + distance_floor;
        }
        args[2 * i] = w0;
        args[2 * i + 1] = w1;
    }
}

// The validities of the Gaussian and fuzzy kinds, written apart from their
// arguments (in place costs more).
template <int L>
__attribute__((always_inline)) inline void validities(vec<L>* w, const vec<L>* args, int c,
                                                      const options& o)
{
    const math::lane_options m{L, math::has_fma()};
    double* out = reinterpret_cast<double*>(w);
    const double* in = reinterpret_cast<const double*>(args);
    if (o.kind == validity::gaussian)
        math::exp_vectors(out, in, 2 * c * L, m);
    else
        math::pow_vectors(out, in, 2 * c * L, -1.0 / (o.fuzziness - 1.0), m);
}

// Output j of both vectors: the blend of the local models, normalised or not.
template <int L, int N>
__attribute__((always_inline)) inline void output(vec<L>* y, int j, const vec<L>* sum,
                                                  const vec<L>* w, const vec<L>* xs,
                                                  const lane_setup& a)
{
    const view& net = a.net;
    const options& o = a.o;
    const int n = N > 0 ? N : net.n, p = net.p;
    const std::size_t page = static_cast<std::size_t>(p) * (static_cast<std::size_t>(n) + 1);
    vec<L> y0 = {}, y1 = {};
    for (int i = 0; i < net.c; ++i) {
        const double* theta = net.consequents + page * static_cast<std::size_t>(i);
        vec<L> v0 = {}, v1 = {};
#pragma GCC unroll 8
        for (int k = 0; k < n; ++k) {
            const double t = theta[matrix_offset(j, k, p)];
            v0 = xs[2 * k] * t + v0;
            v1 = xs[2 * k + 1] * t + v1;
        }
        const double constant = theta[matrix_offset(j, n, p)];
        v0 = constant + v0;
        v1 = constant + v1;
        y0 = w[2 * i] * v0 + y0;
        y1 = w[2 * i + 1] * v1 + y1;
    }
    y[0] = o.normalize != 0 ? y0 / sum[0] : y0;
    y[1] = o.normalize != 0 ? y1 / sum[1] : y1;
}

// Points t … t + 2L - 1: columns t … t + 2L - 1 of x and of out.
template <int L, int N>
__attribute__((always_inline)) inline void points(double* out, const double* x, const lane_setup& a,
                                                  int t)
{
    const view& net = a.net;
    const options& o = a.o;
    const lane_scratch& s = a.s;
    vec<L>* xs = reinterpret_cast<vec<L>*>(s.x);
    vec<L>* args = reinterpret_cast<vec<L>*>(s.args);
    vec<L>* w = reinterpret_cast<vec<L>*>(s.w);
    for (int k = 0; k < net.n; ++k)
        for (int l = 0; l < 2 * L; ++l)
            xs[2 * k + l / L][l % L] = x[matrix_offset(k, t + l, net.n)];

    distances<L, N>(args, reinterpret_cast<vec<L>*>(s.d), xs, net, o);
    if (o.kind == validity::distance)
        w = args;
    else
        validities<L>(w, args, net.c, o);

    const vec<L> start = vec<L>{} + validity_sum_start;  // 0 + a positive number: exact
    vec<L> sum[2] = {start, start};
    for (int i = 0; i < net.c; ++i) {
        sum[0] = sum[0] + w[2 * i];
        sum[1] = sum[1] + w[2 * i + 1];
    }
    for (int j = 0; j < net.p; ++j) {
        vec<L> y[2];
        output<L, N>(y, j, sum, w, xs, a);
        for (int l = 0; l < 2 * L; ++l) out[matrix_offset(j, t + l, net.p)] = y[l / L][l % L];
    }
}

template <int L, int N>
__attribute__((always_inline)) inline int run_n(double* out, const double* x, const lane_setup& a,
                                                int begin, int end)
{
    int t = begin;
    for (; end - t >= 2 * L; t += 2 * L) points<L, N>(out, x, a, t);
    return t;
}

// The common small input counts get kernels of their own.
template <int L>
__attribute__((always_inline)) inline int run(double* out, const double* x, const lane_setup& a,
                                              int begin, int end)
{
    switch (a.net.n) {
        case 1: return run_n<L, 1>(out, x, a, begin, end);
        case 2: return run_n<L, 2>(out, x, a, begin, end);
        case 3: return run_n<L, 3>(out, x, a, begin, end);
        case 4: return run_n<L, 4>(out, x, a, begin, end);
        default: return run_n<L, 0>(out, x, a, begin, end);
    }
}

// SSE2 on x86-64 and NEON on aarch64 are the baselines: no target needed.
int run2(double* out, const double* x, const lane_setup& a, int begin, int end)
{
    return run<2>(out, x, a, begin, end);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) int run4(double* out, const double* x, const lane_setup& a,
                                         int begin, int end)
{
    return run<4>(out, x, a, begin, end);
}

// The same kernel at eight lanes; not run on the development machine,
// which has no AVX-512.
__attribute__((target("avx512f"))) int run8(double* out, const double* x, const lane_setup& a,
                                            int begin, int end)
{
    return run<8>(out, x, a, begin, end);
}
#endif

}  // namespace

lane_scratch detail::take_lane_scratch(workspace* w, const view& net)
{
    const std::size_t width = 2 * max_lanes;  // two vectors
    lane_scratch s;
    s.x = take<double>(w, width * static_cast<std::size_t>(net.n));
    s.d = take<double>(w, width * static_cast<std::size_t>(net.n));
    s.args = take<double>(w, width * static_cast<std::size_t>(net.c));
    s.w = take<double>(w, width * static_cast<std::size_t>(net.c));
    return s;
}

int detail::simulate_lanes(simd::level level, double* out, const double* x, const lane_setup& a,
                           int begin, int end)
{
    switch (lane_count(level)) {
        case 2: return run2(out, x, a, begin, end);
#if defined(__x86_64__)
        case 4: return run4(out, x, a, begin, end);
        case 8: return run8(out, x, a, begin, end);
#endif
        default: return begin;
    }
}

}  // namespace localmodels::network
