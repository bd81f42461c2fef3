// The fits' inner loops on AVX-512, eight doubles a vector: lanes_avx2.cpp
// with wider vectors, the same loops and the same operations in each lane.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstddef>

#include "core/nearpoly/lanes.h"

namespace localmodels::nearpoly::detail {

namespace {

using vec = __m512d;
constexpr int W = 8;  // doubles a vector

// Leave-one-out scoring: rows (a) of P in groups of A, neighbours (t) in
// groups of T vectors; the groups keep their sums in registers.
constexpr int A = 3, T = 3;

__attribute__((target("avx512f"))) void times(double* __restrict h, const double* __restrict P,
                                              const double* __restrict x, int m)
{
    const std::size_t mm = static_cast<std::size_t>(m);
    int a = 0;
    for (; a + 4 * W <= m; a += 4 * W) {
        vec s0 = _mm512_setzero_pd(), s1 = s0, s2 = s0, s3 = s0;
        for (int b = 0; b < m; ++b) {
            const double* row = P + b * mm + a;
            const vec xb = _mm512_set1_pd(x[b]);
            s0 = _mm512_add_pd(s0, _mm512_mul_pd(_mm512_loadu_pd(row), xb));
            s1 = _mm512_add_pd(s1, _mm512_mul_pd(_mm512_loadu_pd(row + W), xb));
            s2 = _mm512_add_pd(s2, _mm512_mul_pd(_mm512_loadu_pd(row + 2 * W), xb));
            s3 = _mm512_add_pd(s3, _mm512_mul_pd(_mm512_loadu_pd(row + 3 * W), xb));
        }
        _mm512_storeu_pd(h + a, s0);
        _mm512_storeu_pd(h + a + W, s1);
        _mm512_storeu_pd(h + a + 2 * W, s2);
        _mm512_storeu_pd(h + a + 3 * W, s3);
    }
    for (; a + W <= m; a += W) {
        vec s = _mm512_setzero_pd();
        for (int b = 0; b < m; ++b)
            s = _mm512_add_pd(s,
                              _mm512_mul_pd(_mm512_loadu_pd(P + b * mm + a), _mm512_set1_pd(x[b])));
        _mm512_storeu_pd(h + a, s);
    }
    for (; a < m; ++a) {
        double s = 0.0;
        for (int b = 0; b < m; ++b) s = s + P[b * mm + a] * x[b];
        h[a] = s;
    }
}

__attribute__((target("avx512f"))) void downdate(double* P, const double* g, double delta, int m)
{
    const std::size_t mm = static_cast<std::size_t>(m);
    const vec d = _mm512_set1_pd(delta);
    for (int a = 0; a < m; ++a) {
        double* row = P + a * mm;
        const vec ga = _mm512_set1_pd(g[a]);
        int b = 0;
        for (; b + W <= m; b += W)
            _mm512_storeu_pd(
                row + b,
                _mm512_sub_pd(_mm512_loadu_pd(row + b),
                              _mm512_div_pd(_mm512_mul_pd(ga, _mm512_loadu_pd(g + b)), d)));
        for (; b < m; ++b) row[b] = row[b] - (g[a] * g[b]) / delta;
    }
}

__attribute__((target("avx512f"))) void advance(double* theta, const double* g, double e, int m)
{
    const vec ev = _mm512_set1_pd(e);
    int a = 0;
    for (; a + W <= m; a += W)
        _mm512_storeu_pd(theta + a, _mm512_add_pd(_mm512_loadu_pd(theta + a),
                                                  _mm512_mul_pd(ev, _mm512_loadu_pd(g + a))));
    for (; a < m; ++a) theta[a] = theta[a] + e * g[a];
}

// For rows a ... a + R - 1 and the neighbours of the group from t0:
// h = sum over b of P[b][a + i] x_b, then den = den - x_(a + i) h, i
// ascending. P[b][a + i] is P[a + i][b]: P is exactly symmetric.
template <int R, int V>
__attribute__((target("avx512f"))) inline void take_rows(vec* den, const fit_storage* fs, int m,
                                                         int a, int t0)
{
    const std::size_t mm = static_cast<std::size_t>(m), S = static_cast<std::size_t>(fs->stride);
    vec h[R][V];
    for (int i = 0; i < R; ++i)
        for (int j = 0; j < V; ++j) h[i][j] = _mm512_setzero_pd();
    for (int b = 0; b < m; ++b) {
        const double* p = fs->P + b * mm + a;
        const double* x = fs->cols + b * S + t0;
        vec xb[V];
        for (int j = 0; j < V; ++j) xb[j] = _mm512_loadu_pd(x + j * W);
        for (int i = 0; i < R; ++i) {
            const vec pi = _mm512_set1_pd(p[i]);
            for (int j = 0; j < V; ++j) h[i][j] = _mm512_add_pd(h[i][j], _mm512_mul_pd(pi, xb[j]));
        }
    }
    for (int i = 0; i < R; ++i) {
        const double* x = fs->cols + (a + i) * S + t0;
        for (int j = 0; j < V; ++j)
            den[j] = _mm512_sub_pd(den[j], _mm512_mul_pd(_mm512_loadu_pd(x + j * W), h[i][j]));
    }
}

// The squared residuals of the V * W neighbours from t0, a lane each.
template <int V>
__attribute__((target("avx512f"))) void score_group(const fit_storage* fs, int m, int t0)
{
    const std::size_t S = static_cast<std::size_t>(fs->stride);
    vec num[V], den[V];
    for (int j = 0; j < V; ++j) {
        num[j] = _mm512_loadu_pd(fs->targets + t0 + j * W);
        den[j] = _mm512_set1_pd(1.0);
    }
    for (int a = 0; a < m; ++a) {
        const double* x = fs->cols + a * S + t0;
        const vec th = _mm512_set1_pd(fs->theta[a]);
        for (int j = 0; j < V; ++j)
            num[j] = _mm512_sub_pd(num[j], _mm512_mul_pd(_mm512_loadu_pd(x + j * W), th));
    }
    int a = 0;
    for (; a + A <= m; a += A) take_rows<A, V>(den, fs, m, a, t0);
    for (; a < m; ++a) take_rows<1, V>(den, fs, m, a, t0);
    for (int j = 0; j < V; ++j) {
        const vec r = _mm512_div_pd(num[j], den[j]);
        _mm512_storeu_pd(fs->squares + t0 + j * W, _mm512_mul_pd(r, r));
    }
}

__attribute__((target("avx512f"))) void squares(const fit_storage* fs, int m, int u)
{
    static_assert(T == 3, "the rest below takes up to three vectors");
    int t = 0;
    for (; t + T * W <= u; t += T * W) score_group<T>(fs, m, t);
    switch ((u - t + W - 1) / W) {
        case 3: score_group<3>(fs, m, t); break;
        case 2: score_group<2>(fs, m, t); break;
        case 1: score_group<1>(fs, m, t); break;
        default: break;
    }
}

}  // namespace

const lane_kernels avx512_lanes = {times, downdate, advance, squares};

}  // namespace localmodels::nearpoly::detail

#endif
