// The vector levels a test runs on, the thread counts it compares, and
// environment settings that last for one scope.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

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

}  // namespace testing_helpers

namespace testing_levels {

using testing_helpers::scoped_env;

// The names of the levels this CPU runs, scalar first.
inline std::vector<std::string> runnable()
{
    std::vector<std::string> names;
    for (localmodels::simd::level l : testing_helpers::runnable_levels())
        names.push_back(localmodels::simd::name(l));
    return names;
}

// The thread counts every comparison runs at.
inline std::vector<int> thread_counts()
{
    return {1, 2, 7};
}

}  // namespace testing_levels
