// The working storage of one recursive least-squares family, laid out as
// the plug-in lays it out, for tests that call fit_family directly.
#pragma once

#include <vector>

#include "core/common/simd.h"
#include "core/nearpoly/stages.h"

namespace testing_helpers {

struct fit_buffers {
    std::vector<double> rows, targets, P, theta, gain, cols, squares;
    localmodels::nearpoly::detail::fit_storage fs;

    // For m parameters and up to k_max neighbours, on vector level `level`.
    fit_buffers(int m, int k_max, localmodels::simd::level level = localmodels::simd::chosen())
    {
        const int stride = localmodels::nearpoly::detail::fit_stride(k_max);
        rows.assign(static_cast<std::size_t>(k_max) * m, 0.0);
        targets.assign(stride, 0.0);
        P.assign(static_cast<std::size_t>(m) * m, 0.0);
        theta.assign(m, 0.0);
        gain.assign(m, 0.0);
        cols.assign(static_cast<std::size_t>(stride) * m, 0.0);
        squares.assign(stride, 0.0);
        fs = {rows.data(), targets.data(), P.data(), theta.data(), gain.data(),
              cols.data(), squares.data(), stride,   level};
    }
    fit_buffers(const fit_buffers&) = delete;
    fit_buffers& operator=(const fit_buffers&) = delete;
};

}  // namespace testing_helpers
