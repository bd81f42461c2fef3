// The vector levels a test runs on, the thread counts it compares, and
// environment settings that last for one scope.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/common/simd.h"

namespace testing_helpers {

// Sets variable `name` to `value` until the end of the scope, then restores
// what it was.
class scoped_env {
public:
    scoped_env(const char* name, const std::string& value) : name_(name)
    {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~scoped_env()
    {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }
    scoped_env(const scoped_env&) = delete;
    scoped_env& operator=(const scoped_env&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_;
};

// Every level this CPU runs, scalar first: those that LOCALMODELS_SIMD
// can select.
inline std::vector<localmodels::simd::level> runnable_levels()
{
    namespace simd = localmodels::simd;
    std::vector<simd::level> out;
    for (simd::level l : {simd::level::scalar, simd::level::sse2, simd::level::neon,
                          simd::level::avx2, simd::level::avx512}) {
        scoped_env env("LOCALMODELS_SIMD", simd::name(l));
        if (simd::chosen() == l) out.push_back(l);
    }
    return out;
}

// One vector level and thread count of a comparison.
struct setting {
    localmodels::simd::level level;
    int threads;
};

// The thread counts every comparison runs at.
inline std::vector<int> thread_counts()
{
    return {1, 2, 7};
}

// Calls check(s) for every runnable level and thread count, with
// LOCALMODELS_SIMD naming the level for the call; stops at the first fatal
// failure, as a loop of ASSERTs would.
template <class F>
void for_each_setting(F check)
{
    for (localmodels::simd::level l : runnable_levels()) {
        scoped_env env("LOCALMODELS_SIMD", localmodels::simd::name(l));
        for (int threads : thread_counts()) {
            check(setting{l, threads});
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
}

}  // namespace testing_helpers
