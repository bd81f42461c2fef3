// nearpoly's documented workload: N = 5000 examples of n = 3 inputs,
// M = 1000 queries, id_par = [1; 1; 1] (constant 3-5, linear 12-20 and
// quadratic 30-50 neighbours), default combination. Reports queries/s.
// The eight-input case (quadratic family of 45 parameters on 135-225
// neighbours) reports the time per query, where the leave-one-out scoring
// dominates. LOCALMODELS_THREADS and LOCALMODELS_SIMD set the thread count
// and the vector level of a run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench_data.h"
#include "host/standalone/gateways.h"
#include "host/standalone/standalone.h"

namespace {

// Runs nearpoly with id_par = [1; 1; 1] on N examples of n inputs and M
// queries, all uniform in the unit cube.
void run_nearpoly(benchmark::State& state, int N, int n, int M, bool with_coefs)
{
    const std::vector<double> x = uniform(static_cast<std::size_t>(N) * n, 1),
                              q = uniform(static_cast<std::size_t>(M) * n, 2);
    std::vector<double> y(N);
    for (int i = 0; i < N; ++i) {
        double v = std::sin(3 * x[i]);
        for (int j = 1; j < n; ++j) v += (j % 2 ? 1 : -1) * x[i + j * N] * x[i + j * N];
        y[i] = v;
    }
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
}

void nearpoly_workload(benchmark::State& state)
{
    const int M = 1000;
    run_nearpoly(state, 5000, 3, M, state.range(0) != 0);
    state.counters["queries/s"] =
        benchmark::Counter(static_cast<double>(M), benchmark::Counter::kIsIterationInvariantRate);
}

void nearpoly_eight_inputs(benchmark::State& state)
{
    const int M = 20;
    run_nearpoly(state, 5000, 8, M, false);
    state.counters["s/query"] =
        benchmark::Counter(static_cast<double>(M), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(nearpoly_workload)->ArgName("coefs")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(nearpoly_eight_inputs)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
