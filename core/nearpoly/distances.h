// The weighted city-block distances of a block of examples to one point,
// shared by the pass over all examples and the tree's leaves so that both
// compute every distance the same way.
#pragma once

#include <cmath>
#include <cstddef>

#include "core/nearpoly/neighbours.h"

namespace localmodels::nearpoly::detail {

// s[i] for the `count` examples i of the column-major block x (column j at
// x + j ld) and the point of q: the sum over j ascending, from 0.0, of
// |x - q|, times q.weights[j] when there are weights. One input dimension at
// a time: every distance still adds its terms in increasing dimension, and
// the loop over examples has independent lanes.
inline void city_block(double* __restrict s, const double* __restrict x, std::size_t ld, int count,
                       const query& q)
{
    for (int i = 0; i < count; ++i) s[i] = 0.0;
    for (int j = 0; j < q.n; ++j) {
        const double* xj = x + j * ld;
        const double qj = q.x[j];
        if (q.weights) {
            const double w = q.weights[j];
#pragma omp simd
            for (int i = 0; i < count; ++i) s[i] = s[i] + std::fabs(xj[i] - qj) * w;
        } else {
#pragma omp simd
            for (int i = 0; i < count; ++i) s[i] = s[i] + std::fabs(xj[i] - qj);
        }
    }
}

}  // namespace localmodels::nearpoly::detail
