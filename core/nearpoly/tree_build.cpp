// Building the tree: each node splits its examples at the median of the
// widest weighted side of its cell, then every node gets the tight box of
// the examples it holds, which is what the search bounds with.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/common/threads.h"
#include "core/nearpoly/tree.h"
#include "core/nearpoly/tree_select.h"

namespace localmodels::nearpoly::detail {

namespace {

// Examples from which the build runs on the call's threads.
constexpr int parallel_build = 65536;

// The smallest depth whose leaves hold at most leaf_size examples.
int depth_for(int N)
{
    int d = 0;
    while (N > (static_cast<std::int64_t>(leaf_size) << d)) ++d;
    return d;
}

// The dimension of the widest weighted side of a cell (n lower ends, then
// n upper ends). When every weighted side is flat, the widest unweighted
// one; when all are flat, keys tie and rows split the node.
int split_dimension(const double* cell, const double* weights, int n)
{
    int best = 0, widest = 0;
    double weighted = 0.0, side = 0.0;
    for (int j = 0; j < n; ++j) {
        const double width = cell[n + j] - cell[j];
        const double w = width * (weights ? weights[j] : 1.0);
        if (w > weighted) weighted = w, best = j;
        if (width > side) side = width, widest = j;
    }
    return weighted > 0.0 ? best : widest;
}

// Splits internal node k (depth d, i-th of its depth) at its median; its
// cell, in boxes, gives the children's cells.
void split(tree* t, std::size_t k, int d, std::int64_t i, const double* weights)
{
    const int n = t->n;
    const std::size_t N = static_cast<std::size_t>(t->N);
    const int a = node_start(t->N, d, i), b = node_start(t->N, d, i + 1);
    const int mid = node_start(t->N, d + 1, 2 * i + 1);
    const double* cell = t->boxes + k * 2 * n;
    const int j = split_dimension(cell, weights, n);
    const double* key = t->x + j * N;
    select_rank(columns{t->x, t->rows, N, n}, key, a, b, mid, k);
    double* left = t->boxes + (2 * k + 1) * 2 * n;
    double* right = left + 2 * n;
    std::copy(cell, cell + 2 * n, left);
    std::copy(cell, cell + 2 * n, right);
    left[n + j] = right[j] = key[mid];
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

void build_tree(tree* t, const double* data_x, const double* weights, int threads)
{
    for (int r = 0; r < t->N; ++r) t->rows[r] = r;
    std::copy(data_x, data_x + static_cast<std::size_t>(t->N) * t->n, t->x);
    bounding_box(t->boxes, data_x, t->N, t->n);
    // The nodes of one depth hold disjoint ranges: threads may split them
    // side by side, and the tree is the same for any count.
    const int used = t->N >= parallel_build ? threads : 1;
    for (int d = 0; d < t->depth; ++d) {
        const std::size_t first = (std::size_t{1} << d) - 1, count = first + 1;
        const int here = count < static_cast<std::size_t>(used) ? static_cast<int>(count) : used;
        threads::run(here, 0, count, [&](int, std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i)
                split(t, first + i, d, static_cast<std::int64_t>(i), weights);
        });
    }
    tighten(t);
}

}  // namespace localmodels::nearpoly::detail
