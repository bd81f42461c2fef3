// The fits' inner loops on every vector level, from the one source
// fit_kernels.h: each level names its vector type and includes the kernels
// in a namespace of its own. A level above the architecture's baseline does
// so inside a target region, so that its functions, and only they, use its
// instructions; the run-time choice (kernels_for) never calls one the CPU
// lacks.
#include <cstddef>
#include <cstring>

#include "core/nearpoly/fit_kernel_sets.h"

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__aarch64__)
#include <arm_neon.h>
#endif

// A level above the baseline: namespace `name`, whose functions all take
// target t (e.g. "avx2"), up to LOCALMODELS_END_LEVEL.
#define LOCALMODELS_PRAGMA(x) _Pragma(#x)
#if defined(__clang__)
#define LOCALMODELS_LEVEL(name, t)                                                            \
    LOCALMODELS_PRAGMA(clang attribute push(__attribute__((target(t))), apply_to = function)) \
    namespace name {
#define LOCALMODELS_END_LEVEL \
    }                         \
    _Pragma("clang attribute pop")
#else
#define LOCALMODELS_LEVEL(name, t)                                               \
    _Pragma("GCC push_options") LOCALMODELS_PRAGMA(GCC target(t)) namespace name \
    {
#define LOCALMODELS_END_LEVEL \
    }                         \
    _Pragma("GCC pop_options")
#endif

namespace localmodels::nearpoly::detail {

namespace {

#if defined(__x86_64__)

namespace sse2 {  // the baseline of x86-64
using vec = __m128d;
#include "core/nearpoly/fit_kernels.h"
}  // namespace sse2

LOCALMODELS_LEVEL(avx2, "avx2")
using vec = __m256d;
#include "core/nearpoly/fit_kernels.h"
LOCALMODELS_END_LEVEL

LOCALMODELS_LEVEL(avx512, "avx512f")
using vec = __m512d;
#include "core/nearpoly/fit_kernels.h"
LOCALMODELS_END_LEVEL

#endif

#if defined(__aarch64__)

namespace neon {  // the baseline of aarch64
using vec = float64x2_t;
#include "core/nearpoly/fit_kernels.h"
}  // namespace neon

#endif

}  // namespace

#if defined(__x86_64__)
const lane_kernels sse2_lanes = sse2::kernels;
const lane_kernels avx2_lanes = avx2::kernels;
const lane_kernels avx512_lanes = avx512::kernels;
#endif
#if defined(__aarch64__)
const lane_kernels neon_lanes = neon::kernels;
#endif

}  // namespace localmodels::nearpoly::detail

#undef LOCALMODELS_END_LEVEL
#undef LOCALMODELS_LEVEL
#undef LOCALMODELS_PRAGMA
