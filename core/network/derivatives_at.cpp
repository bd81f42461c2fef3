// The derivative plug-ins over many points: a fixed partition of the points
// into one block per thread, each point the one-point call in its thread's
// workspace, so no bit depends on the thread count.
#include "core/network/network.h"

namespace localmodels::network {

namespace {

std::size_t size(std::int64_t count)
{
    return static_cast<std::size_t>(count);
}

// body(point, t's workspace, its size) for every point of [first, last).
template <class F>
void each_point(int first, int last, const threads::plan& r, void* memory, std::size_t bytes,
                F body)
{
    const std::size_t each = bytes / static_cast<std::size_t>(r.threads);
    threads::run(r.threads, static_cast<std::size_t>(first), static_cast<std::size_t>(last),
                 [&](int t, std::size_t begin, std::size_t end) {
                     void* own = threads::share(memory, each, t);
                     for (std::size_t k = begin; k < end; ++k) body(k, own, each);
                 });
}

}  // namespace

int derivatives_threads_for(const view& net, std::int64_t rows, int first, int last, int asked)
{
    // The evaluation (as netsim's), then every entry a sum over the clusters.
    const double n = net.n, p = net.p, c = net.c;
    const double cost = c * (n * n + p * n + 20) + c * p * static_cast<double>(rows);
    return threads::count_for(static_cast<std::size_t>(last - first), cost, asked);
}

std::size_t input_derivatives_memory_size(const view& net, int threads)
{
    return per_thread(input_derivatives_workspace_size(net), threads);
}

std::size_t parameter_derivatives_memory_size(const view& net, int threads)
{
    return per_thread(parameter_derivatives_workspace_size(net), threads);
}

void input_derivatives_at(double* derivatives, double* y, const double* x, const view& net,
                          const options& o, int first, int last, const threads::plan& r,
                          void* memory, std::size_t bytes)
{
    const std::size_t block = size(net.n) * size(net.p);
    each_point(first, last, r, memory, bytes, [&](std::size_t k, void* own, std::size_t each) {
        input_derivatives(derivatives + k * block, y ? y + k * size(net.p) : nullptr,
                          x + k * size(net.n), net, o, own, each);
    });
}

void parameter_derivatives_at(double* derivatives, double* y, const double* x, const view& net,
                              const options& o, unsigned selection, int first, int last,
                              const threads::plan& r, void* memory, std::size_t bytes)
{
    const std::int64_t rows = selected_rows(net.n, net.p, net.c, selection);
    const std::size_t block = size(rows) * size(net.p);
    each_point(first, last, r, memory, bytes, [&](std::size_t k, void* own, std::size_t each) {
        parameter_derivatives(derivatives + k * block, y ? y + k * size(net.p) : nullptr,
                              x + k * size(net.n), net, o, selection, own, each);
    });
}

}  // namespace localmodels::network
