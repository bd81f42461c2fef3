// The inner loops of the recursive fits, one set per vector level: the
// scalar set in local_fits.cpp, the vector sets in fit_levels.cpp from the
// one source fit_kernels.h. Every vector element, and every lane of the
// leave-one-out scoring, goes through exactly the operations of the scalar
// set in the same order, with separate multiplies and adds, so every level
// gives the same bits; only the number of elements done at once differs.
#pragma once

#include "core/common/simd.h"
#include "core/nearpoly/stages.h"

namespace localmodels::nearpoly::detail {

struct lane_kernels {
    // h[a] = sum over b of P[b][a] x[b], from 0.0 with b ascending.
    void (*times)(double* h, const double* P, const double* x, int m);
    // P[a][b] = P[a][b] - (g[a] g[b]) / delta for every a and b.
    void (*downdate)(double* P, const double* g, double delta, int m);
    // theta[a] = theta[a] + e g[a].
    void (*advance)(double* theta, const double* g, double e, int m);
    // fs->squares[t] = r_t r_t for t < u, r_t the leave-one-out residual of
    // neighbour t; the vector levels also write up to the next whole vector,
    // the scalar set uses fs->gain for P x_t (the next step recomputes it).
    void (*squares)(const fit_storage* fs, int m, int u);
};

extern const lane_kernels scalar_lanes;
#if defined(__x86_64__)
extern const lane_kernels sse2_lanes;
extern const lane_kernels avx2_lanes;
extern const lane_kernels avx512_lanes;
#endif
#if defined(__aarch64__)
extern const lane_kernels neon_lanes;
#endif

// The set for level l; a level without its own set runs the scalar one.
const lane_kernels& kernels_for(simd::level l);

}  // namespace localmodels::nearpoly::detail
