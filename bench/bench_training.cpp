// lmn_train's core: N = 2000 samples of n = 4 inputs, 10 models, on 1 and
// 2 threads, without and with 10 Levenberg-Marquardt iterations.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/training/training.h"
#include "report.h"

namespace {

namespace tr = localmodels::training;

struct samples {
    int n = 4, N = 2000;
    std::vector<double> x, y;
    samples()
    {
        unsigned long long state = 12345;
        for (int e = 0; e < n * N; ++e) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            x.push_back(static_cast<double>(state >> 11) * 0x1.0p-53);
        }
        for (int t = 0; t < N; ++t) {
            const double* p = &x[static_cast<std::size_t>(t) * n];
            y.push_back(std::sin(3 * p[0]) * p[1] + p[2] * p[2] - std::exp(-p[3]));
        }
    }
};

void train(benchmark::State& state, int threads, int lm)
{
    const samples d;
    const tr::problem pr{d.x.data(), d.y.data(), d.n, 1, d.N, nullptr, nullptr, 0};
    tr::settings s = tr::default_settings(d.n);
    s.max_models = 10;
    s.patience = 10;  // always all ten models
    s.lm_iterations = lm;
    s.threads = threads;
    const std::size_t c = 10, n = 4;
    std::vector<double> centres(n * c), norms(n * n * c), consequents((n + 1) * c), lower(n * c),
        upper(n * c), criterion(c), models(c);
    tr::result r{centres.data(),
                 norms.data(),
                 consequents.data(),
                 lower.data(),
                 upper.data(),
                 criterion.data(),
                 models.data(),
                 0,
                 0,
                 false,
                 0.0};
    std::vector<unsigned char> memory(tr::workspace_size(pr, s));
    for (auto _ : state) {
        tr::train(&r, pr, s, memory.data(), memory.size());
        benchmark::DoNotOptimize(r);
    }
    if (r.models != 10) state.SkipWithError("fewer than 10 models");
}

}  // namespace

int main(int argc, char** argv)
{
    for (int lm : {0, 10})
        for (int threads : {1, 2}) {
            const std::string name =
                std::string(lm ? "LM10" : "tree") + "/threads:" + std::to_string(threads);
            benchmark::RegisterBenchmark(name.c_str(), train, threads, lm)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    return bench::run(argc, argv,
                      {{"tree 2 threads / 1 thread", "tree/threads:2", "tree/threads:1", 0},
                       {"LM10 2 threads / 1 thread", "LM10/threads:2", "LM10/threads:1", 0}});
}
