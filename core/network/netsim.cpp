// The per-point loop of netsim: one core evaluation per column of X, all
// points sharing one point state.
#include "core/network/network.h"

namespace localmodels::network {

std::size_t simulate_workspace_size(const view& net)
{
    workspace w = counting_workspace();
    detail::take_point_state(&w, net, nullptr);
    return bytes_needed(w);
}

void simulate(double* out, const double* x, int N, const view& net, const options& o, void* memory,
              std::size_t bytes)
{
    workspace w = memory_workspace(memory, bytes);
    point_state s = detail::take_point_state(&w, net, nullptr);
    for (int t = 0; t < N; ++t)
        evaluate_point(out + detail::at2(0, t, net.p), &s, x + detail::at2(0, t, net.n), net, o);
}

}  // namespace localmodels::network
