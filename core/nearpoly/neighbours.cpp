// Neighbour search of one query: the K nearest examples by (weighted)
// city-block distance in a list kept ordered by insertion from the tail,
// through the call's tree or by a pass over all examples, and the
// differences of those K examples to the query.
#include <cassert>
#include <cmath>
#include <cstddef>

#include "core/nearpoly/distances.h"
#include "core/nearpoly/stages.h"
#include "core/nearpoly/tree.h"

namespace localmodels::nearpoly::detail {

namespace {

// The pass over all examples in row order, each inserted by strict less-than.
void search_all(neighbour_list* list, double* distances, const examples& e, const query& q)
{
    city_block(distances, e.x, static_cast<std::size_t>(e.N), e.N, q);
    clear_neighbours(list);
    double* dist = list->distances;
    int* rows = list->rows;
    const int K = list->capacity;
    for (int i = 0; i < e.N; ++i) {
        const double s = distances[i];
        // Strict < keeps the earlier of two equal distances ahead; the head
        // sentinel 0.0 stops every distance, which is never negative.
        assert(!(s < 0.0));
        if (!(s < dist[K - 1])) continue;  // not among the K nearest so far
        int m = K;
        while (s < dist[m - 1]) {
            dist[m] = dist[m - 1];
            rows[m] = rows[m - 1];
            --m;
        }
        dist[m] = s;
        rows[m] = i;
        if (list->count < K) ++list->count;
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

void find_neighbours(neighbour_list* list, double* diff, double* distances, const examples& e,
                     const query& q)
{
    if (e.t)
        search_tree(list, *e.t, q);
    else
        search_all(list, distances, e, q);
    const int K = list->capacity;
    for (int j = 0; j < q.n; ++j) {
        const double qj = q.x[j];
        const double* x = e.x + static_cast<std::size_t>(j) * e.N;
        double* d = diff + static_cast<std::size_t>(j) * K;
        for (int m = 0; m < K; ++m) d[m] = x[list->rows[m]] - qj;
    }
}

}  // namespace localmodels::nearpoly::detail
