#include "core/common/simd.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace localmodels::simd {

level detected()
{
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx512f")) return level::avx512;
    if (__builtin_cpu_supports("avx2")) return level::avx2;
    return level::sse2;
#elif defined(__aarch64__)
    return level::neon;
#else
    return level::scalar;
#endif
}

const char* name(level l)
{
    switch (l) {
        case level::scalar: return "scalar";
        case level::sse2: return "sse2";
        case level::neon: return "neon";
        case level::avx2: return "avx2";
        case level::avx512: return "avx512";
    }
    return "scalar";
}

level chosen()
{
    const level best = detected();
    const char* v = std::getenv("LOCALMODELS_SIMD");
    if (!v) return best;
    for (level l : {level::scalar, level::sse2, level::neon, level::avx2, level::avx512}) {
        if (std::strcmp(v, name(l)) != 0) continue;
        // Only the scalar path and the levels of this CPU's own family run.
        const bool runs = l == level::scalar || l == best ||
                          (best != level::neon && l != level::neon && l <= best);
        return runs ? l : best;
    }
    return best;
}

}  // namespace localmodels::simd
