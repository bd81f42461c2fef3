// The core's argument checks on their own, on descriptions of arguments
// too large for a call to run: a limit itself must pass, one beyond it not.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/checks/check_gridval.h"
#include "core/checks/check_network.h"

namespace {

namespace ck = localmodels::checks;
using ck::elem_class;

// A full double array of rows-by-cols elements (cols the product of every
// dimension after the first, dim2 the second); data may be null when the
// checks read none of its values.
ck::arg double_array(std::uint64_t rows, std::uint64_t dim2, std::uint64_t cols,
                     const double* data = nullptr)
{
    return {elem_class::double_, false, false, rows, dim2, cols, rows * cols, data};
}

}  // namespace

TEST(Checks, GridvalAcceptsThirtyDimensionsAndNoMore)
{
    // One query of 30 coordinates, a table of one value, 30 single
    // breakpoints. Running it would take 2^30 corners, so only the checks run.
    const std::vector<double> point(31, 0.0);
    const double value = 7.0, breakpoint = 0.0;
    std::vector<ck::arg> in = {double_array(30, 1, 1, point.data()), double_array(1, 1, 1, &value)};
    for (int k = 0; k < 30; ++k) in.push_back(double_array(1, 1, 1, &breakpoint));
    localmodels::gridval::problem p;
    const localmodels::error ok = ck::check_gridval({1, 32, in.data()}, &p);
    ASSERT_FALSE(localmodels::failed(ok)) << ok.message;
    EXPECT_EQ(p.d, 30);
    EXPECT_EQ(p.N, 1);

    in[0] = double_array(31, 1, 1, point.data());
    in.push_back(double_array(1, 1, 1, &breakpoint));
    const localmodels::error refused = ck::check_gridval({1, 33, in.data()}, &p);
    EXPECT_EQ(std::string(refused.id), "gridval:tooManyDimensions");
}

TEST(Checks, DmatParamsAcceptsTheMostRows)
{
    // n = 1, p = 0 and c = 2^31 - 1 clusters: the centres alone give
    // 2^31 - 1 rows, the most there may be; with the norm matrices, twice that.
    const std::uint64_t c = 2147483647;
    const double x = 0.5, one = 1.0, two = 2.0;
    unsigned char bits = 1;
    const ck::arg selection{elem_class::integer, false, false, 1, 1, 1, 1, &bits};
    const ck::arg in[] = {double_array(1, 1, 1, &x),   double_array(1, c, c),
                          double_array(1, 1, c),       double_array(0, 2, 2 * c),
                          double_array(1, 1, 1, &one), double_array(1, 1, 1, &one),
                          double_array(1, 1, 1, &two), selection};
    ck::network_call a;
    unsigned selected = 0;
    std::int64_t rows = 0;
    const localmodels::error ok = ck::check_dmat_params({2, 8, in}, &a, &selected, &rows);
    ASSERT_FALSE(localmodels::failed(ok)) << ok.message;
    EXPECT_EQ(selected, 1u);
    EXPECT_EQ(rows, 2147483647);

    bits = 3;
    const localmodels::error refused = ck::check_dmat_params({2, 8, in}, &a, &selected, &rows);
    EXPECT_EQ(std::string(refused.id), "dmat_params:tooManyRows");
}
