// The README's table of bad inputs, row by row: each refused call with its
// message, and each accepted oddity with the result it gives.
#include <cmath>

#include "helpers.h"
#include "host/standalone/gateways.h"

using namespace testing_helpers;
using standalone::make_array;
using standalone::make_class;
using standalone::make_matrix;
using standalone::make_scalar;
using standalone::make_unbacked;

namespace {

struct refusal {
    const char* row;  // the README row, in short
    standalone::gateway g;
    int nlhs;
    std::vector<std::shared_ptr<standalone::array>> inputs;
    const char* message;
    const char* identifier;
};

std::shared_ptr<array> A(array a)
{
    return std::make_shared<array>(std::move(a));
}
std::shared_ptr<array> M(mwSize m, mwSize n, std::vector<double> v = {})
{
    return A(make_matrix(m, n, std::move(v)));
}
std::shared_ptr<array> S(double v)
{
    return A(make_scalar(v));
}
std::shared_ptr<array> ND(std::vector<mwSize> dims, std::vector<double> v = {})
{
    return A(make_array(dims, std::move(v)));
}

// A small valid network: n = 1, p = 1, c = 2.
std::vector<std::shared_ptr<array>> net(std::vector<std::shared_ptr<array>> extra = {})
{
    std::vector<std::shared_ptr<array>> in = {S(0.5), M(1, 2, {0, 1}), ND({1, 1, 2}, {1, 1}),
                                              ND({1, 2, 2}, {1, 0, 0, 5})};
    in.insert(in.end(), extra.begin(), extra.end());
    return in;
}

// Examples of nearpoly: 12 points of one input, queries at the example 2
// and between examples, then id_par and more.
std::vector<std::shared_ptr<array>> near(std::vector<std::shared_ptr<array>> rest)
{
    std::vector<double> x(12), y(12);
    for (int i = 0; i < 12; ++i) x[i] = i, y[i] = std::sin(i);
    std::vector<std::shared_ptr<array>> in = {M(12, 1, x), M(12, 1, y), M(2, 1, {2, 7.2})};
    in.insert(in.end(), rest.begin(), rest.end());
    return in;
}

const std::shared_ptr<array> id = M(3, 1, {1, 1, 0});

call_result call(const refusal& r)
{
    std::vector<const array*> in;
    for (const auto& a : r.inputs) in.push_back(a.get());
    return run(r.g, r.nlhs, in);
}

}  // namespace

TEST(BadInputs, EveryRefusalOfTheTable)
{
    const double nan = NAN;
    const std::vector<refusal> table = {
        {"not a full double",
         gridval_gateway,
         1,
         {A(make_class(mxINT8_CLASS, {1, 1})), M(2, 1), M(1, 2, {0, 1})},
         "queries must be a full double array.",
         "gridval:notDoubleArray"},
        {"not a full double",
         netsim_gateway,
         1,
         {S(0.5), A(make_class(mxCHAR_CLASS, {1, 2})), ND({1, 1, 2}), ND({1, 2, 2})},
         "centres must be a full double array.",
         "netsim:notDoubleArray"},
        {"not a full double",
         dmat_inputs_gateway,
         1,
         {S(0.5), M(1, 2), A(standalone::make_sparse(1, 2, {1})), ND({1, 2, 2})},
         "norm_matrices must be a full double array.",
         "dmat_inputs:notDoubleArray"},
        {"not a full double",
         dmat_params_gateway,
         1,
         {S(0.5), M(1, 2), ND({1, 1, 2}), A(make_class(mxLOGICAL_CLASS, {1, 4}))},
         "consequents must be a full double array.",
         "dmat_params:notDoubleArray"},
        {"not a full double", nearpoly_gateway, 1,
         near({id, A(make_class(mxSINGLE_CLASS, {1, 1}))}), "comb_par must be a full double array.",
         "nearpoly:notDoubleArray"},
        {"more than 2^31 - 1 elements",
         gridval_gateway,
         1,
         {A(make_unbacked({1, 65536, 32768})), M(2, 1), M(1, 2, {0, 1})},
         "queries has more than 2147483647 elements.",
         "gridval:tooManyElements"},

        {"gridval, < 3 inputs",
         gridval_gateway,
         1,
         {M(1, 1), M(1, 1)},
         "netsim requires three input arguments.",
         "gridval:notEnoughArguments"},
        {"gridval, > 30 dimensions", gridval_gateway, 1,
         std::vector<std::shared_ptr<array>>(33, M(1, 1, {0})),
         "gridval handles at most 30 dimensions (one breakpoint input each).",
         "gridval:tooManyDimensions"},
        {"gridval, query rows",
         gridval_gateway,
         1,
         {M(2, 1), M(2, 1), M(1, 2, {0, 1})},
         "queries must have 1 rows, one per breakpoint input.",
         "gridval:queriesRows"},
        {"gridval, empty breakpoints",
         gridval_gateway,
         1,
         {M(1, 1), M(2, 1), M(1, 0)},
         "breakpoints of dimension 1 must not be empty.",
         "gridval:breakpointsEmpty"},
        {"gridval, 0-by-M breakpoints",
         gridval_gateway,
         1,
         {M(1, 1), M(2, 1), M(0, 2)},
         "breakpoints of dimension 1 must be a row vector (1-by-M); this one is 0-by-2.",
         "gridval:breakpointsNotRow"},
        {"gridval, column breakpoints",
         gridval_gateway,
         1,
         {M(1, 1), M(2, 1), M(2, 1, {0, 1})},
         "breakpoints of dimension 1 must be a row vector (1-by-M); this one is 2-by-1.",
         "gridval:breakpointsNotRow"},
        {"gridval, decreasing",
         gridval_gateway,
         1,
         {M(1, 1), M(2, 1), M(1, 2, {1, 0})},
         "breakpoints of dimension 1 must not decrease.",
         "gridval:breakpointsDecrease"},
        {"gridval, NaN breakpoint",
         gridval_gateway,
         1,
         {M(1, 1), M(2, 1), M(1, 2, {0, nan})},
         "breakpoints of dimension 1 must not be NaN.",
         "gridval:breakpointsNaN"},
        {"gridval, short table",
         gridval_gateway,
         1,
         {M(1, 1), M(1, 1), M(1, 2, {0, 1})},
         "table has 1 values but the breakpoint counts need 2.",
         "gridval:tableSize"},
        {"gridval, a breakpoint input forgotten",
         gridval_gateway,
         1,
         {M(1, 1), M(2, 2), M(1, 2, {0, 1})},
         "table has 4 values but the breakpoint counts need 2.",
         "gridval:tableSize"},

        {"netsim, < 4 inputs",
         netsim_gateway,
         1,
         {S(1), S(1), S(1)},
         "netsim requires four input arguments.",
         "netsim:notEnoughArguments"},
        {"netsim, > 7 inputs", netsim_gateway, 1, net({S(1), S(1), S(2), S(0)}),
         "netsim don't handle more than seven input arguments.", "netsim:tooManyArguments"},
        {"netsim, > 1 output", netsim_gateway, 2, net(), "netsim requires one output argument.",
         "netsim:tooManyOutputs"},
        {"netsim, X rows",
         netsim_gateway,
         1,
         {M(2, 1), M(1, 2, {0, 1}), ND({1, 1, 2}, {1, 1}), ND({1, 2, 2})},
         "X must have n = 1 rows, one per input (the rows of centres).",
         "netsim:xRows"},
        {"network, centres hold n*c",
         dmat_inputs_gateway,
         1,
         {S(0.5), ND({1, 2, 0}), ND({1, 1, 2}), ND({1, 2, 2})},
         "centres must hold at least n*c = 2 values.",
         "dmat_inputs:centresTooSmall"},
        {"network, short norm_matrices",
         netsim_gateway,
         1,
         {S(0.5), M(1, 2), ND({1, 1, 1}), ND({1, 2, 2})},
         "norm_matrices must hold at least n*n*c = 2 values.",
         "netsim:normMatricesTooSmall"},
        {"network, short consequents",
         dmat_params_gateway,
         1,
         {S(0.5), M(1, 2), ND({1, 1, 2}), ND({1, 2, 1})},
         "consequents must hold at least p*(n+1)*c = 4 values.",
         "dmat_params:consequentsTooSmall"},
        {"network, normalize not finite", netsim_gateway, 1, net({S(nan)}),
         "normalize must be a finite number within the 32-bit integer range.",
         "netsim:normalizeOutOfRange"},
        {"network, validity_type out of range", dmat_inputs_gateway, 1, net({S(1), S(-3e9)}),
         "validity_type must be a finite number within the 32-bit integer range.",
         "dmat_inputs:validityTypeOutOfRange"},
        {"dmat, X short",
         dmat_inputs_gateway,
         1,
         {M(1, 0), M(1, 2), ND({1, 1, 2}), ND({1, 2, 2})},
         "X must hold at least n = 1 values.",
         "dmat_inputs:xTooShort"},
        {"dmat_inputs, < 4 inputs",
         dmat_inputs_gateway,
         1,
         {S(1)},
         "DMAT requires at least four input arguments.",
         "dmat_inputs:notEnoughArguments"},
        {"dmat_inputs, > 2 outputs", dmat_inputs_gateway, 3, net(),
         "DMAT requires at most two output argument.", "dmat_inputs:tooManyOutputs"},
        {"dmat_params, > 8 inputs", dmat_params_gateway, 3, net({S(1), S(1), S(2), S(15), S(0)}),
         "DMAT requires four or five input arguments.", "dmat_params:tooManyArguments"},
        {"dmat_params, > 2 outputs", dmat_params_gateway, 3, net(),
         "DMAT requires at most two output argument.", "dmat_params:tooManyOutputs"},
        {"dmat_params, < 4 inputs",
         dmat_params_gateway,
         1,
         {S(1), S(1)},
         "DMAT requires at least four input arguments.",
         "dmat_params:notEnoughArguments"},
        {"dmat_params, selection without data", dmat_params_gateway, 1,
         net({S(1), S(1), S(2), A(make_class(mxSTRUCT_CLASS, {1, 1}))}),
         "parameter_selection must be a numeric, logical or char array.",
         "dmat_params:badSelection"},
        {"dmat_params, floating-point selection", dmat_params_gateway, 1,
         net({S(1), S(1), S(2), S(15)}),
         "parameter_selection must be an integer array such as uint8(15); the first byte of a "
         "double is not its value.",
         "dmat_params:selectionNotInteger"},
        {"dmat_params, rows beyond 2^31 - 1",
         dmat_params_gateway,
         1,
         {S(0.5), A(make_unbacked({1, 1u << 29})), A(make_unbacked({1, 1, 1u << 29})),
          A(make_unbacked({1, 2, 1u << 29}))},
         "The selected parameters would give more than 2147483647 rows.",
         "dmat_params:tooManyRows"},

        {"nearpoly, < 4 inputs",
         nearpoly_gateway,
         1,
         {S(1), S(1), S(1)},
         "Not enough arguments.",
         "nearpoly:notEnoughArguments"},
        {"nearpoly, shapes",
         nearpoly_gateway,
         1,
         {M(12, 1), M(11, 1), M(2, 1), id},
         "Matrix dimensions must agree.",
         "nearpoly:dataYShape"},
        {"nearpoly, id_par shape", nearpoly_gateway, 1, near({M(1, 3, {1, 1, 1})}),
         "Illegal id_par.", "nearpoly:illegalIdPar"},
        {"nearpoly, nothing identified", nearpoly_gateway, 1, near({M(3, 1, {0, 0, 5})}),
         "Identification is empty.", "nearpoly:identificationEmpty"},
        {"nearpoly, > 7 inputs", nearpoly_gateway, 1, near({id, S(1), S(1), S(1), S(1)}),
         "Number of argument no good.", "nearpoly:tooManyArguments"},
        {"nearpoly, comb_par count", nearpoly_gateway, 1, near({id, M(0, 0)}),
         "Combination parameter no good.", "nearpoly:illegalCombPar"},
        {"nearpoly, combination 0", nearpoly_gateway, 1, near({id, M(1, 3, {0, 0, 9})}),
         "Combination is empty!.", "nearpoly:combinationEmpty"},
        {"nearpoly, short weights",
         nearpoly_gateway,
         1,
         {M(12, 2), M(12, 1), M(1, 2), id, S(1), S(1e6), S(1)},
         "weights must hold at least n = 2 values.",
         "nearpoly:weightsTooShort"},
        {"nearpoly, bad weight", nearpoly_gateway, 1, near({id, S(1), S(1e6), S(-0.5)}),
         "weights must be finite and not negative.", "nearpoly:badWeights"},
        {"nearpoly, NaN example",
         nearpoly_gateway,
         1,
         {M(12, 1, std::vector<double>(12, nan)), M(12, 1), M(1, 1), id},
         "data_x must not contain NaN or infinite values.",
         "nearpoly:dataXNotFinite"},
        {"nearpoly, infinite target",
         nearpoly_gateway,
         1,
         {M(12, 1), M(12, 1, std::vector<double>(12, INFINITY)), M(1, 1), id},
         "data_y must not contain NaN or infinite values.",
         "nearpoly:dataYNotFinite"},
        {"nearpoly, too many columns for quadratic fits",
         nearpoly_gateway,
         1,
         {M(2, 65535), M(2, 1), M(0, 65535), M(3, 2, {0, 0, 2, 0, 0, 2})},
         "data_x has too many columns for quadratic fits.",
         "nearpoly:tooManyColumns"},
        {"nearpoly, nothing identified for the most columns",
         nearpoly_gateway,
         1,
         {A(make_unbacked({0, 2147483647})), M(0, 1), A(make_unbacked({0, 2147483647})),
          M(3, 1, {1, 1, 1})},
         "Identification is empty.",
         "nearpoly:identificationEmpty"},
        {"nearpoly, query columns",
         nearpoly_gateway,
         1,
         {M(12, 1), M(12, 1), M(2, 2), id},
         "Matrix dimensions must agree.",
         "nearpoly:queryXColumns"},
        {"a dimension beyond 2^31 - 1",
         gridval_gateway,
         1,
         {A(make_unbacked({0, 2147483648u})), M(2, 1), M(1, 2, {0, 1})},
         "queries has a dimension larger than 2147483647.",
         "gridval:dimensionTooLarge"},
    };
    for (const refusal& r : table) {
        SCOPED_TRACE(r.row);
        const call_result result = call(r);
        expect_error(result, r.message);
        EXPECT_EQ(result.identifier, r.identifier);
    }
}

TEST(BadInputs, AcceptedOdditiesGiveTheDocumentedResults)
{
    // nearpoly: a non-finite query gets NaN; empty cov_init and weights take
    // their defaults; NaN counts in id_par count as 0.
    auto y = [](std::vector<std::shared_ptr<array>> rest, int slot = 0) {
        refusal r{"", nearpoly_gateway, 1, near(std::move(rest)), "", ""};
        return output(call(r), slot);
    };
    const std::vector<double> base = y({id});
    EXPECT_EQ(y({id, S(1), M(0, 0), M(0, 0)}), base);
    EXPECT_EQ(y({M(3, 1, {1, 1, NAN})}), base);
    refusal nan_query{"", nearpoly_gateway,
                      1,  {M(12, 1, std::vector<double>(12, 1)), M(12, 1), M(2, 1, {NAN, 1}), id},
                      "", ""};
    const std::vector<double> q = output(call(nan_query), 0);
    EXPECT_TRUE(std::isnan(q[0]));
    EXPECT_FALSE(std::isnan(q[1]));

    // A NaN leave-one-out error never enters a list: cov_init = -1 and an
    // example at the query make every linear fit NaN. The best constant fit
    // is then the answer, and with no other family the result is 0/0.
    const double best_constant = y({id, M(1, 3, {1, 0, 0})})[0];
    EXPECT_EQ(y({id, S(1), S(-1)})[0], best_constant);
    EXPECT_TRUE(std::isnan(y({M(3, 1, {0, 1, 0}), S(1), S(-1)})[0]));

    // gridval: a NaN coordinate gives NaN.
    refusal g{"", gridval_gateway, 1, {M(1, 2, {NAN, 0.5}), M(2, 1, {1, 3}), M(1, 2, {0, 1})}, "",
              ""};
    const std::vector<double> v = output(call(g), 0);
    EXPECT_TRUE(std::isnan(v[0]));
    EXPECT_EQ(v[1], 2.0);

    // Network plug-ins: empty options take defaults, other validity types
    // use raw distances, dmat_inputs ignores inputs after the seventh, and
    // a selection with no rows gives a 0-by-p matrix and p zeros.
    refusal n{"", netsim_gateway, 1, net({M(0, 0), M(0, 0), M(0, 0)}), "", ""};
    EXPECT_EQ(output(call(n), 0), std::vector<double>{2.7500000000000004});
    n.inputs = net({S(1), S(3)});
    EXPECT_EQ(output(call(n), 0)[0], (0.25 * 5 + (0.25 * 0.5 + 0)) / (2.2251e-308 + 0.25 + 0.25));
    refusal d{"", dmat_inputs_gateway,
              2,  net({S(1), S(1), S(2), A(make_class(mxCELL_CLASS, {1, 1}))}),
              "", ""};
    EXPECT_TRUE(call(d).ok);
    refusal p{"", dmat_params_gateway,
              2,  net({S(1), S(1), S(2), A(standalone::make_uint8({1, 1}, {8}))}),
              "", ""};
    call_result r = call(p);
    EXPECT_EQ(output_dims(r, 0), (std::vector<mwSize>{0, 1}));
    EXPECT_EQ(output(r, 1), std::vector<double>{0.0});
}

TEST(BadInputs, DimensionsAtTheThirtyTwoBitLimit)
{
    // Every count a plug-in reads may be 2147483647 and no more. Arrays with
    // no elements (or, for X of dmat_inputs, without data) stand in for the
    // big ones. Where a call with the largest count cannot run to the end,
    // the next check's message shows that the count itself was accepted.
    const mwSize largest = 2147483647, beyond = 2147483648;
    const mwSize wraps_to_one = (mwSize{1} << 32) + 1;  // 1 in 32 bits
    auto refused = [](const char* name) {
        return std::string(name) + " has a dimension larger than 2147483647.";
    };

    // dmat_inputs: n from the rows of centres; X holds exactly n values.
    {
        auto x = A(make_unbacked({largest, 1}));
        auto call_with = [&](mwSize n) {
            return call({"", dmat_inputs_gateway, 2, {x, M(n, 0), M(0, 0), M(0, 0)}, "", ""});
        };
        const call_result ok = call_with(largest);
        ASSERT_TRUE(ok.ok) << ok.error;
        EXPECT_EQ(output_dims(ok, 0), (std::vector<mwSize>{largest, 0}));
        EXPECT_EQ(output_dims(ok, 1), (std::vector<mwSize>{0, 1}));
        expect_error(call_with(beyond), refused("centres"));
        expect_error(call_with(wraps_to_one), refused("centres"));
        expect_error(call({"",
                           dmat_inputs_gateway,
                           2,
                           {A(make_unbacked({beyond, 1})), M(largest, 0), M(0, 0), M(0, 0)},
                           "",
                           ""}),
                     "X has more than 2147483647 elements.");
    }
    // dmat_params: c from the columns of centres; no rows, so no evaluation.
    {
        auto call_with = [&](mwSize c) {
            return call({"", dmat_params_gateway, 2, {M(0, 0), M(0, c), M(0, 0), M(0, 0)}, "", ""});
        };
        const call_result ok = call_with(largest);
        ASSERT_TRUE(ok.ok) << ok.error;
        EXPECT_EQ(output_dims(ok, 0), (std::vector<mwSize>{0, 0}));
        EXPECT_EQ(output_dims(ok, 1), (std::vector<mwSize>{0, 1}));
        expect_error(call_with(beyond), refused("centres"));
        expect_error(call_with(wraps_to_one), refused("centres"));
    }
    // netsim: p from the rows of consequents, N from the columns of X (for
    // an N-D X the product of its trailing dimensions).
    {
        auto with_outputs = [&](mwSize p) {
            return call({"", netsim_gateway, 1, {M(1, 0), M(1, 0), M(0, 0), M(p, 0)}, "", ""});
        };
        const call_result ok = with_outputs(largest);
        ASSERT_TRUE(ok.ok) << ok.error;
        EXPECT_EQ(output_dims(ok, 0), (std::vector<mwSize>{largest, 0}));
        expect_error(with_outputs(beyond), refused("consequents"));

        auto with_points = [&](std::shared_ptr<array> X) {
            return call({"", netsim_gateway, 1, {X, M(1, 0), M(0, 0), M(1, 0)}, "", ""});
        };
        expect_error(with_points(M(0, largest)),
                     "X must have n = 1 rows, one per input (the rows of centres).");
        expect_error(with_points(M(0, beyond)), refused("X"));
        expect_error(with_points(ND({0, 2, 1073741824})), refused("X"));
    }
    // nearpoly: n from the columns of data_x, M from the rows of query_x.
    {
        auto with_inputs = [&](mwSize n) {
            return call(
                {"", nearpoly_gateway, 1, {M(0, n), M(0, 1), M(0, n), M(3, 1, {1, 1, 0})}, "", ""});
        };
        expect_error(with_inputs(largest), "Identification is empty.");  // no examples
        expect_error(with_inputs(beyond), refused("data_x"));

        auto with_queries = [&](mwSize m) {
            return call({"", nearpoly_gateway, 1, {M(5, 0), M(5, 1), M(m, 0), M(1, 3)}, "", ""});
        };
        expect_error(with_queries(largest), "Illegal id_par.");
        expect_error(with_queries(beyond), refused("query_x"));
    }
    // gridval: N from the columns of the queries, M_k from the columns of
    // each breakpoint input.
    {
        auto with_queries = [&](mwSize N) {
            return call({"", gridval_gateway, 1, {M(0, N), M(2, 1), M(1, 2, {0, 1})}, "", ""});
        };
        expect_error(with_queries(largest), "queries must have 1 rows, one per breakpoint input.");
        expect_error(with_queries(beyond), refused("queries"));

        auto with_breakpoints = [&](mwSize count) {
            return call({"", gridval_gateway, 1, {M(1, 1), M(2, 1), M(0, count)}, "", ""});
        };
        // Breakpoints must be a row, and a row beyond the limit has too many
        // elements: its shape is refused before its count is read.
        expect_error(with_breakpoints(largest),
                     "breakpoints of dimension 1 must be a row vector (1-by-M); this one is "
                     "0-by-2147483647.");
        expect_error(with_breakpoints(beyond),
                     "breakpoints of dimension 1 must be a row vector (1-by-M); this one is "
                     "0-by-2147483648.");
    }
}
