// The data of the benchmark workloads, deterministic, so that bench/peers.py
// rebuilds the same numbers (bench_data.h's generator) for the peers.
#pragma once

#include <cmath>
#include <cstdlib>
#include <vector>

#include "bench_data.h"
#include "host/standalone/standalone.h"

namespace bench {

// Sets LOCALMODELS_THREADS for the calls that follow; 0 leaves the choice
// to the plug-ins.
inline void use_threads(int threads)
{
    if (threads > 0)
        ::setenv("LOCALMODELS_THREADS", std::to_string(threads).c_str(), 1);
    else
        ::unsetenv("LOCALMODELS_THREADS");
}

inline std::vector<double> grid(int count)
{
    std::vector<double> v(count);
    for (int i = 0; i < count; ++i) v[i] = static_cast<double>(i) / (count - 1);
    return v;
}

// gridval on a d-dimensional table of M^d uniform values over [0, 1]^d
// breakpoints, N points uniform in [0, 1)^d (seeds 10d + 1, 10d + 2).
struct table_workload {
    standalone::array queries, table;
    std::vector<standalone::array> breakpoints;

    table_workload(int d, int M, int N)
    {
        std::vector<mwSize> dims(d, static_cast<mwSize>(M));
        std::size_t nodes = 1;
        for (int k = 0; k < d; ++k) nodes *= static_cast<std::size_t>(M);
        queries =
            standalone::make_matrix(d, N, uniform(static_cast<std::size_t>(d) * N, 10 * d + 2));
        table = standalone::make_array(dims, uniform(nodes, 10 * d + 1));
        for (int k = 0; k < d; ++k) breakpoints.push_back(standalone::make_matrix(1, M, grid(M)));
    }
    std::vector<const mxArray*> inputs() const
    {
        std::vector<const mxArray*> in = {queries.get(), table.get()};
        for (const standalone::array& b : breakpoints) in.push_back(b.get());
        return in;
    }
};

// A network of n inputs, p outputs and c clusters: centres uniform in
// [0, 1)^n (seed 32), norm matrices 4 on the diagonal and 0.5 off it,
// consequents uniform (seed 33), N points uniform (seed 31).
struct network_workload {
    standalone::array x, centres, norms, consequents, one, fuzziness;

    network_workload(int n, int p, int c, int N)
    {
        std::vector<double> a(static_cast<std::size_t>(n) * n * c);
        for (int i = 0; i < c; ++i)
            for (int s = 0; s < n; ++s)
                for (int r = 0; r < n; ++r) a[r + s * n + i * n * n] = r == s ? 4.0 : 0.5;
        x = standalone::make_matrix(n, N, uniform(static_cast<std::size_t>(n) * N, 31));
        centres = standalone::make_matrix(n, c, uniform(static_cast<std::size_t>(n) * c, 32));
        norms = standalone::make_array({mwSize(n), mwSize(n), mwSize(c)}, a);
        consequents =
            standalone::make_array({mwSize(p), mwSize(n + 1), mwSize(c)},
                                   uniform(static_cast<std::size_t>(p) * (n + 1) * c, 33));
        one = standalone::make_scalar(1);
        fuzziness = standalone::make_scalar(2);
    }
    // X, the network, and the options 1, 1, 2: seven inputs.
    std::vector<const mxArray*> inputs() const
    {
        return {x.get(),   centres.get(), norms.get(),    consequents.get(),
                one.get(), one.get(),     fuzziness.get()};
    }
};

// nearpoly: N examples of n inputs uniform in [0, 1)^n (seed 1), targets
// sin(3 x_1) + x_2^2 - x_3 + … (the further inputs alternating), M queries
// (seed 2), id_par [1; 1; 1].
struct predictor_workload {
    standalone::array data_x, data_y, query_x, id_par;

    predictor_workload(int N, int n, int M)
    {
        const std::vector<double> x = uniform(static_cast<std::size_t>(N) * n, 1);
        std::vector<double> y(N);
        for (int i = 0; i < N; ++i) {
            double v = std::sin(3 * x[i]);
            for (int k = 1; k < n; ++k) {
                const double xk = x[i + static_cast<std::size_t>(k) * N];
                v += k % 2 ? xk * xk : -xk;
            }
            y[i] = v;
        }
        data_x = standalone::make_matrix(N, n, x);
        data_y = standalone::make_matrix(N, 1, y);
        query_x = standalone::make_matrix(M, n, uniform(static_cast<std::size_t>(M) * n, 2));
        id_par = standalone::make_matrix(3, 1, {1, 1, 1});
    }
    std::vector<const mxArray*> inputs() const
    {
        return {data_x.get(), data_y.get(), query_x.get(), id_par.get()};
    }
};

}  // namespace bench
