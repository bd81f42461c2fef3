// The weighted city-block distances of a block of examples to one point,
// shared by the pass over all examples and the tree's leaves so that both
// compute every distance the same way.
#pragma once

#include <cmath>
#include <cstddef>

namespace localmodels::nearpoly::detail {

// s[i] for the `count` examples i of the column-major block x (column j at
// x + j ld) and the point q (coordinate j at q[first + j qs]; q may be null
// when n is 0): the sum over j ascending, from 0.0, of |x - q|, times
// weights[j] when weights is not null. One input dimension at a time: every
// distance still adds its terms in increasing dimension, and the loop over
// examples has independent lanes.
inline void city_block(double* __restrict s, const double* __restrict x, std::size_t ld, int count,
                       const double* q, std::size_t first, std::size_t qs, const double* weights,
                       int n)
{
    for (int i = 0; i < count; ++i) s[i] = 0.0;
    for (int j = 0; j < n; ++j) {
        const double* xj = x + j * ld;
        const double qj = q[first + j * qs];
        if (weights) {
            const double w = weights[j];
#pragma omp simd
            for (int i = 0; i < count; ++i) s[i] = s[i] + std::fabs(xj[i] - qj) * w;
        } else {
#pragma omp simd
            for (int i = 0; i < count; ++i) s[i] = s[i] + std::fabs(xj[i] - qj);
        }
    }
}

}  // namespace localmodels::nearpoly::detail
