// Building the tree: each node splits its examples at the median of the
// widest weighted side of its cell, then every node gets the tight box of
// the examples it holds, which is what the search bounds with.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/common/threads.h"
#include "core/nearpoly/tree.h"

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

// The examples in tree order while the tree is built: n coordinate
// columns of N and the rows, permuted together.
struct columns {
    double* x;
    int* rows;
    std::size_t N;
    int n;
};

inline void swap_at(const columns& c, int p, int q)
{
    for (int j = 0; j < c.n; ++j) std::swap(c.x[j * c.N + p], c.x[j * c.N + q]);
    std::swap(c.rows[p], c.rows[q]);
}

// Whether position p comes before the element (v, r) in (key, row) order.
// The comparison of keys has no branch: the partition's outcomes are
// unpredictable, while ties are rare.
inline bool before(const double* key, const int* rows, int p, double v, int r)
{
    const double k = key[p];
    return (k < v) | ((k == v) && rows[p] < r);  // rows are read on ties only
}

inline bool before(const columns& c, const double* key, int p, int q)
{
    return before(key, c.rows, p, key[q], c.rows[q]);
}

// Hoare's scans over [l, r], all of it unplaced: returns the first
// position of those not before (v, r).
int finish(const columns& c, const double* key, int l, int r, double v, int rv)
{
    int i = l, j = r;
    for (;;) {
        while (i <= j && before(key, c.rows, i, v, rv)) ++i;
        while (i <= j && !before(key, c.rows, j, v, rv)) --j;
        if (i > j) return i;
        swap_at(c, i++, j--);
    }
}

// Block by block from both ends of [*l, *r], while two blocks of B fit:
// the outcomes of a block are taken without branches, as they are
// unpredictable, and only misplaced elements move. Narrows [*l, *r] to
// what is left, blocks with misplaced elements still in it.
void blocks(const columns& c, const double* key, int* l, int* r, double v, int rv, int B)
{
    unsigned char left[64], right[64];
    int nl = 0, nr = 0, sl = 0, sr = 0;
    while (*r - *l + 1 >= 2 * B) {
        if (nl == 0) {
            sl = 0;
            for (int k = 0; k < B; ++k) {
                left[nl] = static_cast<unsigned char>(k);
                nl += !before(key, c.rows, *l + k, v, rv);
            }
        }
        if (nr == 0) {
            sr = 0;
            for (int k = 0; k < B; ++k) {
                right[nr] = static_cast<unsigned char>(k);
                nr += before(key, c.rows, *r - k, v, rv);
            }
        }
        const int m = nl < nr ? nl : nr;
        for (int k = 0; k < m; ++k) swap_at(c, *l + left[sl + k], *r - right[sr + k]);
        nl -= m;
        nr -= m;
        sl += m;
        sr += m;
        if (nl == 0) *l += B;
        if (nr == 0) *r -= B;
    }
}

// Partitions [a, b) around the element at p: returns its final position,
// with the elements before it in front and the others behind.
int partition(const columns& c, const double* key, int a, int b, int p)
{
    swap_at(c, p, a);
    const double v = key[a];
    const int rv = c.rows[a];
    // [a + 1, l) is before the pivot and (r, b) is not.
    int l = a + 1, r = b - 1;
    blocks(c, key, &l, &r, v, rv, 64);
    blocks(c, key, &l, &r, v, rv, 16);
    const int i = finish(c, key, l, r, v, rv);
    swap_at(c, a, i - 1);
    return i - 1;
}

// A pivot for selecting rank `mid` in [a, b), drawn from a sorted sample
// of about a quarter of the range's square root (so that sorting it costs
// little beside the partition): the sample element of mid's relative rank,
// moved 1.5 standard errors away from the nearer end, so that mid most
// likely falls on the shorter side and little is left to select from.
// Drawn positions keep any order of the input from defeating it.
int pivot(const columns& c, const double* key, int a, int b, int mid, std::uint64_t* seed)
{
    struct sample {
        double key;
        int row, at;
    };
    sample drawn[127];
    const int count = std::min(std::max(static_cast<int>(std::sqrt(b - a) / 4) | 1, 3), 127);
    const auto range = static_cast<std::uint64_t>(b - a);
    for (int s = 0; s < count; ++s) {
        *seed = *seed * 6364136223846793005ULL + 1442695040888963407ULL;
        const int at = a + static_cast<int>(((*seed >> 32) * range) >> 32);
        drawn[s] = {key[at], c.rows[at], at};
    }
    std::sort(drawn, drawn + count, [](const sample& u, const sample& v) {
        return u.key < v.key || (u.key == v.key && u.row < v.row);
    });
    const double f = static_cast<double>(mid - a) / (b - a - 1);
    const double shift = count >= 31 ? 1.5 * std::sqrt(count * f * (1 - f)) : 0.0;
    const double at = f * (count - 1) + (f < 0.5 ? shift : -shift);
    return drawn[static_cast<int>(std::min(std::max(at + 0.5, 0.0), count - 1.0))].at;
}

// Rearranges [a, b) so that position mid holds the element of its rank in
// (key, row) order, the elements before it in front and the others behind.
void select(const columns& c, const double* key, int a, int b, int mid, std::uint64_t seed)
{
    while (b - a > 16) {
        const int p = partition(c, key, a, b, pivot(c, key, a, b, mid, &seed));
        if (p == mid) return;
        if (mid < p)
            b = p;
        else
            a = p + 1;
    }
    for (int p = a + 1; p < b; ++p)
        for (int q = p; q > a && before(c, key, q, q - 1); --q) swap_at(c, q, q - 1);
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
    select(columns{t->x, t->rows, N, n}, key, a, b, mid, k);
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
