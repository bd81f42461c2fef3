// The array kernels of exp and pow, one function per vector width and
// product, each compiled for its own target. The fused kernels are the only
// code of the core with fused multiply-adds: they stay out of line, in
// localmodels::math, where the exact products are the only use of them.
#include "core/math/vectors.h"

#include "core/math/exp_pow_lanes.h"
#include "core/math/fast.h"

namespace localmodels::math {

namespace {

// One exp and one pow kernel per width and product; each vectors type
// below is compiled for its own target.
template <int L, bool fused>
struct kernels {
    __attribute__((always_inline)) static void exp(double* w, const double* a, int count)
    {
        exp_lanes<L, fused>(reinterpret_cast<lanes<L>*>(w), reinterpret_cast<const lanes<L>*>(a),
                            count / L);
    }
    __attribute__((always_inline)) static void pow(double* w, const double* a, int count, double y)
    {
        pow_lanes<L, fused>(reinterpret_cast<lanes<L>*>(w), reinterpret_cast<const lanes<L>*>(a),
                            count / L, y);
    }
};

void exp2(double* w, const double* a, int count)
{
    kernels<2, false>::exp(w, a, count);
}
void pow2(double* w, const double* a, int count, double y)
{
    kernels<2, false>::pow(w, a, count, y);
}

// Two lanes with fused products: NEON always has them; on x86 they need
// the FMA extension (VEX-encoded 128-bit instructions).
#if defined(__x86_64__) || defined(__i386__)
#define LOCALMODELS_FMA2 __attribute__((target("fma")))
#else
#define LOCALMODELS_FMA2
#endif
LOCALMODELS_FMA2 void exp2_fused(double* w, const double* a, int count)
{
    kernels<2, true>::exp(w, a, count);
}
LOCALMODELS_FMA2 void pow2_fused(double* w, const double* a, int count, double y)
{
    kernels<2, true>::pow(w, a, count, y);
}
#undef LOCALMODELS_FMA2

#if defined(__x86_64__)
__attribute__((target("avx2"))) void exp4(double* w, const double* a, int count)
{
    kernels<4, false>::exp(w, a, count);
}
__attribute__((target("avx2"))) void pow4(double* w, const double* a, int count, double y)
{
    kernels<4, false>::pow(w, a, count, y);
}
__attribute__((target("avx2,fma"))) void exp4_fused(double* w, const double* a, int count)
{
    kernels<4, true>::exp(w, a, count);
}
__attribute__((target("avx2,fma"))) void pow4_fused(double* w, const double* a, int count, double y)
{
    kernels<4, true>::pow(w, a, count, y);
}

// AVX-512F has the fused multiply-adds; the Dekker kernels are kept for the
// tests, so that both products are checked at every width.
__attribute__((target("avx512f"))) void exp8(double* w, const double* a, int count)
{
    kernels<8, false>::exp(w, a, count);
}
__attribute__((target("avx512f"))) void pow8(double* w, const double* a, int count, double y)
{
    kernels<8, false>::pow(w, a, count, y);
}
__attribute__((target("avx512f"))) void exp8_fused(double* w, const double* a, int count)
{
    kernels<8, true>::exp(w, a, count);
}
__attribute__((target("avx512f"))) void pow8_fused(double* w, const double* a, int count, double y)
{
    kernels<8, true>::pow(w, a, count, y);
}
#endif

}  // namespace

bool has_fma()
{
    return fast::fused_products();
}

void exp_vectors(double* w, const double* a, int count, const lane_options& o)
{
#if defined(__x86_64__)
    if (o.width == 8) return o.fused ? exp8_fused(w, a, count) : exp8(w, a, count);
    if (o.width == 4) return o.fused ? exp4_fused(w, a, count) : exp4(w, a, count);
#endif
    o.fused ? exp2_fused(w, a, count) : exp2(w, a, count);
}

void pow_vectors(double* w, const double* a, int count, double y, const lane_options& o)
{
#if defined(__x86_64__)
    if (o.width == 8) return o.fused ? pow8_fused(w, a, count, y) : pow8(w, a, count, y);
    if (o.width == 4) return o.fused ? pow4_fused(w, a, count, y) : pow4(w, a, count, y);
#endif
    o.fused ? pow2_fused(w, a, count, y) : pow2(w, a, count, y);
}

}  // namespace localmodels::math
