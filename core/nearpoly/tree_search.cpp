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

double bound(const double* box, const query& q)
{
    const int n = q.n;
    double s = 0.0;
    for (int j = 0; j < n; ++j) {
        const double lo = box[j], hi = box[n + j];
        const double x = q.x[j];
        const double gap = x < lo ? lo - x : x > hi ? x - hi : 0.0;
        s = q.weights ? s + gap * q.weights[j] : s + gap;
    }
    return s;
}

// Whether (s, row) is ahead of list position m.
inline bool ahead(const neighbour_list& l, double s, int row, int m)
{
    return s < l.distances[m] || (s == l.distances[m] && row < l.rows[m]);
}

// Inserts (s, row) when it is among the K smallest pairs so far. A distance
// that is not finite never enters, as in the pass over all examples, and a
// free position (+inf) is behind every finite distance.
void offer(neighbour_list* l, double s, int row)
{
    const int K = l->capacity;
    if (!(s < inf) || !ahead(*l, s, row, K - 1)) return;
    int m = K;
    while (m > 0 && ahead(*l, s, row, m - 1)) {
        l->distances[m] = l->distances[m - 1];
        l->rows[m] = l->rows[m - 1];
        --m;
    }
    l->distances[m] = s;
    l->rows[m] = row;
    if (l->count < K) ++l->count;
}

// Whether no example of a node with this bound and first row can enter.
// With a free position left, the last distance is +inf and nothing is beyond.
inline bool beyond(const neighbour_list& l, double b, int first_row)
{
    const double last = l.distances[l.capacity - 1];
    return b > last || (b == last && b < inf && first_row > l.rows[l.capacity - 1]);
}

// Offers the examples of tree-order positions [a, b); their distances are
// computed like those of the pass over all examples, lane by lane.
void scan_leaf(neighbour_list* l, const tree& t, int a, int b, const query& q)
{
    double s[leaf_size];
    const int count = b - a;
    city_block(s, t.x + a, static_cast<std::size_t>(t.N), count, q);
    for (int p = 0; p < count; ++p) offer(l, s[p], t.rows[a + p]);
}

struct pending {
    std::size_t node;
    int depth;
    double bound;
};

}  // namespace

void search_tree(neighbour_list* list, const tree& t, const query& q)
{
    clear_neighbours(list);
    const int n = t.n;
    // Each step pops one node and pushes at most its two children.
    pending stack[2 * 64];
    int top = 0;
    stack[top++] = {0, 0, bound(t.boxes, q)};
    while (top > 0) {
        const pending e = stack[--top];
        if (beyond(*list, e.bound, t.first_row[e.node])) continue;
        if (e.depth == t.depth) {
            const std::size_t i = e.node - ((std::size_t{1} << t.depth) - 1);
            const auto leaf = static_cast<std::int64_t>(i);
            scan_leaf(list, t, node_start(t.N, t.depth, leaf), node_start(t.N, t.depth, leaf + 1),
                      q);
            continue;
        }
        const std::size_t l = 2 * e.node + 1, r = l + 1;
        const double bl = bound(t.boxes + l * 2 * n, q);
        const double br = bound(t.boxes + r * 2 * n, q);
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
