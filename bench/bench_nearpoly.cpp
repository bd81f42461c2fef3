// nearpoly's documented workload: N = 5000 examples of n = 3 inputs,
// M = 1000 queries, id_par = [1; 1; 1] (constant 3-5, linear 12-20 and
// quadratic 30-50 neighbours), default combination. Reports queries/s.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench_data.h"
#include "host/standalone/gateways.h"
#include "host/standalone/standalone.h"

namespace {

void nearpoly_workload(benchmark::State& state)
{
    const int N = 5000, n = 3, M = 1000;
    const bool with_coefs = state.range(0) != 0;
    const std::vector<double> x = uniform(N * n, 1), q = uniform(M * n, 2);
    std::vector<double> y(N);
    for (int i = 0; i < N; ++i) y[i] = std::sin(3 * x[i]) + x[i + N] * x[i + N] - x[i + 2 * N];
    standalone::array data_x = standalone::make_matrix(N, n, x),
                      data_y = standalone::make_matrix(N, 1, y),
                      query_x = standalone::make_matrix(M, n, q),
                      id_par = standalone::make_matrix(3, 1, {1, 1, 1});
    for (auto _ : state) {
        standalone::call_result r =
            standalone::call(nearpoly_gateway, with_coefs ? 2 : 1,
                             {data_x.get(), data_y.get(), query_x.get(), id_par.get()});
        if (!r.ok) state.SkipWithError(r.error.c_str());
        benchmark::DoNotOptimize(r);
    }
    state.counters["queries/s"] =
        benchmark::Counter(static_cast<double>(M), benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(nearpoly_workload)->ArgName("coefs")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
