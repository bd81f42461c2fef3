// exp and pow over arrays, a vector of doubles at a time: the kernels of
// core/math/exp_pow_lanes.h compiled once per width and product. Every choice gives
// the bits of math::exp and math::pow (both round correctly); the choice
// only changes the speed.
#pragma once

namespace localmodels::math {

// width: 2 (SSE2, NEON), 4 (AVX2) or 8 (AVX-512), a level the CPU runs.
// fused: exact products from fused multiply-adds, only where has_fma().
struct lane_options {
    int width = 2;
    bool fused = false;
};

// The CPU has fused multiply-adds at every vector width the kernels run.
bool has_fma();

// w[i] = exp(a[i]) for i < count, count a multiple of the width, a and w
// aligned to a vector.
void exp_vectors(double* w, const double* a, int count, const lane_options& o);

// w[i] = pow(a[i], y), the same way.
void pow_vectors(double* w, const double* a, int count, double y, const lane_options& o);

}  // namespace localmodels::math
