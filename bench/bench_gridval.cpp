// gridval's workloads through the standalone host: GV1 (one dimension,
// 1000 breakpoints, 1e6 points), GV2 (200 x 200, 1e6 points) and GV4
// (20^4, 1e5 points), on 1 thread, 2 threads and as many as the plug-in
// chooses. bench/peers.py compares them with scipy's map_coordinates.
#include <benchmark/benchmark.h>

#include "host/standalone/gateways.h"
#include "report.h"
#include "workloads.h"

namespace {

void table(benchmark::State& state, int d, int M, int N, int threads)
{
    const bench::table_workload w(d, M, N);
    const std::vector<const mxArray*> in = w.inputs();
    bench::use_threads(threads);
    for (auto _ : state) {
        standalone::call_result r = standalone::call(gridval_gateway, 1, in);
        if (!r.ok) state.SkipWithError(r.error.c_str());
        benchmark::DoNotOptimize(r);
    }
    bench::use_threads(0);
    state.counters["points/s"] =
        benchmark::Counter(static_cast<double>(N), benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

int main(int argc, char** argv)
{
    struct row {
        const char* name;
        int d, M, N;
    };
    for (const row& r :
         {row{"GV1", 1, 1000, 1000000}, row{"GV2", 2, 200, 1000000}, row{"GV4", 4, 20, 100000}})
        for (int threads : {1, 2, 0}) {
            const std::string name =
                std::string(r.name) + "/threads:" + (threads ? std::to_string(threads) : "auto");
            benchmark::RegisterBenchmark(name.c_str(), table, r.d, r.M, r.N, threads)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    return bench::run(argc, argv,
                      {{"GV1 2 threads / 1 thread", "GV1/threads:2", "GV1/threads:1", 0},
                       {"GV2 2 threads / 1 thread", "GV2/threads:2", "GV2/threads:1", 0},
                       {"GV4 2 threads / 1 thread", "GV4/threads:2", "GV4/threads:1", 0}});
}
