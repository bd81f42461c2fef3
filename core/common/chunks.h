// A call's items in chunks, for hosts that must look up between them (a
// pending Ctrl-C). The plan (threads and vector level) is fixed once for the
// whole call, because its workspaces were taken for it: nothing the
// environment does during the call can make a chunk use more. Every item is
// computed as if alone, so the chunking changes no result.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>

#include "core/common/threads.h"

namespace localmodels::chunks {

// Each chunk aims at this much time, so a host answers within about twice it.
constexpr double target_seconds = 0.1;

// The end of a chunk of `size` items from `first`, all of which cost, in a
// call of items before `end`: *dear = the chunk's item count.
struct plain_end {
    int end;
    int operator()(int first, int size, int* dear) const
    {
        const int last = first + std::min(size, end - first);
        *dear = last - first;
        return last;
    }
};

// The end of a chunk holding `size` finite rows of the M-by-n matrix a from
// row `first` (rows with a NaN or an infinity cost nothing and ride along),
// and in *dear their count.
struct finite_rows_end {
    const double* a;
    int M, n;
    int operator()(int first, int size, int* dear) const
    {
        int q = first, found = 0;
        for (; q < M && found < size; ++q) {
            bool finite = true;
            for (int j = 0; j < n && finite; ++j)
                finite = std::isfinite(a[q + static_cast<std::size_t>(j) * M]);
            found += finite ? 1 : 0;
        }
        *dear = found;
        return q;
    }
};

// Runs work(first, last, plan) over [begin, end) chunk by chunk and
// between() after each; stops, returning false, when between() does. `fixed`
// > 0 fixes the chunk size; 0 sizes each chunk from the time the last took,
// counting only the items that cost (chunk_end(first, size, &dear), as
// above),
// growing at most twofold a chunk, so that a run of free items cannot make
// the next chunk of dear ones run long.
template <class Work, class End, class Between>
bool run(int begin, int end, int fixed, const threads::plan& r, Work work, End chunk_end,
         Between between)
{
    using clock = std::chrono::steady_clock;
    int size = fixed > 0 ? fixed : 1;
    for (int first = begin; first < end;) {
        int dear;
        const int last = chunk_end(first, size, &dear);
        const threads::plan part(std::min(r.threads, last - first), r.level);
        const clock::time_point start = clock::now();
        work(first, last, part);
        if (!between()) return false;
        if (fixed <= 0 && dear > 0) {
            const double seconds = std::chrono::duration<double>(clock::now() - start).count();
            const double most = std::min(2.0 * dear, 1e9);
            const double fit = seconds > 0 ? target_seconds / seconds * dear : most;
            size = static_cast<int>(std::clamp(fit, 1.0, most));
        }
        first = last;
    }
    return true;
}

}  // namespace localmodels::chunks
