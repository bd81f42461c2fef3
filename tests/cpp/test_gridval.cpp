// gridval through the standalone host: the worked example, the bracketing
// rules at and beyond the breakpoints, refused inputs, and agreement with an
// independent multilinear formula.
#include <cmath>

#include "helpers.h"
#include "host/standalone/gateways.h"
#include "plain_gridval.h"

using namespace testing_helpers;
using standalone::make_array;
using standalone::make_matrix;

namespace {

// The 3-by-2 table of the worked example, breakpoints (0, 1, 2) and (0, 1).
struct example {
    array table = make_matrix(3, 2, {10, 20, 30, 40, 50, 60});
    array b0 = make_matrix(1, 3, {0, 1, 2});
    array b1 = make_matrix(1, 2, {0, 1});

    call_result at(const std::vector<double>& points)
    {
        array q = make_matrix(2, points.size() / 2, points);
        return run(gridval_gateway, 1, {&q, &table, &b0, &b1});
    }
};

std::vector<double> interpolate_1d(const std::vector<double>& table,
                                   const std::vector<double>& breakpoints,
                                   const std::vector<double>& points)
{
    array q = make_matrix(1, points.size(), points);
    array t = make_matrix(table.size(), 1, table);
    array b = make_matrix(1, breakpoints.size(), breakpoints);
    return output(run(gridval_gateway, 1, {&q, &t, &b}), 0);
}

}  // namespace

TEST(Gridval, WorkedExample)
{
    example e;
    call_result r = e.at({1.5, 0.25, -1, 5, 2, 0});
    EXPECT_EQ(output(r, 0), (std::vector<double>{32.5, 40, 30}));
    EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{1, 3}));
}

TEST(Gridval, CoordinatesAtAndBeyondTheBreakpoints)
{
    const std::vector<double> t = {1, 2, 4};
    const std::vector<double> b = {0, 1, 3};
    // below, at the first, inner, at an inner breakpoint, at the last, above
    EXPECT_EQ(interpolate_1d(t, b, {-5, 0, 0.5, 1, 2, 3, 7}),
              (std::vector<double>{1, 1, 1.5, 2, 3, 4, 4}));
    EXPECT_EQ(interpolate_1d(t, b, {-INFINITY, INFINITY}), (std::vector<double>{1, 4}));
    // A single breakpoint resolves every coordinate to its value.
    EXPECT_EQ(interpolate_1d({9}, {2}, {-1, 2, 5}), (std::vector<double>{9, 9, 9}));
}

TEST(Gridval, RepeatedBreakpointsGiveAStepWithoutDividingByZero)
{
    // The search stops at the first of two equal breakpoints.
    EXPECT_EQ(interpolate_1d({0, 1, 5, 6}, {0, 1, 1, 2}, {0.5, 1, 1.5}),
              (std::vector<double>{0.5, 1, 5.5}));
}

TEST(Gridval, BreakpointsMustBeRowsAndTheTableMustFitThem)
{
    // A column of breakpoints once counted as one breakpoint, and a table
    // with a breakpoint input forgotten read its first column: both gave a
    // plausible number without a word.
    array q = make_matrix(1, 2, {-3, 3});
    array t = make_matrix(3, 1, {7, 8, 9});
    array column = make_matrix(3, 1, {0, 1, 2});
    expect_error(run(gridval_gateway, 1, {&q, &t, &column}),
                 "breakpoints of dimension 1 must be a row vector (1-by-M); this one is 3-by-1.");
    array row = make_matrix(1, 3, {0, 1, 2});
    EXPECT_EQ(output(run(gridval_gateway, 1, {&q, &t, &row}), 0), (std::vector<double>{7, 9}));
    array page = make_array({1, 3, 2}, {0, 1, 2, 3, 4, 5});
    expect_error(run(gridval_gateway, 1, {&q, &t, &page}),
                 "breakpoints of dimension 1 must be a row vector (1-by-M); this one is 1-by-6.");

    array wide = make_matrix(3, 2, {1, 2, 3, 4, 5, 6});
    call_result r = run(gridval_gateway, 1, {&q, &wide, &row});
    expect_error(r, "table has 6 values but the breakpoint counts need 3.");
    EXPECT_EQ(r.identifier, "gridval:tableSize");
    // Any shape with the right number of values is the table, flattened.
    array flat = make_matrix(1, 6, {1, 2, 3, 4, 5, 6});
    array b2 = make_matrix(1, 2, {0, 1});
    array q2 = make_matrix(2, 1, {1, 1});
    EXPECT_EQ(output(run(gridval_gateway, 1, {&q2, &flat, &row, &b2}), 0),
              output(run(gridval_gateway, 1, {&q2, &wide, &row, &b2}), 0));
}

TEST(Gridval, ANodeCountBeyondSixtyFourBitsIsRefused)
{
    // Four dimensions of 2^16 breakpoints make 2^64 nodes, 0 in 64-bit
    // arithmetic: an empty table must not pass for that grid.
    std::vector<double> b(65536);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<double>(i);
    array row = make_matrix(1, b.size(), b);
    array q = make_matrix(4, 0), empty = make_matrix(0, 0);
    call_result r = run(gridval_gateway, 1, {&q, &empty, &row, &row, &row, &row});
    expect_error(r,
                 "table has 0 values but the breakpoint counts need more than "
                 "18446744073709551615.");
    EXPECT_EQ(r.identifier, "gridval:tableSize");
}

TEST(Gridval, NaNCoordinateGivesNaNForThatPointOnly)
{
    example e;
    std::vector<double> v = output(e.at({NAN, 0.5, 1.5, 0.25, 1, NAN}), 0);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_TRUE(std::isnan(v[0]));
    EXPECT_EQ(v[1], 32.5);
    EXPECT_TRUE(std::isnan(v[2]));
}

TEST(Gridval, NoQueriesGiveAnEmptyRow)
{
    example e;
    array q = make_matrix(0, 0);
    call_result r = run(gridval_gateway, 1, {&q, &e.table, &e.b0, &e.b1});
    EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{1, 0}));
}

TEST(Gridval, ScratchIsTakenOnceAndReleased)
{
    example e;
    call_result one = e.at({1, 1});
    call_result many = e.at(std::vector<double>(200, 0.5));
    // One workspace per call, released before the call returns.
    EXPECT_EQ(one.calloc_calls, 1u);
    EXPECT_EQ(many.calloc_calls, 1u);
    EXPECT_EQ(many.blocks_left, 0u);
}

TEST(Gridval, RefusedInputs)
{
    example e;
    array q2 = make_matrix(2, 1, {1, 1});
    array q3 = make_matrix(3, 1, {1, 1, 1});
    array empty = make_matrix(1, 0);
    array flat = make_matrix(0, 3);
    array short_table = make_matrix(5, 1, {1, 2, 3, 4, 5});
    array down = make_matrix(1, 3, {0, 2, 1});
    array nan_bp = make_matrix(1, 3, {0, NAN, 1});
    array single = standalone::make_class(mxSINGLE_CLASS, {3, 2});

    expect_error(run(gridval_gateway, 1, {&q2, &e.table}),
                 "netsim requires three input arguments.");
    expect_error(run(gridval_gateway, 0, {}), "netsim requires three input arguments.");
    expect_error(run(gridval_gateway, 1, {&q3, &e.table, &e.b0, &e.b1}),
                 "queries must have 2 rows, one per breakpoint input.");
    expect_error(run(gridval_gateway, 1, {&q2, &e.table, &e.b0, &empty}),
                 "breakpoints of dimension 2 must not be empty.");
    expect_error(run(gridval_gateway, 1, {&q2, &e.table, &flat, &e.b1}),
                 "breakpoints of dimension 1 must be a row vector (1-by-M); this one is 0-by-3.");
    expect_error(run(gridval_gateway, 1, {&q2, &short_table, &e.b0, &e.b1}),
                 "table has 5 values but the breakpoint counts need 6.");
    expect_error(run(gridval_gateway, 1, {&q2, &e.table, &down, &e.b1}),
                 "breakpoints of dimension 1 must not decrease.");
    expect_error(run(gridval_gateway, 1, {&q2, &e.table, &e.b0, &nan_bp}),
                 "breakpoints of dimension 2 must not be NaN.");
    expect_error(run(gridval_gateway, 1, {&q2, &single, &e.b0, &e.b1}),
                 "table must be a full double array.");

    std::vector<const array*> too_many = {&q2, &e.table};
    for (int k = 0; k < 31; ++k) too_many.push_back(&e.b1);
    expect_error(run(gridval_gateway, 1, too_many),
                 "gridval handles at most 30 dimensions (one breakpoint input each).");
}

TEST(Gridval, MatchesThePlainEvaluationOrderBitForBit)
{
    lcg rng(21);
    for (int trial = 0; trial < 30; ++trial) {
        const int d = 1 + trial % 4;
        std::vector<std::vector<double>> bps(d);
        std::vector<array> bp_arrays;
        std::vector<mwSize> shape;
        std::size_t nodes = 1;
        for (int k = 0; k < d; ++k) {
            const int M = 1 + static_cast<int>(rng.uniform() * 7);
            double x = rng.uniform(-3, 0);
            for (int i = 0; i < M; ++i) {
                if (rng.uniform() < 0.7) x += rng.uniform(0, 1);  // repeats too
                bps[k].push_back(x);
            }
            bp_arrays.push_back(make_matrix(1, M, bps[k]));
            shape.push_back(M);
            nodes *= M;
        }
        const std::vector<double> values = rng.uniform_vector(nodes, -10, 10);
        array table = make_array(shape, values);
        const int N = 40;
        std::vector<double> points(static_cast<std::size_t>(d) * N);
        for (int t = 0; t < N; ++t)
            for (int k = 0; k < d; ++k)
                points[t * d + k] =
                    rng.uniform() < 0.2 ? bps[k][t % bps[k].size()] : rng.uniform(-4, 5);
        array q = make_matrix(d, N, points);
        std::vector<const array*> in = {&q, &table};
        for (const array& b : bp_arrays) in.push_back(&b);
        const std::vector<double> got = output(run(gridval_gateway, 1, in), 0);
        for (int t = 0; t < N; ++t) {
            const std::vector<double> point(points.begin() + t * d, points.begin() + (t + 1) * d);
            EXPECT_EQ(got[t], plain_gridval::interpolate(point, values, bps)) << "trial " << trial;
        }
    }
}

// Independent formula: the sum over corners of value times the product of
// per-dimension weights, with the bracket found by a binary search.
TEST(Gridval, AgreesWithTheMultilinearFormula)
{
    lcg rng(7);
    for (int d = 1; d <= 5; ++d) {
        std::vector<std::vector<double>> bps(d);
        std::vector<array> bp_arrays;
        std::vector<mwSize> shape;
        std::size_t nodes = 1;
        for (int k = 0; k < d; ++k) {
            const int M = 2 + static_cast<int>(rng.uniform() * 4);
            double x = rng.uniform(-2, 0);
            for (int i = 0; i < M; ++i) bps[k].push_back(x += rng.uniform(0.1, 1.0));
            bp_arrays.push_back(make_matrix(1, M, bps[k]));
            shape.push_back(M);
            nodes *= M;
        }
        const std::vector<double> values = rng.uniform_vector(nodes, -5, 5);
        array table = make_array(shape, values);
        const int N = 50;
        std::vector<double> points(static_cast<std::size_t>(d) * N);
        for (int t = 0; t < N; ++t)
            for (int k = 0; k < d; ++k)
                points[t * d + k] = rng.uniform(bps[k].front(), bps[k].back());
        array q = make_matrix(d, N, points);
        std::vector<const array*> in = {&q, &table};
        for (const array& b : bp_arrays) in.push_back(&b);
        std::vector<double> got = output(run(gridval_gateway, 1, in), 0);
        ASSERT_EQ(got.size(), static_cast<std::size_t>(N));

        for (int t = 0; t < N; ++t) {
            std::vector<std::size_t> lo(d);
            std::vector<double> f(d);
            for (int k = 0; k < d; ++k) {
                const std::vector<double>& b = bps[k];
                const double x = points[t * d + k];
                std::size_t i = std::lower_bound(b.begin(), b.end(), x) - b.begin();
                i = std::max<std::size_t>(i, 1);
                lo[k] = i - 1;
                f[k] = (x - b[i - 1]) / (b[i] - b[i - 1]);
            }
            double expected = 0;
            for (std::size_t m = 0; m < (std::size_t{1} << d); ++m) {
                std::size_t offset = 0, stride = 1;
                double weight = 1;
                for (int k = 0; k < d; ++k) {
                    const bool up = m >> k & 1;
                    offset += (lo[k] + up) * stride;
                    stride *= shape[k];
                    weight *= up ? f[k] : 1 - f[k];
                }
                expected += weight * values[offset];
            }
            EXPECT_NEAR(got[t], expected, 1e-12 * (1 + std::fabs(expected))) << "d=" << d;
        }
    }
}
