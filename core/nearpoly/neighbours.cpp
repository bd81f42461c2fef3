// Neighbour search of one query: the K nearest examples by (weighted)
// city-block distance in a list kept ordered by insertion from the tail,
// through the call's tree or by a pass over all examples, and the
// differences of those K examples to the query.
#include <cassert>
#include <cmath>
#include <cstddef>
#include <limits>

#include "core/nearpoly/distances.h"
#include "core/nearpoly/stages.h"
#include "core/nearpoly/tree.h"

namespace localmodels::nearpoly::detail {

namespace {

// The pass over all examples in row order, each inserted by strict less-than.
void search_all(double* distances, int* index, double* dist, const double* data_x,
                const double* query_x, int q, int M, const double* weights, int N, int n, int K)
{
    const double inf = std::numeric_limits<double>::infinity();
    city_block(distances, data_x, static_cast<std::size_t>(N), N, query_x,
               static_cast<std::size_t>(q), static_cast<std::size_t>(M), weights, n);
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

}  // namespace

bool use_tree(int N, int n, int K, int M)
{
    // Measured: through the tree a query costs less than the pass over all
    // examples from about a thousand examples of up to 4 inputs on (more
    // examples for more inputs, where the tree prunes less), unless the
    // list holds a large part of them; the build pays after some 50 queries.
    const int least = n <= 4 ? 1024 : n <= 6 ? 4096 : 131072;
    return n >= 1 && n <= max_tree_inputs && N >= least && N / 16 >= K && M >= 50;
}

void find_neighbours(double* diff, double* distances, int* index, double* dist, const tree* t,
                     const double* data_x, const double* query_x, int q, int M,
                     const double* weights, int N, int n, int K)
{
    double point[max_tree_inputs] = {};
    if (t) {
        for (int j = 0; j < n; ++j) point[j] = query_x[q + static_cast<std::size_t>(j) * M];
        search_tree(index, dist, *t, point, weights, K);
    } else {
        search_all(distances, index, dist, data_x, query_x, q, M, weights, N, n, K);
    }
    for (int j = 0; j < n; ++j) {
        const double qj = query_x[q + static_cast<std::size_t>(j) * M];
        const double* x = data_x + static_cast<std::size_t>(j) * N;
        double* d = diff + static_cast<std::size_t>(j) * K;
        for (int m = 0; m < K; ++m) d[m] = x[index[m]] - qj;
    }
}

}  // namespace localmodels::nearpoly::detail
