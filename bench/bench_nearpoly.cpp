// nearpoly's workloads through the standalone host, id_par = [1; 1; 1]:
// NP3 (N = 5000 examples of n = 3 inputs, M = 1000 queries) on 1 and 2
// threads; the growth with N at M = 1000 (N = 1e4, 1e5, 1e6) and at M = 1e4
// (N = 1e4, 1e6), on 2 threads; and n = 8 inputs, N = 5000, per query on 1 thread.
// bench/peers.py compares NP3 with scikit-learn's k-d tree KNN.
#include <benchmark/benchmark.h>

#include "host/standalone/gateways.h"
#include "report.h"
#include "workloads.h"

namespace {

void predict(benchmark::State& state, int N, int n, int M, int threads)
{
    const bench::predictor_workload w(N, n, M);
    const std::vector<const mxArray*> in = w.inputs();
    bench::use_threads(threads);
    for (auto _ : state) {
        standalone::call_result r = standalone::call(nearpoly_gateway, 1, in);
        if (!r.ok) state.SkipWithError(r.error.c_str());
        benchmark::DoNotOptimize(r);
    }
    bench::use_threads(0);
    state.counters["queries/s"] =
        benchmark::Counter(static_cast<double>(M), benchmark::Counter::kIsIterationInvariantRate);
}

// `repetitions` 0 keeps the command line's; the slow rows run once per
// repetition.
void add(const std::string& name, int N, int n, int M, int threads, int repetitions = 0)
{
    benchmark::internal::Benchmark* b =
        benchmark::RegisterBenchmark(name.c_str(), predict, N, n, M, threads)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    if (repetitions > 0) b->Iterations(1)->Repetitions(repetitions);
}

}  // namespace

int main(int argc, char** argv)
{
    add("NP3/threads:1", 5000, 3, 1000, 1);
    add("NP3/threads:2", 5000, 3, 1000, 2);
    add("NP N=1e4 M=1000", 10000, 3, 1000, 2);
    add("NP N=1e5 M=1000", 100000, 3, 1000, 2, 3);
    add("NP N=1e6 M=1000", 1000000, 3, 1000, 2, 3);
    add("NP N=1e4 M=1e4", 10000, 3, 10000, 2, 3);
    add("NP N=1e6 M=1e4", 1000000, 3, 10000, 2, 3);
    add("NP n=8 N=5000 M=100", 5000, 8, 100, 1, 3);
    return bench::run(
        argc, argv,
        {{"NP3 2 threads / 1 thread", "NP3/threads:2", "NP3/threads:1", 0},
         {"nearpoly N=1e6 / N=1e4 at M=1000 (2 threads)", "NP N=1e6 M=1000", "NP N=1e4 M=1000",
          3.0},
         {"nearpoly N=1e6 / N=1e4 at M=1e4 (2 threads)", "NP N=1e6 M=1e4", "NP N=1e4 M=1e4", 3.0},
         {"nearpoly N=1e6, M=1e4 on 2 threads", "NP N=1e6 M=1e4", "", 2.0},
         {"nearpoly n=8, N=5000: seconds per query (1 thread)", "NP n=8 N=5000 M=100", "", 3e-3,
          100}});
}
