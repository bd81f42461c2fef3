// Quickselect for the tree's build: block partitions without branches on
// the unpredictable comparisons, around pivots drawn from sorted samples.
#include "core/nearpoly/tree_select.h"

#include <algorithm>
#include <cmath>

namespace localmodels::nearpoly::detail {

namespace {

inline void swap_at(const columns& c, int p, int q)
{
    for (int j = 0; j < c.n; ++j) std::swap(c.x[j * c.N + p], c.x[j * c.N + q]);
    std::swap(c.rows[p], c.rows[q]);
}

// An element in (key, row) order: the pivot of a partition.
struct element {
    double key;
    int row;
};

// Whether position p comes before the element e in (key, row) order.
// The comparison of keys has no branch: the partition's outcomes are
// unpredictable, while ties are rare.
inline bool before(const double* key, const int* rows, int p, element e)
{
    const double k = key[p];
    return (k < e.key) | ((k == e.key) && rows[p] < e.row);  // rows are read on ties only
}

inline bool before(const columns& c, const double* key, int p, int q)
{
    return before(key, c.rows, p, {key[q], c.rows[q]});
}

// Hoare's scans over [l, r], all of it unplaced: returns the first
// position of those not before the pivot v.
int finish(const columns& c, const double* key, int l, int r, element v)
{
    int i = l, j = r;
    for (;;) {
        while (i <= j && before(key, c.rows, i, v)) ++i;
        while (i <= j && !before(key, c.rows, j, v)) --j;
        if (i > j) return i;
        swap_at(c, i++, j--);
    }
}

// Block by block from both ends of [*l, *r], while two blocks of B fit:
// the outcomes of a block are taken without branches, as they are
// unpredictable, and only misplaced elements move. Narrows [*l, *r] to
// what is left, blocks with misplaced elements still in it.
void blocks(const columns& c, const double* key, int* l, int* r, element v, int B)
{
    unsigned char left[64], right[64];
    int nl = 0, nr = 0, sl = 0, sr = 0;
    while (*r - *l + 1 >= 2 * B) {
        if (nl == 0) {
            sl = 0;
            for (int k = 0; k < B; ++k) {
                left[nl] = static_cast<unsigned char>(k);
                nl += !before(key, c.rows, *l + k, v);
            }
        }
        if (nr == 0) {
            sr = 0;
            for (int k = 0; k < B; ++k) {
                right[nr] = static_cast<unsigned char>(k);
                nr += before(key, c.rows, *r - k, v);
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
    const element v = {key[a], c.rows[a]};
    // [a + 1, l) is before the pivot and (r, b) is not.
    int l = a + 1, r = b - 1;
    blocks(c, key, &l, &r, v, 64);
    blocks(c, key, &l, &r, v, 16);
    const int i = finish(c, key, l, r, v);
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

}  // namespace

// Quickselect; the last few by insertion.
void select_rank(const columns& c, const double* key, int a, int b, int mid, std::uint64_t seed)
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

}  // namespace localmodels::nearpoly::detail
