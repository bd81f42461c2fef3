// The bracket of a coordinate q among non-decreasing breakpoints b[0 … M-1]:
// the index i of the first breakpoint not less than q, M if there is none.
// The forward scan steps on while !(b[i] >= q); that test is true on a
// prefix of the row and false after it (for a NaN q on the whole row), so a
// binary search on the same test lands on the same i.
//
// A guide narrows the search before it starts: bucket(q), a clamped affine
// map of q onto [0, K), is monotone in q, so every breakpoint in a lower
// bucket is less than q and every one in a higher bucket greater. The
// answer thus lies in [start[j], start[j+1]] for j = bucket(q), start[j]
// being the first breakpoint of bucket j or above, and a search of `span`
// steps from there (the fullest bucket plus one) finds it.
#pragma once

#include <cstddef>

namespace localmodels::gridval::detail {

struct search {
    const double* b;
    int M;
    const int* start;  // null: no guide, the search covers the whole row
    double origin, scale, top;
    int span;  // candidates after the first: the loop runs while span > 1
};

// Buckets of the guide of a row of M breakpoints; its start table holds
// one int more.
int guide_buckets(int M);

// The search of a row; with `start` (guide_buckets(M) + 1 ints), builds a
// guide there when the row's range allows one.
search plan(const double* b, int M, int* start);

inline int bucket(const search& s, double q)
{
    double x = (q - s.origin) * s.scale;
    x = x > 0 ? x : 0;  // NaN too
    x = x < s.top ? x : s.top;
    return static_cast<int>(x);
}

// The brackets i[l] of the L coordinates q[l], searched side by side: the
// steps of different coordinates do not wait on each other.
template <int L>
inline void find(const search& s, const double* q, int* i)
{
    int at[L];
    for (int l = 0; l < L; ++l) at[l] = s.start ? s.start[bucket(s, q[l])] : 0;
    for (int n = s.span; n > 1;) {
        const int half = n / 2;
        for (int l = 0; l < L; ++l) at[l] += half & -static_cast<int>(!(s.b[at[l] + half] >= q[l]));
        n -= half;
    }
    for (int l = 0; l < L; ++l) i[l] = at[l] + static_cast<int>(!(s.b[at[l]] >= q[l]));
}

}  // namespace localmodels::gridval::detail
