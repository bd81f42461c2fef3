// Building the tree: each node splits its examples at the median of the
// widest weighted side of its cell, then every node gets the tight box of
// the examples it holds, which is what the search bounds with.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/nearpoly/tree.h"

namespace localmodels::nearpoly::detail {

namespace {

// The smallest depth whose leaves hold at most leaf_size examples.
int depth_for(int N)
{
    int d = 0;
    while (N > (static_cast<std::int64_t>(leaf_size) << d)) ++d;
    return d;
}

// The dimension of the widest weighted side of a cell (n lower ends, then
// n upper ends), or -1 when every side is flat: then rows split the node.
int split_dimension(const double* cell, const double* weights, int n)
{
    int best = -1;
    double widest = 0.0;
    for (int j = 0; j < n; ++j) {
        const double side = (cell[n + j] - cell[j]) * (weights ? weights[j] : 1.0);
        if (side > widest) {
            widest = side;
            best = j;
        }
    }
    return best;
}

// Splits internal node k (depth d, i-th of its depth) at its median; its
// cell, in boxes, gives the children's cells.
void split(tree* t, const double* data_x, const double* weights, std::size_t k, int d,
           std::int64_t i)
{
    const int n = t->n;
    const int a = node_start(t->N, d, i), b = node_start(t->N, d, i + 1);
    const int mid = node_start(t->N, d + 1, 2 * i + 1);
    const double* cell = t->boxes + k * 2 * n;
    const int j = split_dimension(cell, weights, n);
    int* rows = t->rows;
    if (j < 0) {
        std::nth_element(rows + a, rows + mid, rows + b);
    } else {
        const double* xj = data_x + static_cast<std::size_t>(j) * t->N;
        // Rows break ties, so equal coordinates are split in row order.
        std::nth_element(rows + a, rows + mid, rows + b,
                         [xj](int r, int s) { return xj[r] < xj[s] || (xj[r] == xj[s] && r < s); });
    }
    double* left = t->boxes + (2 * k + 1) * 2 * n;
    double* right = left + 2 * n;
    std::copy(cell, cell + 2 * n, left);
    std::copy(cell, cell + 2 * n, right);
    if (j >= 0) left[n + j] = right[j] = data_x[rows[mid] + static_cast<std::size_t>(j) * t->N];
}

// The box of all examples, the root's cell.
void bounding_box(double* box, const double* data_x, int N, int n)
{
    for (int j = 0; j < n; ++j) {
        const double* xj = data_x + static_cast<std::size_t>(j) * N;
        double lo = xj[0], hi = xj[0];
        for (int r = 1; r < N; ++r) lo = std::min(lo, xj[r]), hi = std::max(hi, xj[r]);
        box[j] = lo;
        box[n + j] = hi;
    }
}

// The coordinates in tree order.
void gather(tree* t, const double* data_x)
{
    const std::size_t N = static_cast<std::size_t>(t->N);
    for (int j = 0; j < t->n; ++j) {
        const double* xj = data_x + j * N;
        double* to = t->x + j * N;
        for (std::size_t p = 0; p < N; ++p) to[p] = xj[t->rows[p]];
    }
}

// Tight boxes and first rows: each leaf's from its examples, each inner
// node's from its children.
void tighten(tree* t)
{
    const int n = t->n, N = t->N;
    const std::size_t leaves = std::size_t{1} << t->depth, first_leaf = leaves - 1;
    for (std::size_t i = 0; i < leaves; ++i) {
        const std::size_t k = first_leaf + i;
        const int a = node_start(N, t->depth, i), b = node_start(N, t->depth, i + 1);
        double* box = t->boxes + k * 2 * n;
        for (int j = 0; j < n; ++j) {
            const double* xj = t->x + static_cast<std::size_t>(j) * N;
            double lo = xj[a], hi = xj[a];
            for (int p = a + 1; p < b; ++p) lo = std::min(lo, xj[p]), hi = std::max(hi, xj[p]);
            box[j] = lo;
            box[n + j] = hi;
        }
        t->first_row[k] = *std::min_element(t->rows + a, t->rows + b);
    }
    for (std::size_t k = first_leaf; k-- > 0;) {
        double* box = t->boxes + k * 2 * n;
        const double* l = t->boxes + (2 * k + 1) * 2 * n;
        const double* r = l + 2 * n;
        for (int j = 0; j < n; ++j) {
            box[j] = std::min(l[j], r[j]);
            box[n + j] = std::max(l[n + j], r[n + j]);
        }
        t->first_row[k] = std::min(t->first_row[2 * k + 1], t->first_row[2 * k + 2]);
    }
}

}  // namespace

tree take_tree(workspace* w, int N, int n)
{
    tree t;
    t.N = N;
    t.n = n;
    t.depth = depth_for(N);
    const std::size_t nodes = (std::size_t{2} << t.depth) - 1;
    t.rows = take<int>(w, N);
    t.x = take<double>(w, static_cast<std::size_t>(N) * n);
    t.boxes = take<double>(w, nodes * 2 * n);
    t.first_row = take<int>(w, nodes);
    return t;
}

void build_tree(tree* t, const double* data_x, const double* weights)
{
    for (int r = 0; r < t->N; ++r) t->rows[r] = r;
    bounding_box(t->boxes, data_x, t->N, t->n);
    for (int d = 0; d < t->depth; ++d) {
        const std::size_t first = (std::size_t{1} << d) - 1;
        for (std::size_t i = 0; i <= first; ++i)
            split(t, data_x, weights, first + i, d, static_cast<std::int64_t>(i));
    }
    gather(t, data_x);
    tighten(t);
}

}  // namespace localmodels::nearpoly::detail
