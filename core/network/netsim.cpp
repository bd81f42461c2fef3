// The per-point loop of netsim: vectors of points at the run-time level,
// then the points left over one core evaluation at a time, all in one
// workspace per thread.
#include "core/common/threads.h"
#include "core/network/network.h"

namespace localmodels::network {

namespace {

struct scratch {
    point_state point;
    detail::lane_scratch lanes;
};

// The lane scratch only for blocks with vectors of points (it is counted
// always): a call of one point clears no more memory than it needs.
scratch lay_out(workspace* w, const view& net, bool lanes)
{
    scratch s;
    s.point = detail::take_point_state(w, net, nullptr);
    s.lanes = lanes ? detail::take_lane_scratch(w, net) : detail::lane_scratch{};
    return s;
}

}  // namespace

std::size_t simulate_workspace_size(const view& net)
{
    workspace w = counting_workspace();
    lay_out(&w, net, true);
    return bytes_needed(w);
}

std::size_t simulate_memory_size(const view& net, int threads)
{
    return per_thread(simulate_workspace_size(net), threads);
}

int simulate_threads_for(const view& net, int first, int last, int asked)
{
    // Distances, one exponential or power per cluster, the local models.
    const double n = net.n, p = net.p;  // in double: n*n may exceed 32 bits
    const double cost = static_cast<double>(net.c) * (n * n + p * n + 20);
    return threads::count_for(static_cast<std::size_t>(last - first), cost, asked);
}

void simulate(double* out, const double* x, const view& net, const options& o,
              const threads::job& j)
{
    // Fewer points than two of the narrowest vectors go one at a time.
    const simd::level level = j.last - j.first >= 4 ? j.r.level : simd::level::scalar;
    const std::size_t each = j.bytes / static_cast<std::size_t>(j.r.threads);
    threads::run(j.r.threads, static_cast<std::size_t>(j.first), static_cast<std::size_t>(j.last),
                 [&](int t, std::size_t begin, std::size_t end) {
                     workspace w = memory_workspace(threads::share(j.memory, each, t), each);
                     const int b = static_cast<int>(begin), e = static_cast<int>(end);
                     scratch s = lay_out(&w, net, level != simd::level::scalar && e - b >= 4);
                     const detail::lane_setup a{net, o, s.lanes};
                     for (int k = detail::simulate_lanes(level, out, x, a, b, e); k < e; ++k)
                         evaluate_point(out + detail::matrix_offset(0, k, net.p), &s.point,
                                        x + detail::matrix_offset(0, k, net.n), net, o);
                 });
}

}  // namespace localmodels::network
