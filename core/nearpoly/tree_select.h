// Selection for the tree's build: the median of a node's range by one
// coordinate, moving each example's coordinates and row together.
#pragma once

#include <cstddef>
#include <cstdint>

namespace localmodels::nearpoly::detail {

// The examples in tree order while the tree is built: n coordinate
// columns of N and the rows, permuted together.
struct columns {
    double* x;
    int* rows;
    std::size_t N;
    int n;
};

// Rearranges positions [a, b) so that position mid holds the element of
// its rank in (key, row) order, the elements before it in front and the
// others behind. key is one of the columns; seed draws the pivots.
void select_rank(const columns& c, const double* key, int a, int b, int mid, std::uint64_t seed);

}  // namespace localmodels::nearpoly::detail
