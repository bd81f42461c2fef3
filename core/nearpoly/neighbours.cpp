// Neighbour search of one query: the difference of every example to the
// query, its (weighted) city-block distance, and the K nearest examples in a
// list kept ordered by insertion from the tail.
#include <cassert>
#include <cmath>
#include <cstddef>
#include <limits>

#include "core/nearpoly/stages.h"

namespace localmodels::nearpoly::detail {

namespace {

// Differences and distances of all examples, one input dimension at a time:
// every distance still adds its terms in increasing dimension, and the loop
// over examples has independent lanes.
void all_distances(double* __restrict diff, double* __restrict s, const double* __restrict data_x,
                   const double* query_x, int q, int M, const double* weights, int N, int n)
{
    const std::size_t rows = static_cast<std::size_t>(N);
    for (int i = 0; i < N; ++i) s[i] = 0.0;
    for (int j = 0; j < n; ++j) {
        const double qj = query_x[q + j * static_cast<std::size_t>(M)];
        const double* x = data_x + j * rows;
        double* d = diff + j * rows;
        if (weights) {
            const double w = weights[j];
#pragma omp simd
            for (int i = 0; i < N; ++i) {
                d[i] = x[i] - qj;
                s[i] = s[i] + std::fabs(d[i]) * w;
            }
        } else {
#pragma omp simd
            for (int i = 0; i < N; ++i) {
                d[i] = x[i] - qj;
                s[i] = s[i] + std::fabs(d[i]);
            }
        }
    }
}

}  // namespace

void find_neighbours(double* diff, double* distances, int* index, double* dist,
                     const double* data_x, const double* query_x, int q, int M,
                     const double* weights, int N, int n, int K)
{
    const double inf = std::numeric_limits<double>::infinity();
    all_distances(diff, distances, data_x, query_x, q, M, weights, N, n);
    // dist[m + 1] is the distance of position m; dist[0] stays 0.0.
    for (int m = 1; m <= K; ++m) dist[m] = inf;
    for (int i = 0; i < N; ++i) {
        const double s = distances[i];
        // Strict < keeps the earlier of two equal distances ahead; the head
        // sentinel 0.0 stops every distance, which is never negative.
        assert(!(s < 0.0));
        if (!(s < dist[K])) continue;  // not among the K nearest so far
        int m = K;
        while (s < dist[m]) {
            dist[m + 1] = dist[m];
            index[m] = index[m - 1];
            --m;
        }
        dist[m + 1] = s;
        index[m] = i;
    }
}

}  // namespace localmodels::nearpoly::detail
