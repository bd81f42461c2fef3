// The lookup-table interpolation transcribed plainly from its documented
// evaluation order: a forward scan for each bracket, then the recursive
// blend over the corner values, upper half first. gridval must reproduce
// it bit for bit, however its own loops are arranged.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace plain_gridval {

inline double blend(const std::vector<double>& v, const std::vector<double>& f, std::size_t first,
                    int j)
{
    if (j == 0) return v[first];
    const double a = blend(v, f, first + (std::size_t{1} << (j - 1)), j - 1) * f[j - 1];
    const double b = blend(v, f, first, j - 1);
    return (1 - f[j - 1]) * b + a;
}

// The value at the point q[d]; NaN when a coordinate is NaN.
inline double interpolate(const std::vector<double>& q, const std::vector<double>& table,
                          const std::vector<std::vector<double>>& bps)
{
    const int d = static_cast<int>(bps.size());
    std::vector<double> f(d);
    std::vector<int> lo(d), hi(d);
    for (int k = 0; k < d; ++k) {
        if (std::isnan(q[k])) return std::numeric_limits<double>::quiet_NaN();
        const std::vector<double>& b = bps[k];
        const int M = static_cast<int>(b.size());
        int i = 0;
        while (i < M && !(b[i] >= q[k])) ++i;
        if (i == 0)
            f[k] = 1.0, lo[k] = hi[k] = 0;
        else if (i == M)
            f[k] = 0.0, lo[k] = hi[k] = M - 1;
        else
            f[k] = (q[k] - b[i - 1]) / (b[i] - b[i - 1]), lo[k] = i - 1, hi[k] = i;
    }
    std::vector<double> corners(std::size_t{1} << d);
    for (std::size_t m = 0; m < corners.size(); ++m) {
        std::size_t offset = 0, stride = 1;
        for (int k = 0; k < d; ++k) {
            offset += ((m >> k & 1) ? hi[k] : lo[k]) * stride;
            stride *= bps[k].size();
        }
        corners[m] = table[offset];
    }
    return blend(corners, f, 0, d);
}

}  // namespace plain_gridval
