// nearpoly's documented workload: N = 5000 examples of n = 3 inputs,
// M = 1000 queries, id_par = [1; 1; 1] (constant 3-5, linear 12-20 and
// quadratic 30-50 neighbours), default combination. Reports queries/s.
// Then the same workload for growing N, where the neighbour search through
// the tree should grow slowly with N.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>
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

// Sets LOCALMODELS_THREADS for its lifetime.
struct thread_count {
    explicit thread_count(long threads)
    {
        ::setenv("LOCALMODELS_THREADS", std::to_string(threads).c_str(), 1);
    }
    ~thread_count() { ::unsetenv("LOCALMODELS_THREADS"); }
};

// N examples of n = 3 inputs, M queries, id_par = [1; 1; 1], on the given
// number of threads; the tree over the examples is built in every call.
void nearpoly_examples(benchmark::State& state)
{
    const int N = static_cast<int>(state.range(0)), n = 3, M = static_cast<int>(state.range(1));
    const thread_count threads(state.range(2));
    const std::vector<double> x = uniform(static_cast<std::size_t>(N) * n, 3),
                              q = uniform(static_cast<std::size_t>(M) * n, 4);
    std::vector<double> y(N);
    for (int i = 0; i < N; ++i) y[i] = std::sin(3 * x[i]) + x[i + N] * x[i + N] - x[i + 2 * N];
    standalone::array data_x = standalone::make_matrix(N, n, x),
                      data_y = standalone::make_matrix(N, 1, y),
                      query_x = standalone::make_matrix(M, n, q),
                      id_par = standalone::make_matrix(3, 1, {1, 1, 1});
    for (auto _ : state) {
        standalone::call_result r = standalone::call(
            nearpoly_gateway, 1, {data_x.get(), data_y.get(), query_x.get(), id_par.get()});
        if (!r.ok) state.SkipWithError(r.error.c_str());
        benchmark::DoNotOptimize(r);
    }
    state.counters["queries/s"] =
        benchmark::Counter(static_cast<double>(M), benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(nearpoly_workload)->ArgName("coefs")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
// Targets: at fixed M, N = 1e6 within 3 times N = 1e4; N = 1e6 with
// M = 1e4 on 2 threads within 2 s.
BENCHMARK(nearpoly_examples)
    ->ArgNames({"N", "M", "threads"})
    ->Args({10000, 1000, 1})
    ->Args({100000, 1000, 1})
    ->Args({1000000, 1000, 1})
    ->Args({10000, 10000, 2})
    ->Args({1000000, 10000, 2})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
