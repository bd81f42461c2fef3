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

// body(point, t's workspace) for every point of [j.first, j.last).
template <class F>
void each_point(const threads::job& j, F body)
{
    const std::size_t each = j.bytes / static_cast<std::size_t>(j.r.threads);
    threads::run(j.r.threads, static_cast<std::size_t>(j.first), static_cast<std::size_t>(j.last),
                 [&](int t, std::size_t begin, std::size_t end) {
                     const memory_block own{threads::share(j.memory, each, t), each};
                     for (std::size_t k = begin; k < end; ++k) body(k, own);
                 });
}

// Point k's share of out: its block of `block` derivatives and its outputs.
derivative_out at_point(const derivative_out& out, std::size_t k, std::size_t block, int p)
{
    return derivative_out{out.derivatives + k * block, out.y ? out.y + k * size(p) : nullptr};
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

void input_derivatives_at(const derivative_out& out, const double* x, const view& net,
                          const options& o, const threads::job& j)
{
    const std::size_t block = size(net.n) * size(net.p);
    each_point(j, [&](std::size_t k, memory_block own) {
        input_derivatives(at_point(out, k, block, net.p), x + k * size(net.n), net, o, own);
    });
}

void parameter_derivatives_at(const derivative_out& out, const double* x, const view& net,
                              const options& o, unsigned selection, const threads::job& j)
{
    const std::int64_t rows = selected_rows(net.n, net.p, net.c, selection);
    const std::size_t block = size(rows) * size(net.p);
    each_point(j, [&](std::size_t k, memory_block own) {
        parameter_derivatives(at_point(out, k, block, net.p), x + k * size(net.n), net, o,
                              selection, own);
    });
}

}  // namespace localmodels::network
