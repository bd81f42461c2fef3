// The per-point loop of netsim: one core evaluation per column of X, all
// points sharing one point state.
#include "core/common/threads.h"
#include "core/network/network.h"

namespace localmodels::network {

std::size_t simulate_workspace_size(const view& net)
{
    workspace w = counting_workspace();
    detail::take_point_state(&w, net, nullptr);
    return bytes_needed(w);
}

int simulate_threads_for(const view& net, int first, int last)
{
    // Distances, one exponential or power per cluster, the local models.
    const double n = net.n, p = net.p;  // in double: n*n may exceed 32 bits
    const double cost = static_cast<double>(net.c) * (n * n + p * n + 20);
    return threads::count_for(static_cast<std::size_t>(last - first), cost);
}

void simulate(double* out, const double* x, const view& net, const options& o, int first, int last,
              int threads, void* memory, std::size_t bytes)
{
    const std::size_t each = bytes / static_cast<std::size_t>(threads);
    threads::run(threads, static_cast<std::size_t>(first), static_cast<std::size_t>(last),
                 [&](int t, std::size_t begin, std::size_t end) {
                     workspace w = memory_workspace(threads::share(memory, each, t), each);
                     point_state s = detail::take_point_state(&w, net, nullptr);
                     for (std::size_t i = begin; i < end; ++i) {
                         const int k = static_cast<int>(i);
                         evaluate_point(out + detail::at2(0, k, net.p), &s,
                                        x + detail::at2(0, k, net.n), net, o);
                     }
                 });
}

}  // namespace localmodels::network
