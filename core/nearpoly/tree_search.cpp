// The search through the tree, depth first, the nearer child first. The
// list is ordered by (distance, row), which is the order the pass over all
// examples in row order leaves, whatever order the leaves are visited in.
//
// A node's bound adds, dimension by dimension in increasing order, the gap
// between the query and the node's box times the weight. Each gap is the
// rounded difference of the query and a box end, which is never above the
// rounded |x - q| of any example in the box (rounding is monotone), and the
// products and sums are monotone too: the bound never exceeds the computed
// distance of any example in the node.
#include <cmath>
#include <cstddef>
#include <limits>

#include "core/nearpoly/distances.h"
#include "core/nearpoly/tree.h"

namespace localmodels::nearpoly::detail {

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

double bound(const double* box, const double* q, const double* weights, int n)
{
    double s = 0.0;
    for (int j = 0; j < n; ++j) {
        const double lo = box[j], hi = box[n + j];
        const double gap = q[j] < lo ? lo - q[j] : q[j] > hi ? q[j] - hi : 0.0;
        s = weights ? s + gap * weights[j] : s + gap;
    }
    return s;
}

// Whether (s, row) is ahead of list position m - 1, whose distance is dist[m].
inline bool ahead(double s, int row, const int* index, const double* dist, int m)
{
    return s < dist[m] || (s == dist[m] && row < index[m - 1]);
}

// Inserts (s, row) when it is among the K smallest pairs so far. A distance
// that is not finite never enters, as in the pass over all examples, and a
// free position (+inf) is behind every finite distance.
void offer(int* index, double* dist, int K, double s, int row)
{
    if (!(s < inf) || !ahead(s, row, index, dist, K)) return;
    int m = K;
    while (m > 0 && ahead(s, row, index, dist, m)) {
        dist[m + 1] = dist[m];
        index[m] = index[m - 1];
        --m;
    }
    dist[m + 1] = s;
    index[m] = row;
}

// Whether no example of a node with this bound and first row can enter.
// With a free position left, dist[K] is +inf and nothing is beyond.
inline bool beyond(double b, int first_row, const int* index, const double* dist, int K)
{
    return b > dist[K] || (b == dist[K] && b < inf && first_row > index[K - 1]);
}

// Offers the examples of positions [a, b); their distances are computed
// like those of the pass over all examples, lane by lane.
void scan_leaf(int* index, double* dist, const tree& t, int a, int b, const double* q,
               const double* weights, int K)
{
    double s[leaf_size];
    const int count = b - a;
    city_block(s, t.x + a, static_cast<std::size_t>(t.N), count, q, 0, 1, weights, t.n);
    for (int p = 0; p < count; ++p) offer(index, dist, K, s[p], t.rows[a + p]);
}

struct pending {
    std::size_t node;
    int depth;
    double bound;
};

}  // namespace

void search_tree(int* index, double* dist, const tree& t, const double* q, const double* weights,
                 int K)
{
    for (int m = 1; m <= K; ++m) dist[m] = inf;
    const int n = t.n;
    // Each step pops one node and pushes at most its two children.
    pending stack[2 * 64];
    int top = 0;
    stack[top++] = {0, 0, bound(t.boxes, q, weights, n)};
    while (top > 0) {
        const pending e = stack[--top];
        if (beyond(e.bound, t.first_row[e.node], index, dist, K)) continue;
        if (e.depth == t.depth) {
            const std::size_t i = e.node - ((std::size_t{1} << t.depth) - 1);
            const auto leaf = static_cast<std::int64_t>(i);
            scan_leaf(index, dist, t, node_start(t.N, t.depth, leaf),
                      node_start(t.N, t.depth, leaf + 1), q, weights, K);
            continue;
        }
        const std::size_t l = 2 * e.node + 1, r = l + 1;
        const double bl = bound(t.boxes + l * 2 * n, q, weights, n);
        const double br = bound(t.boxes + r * 2 * n, q, weights, n);
        // The farther child waits; on equal bounds the left one goes first.
        if (br < bl) {
            stack[top++] = {l, e.depth + 1, bl};
            stack[top++] = {r, e.depth + 1, br};
        } else {
            stack[top++] = {r, e.depth + 1, br};
            stack[top++] = {l, e.depth + 1, bl};
        }
    }
}

}  // namespace localmodels::nearpoly::detail
