// Threads for the workers. The items of a call (queries, points) are split
// by a fixed partition into contiguous blocks, one per thread, and each
// thread has a workspace of its own, taken by the caller before the loop:
// every item is computed by the same operations whatever the thread count,
// so results are identical for any count.
#pragma once

#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

#include "core/common/simd.h"

namespace localmodels::threads {

// Below this many operations per thread a call runs serially: starting a
// thread costs about as much.
constexpr double min_work_per_thread = 2e5;

// A count asked for in LOCALMODELS_THREADS is still held to the work: at
// least this many operations per thread (and no more threads than items or
// than the machine's cores), so that no call takes workspaces it cannot use.
constexpr double min_work_per_asked_thread = 1e4;

// The number of threads for `items` independent items of about
// `cost_per_item` operations each: LOCALMODELS_THREADS when it holds a
// positive integer (1 = serial), held to the cores and the work as above;
// else the machine's cores when the call is large enough to gain, else 1;
// never more than the items.
int count_for(std::size_t items, double cost_per_item);

// What a host may ask for in place of LOCALMODELS_THREADS: a positive count,
// or one of these.
constexpr int from_environment = 0;  // LOCALMODELS_THREADS, else the default
constexpr int all_cores = -1;        // as many as the machine has

// count_for with the count `asked` instead of the environment's, held to the
// cores and the work in the same way.
int count_for(std::size_t items, double cost_per_item, int asked);

// How a worker runs one call: its thread count (one workspace each) and its
// vector level. A front end fixes both once, when the call starts, and hands
// the same plan to every range of the call, so that the workspaces taken at
// the start are the ones used to the end, whatever the environment does
// meanwhile (and no worker thread reads the environment).
// A bare count converts to a plan at the level the environment chooses now.
struct plan {
    int threads = 1;
    simd::level level = simd::level::scalar;

    plan() = default;
    plan(int t, simd::level l) : threads(t), level(l) {}
    plan(int t) : threads(t), level(simd::chosen()) {}  // NOLINT: implicit on purpose
};

// One call of a worker over the items [first, last): the plan it runs by
// and the caller's memory of r.threads workspaces, `bytes` in all.
struct job {
    int first, last;
    plan r;
    void* memory;
    std::size_t bytes;
};

// Block t of the fixed partition of [first, last) into `threads` blocks.
inline void block(std::size_t first, std::size_t last, int threads, int t, std::size_t* begin,
                  std::size_t* end)
{
    const std::size_t count = last - first, n = static_cast<std::size_t>(threads);
    const std::size_t base = count / n, extra = count % n, i = static_cast<std::size_t>(t);
    *begin = first + i * base + (i < extra ? i : extra);
    *end = *begin + base + (i < extra ? 1 : 0);
}

// Thread t's workspace among `threads` workspaces of `each` bytes.
inline void* share(void* memory, std::size_t each, int t)
{
    return static_cast<unsigned char*>(memory) + each * static_cast<std::size_t>(t);
}

// Runs body(t, begin, end) for each block of [first, last), block 0 on the
// caller's thread. A thread that cannot be started leaves its block to the
// caller, so the blocks and their results stay the same.
template <class F>
void run(int threads, std::size_t first, std::size_t last, F body)
{
    if (threads <= 1) {
        body(0, first, last);
        return;
    }
    std::vector<std::thread> pool;
    std::vector<int> left;  // blocks whose thread could not start
    for (int t = 1; t < threads; ++t) {
        std::size_t b, e;
        block(first, last, threads, t, &b, &e);
        try {
            pool.emplace_back([&body, t, b, e] { body(t, b, e); });
        } catch (const std::system_error&) {
            left.push_back(t);
        }
    }
    std::size_t b, e;
    block(first, last, threads, 0, &b, &e);
    body(0, b, e);
    for (int t : left) {
        block(first, last, threads, t, &b, &e);
        body(t, b, e);
    }
    for (std::thread& th : pool) th.join();
}

}  // namespace localmodels::threads
