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
        : m_(m)
    {
        const int stride = localmodels::nearpoly::detail::whole_vectors(k_max);
        const int width = localmodels::nearpoly::detail::whole_vectors(m);
        rows.assign(static_cast<std::size_t>(k_max) * m, 0.0);
        targets.assign(stride, 0.0);
        P.assign(static_cast<std::size_t>(m) * width, 0.0);
        theta.assign(width, 0.0);
        gain.assign(width, 0.0);
        cols.assign(static_cast<std::size_t>(stride) * m, 0.0);
        squares.assign(stride, 0.0);
        fs = {rows.data(), targets.data(), P.data(), theta.data(), gain.data(),
              cols.data(), squares.data(), stride,   level};
    }
    // The m-by-m covariance, without the padding of its rows.
    std::vector<double> covariance() const
    {
        const std::size_t m = static_cast<std::size_t>(m_), width = theta.size();
        std::vector<double> out;
        for (std::size_t a = 0; a < m; ++a)
            out.insert(out.end(), P.begin() + a * width, P.begin() + a * width + m);
        return out;
    }
    // The m parameters.
    std::vector<double> parameters() const
    {
        return std::vector<double>(theta.begin(), theta.begin() + m_);
    }
    fit_buffers(const fit_buffers&) = delete;
    fit_buffers& operator=(const fit_buffers&) = delete;

private:
    int m_;
};

}  // namespace testing_helpers
