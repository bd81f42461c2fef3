// nearpoly's neighbour search as documented, example by example in row
// order, dimension by dimension, each inserted from the tail by strict
// less-than. The searches of the plug-in must leave the same list.
#pragma once

#include <cmath>
#include <vector>

namespace plain_search {

// Fills diff (N-by-n, every example minus query q_row of the M-by-n q), and
// the list: index[K + 1] and dist[K + 2], dist[0] the head sentinel 0.0.
inline void search(std::vector<double>& diff, std::vector<int>& index, std::vector<double>& dist,
                   const std::vector<double>& x, const std::vector<double>& q, int q_row, int M,
                   const double* w, int N, int n, int K)
{
    for (int m = 1; m <= K; ++m) dist[m] = INFINITY;
    for (int i = 0; i < N; ++i) {
        double s = 0.0;
        for (int j = 0; j < n; ++j) {
            const double d = x[i + j * N] - q[q_row + j * M];
            diff[i + j * N] = d;
            s = w ? s + std::fabs(d) * w[j] : s + std::fabs(d);
        }
        int m = K;
        while (s < dist[m]) {
            dist[m + 1] = dist[m];
            index[m] = index[m - 1];
            --m;
        }
        dist[m + 1] = s;
        index[m] = i;
    }
}

// Rows index[0 .. K - 1] of the N-by-n matrix diff, in that order: the
// neighbours' differences, K-by-n.
inline std::vector<double> neighbour_rows(const std::vector<double>& diff,
                                          const std::vector<int>& index, int N, int n, int K)
{
    std::vector<double> rows(static_cast<std::size_t>(K) * n);
    for (int j = 0; j < n; ++j)
        for (int t = 0; t < K; ++t) rows[t + j * K] = diff[index[t] + j * N];
    return rows;
}

}  // namespace plain_search
