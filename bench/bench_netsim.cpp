// netsim's workload NS through the standalone host: n = 4 inputs, p = 2
// outputs, c = 40 clusters, N = 1e5 points, on 1 thread, 2 threads and as
// many as the plug-in chooses; and, as its peer, the N * c calls of the
// standard exp that any evaluation of the network makes, cluster by cluster
// over arrays of N arguments, as a vectorised array program would.
#include <benchmark/benchmark.h>

#include <cmath>

#include "host/standalone/gateways.h"
#include "report.h"
#include "workloads.h"

namespace {

constexpr int n = 4, p = 2, c = 40, N = 100000;

void ns(benchmark::State& state, int threads)
{
    const bench::network_workload w(n, p, c, N);
    const std::vector<const mxArray*> in = w.inputs();
    bench::use_threads(threads);
    for (auto _ : state) {
        standalone::call_result r = standalone::call(netsim_gateway, 1, in);
        if (!r.ok) state.SkipWithError(r.error.c_str());
        benchmark::DoNotOptimize(r);
    }
    bench::use_threads(0);
    state.counters["points/s"] =
        benchmark::Counter(static_cast<double>(N), benchmark::Counter::kIsIterationInvariantRate);
}

// The validity arguments -d of the workload, one row of N per cluster.
std::vector<double> arguments(const bench::network_workload& w)
{
    const double *x = mxGetPr(w.x.get()), *C = mxGetPr(w.centres.get()),
                 *A = mxGetPr(w.norms.get());
    std::vector<double> args(static_cast<std::size_t>(c) * N);
    for (int i = 0; i < c; ++i)
        for (int t = 0; t < N; ++t) {
            double d = 0, e[n];
            for (int k = 0; k < n; ++k) e[k] = x[k + t * n] - C[k + i * n];
            for (int r = 0; r < n; ++r)
                for (int s = 0; s < n; ++s) d += A[r + s * n + i * n * n] * e[r] * e[s];
            args[static_cast<std::size_t>(i) * N + t] = -d;
        }
    return args;
}

void exp_calls(benchmark::State& state)
{
    const std::vector<double> args = arguments(bench::network_workload(n, p, c, N));
    std::vector<double> w(N);
    for (auto _ : state) {
        for (int i = 0; i < c; ++i) {
            const double* a = args.data() + static_cast<std::size_t>(i) * N;
            for (int t = 0; t < N; ++t) w[t] = std::exp(a[t]);
            benchmark::DoNotOptimize(w.data());
            benchmark::ClobberMemory();
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    for (int threads : {1, 2, 0}) {
        const std::string name =
            "NS/threads:" + (threads ? std::to_string(threads) : std::string("auto"));
        benchmark::RegisterBenchmark(name.c_str(), ns, threads)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("NS/exp calls", exp_calls)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return bench::run(
        argc, argv,
        {{"NS netsim 1 thread / its 4e6 exp calls", "NS/threads:1", "NS/exp calls", 1.3},
         {"NS netsim 2 threads / its 4e6 exp calls", "NS/threads:2", "NS/exp calls", 0}});
}
