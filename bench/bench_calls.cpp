// One point per call through the standalone host: netsim, dmat_inputs and
// dmat_params on the demo's network (n = 3 inputs, p = 1 output, c = 10
// clusters; its refinement calls dmat_params once per example) with seven
// inputs each, against a gateway that only reads its seven inputs. The standalone
// host's own cost per call is small, so these ratios are harsher than the
// ones Octave shows (bench/octave_bench.m measures those).
#include <benchmark/benchmark.h>

#include "host/standalone/gateways.h"
#include "read_inputs.h"
#include "report.h"
#include "workloads.h"

namespace {

void one_point(benchmark::State& state, standalone::gateway g, int nlhs)
{
    const bench::network_workload w(3, 1, 10, 1);
    const std::vector<const mxArray*> in = w.inputs();
    for (auto _ : state) {
        standalone::call_result r = standalone::call(g, nlhs, in);
        if (!r.ok) state.SkipWithError(r.error.c_str());
        benchmark::DoNotOptimize(r);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::RegisterBenchmark("call/read 7 inputs", one_point, bench::read_inputs_gateway, 0);
    benchmark::RegisterBenchmark("call/netsim", one_point, netsim_gateway, 1);
    benchmark::RegisterBenchmark("call/dmat_inputs", one_point, dmat_inputs_gateway, 1);
    benchmark::RegisterBenchmark("call/dmat_params", one_point, dmat_params_gateway, 1);
    return bench::run(
        argc, argv,
        {{"netsim, one point / reading 7 inputs", "call/netsim", "call/read 7 inputs", 0},
         {"dmat_inputs, one point / reading 7 inputs", "call/dmat_inputs", "call/read 7 inputs", 0},
         {"dmat_params, one point / reading 7 inputs", "call/dmat_params", "call/read 7 inputs",
          0}});
}
