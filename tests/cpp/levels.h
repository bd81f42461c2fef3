// The vector levels of this CPU, for tests that run a computation at every
// one of them and at several thread counts and compare the bits.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "core/common/simd.h"

namespace testing_levels {

// Sets LOCALMODELS_SIMD (and LOCALMODELS_THREADS, if given) for a scope.
struct scoped_env {
    scoped_env(const char* level, const char* threads = nullptr)
    {
        ::setenv("LOCALMODELS_SIMD", level, 1);
        if (threads) ::setenv("LOCALMODELS_THREADS", threads, 1);
    }
    ~scoped_env()
    {
        ::unsetenv("LOCALMODELS_SIMD");
        ::unsetenv("LOCALMODELS_THREADS");
    }
    scoped_env(const scoped_env&) = delete;
    scoped_env& operator=(const scoped_env&) = delete;
};

// The names of the levels this CPU runs, scalar first.
inline std::vector<std::string> runnable()
{
    namespace simd = localmodels::simd;
    std::vector<std::string> names;
    for (simd::level l : {simd::level::scalar, simd::level::sse2, simd::level::neon,
                          simd::level::avx2, simd::level::avx512}) {
        scoped_env env(simd::name(l));
        if (simd::chosen() == l) names.push_back(simd::name(l));
    }
    return names;
}

// The thread counts every comparison runs at.
inline std::vector<int> thread_counts()
{
    return {1, 2, 7};
}

}  // namespace testing_levels
