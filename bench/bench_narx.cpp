// narx_simulate against the loop a caller would otherwise write: one
// one-point plug-in call per sample through the standalone host, the
// regressor built between calls. A 20-cluster network of 4 regressors
// (T = 2000) and a nearpoly example set of N = 2000 (T = 1000). Prints the
// loop's time over narx_simulate's.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_data.h"
#include "host/standalone/gateways.h"
#include "host/standalone/standalone.h"
#include "report.h"

namespace {

using standalone::array;
using standalone::make_array;
using standalone::make_empty;
using standalone::make_matrix;
using standalone::make_scalar;

// y(t) from y(t-1), y(t-2), u(t-1), u(t-2): NA = 2, NB = 2, NK = 1, L = 2.
constexpr int lags = 2;

struct signals {
    int T;
    array u, y0, na, nb, nk, bounds;
    std::vector<double> u_values;
    explicit signals(int samples)
        : T(samples),
          u(make_matrix(1, samples, uniform(samples, 7))),
          y0(make_matrix(1, 2, {0.1, 0.2})),
          na(make_scalar(lags)),
          nb(make_scalar(lags)),
          nk(make_scalar(1)),
          bounds(make_matrix(2, 1, {-5, 5})),
          u_values(standalone::values(u.get()))
    {
    }
    std::vector<const mxArray*> inputs(double kind, const std::vector<const array*>& model) const
    {
        static array kinds[] = {make_scalar(1), make_scalar(2)};
        std::vector<const mxArray*> in = {u.get(),
                                          y0.get(),
                                          na.get(),
                                          nb.get(),
                                          nk.get(),
                                          bounds.get(),
                                          kinds[static_cast<int>(kind) - 1].get()};
        for (const array* a : model) in.push_back(a->get());
        return in;
    }
    // The loop: step(r) returns the one-point output at regressor r.
    template <class Step>
    void loop(Step step) const
    {
        std::vector<double> y(T, 0.0), r(2 * lags);
        y[0] = 0.1, y[1] = 0.2;
        for (int t = lags; t < T; ++t) {
            for (int l = 0; l < lags; ++l) r[l] = y[t - 1 - l], r[lags + l] = u_values[t - 1 - l];
            const double v = step(r);
            y[t] = v < -5 ? -5 : v > 5 ? 5 : v;
        }
        benchmark::DoNotOptimize(y.data());
    }
};

struct network_model {
    array centres = make_matrix(4, 20, uniform(80, 1));
    array norms;
    array consequents = make_array({1, 5, 20}, uniform(100, 2));
    network_model()
    {
        std::vector<double> a(4 * 4 * 20, 0.0);
        for (int i = 0; i < 20; ++i)
            for (int k = 0; k < 4; ++k) a[k + 4 * k + 16 * i] = 8.0;
        norms = make_array({4, 4, 20}, a);
        std::vector<double> t = standalone::values(consequents.get());
        for (double& v : t) v = 0.4 * v - 0.2;
        consequents = make_array({1, 5, 20}, t);
    }
};

struct nearpoly_model {
    array x, y, id_par = make_matrix(3, 1, {1, 1, 1});
    nearpoly_model()
    {
        constexpr int N = 2000;
        std::vector<double> xs = uniform(4 * N, 3), ys(N);
        for (int i = 0; i < N; ++i)
            ys[i] = 0.5 * xs[i] - 0.3 * xs[i + N] + xs[i + 2 * N] * xs[i + 3 * N];
        x = make_matrix(N, 4, xs);
        y = make_matrix(N, 1, ys);
    }
};

void narx_network(benchmark::State& state)
{
    const signals s(2000);
    const network_model m;
    const auto in = s.inputs(1, {&m.centres, &m.norms, &m.consequents});
    for (auto _ : state) benchmark::DoNotOptimize(standalone::call(narx_simulate_gateway, 1, in));
}

void loop_network(benchmark::State& state)
{
    const signals s(2000);
    const network_model m;
    for (auto _ : state)
        s.loop([&](const std::vector<double>& r) {
            array x = make_matrix(4, 1, r);
            return standalone::values(
                standalone::call(netsim_gateway, 1,
                                 {x.get(), m.centres.get(), m.norms.get(), m.consequents.get()})
                    .outputs[0]
                    .get())[0];
        });
}

void narx_nearpoly(benchmark::State& state)
{
    const signals s(1000);
    const nearpoly_model m;
    const auto in = s.inputs(2, {&m.x, &m.y, &m.id_par});
    for (auto _ : state) benchmark::DoNotOptimize(standalone::call(narx_simulate_gateway, 1, in));
}

void loop_nearpoly(benchmark::State& state)
{
    const signals s(1000);
    const nearpoly_model m;
    for (auto _ : state)
        s.loop([&](const std::vector<double>& r) {
            array q = make_matrix(1, 4, r);
            return standalone::values(
                standalone::call(nearpoly_gateway, 1,
                                 {m.x.get(), m.y.get(), q.get(), m.id_par.get()})
                    .outputs[0]
                    .get())[0];
        });
}

}  // namespace

BENCHMARK(narx_network)->Unit(benchmark::kMillisecond);
BENCHMARK(loop_network)->Unit(benchmark::kMillisecond);
BENCHMARK(narx_nearpoly)->Unit(benchmark::kMillisecond);
BENCHMARK(loop_nearpoly)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return bench::run(argc, argv,
                      {{"network, 20 clusters, T = 2000: loop / narx_simulate", "loop_network",
                        "narx_network", 0},
                       {"nearpoly, N = 2000, T = 1000: loop / narx_simulate", "loop_nearpoly",
                        "narx_nearpoly", 0}});
}
