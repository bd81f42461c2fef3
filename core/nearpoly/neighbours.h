// One query's point and the list of its nearest examples, as the searches
// fill them and the fits read them.
#pragma once

#include <limits>

namespace localmodels::nearpoly::detail {

// The point distances are measured from: its n coordinates, gathered once
// from the query's row, and the weights of the dimensions (n values, or
// null for unweighted distances).
struct query {
    const double* x;
    const double* weights;
    int n;
};

// The two ordered lists of a query, the neighbours and the candidates, share
// one convention: position m (0 <= m < capacity) is element [m] of every
// array, best first. Only the insertion reads beyond: the ordering array's
// element [-1], a head sentinel of 0.0 that stops every shift (distances
// and errors are never negative), and element [capacity] of every array,
// the overflow slot where what falls off the end lands.

// The nearest examples of one query found so far: position m holds example
// rows[m] at distances[m], in (distance, row) order. The first `count`
// positions are taken, the others free (distance +inf); a search of at
// least `capacity` examples leaves free positions only where distances are
// not finite.
struct neighbour_list {
    double* distances;  // capacity + 2 values from distances - 1
    int* rows;          // capacity + 1
    int capacity, count;
};

// Frees every position; the head sentinel is left as it is.
inline void clear_neighbours(neighbour_list* list)
{
    const double inf = std::numeric_limits<double>::infinity();
    for (int m = 0; m < list->capacity; ++m) list->distances[m] = inf;
    list->count = 0;
}

}  // namespace localmodels::nearpoly::detail
