// Batch evaluation through the standalone host: gridval on a 41x41x21 table
// and netsim with 10 clusters of 3 inputs, 20000 points each, the deployed
// forms compared by the demo. Reports points per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_data.h"
#include "host/standalone/gateways.h"
#include "host/standalone/standalone.h"

namespace {

std::vector<double> linspace(int count)
{
    std::vector<double> v(count);
    for (int i = 0; i < count; ++i) v[i] = static_cast<double>(i) / (count - 1);
    return v;
}

constexpr int points = 20000;

void report(benchmark::State& state)
{
    state.counters["points/s"] = benchmark::Counter(static_cast<double>(points),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

void gridval_3d(benchmark::State& state)
{
    using standalone::make_array;
    using standalone::make_matrix;
    standalone::array q = make_matrix(3, points, uniform(3 * points, 1)),
                      table = make_array({41, 41, 21}, uniform(41 * 41 * 21, 2)),
                      b1 = make_matrix(1, 41, linspace(41)), b2 = make_matrix(1, 41, linspace(41)),
                      b3 = make_matrix(1, 21, linspace(21));
    for (auto _ : state)
        benchmark::DoNotOptimize(standalone::call(
            gridval_gateway, 1, {q.get(), table.get(), b1.get(), b2.get(), b3.get()}));
    report(state);
}

void netsim_10_clusters(benchmark::State& state)
{
    using standalone::make_array;
    using standalone::make_matrix;
    std::vector<double> norms(3 * 3 * 10, 0.0);
    for (int i = 0; i < 10; ++i)
        for (int k = 0; k < 3; ++k) norms[k + 3 * k + 9 * i] = 4.0;
    standalone::array x = make_matrix(3, points, uniform(3 * points, 3)),
                      c = make_matrix(3, 10, uniform(30, 4)), a = make_array({3, 3, 10}, norms),
                      t = make_array({1, 4, 10}, uniform(40, 5));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            standalone::call(netsim_gateway, 1, {x.get(), c.get(), a.get(), t.get()}));
    report(state);
}

}  // namespace

BENCHMARK(gridval_3d)->Unit(benchmark::kMillisecond);
BENCHMARK(netsim_10_clusters)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
