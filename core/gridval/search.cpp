#include "core/gridval/search.h"

#include <cmath>

namespace localmodels::gridval::detail {

namespace {

// About one breakpoint per bucket, within a bounded table.
constexpr int most_buckets = 1 << 16;

}  // namespace

int guide_buckets(int M)
{
    return M < most_buckets ? M : most_buckets;
}

search plan(const double* b, int M, int* start)
{
    search s{b, M, nullptr, 0.0, 0.0, 0.0, M};
    if (!start || M < 2) return s;
    const int K = guide_buckets(M);
    const double range = b[M - 1] - b[0];
    if (!(range > 0) || !std::isfinite(range)) return s;
    const double scale = K / range;
    if (!std::isfinite(scale)) return s;
    s.origin = b[0];
    s.scale = scale;
    s.top = K - 1;

    // start[j]: the first breakpoint whose bucket is j or above.
    int j = 0;
    for (int i = 0; i < M; ++i)
        for (const int up_to = bucket(s, b[i]); j <= up_to; ++j) start[j] = i;
    for (; j <= K; ++j) start[j] = M;
    int fullest = 0;
    for (j = 0; j < K; ++j)
        if (start[j + 1] - start[j] > fullest) fullest = start[j + 1] - start[j];
    // The search reads span entries from its start: keep them in the row.
    for (j = 0; j <= K; ++j)
        if (start[j] > M - fullest) start[j] = M - fullest;
    s.start = start;
    s.span = fullest;
    return s;
}

}  // namespace localmodels::gridval::detail
