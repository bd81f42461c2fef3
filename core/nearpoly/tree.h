// An exact k-d tree over nearpoly's examples, built once per call in the
// caller's memory and read by every query. The search returns the very list
// of the search over all examples: the K smallest (distance, row) pairs,
// each distance computed in the same order from the same values.
#pragma once

#include <cstdint>

#include "core/common/workspace.h"
#include "core/nearpoly/neighbours.h"

namespace localmodels::nearpoly::detail {

// A balanced tree in heap order: node k has children 2k + 1 and 2k + 2, and
// node i of depth d holds the tree-order positions [i N / 2^d, (i + 1) N / 2^d)
// (rounded down). Every leaf is at depth `depth` and holds at most
// leaf_size examples.
struct tree {
    int* rows;       // N example rows in tree order
    double* x;       // coordinates in tree order: column j at x + j N
    double* boxes;   // per node, 2n values: the lower corner, the upper one
    int* first_row;  // per node, the smallest example row it holds
    int N, n, depth;
};

// The first tree-order position of node i of depth d among N examples.
inline int node_start(int N, int d, std::int64_t i)
{
    return static_cast<int>((i * N) >> d);
}

constexpr int leaf_size = 128;
constexpr int max_tree_inputs = 8;

// Whether a call with N examples of n inputs, lists of K neighbours and M
// queries searches through a tree: where that is faster than the pass over
// all examples, the build included.
bool use_tree(int N, int n, int K, int M);

// Takes the tree's blocks for N examples of n inputs (1 <= n <=
// max_tree_inputs); while counting only w->used changes.
tree take_tree(workspace* w, int N, int n);

// Fills t, laid out by take_tree, from the N-by-n column-major data_x on up
// to `threads` threads, writing every element of its blocks whatever they
// held; weights (n values or null) steer the choice of split dimensions only.
void build_tree(tree* t, const double* data_x, const double* weights, int threads);

// The list->capacity nearest examples to the query into `list`, as the
// search over all examples leaves them (q.n is the tree's n).
void search_tree(neighbour_list* list, const tree& t, const query& q);

}  // namespace localmodels::nearpoly::detail
