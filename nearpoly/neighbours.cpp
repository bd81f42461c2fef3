// Neighbour search of one query: the difference of every example to the
// query, its (weighted) city-block distance, and the K nearest examples in a
// list kept ordered by insertion from the tail.
#include <cassert>
#include <cmath>
#include <cstddef>

#include "nearpoly/nearpoly.h"

void find_neighbours(double* diff, int* index, double* dist, const double* data_x,
                     const double* query_x, int q, int M, const double* weights, int N, int n,
                     int K, double inf)
{
    // dist[m + 1] is the distance of position m; dist[0] stays 0.0.
    for (int m = 1; m <= K; ++m) dist[m] = inf;
    const std::size_t rows = static_cast<std::size_t>(N);
    const std::size_t queries = static_cast<std::size_t>(M);

    for (int i = 0; i < N; ++i) {
        double s = 0.0;
        for (int j = 0; j < n; ++j) {
            const double d = data_x[i + j * rows] - query_x[q + j * queries];
            diff[i + j * rows] = d;
            s = weights ? s + std::fabs(d) * weights[j] : s + std::fabs(d);
        }
        // Strict < keeps the earlier of two equal distances ahead; the head
        // sentinel 0.0 stops every distance, which is never negative.
        assert(!(s < 0.0));
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
