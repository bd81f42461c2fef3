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
// groups of T vectors; the A * T sums of a group stay in registers.
constexpr int A = 6, T = 2;

// The first r (0 < r < W) doubles of a vector: a load gives zeros after
// them, a store leaves what follows them. The lanes after them compute what
// they like; nothing reads them.
struct part {
    __mmask8 mask;
};

__attribute__((target("avx512f"))) inline part part_of(int r)
{
    return {static_cast<__mmask8>((1u << r) - 1)};
}

__attribute__((target("avx512f"))) inline vec load_part(const double* p, part r)
{
    return _mm512_maskz_loadu_pd(r.mask, p);
}

__attribute__((target("avx512f"))) inline void store_part(double* p, vec v, part r)
{
    _mm512_mask_storeu_pd(p, r.mask, v);
}

// h[a ...] for V whole vectors and, when r > 0, r doubles more, in one pass
// over b: h[a] = h[a] + P[b][a] x[b] from 0.0, b ascending.
template <int V>
__attribute__((target("avx512f"))) inline void times_columns(double* h, const double* P,
                                                             const double* x, int m, int a, int r)
{
    const std::size_t mm = static_cast<std::size_t>(m);
    const part tail = part_of(r);
    vec s[V + 1];
    for (int i = 0; i <= V; ++i) s[i] = _mm512_setzero_pd();
    for (int b = 0; b < m; ++b) {
        const double* row = P + b * mm + a;
        const vec xb = _mm512_set1_pd(x[b]);
        for (int i = 0; i < V; ++i)
            s[i] = _mm512_add_pd(s[i], _mm512_mul_pd(_mm512_loadu_pd(row + i * W), xb));
        if (r > 0) s[V] = _mm512_add_pd(s[V], _mm512_mul_pd(load_part(row + V * W, tail), xb));
    }
    for (int i = 0; i < V; ++i) _mm512_storeu_pd(h + a + i * W, s[i]);
    if (r > 0) store_part(h + a + V * W, s[V], tail);
}

__attribute__((target("avx512f"))) void times(double* h, const double* P, const double* x, int m)
{
    int a = 0;
    for (; a + 4 * W <= m; a += 4 * W) times_columns<4>(h, P, x, m, a, 0);
    const int r = (m - a) % W;
    switch ((m - a) / W) {
        case 3: times_columns<3>(h, P, x, m, a, r); break;
        case 2: times_columns<2>(h, P, x, m, a, r); break;
        case 1: times_columns<1>(h, P, x, m, a, r); break;
        default: times_columns<0>(h, P, x, m, a, r); break;
    }
}

__attribute__((target("avx512f"))) void downdate(double* P, const double* g, double delta, int m)
{
    const std::size_t mm = static_cast<std::size_t>(m);
    const vec d = _mm512_set1_pd(delta);
    const int whole = m / W * W;
    const part tail = part_of(m - whole);
    for (int a = 0; a < m; ++a) {
        double* row = P + a * mm;
        const vec ga = _mm512_set1_pd(g[a]);
        for (int b = 0; b < whole; b += W)
            _mm512_storeu_pd(
                row + b,
                _mm512_sub_pd(_mm512_loadu_pd(row + b),
                              _mm512_div_pd(_mm512_mul_pd(ga, _mm512_loadu_pd(g + b)), d)));
        if (whole < m)
            store_part(
                row + whole,
                _mm512_sub_pd(load_part(row + whole, tail),
                              _mm512_div_pd(_mm512_mul_pd(ga, load_part(g + whole, tail)), d)),
                tail);
    }
}

__attribute__((target("avx512f"))) void advance(double* theta, const double* g, double e, int m)
{
    const vec ev = _mm512_set1_pd(e);
    const int whole = m / W * W;
    const part tail = part_of(m - whole);
    for (int a = 0; a < whole; a += W)
        _mm512_storeu_pd(theta + a, _mm512_add_pd(_mm512_loadu_pd(theta + a),
                                                  _mm512_mul_pd(ev, _mm512_loadu_pd(g + a))));
    if (whole < m)
        store_part(theta + whole,
                   _mm512_add_pd(load_part(theta + whole, tail),
                                 _mm512_mul_pd(ev, load_part(g + whole, tail))),
                   tail);
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
    static_assert(A == 6, "the rest below takes up to five rows");
    int a = 0;
    for (; a + A <= m; a += A) take_rows<A, V>(den, fs, m, a, t0);
    switch (m - a) {
        case 5: take_rows<5, V>(den, fs, m, a, t0); break;
        case 4: take_rows<4, V>(den, fs, m, a, t0); break;
        case 3: take_rows<3, V>(den, fs, m, a, t0); break;
        case 2: take_rows<2, V>(den, fs, m, a, t0); break;
        case 1: take_rows<1, V>(den, fs, m, a, t0); break;
        default: break;
    }
    for (int j = 0; j < V; ++j) {
        const vec r = _mm512_div_pd(num[j], den[j]);
        _mm512_storeu_pd(fs->squares + t0 + j * W, _mm512_mul_pd(r, r));
    }
}

__attribute__((target("avx512f"))) void squares(const fit_storage* fs, int m, int u)
{
    // Whole groups while their last vector holds a neighbour to score.
    int t = 0;
    for (; u - t > (T - 1) * W; t += T * W) score_group<T>(fs, m, t);
    for (; t < u; t += W) score_group<1>(fs, m, t);
}

}  // namespace

const lane_kernels avx512_lanes = {times, downdate, advance, squares};

}  // namespace localmodels::nearpoly::detail

#endif
