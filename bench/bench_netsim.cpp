// netsim's workload NS through the standalone host: n = 4 inputs, p = 2
// outputs, c = 40 clusters, N = 1e5 points, on 1 thread, 2 threads and as
// many as the plug-in chooses; and, as its peer, the N * c calls of the
// standard exp that any evaluation of the network makes, cluster by cluster
// over arrays of N arguments, as a vectorised array program would. Beside
// it the same arguments through the core's correctly rounded exp, scalar
// and in vectors at this CPU's level, and the fuzzy validities' powers
// through glibc's pow and the core's.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/common/lanes.h"
#include "core/common/simd.h"
#include "core/math/exp.h"
#include "core/math/pow.h"
#include "core/math/vectors.h"

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

void crmath_exp_calls(benchmark::State& state)
{
    const std::vector<double> args = arguments(bench::network_workload(n, p, c, N));
    std::vector<double> w(N);
    for (auto _ : state) {
        for (int i = 0; i < c; ++i) {
            const double* a = args.data() + static_cast<std::size_t>(i) * N;
            for (int t = 0; t < N; ++t) w[t] = localmodels::math::exp(a[t]);
            benchmark::DoNotOptimize(w.data());
            benchmark::ClobberMemory();
        }
    }
}

void crmath_exp_vectors(benchmark::State& state)
{
    const std::vector<double> a = arguments(bench::network_workload(n, p, c, N));
    // Copies aligned for the widest vector loads.
    std::vector<double> args(a.size() + 8), w(N + 8);
    const auto aligned = [](double* p) {
        return p + (64 - reinterpret_cast<std::uintptr_t>(p) % 64) % 64 / sizeof(double);
    };
    const double* in = aligned(args.data());
    double* out = aligned(w.data());
    std::memcpy(aligned(args.data()), a.data(), a.size() * sizeof(double));
    const localmodels::math::lane_options o{localmodels::lane_count(localmodels::simd::chosen()),
                                            localmodels::math::has_fma()};
    for (auto _ : state) {
        for (int i = 0; i < c; ++i)
            localmodels::math::exp_vectors(out, in + static_cast<std::size_t>(i) * N, N, o);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
}

// The fuzzy validities of m = 2 and 1.5 (exponents -1 and -2) from the
// workload's distances: glibc's pow and the core's, one call at a time.
template <double (*f)(double, double)>
void pow_calls(benchmark::State& state)
{
    std::vector<double> args = arguments(bench::network_workload(n, p, c, N));
    for (double& d : args) d = -d + 1e-100;
    std::vector<double> w(N);
    for (auto _ : state) {
        for (int i = 0; i < c; ++i) {
            const double* a = args.data() + static_cast<std::size_t>(i) * N;
            const double e = i % 2 ? -1.0 : -2.0;
            for (int t = 0; t < N; ++t) w[t] = f(a[t], e);
            benchmark::DoNotOptimize(w.data());
            benchmark::ClobberMemory();
        }
    }
}

double glibc_pow(double x, double y)
{
    return std::pow(x, y);
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
    benchmark::RegisterBenchmark("NS/crmath exp calls", crmath_exp_calls)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("NS/crmath exp vectors", crmath_exp_vectors)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("NS/pow calls", pow_calls<glibc_pow>)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("NS/crmath pow calls", pow_calls<localmodels::math::pow>)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return bench::run(
        argc, argv,
        {{"NS netsim 1 thread / its 4e6 exp calls", "NS/threads:1", "NS/exp calls", 0.8},
         {"NS netsim 2 threads / its 4e6 exp calls", "NS/threads:2", "NS/exp calls", 0},
         {"NS core exp in vectors / glibc exp, per call", "NS/crmath exp vectors", "NS/exp calls",
          1.0},
         {"NS core exp one call at a time / glibc exp", "NS/crmath exp calls", "NS/exp calls", 0},
         {"NS core pow / glibc pow, per call (m = 2, 1.5)", "NS/crmath pow calls", "NS/pow calls",
          0}});
}
