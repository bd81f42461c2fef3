// The linear and quadratic families: recursive least squares over the
// nearest neighbours, nearest first, from the prior P = cov_init * I, and
// the leave-one-out (PRESS) score of every fit from the recursion's state.
//
// After k steps, in exact arithmetic, P = (X_kᵀX_k + I/cov_init)^-1 and
// theta = P X_kᵀ y_k, and the residual at neighbour t of the fit without t is
// r_t = (y_t - x_tᵀ theta) / (1 - x_tᵀ P x_t).
#include <algorithm>
#include <cstddef>

#include "core/nearpoly/fit_kernel_sets.h"
#include "core/nearpoly/stages.h"

namespace localmodels::nearpoly::detail {

namespace {

// The regressor of row i of the N-by-n difference matrix: (1, d) for the
// linear family, followed by d_a d_b for a <= b in (a, b) order when quadratic.
void build_regressor(double* x, const double* diff, int i, int N, int n, bool quadratic)
{
    x[0] = 1.0;
    for (int j = 0; j < n; ++j) x[1 + j] = diff[i + static_cast<std::size_t>(j) * N];
    if (!quadratic) return;
    double* product = x + 1 + n;
    for (int a = 0; a < n; ++a)
        for (int b = a; b < n; ++b) *product++ = x[1 + a] * x[1 + b];
}

// h = P x: h[a] = sum over b of P[a][b] x[b], from 0.0 with b ascending.
// P stays exactly symmetric (every update subtracts g_a g_b / delta, and
// g_a g_b = g_b g_a), so row b stands for column b: adding x[b] times row b
// to all of h gives every h[a] the same terms in the same order, in a loop
// over a that the compiler can vectorise. P's rows run whole_vectors(m).
void symmetric_times(double* __restrict h, const double* __restrict P, const double* __restrict x,
                     int m)
{
    const std::size_t width = static_cast<std::size_t>(whole_vectors(m));
    for (int a = 0; a < m; ++a) h[a] = 0.0;
    for (int b = 0; b < m; ++b) {
        const double xb = x[b];
        const double* row = P + b * width;
#pragma omp simd
        for (int a = 0; a < m; ++a) h[a] = h[a] + row[a] * xb;
    }
}

void downdate(double* P, const double* g, double delta, int m)
{
    const std::size_t width = static_cast<std::size_t>(whole_vectors(m));
    for (int a = 0; a < m; ++a) {
        const double ga = g[a];
        double* row = P + a * width;
        for (int b = 0; b < m; ++b) row[b] = row[b] - (ga * g[b]) / delta;
    }
}

void advance(double* theta, const double* g, double e, int m)
{
    for (int a = 0; a < m; ++a) theta[a] = theta[a] + e * g[a];
}

// Neighbour by neighbour: num = y_t - x_t . theta from y_t, h = P x_t,
// den = 1 - x_t . h from 1.0, every sum with a ascending.
void squares(const fit_storage* fs, int m, int u)
{
    const std::size_t mm = static_cast<std::size_t>(m);
    for (int t = 0; t < u; ++t) {
        const double* x = fs->rows + t * mm;
        double num = fs->targets[t];
        double den = 1.0;
        for (int a = 0; a < m; ++a) num = num - x[a] * fs->theta[a];
        symmetric_times(fs->gain, fs->P, x, m);
        for (int a = 0; a < m; ++a) den = den - x[a] * fs->gain[a];
        const double r = num / den;
        fs->squares[t] = r * r;
    }
}

// Takes in one neighbour (regressor x, target y): updates P and theta.
void rls_step(fit_storage* fs, const lane_kernels& k, const double* x, double y, int m)
{
    double* g = fs->gain;
    double delta = 1.0;
    double e = y;  // a-priori residual, with the old theta
    k.times(g, fs->P, x, m);
    for (int a = 0; a < m; ++a) delta = delta + g[a] * x[a];
    for (int a = 0; a < m; ++a) e = e - x[a] * fs->theta[a];
    k.downdate(fs->P, g, delta, m);
    // With the new P; equal to theta + e g / delta only in exact arithmetic.
    k.times(g, fs->P, x, m);
    k.advance(fs->theta, g, e, m);
}

// Mean over k of the squared leave-one-out residuals of the u nearest,
// added in neighbour order whatever the level.
double loo_error(fit_storage* fs, const lane_kernels& lanes, int m, int u, int k)
{
    lanes.squares(fs, m, u);
    double sum = 0.0;
    for (int t = 0; t < u; ++t) sum = sum + fs->squares[t];
    return sum / k;
}

// cols = the first k regressors transposed, for the vector scoring.
void transpose_rows(fit_storage* fs, int m, int k)
{
    const std::size_t mm = static_cast<std::size_t>(m), S = static_cast<std::size_t>(fs->stride);
    for (int t = 0; t < k; ++t)
        for (int b = 0; b < m; ++b) fs->cols[b * S + t] = fs->rows[t * mm + b];
}

}  // namespace

const lane_kernels scalar_lanes = {symmetric_times, downdate, advance, squares};

const lane_kernels& kernels_for(simd::level l)
{
#if defined(__x86_64__)
    switch (l) {
        case simd::level::avx512: return avx512_lanes;
        case simd::level::avx2: return avx2_lanes;
        case simd::level::sse2: return sse2_lanes;
        default: break;
    }
#endif
#if defined(__aarch64__)
    if (l == simd::level::neon) return neon_lanes;
#endif
    (void)l;
    return scalar_lanes;
}

void fit_family(candidate_list* list, fit_storage* fs, const family_settings& f, bool quadratic,
                const neighbourhood& nb, double cov_init)
{
    const int m = f.m;
    const std::size_t mm = static_cast<std::size_t>(m);
    const std::size_t width = static_cast<std::size_t>(whole_vectors(m));
    const lane_kernels& lanes = kernels_for(fs->level);
    // Zeros past m too: the vector paths compute there from them.
    std::fill(fs->P, fs->P + mm * width, 0.0);
    for (int a = 0; a < m; ++a) fs->P[a * width + a] = cov_init;
    for (int t = 0; t < f.k_max; ++t) {
        fs->targets[t] = nb.data_y[nb.rows[t]];
        build_regressor(fs->rows + t * mm, nb.diff, t, nb.K, nb.n, quadratic);
    }
    if (&lanes != &scalar_lanes) transpose_rows(fs, m, f.k_max);
    std::fill(fs->theta, fs->theta + width, 0.0);

    for (int t = 0; t < f.k_max; ++t) {
        const int k = t + 1;  // neighbours in the fit
        rls_step(fs, lanes, fs->rows + t * mm, fs->targets[t], m);
        if (k < f.k_min) continue;
        // A window scores only the w nearest, but the divisor stays k.
        const int u = f.window != 0 && f.window < k ? f.window : k;
        const double E = loo_error(fs, lanes, m, u, k);
        insert_candidate(list, E, fs->theta[0], fs->theta, m);
    }
}

}  // namespace localmodels::nearpoly::detail
