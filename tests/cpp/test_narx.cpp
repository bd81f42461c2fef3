// narx_simulate against a plain host loop: the regressor of each sample
// built here, the one-point plug-in (netsim, nearpoly, gridval per output)
// called on it through the standalone host, the result held in the bounds
// and fed back. The two must agree bit for bit. Then runs split into ranges,
// the initial outputs, and every NarxRefusal.
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/checks/check_narx.h"
#include "helpers.h"
#include "host/standalone/gateways.h"
#include "mex/mex_host.h"
#include "network_fixture.h"

using namespace testing_helpers;
using standalone::make_array;
using standalone::make_class;
using standalone::make_empty;
using standalone::make_matrix;
using standalone::make_scalar;

namespace {

const double not_a_number = std::numeric_limits<double>::quiet_NaN();

// One NARX problem as narx_simulate takes it.
struct narx_case {
    std::vector<double> na, nb, nk;
    int T = 0;
    std::vector<double> u;  // m-by-T
    std::vector<double> y0;
    int y0_cols = 0;
    std::vector<double> bounds;  // empty or 2-by-p
    double kind = 1;
    std::vector<array> model;

    int p() const { return static_cast<int>(na.size()); }
    int m() const { return static_cast<int>(nb.size()); }
    int n() const
    {
        double s = 0;
        for (double v : na) s += v;
        for (double v : nb) s += v;
        return static_cast<int>(s);
    }
    int L() const
    {
        int L = 0;
        for (double v : na) L = std::max(L, static_cast<int>(v));
        for (int j = 0; j < m(); ++j)
            if (nb[j] > 0) L = std::max(L, static_cast<int>(nk[j] + nb[j] - 1));
        return L;
    }
};

// The inputs of the narx_simulate call, owned.
struct narx_inputs {
    std::vector<array> fixed;
    std::vector<const array*> all;
};

narx_inputs inputs_of(const narx_case& c)
{
    narx_inputs in;
    in.fixed.push_back(make_matrix(c.m(), c.T, c.u));
    in.fixed.push_back(make_matrix(c.p(), c.y0_cols, c.y0));
    in.fixed.push_back(make_matrix(1, c.p(), c.na));
    in.fixed.push_back(make_matrix(1, c.m(), c.nb));
    in.fixed.push_back(make_matrix(1, c.m(), c.nk));
    in.fixed.push_back(c.bounds.empty() ? make_empty() : make_matrix(2, c.p(), c.bounds));
    in.fixed.push_back(make_scalar(c.kind));
    for (const array& a : in.fixed) in.all.push_back(&a);
    for (const array& a : c.model) in.all.push_back(&a);
    return in;
}

std::vector<double> narx_simulate(const narx_case& c)
{
    narx_inputs in = inputs_of(c);
    return output(run(narx_simulate_gateway, 1, in.all), 0);
}

call_result narx_call(const std::vector<const array*>& in, int nlhs = 1)
{
    return run(narx_simulate_gateway, nlhs, in);
}

// The regressor of sample t, written out from the definition.
std::vector<double> regressor_at(const narx_case& c, const std::vector<double>& y, int t)
{
    std::vector<double> r;
    const int p = c.p(), m = c.m();
    for (int i = 0; i < p; ++i)
        for (int l = 1; l <= static_cast<int>(c.na[i]); ++l) r.push_back(y[i + (t - l) * p]);
    for (int j = 0; j < m; ++j)
        for (int l = 0; l < static_cast<int>(c.nb[j]); ++l)
            r.push_back(c.u[j + (t - static_cast<int>(c.nk[j]) - l) * m]);
    return r;
}

// The host loop: step(r) is the one-point plug-in's output at regressor r.
template <class Step>
std::vector<double> host_loop(const narx_case& c, Step step)
{
    const int p = c.p(), L = c.L();
    std::vector<double> y(static_cast<std::size_t>(p) * c.T, 0.0);
    for (int k = 0; k < p * std::min(L, c.T); ++k) y[k] = c.y0[k];
    for (int t = L; t < c.T; ++t) {
        const std::vector<double> v = step(regressor_at(c, y, t));
        for (int j = 0; j < p; ++j) {
            double w = v.at(j);
            if (!c.bounds.empty()) w = std::min(std::max(w, c.bounds[2 * j]), c.bounds[2 * j + 1]);
            y[j + t * p] = w;
        }
    }
    return y;
}

// netsim at one point: the model arrays are netsim's inputs 2 to 7.
std::vector<double> netsim_step(const narx_case& c, const std::vector<double>& r)
{
    array x = make_matrix(r.size(), 1, r);
    std::vector<const array*> in = {&x};
    for (const array& a : c.model) in.push_back(&a);
    return output(run(netsim_gateway, 1, in), 0);
}

// nearpoly at one query: data_x, data_y, the query, then the rest.
std::vector<double> nearpoly_step(const narx_case& c, const std::vector<double>& r)
{
    array q = make_matrix(1, r.size(), r);
    std::vector<const array*> in = {&c.model[0], &c.model[1], &q};
    for (std::size_t i = 2; i < c.model.size(); ++i) in.push_back(&c.model[i]);
    return output(run(nearpoly_gateway, 1, in), 0);
}

// gridval once per output, on that output's slab of the table.
std::vector<double> table_step(const narx_case& c, const std::vector<double>& r)
{
    const std::vector<double> all = standalone::values(c.model[0].get());
    const std::size_t slab = all.size() / c.p();
    array q = make_matrix(r.size(), 1, r);
    std::vector<double> v;
    for (int j = 0; j < c.p(); ++j) {
        array t = make_matrix(
            slab, 1, std::vector<double>(all.begin() + j * slab, all.begin() + (j + 1) * slab));
        std::vector<const array*> in = {&q, &t};
        for (std::size_t k = 1; k < c.model.size(); ++k) in.push_back(&c.model[k]);
        v.push_back(output(run(gridval_gateway, 1, in), 0).at(0));
    }
    return v;
}

// A MIMO network case: p = 2, m = 2, mixed orders, a delay of 0, an output
// without lags. n = 2 + 0 + 1 + 2 = 5, L = 4.
narx_case network_case(std::vector<double> options = {})
{
    narx_case c;
    c.na = {2, 0};
    c.nb = {1, 2};
    c.nk = {0, 3};
    c.T = 60;
    lcg rng(11);
    c.u = rng.uniform_vector(2 * c.T, -1, 1);
    c.y0_cols = 6;  // wider than L: only the first L columns count
    c.y0 = rng.uniform_vector(2 * c.y0_cols, -0.5, 0.5);
    network net = random_network(5, 2, 3, 7);
    for (double& v : net.consequents) v *= 0.25;
    c.model.push_back(net.centres_array());
    c.model.push_back(net.norms_array());
    c.model.push_back(net.consequents_array());
    for (double v : options) c.model.push_back(make_scalar(v));
    return c;
}

// A nearpoly case of one output, two inputs: n = 2 + 1 + 1 = 4, L = 2. With
// N = 1500 and T - L = 78 queries the run searches through the k-d tree
// while each one-point call searches all examples.
narx_case nearpoly_case(int N, bool all_arguments)
{
    narx_case c;
    c.kind = 2;
    c.na = {2};
    c.nb = {1, 1};
    c.nk = {1, 0};
    c.T = 80;
    lcg rng(5);
    c.u = rng.uniform_vector(2 * c.T, -1, 1);
    c.y0_cols = 2;
    c.y0 = {0.1, -0.2};
    std::vector<double> x = rng.uniform_vector(static_cast<std::size_t>(N) * 4, -1, 1), y(N);
    for (int i = 0; i < N; ++i)
        y[i] = 0.5 * x[i] - 0.3 * x[i + N] + 0.5 * std::sin(2 * x[i + 2 * N]) + 0.2 * x[i + 3 * N];
    c.model.push_back(make_matrix(N, 4, x));
    c.model.push_back(make_matrix(N, 1, y));
    if (!all_arguments) {
        c.model.push_back(make_matrix(3, 1, {1, 1, 1}));
        return c;
    }
    c.model.push_back(make_matrix(3, 2, {3, 6, 10, 8, 20, 40}));
    c.model.push_back(make_matrix(1, 3, {1, 2, 2}));
    c.model.push_back(make_scalar(1e4));
    c.model.push_back(make_matrix(1, 4, {1, 0.5, 2, 1}));
    return c;
}

// Two outputs from one table each over n = 3 regressors (y1(t-1), y2(t-1),
// u(t)); regressors outside the breakpoints are held at their ends.
narx_case table_case()
{
    narx_case c;
    c.kind = 3;
    c.na = {1, 1};
    c.nb = {1};
    c.nk = {0};
    c.T = 70;
    lcg rng(3);
    c.u = rng.uniform_vector(c.T, -2.5, 2.5);
    c.y0_cols = 1;
    c.y0 = {0.2, -0.1};
    c.model.push_back(make_array({4, 2, 5, 2}, rng.uniform_vector(80, -1.2, 1.2)));
    c.model.push_back(make_matrix(1, 4, {-1, 0, 0.5, 1}));
    c.model.push_back(make_matrix(1, 2, {-1, 1}));
    c.model.push_back(make_matrix(1, 5, {-2, -1, 0, 1, 2}));
    return c;
}

auto netsim_loop = [](const narx_case& c) {
    return host_loop(c, [&](const std::vector<double>& r) { return netsim_step(c, r); });
};
auto nearpoly_loop = [](const narx_case& c) {
    return host_loop(c, [&](const std::vector<double>& r) { return nearpoly_step(c, r); });
};
auto table_loop = [](const narx_case& c) {
    return host_loop(c, [&](const std::vector<double>& r) { return table_step(c, r); });
};

bool within_bounds(const narx_case& c, const std::vector<double>& y)
{
    for (int t = c.L(); t < c.T; ++t)
        for (int j = 0; j < c.p(); ++j) {
            const double v = y[j + t * c.p()];
            if (!std::isnan(v) && (v < c.bounds[2 * j] || v > c.bounds[2 * j + 1])) return false;
        }
    return true;
}

}  // namespace

TEST(Narx, NetworkMimoEqualsTheHostLoop)
{
    const narx_case c = network_case();
    const std::vector<double> y = narx_simulate(c);
    EXPECT_TRUE(bitwise_equal(y, netsim_loop(c)));
    // The first L = 4 columns are Y0's first four.
    EXPECT_TRUE(bitwise_equal(std::vector<double>(y.begin(), y.begin() + 8),
                              std::vector<double>(c.y0.begin(), c.y0.begin() + 8)));
}

TEST(Narx, NetworkOptionsEqualTheHostLoop)
{
    for (const std::vector<double>& options :
         {std::vector<double>{0}, {1, 2}, {1, 2, 1.5}, {0, 3, 2}}) {
        const narx_case c = network_case(options);
        EXPECT_TRUE(bitwise_equal(narx_simulate(c), netsim_loop(c))) << options.size();
    }
}

TEST(Narx, NetworkBoundsHold)
{
    narx_case c = network_case();
    c.bounds = {-0.05, 0.0, -std::numeric_limits<double>::infinity(), 0.02};
    const std::vector<double> y = narx_simulate(c);
    EXPECT_TRUE(bitwise_equal(y, netsim_loop(c)));
    EXPECT_TRUE(within_bounds(c, y));
    // The bounds bite: without them the run leaves them.
    narx_case open = network_case();
    open.bounds.clear();
    EXPECT_FALSE(bitwise_equal(y, narx_simulate(open)));
}

TEST(Narx, NearpolyThroughTheTreeEqualsTheHostLoop)
{
    const narx_case c = nearpoly_case(1500, false);
    EXPECT_TRUE(bitwise_equal(narx_simulate(c), nearpoly_loop(c)));
}

TEST(Narx, NearpolyWithEveryArgumentAndBoundsEqualsTheHostLoop)
{
    narx_case c = nearpoly_case(300, true);
    c.bounds = {-0.3, 0.3};
    const std::vector<double> y = narx_simulate(c);
    EXPECT_TRUE(bitwise_equal(y, nearpoly_loop(c)));
    EXPECT_TRUE(within_bounds(c, y));
}

TEST(Narx, TableMimoEqualsTheHostLoop)
{
    narx_case c = table_case();
    EXPECT_TRUE(bitwise_equal(narx_simulate(c), table_loop(c)));
    c.bounds = {-0.8, 0.8, -0.9, 0.5};
    const std::vector<double> y = narx_simulate(c);
    EXPECT_TRUE(bitwise_equal(y, table_loop(c)));
    EXPECT_TRUE(within_bounds(c, y));
}

TEST(Narx, NaNPassesThroughTheBounds)
{
    narx_case c = table_case();
    c.bounds = {-0.8, 0.8, -0.9, 0.5};
    c.u[30] = not_a_number;  // u(30) is in the regressor of sample 30 only; y feeds it on
    const std::vector<double> y = narx_simulate(c);
    EXPECT_TRUE(bitwise_equal(y, table_loop(c)));
    EXPECT_TRUE(std::isnan(y[2 * 30]) && std::isnan(y[2 * 30 + 1]));
    EXPECT_TRUE(std::isnan(y[2 * (c.T - 1)]));
}

TEST(Narx, KindByName)
{
    const narx_case c = table_case();
    narx_inputs in = inputs_of(c);
    const std::u16string name = u"table";
    std::vector<unsigned char> bytes(name.size() * 2);
    std::memcpy(bytes.data(), name.data(), bytes.size());
    array kind = make_class(mxCHAR_CLASS, {1, name.size()}, bytes);
    in.all[localmodels::checks::in_kind] = &kind;
    EXPECT_TRUE(bitwise_equal(output(narx_call(in.all), 0), narx_simulate(c)));
}

TEST(Narx, FewerSamplesThanTheStartGiveTheInitialOutputs)
{
    narx_case c = network_case();
    c.T = 3;  // L = 4
    c.u.resize(2 * 3);
    const std::vector<double> y = narx_simulate(c);
    EXPECT_TRUE(bitwise_equal(y, std::vector<double>(c.y0.begin(), c.y0.begin() + 6)));
    c.T = 0;
    c.u.clear();
    EXPECT_TRUE(narx_simulate(c).empty());
}

TEST(Narx, AnInputWithoutLagsDelaysNothing)
{
    // nb = 0 with nk = 9: that input is not in the regressor, and L stays 1.
    narx_case c = table_case();
    c.na = {1, 1, 0};
    c.y0 = {0.2, -0.1, 0.3};
    c.bounds.clear();
    c.nb = {1, 0};
    c.nk = {0, 9};
    std::vector<double> u2(2 * c.T);
    for (int t = 0; t < c.T; ++t) u2[2 * t] = c.u[t], u2[2 * t + 1] = 1e3;
    c.u = u2;
    // Three outputs, the third a constant table of the same regressors.
    std::vector<double> table = standalone::values(c.model[0].get());
    table.resize(120, 0.25);
    c.model[0] = make_array({4, 2, 5, 3}, table);
    ASSERT_EQ(c.L(), 1);
    const std::vector<double> y = narx_simulate(c);
    EXPECT_TRUE(bitwise_equal(y, table_loop(c)));
    EXPECT_EQ(y[3 * 5 + 2], 0.25);
}

// The core run in ranges, as the Python front end runs it between its
// checks for Ctrl-C: the same bits as one range.
template <class Model>
std::vector<double> in_ranges(const localmodels::checks::narx_call& a, const Model& m,
                              const std::vector<int>& cuts)
{
    namespace narx = localmodels::narx;
    std::vector<double> y(static_cast<std::size_t>(a.orders.p) * a.run.T);
    narx::initial(y.data(), a.y0, a.orders, a.run);
    std::vector<unsigned char> memory(narx::workspace_size(a.orders, a.run, m));
    if constexpr (std::is_same_v<Model, narx::nearpoly_model>)
        narx::prepare(a.orders, a.run, m, 2, memory.data());
    int first = narx::start(a.orders);
    for (int cut : cuts) {
        narx::simulate({y.data(), a.u}, a.orders, a.run, m, {first, cut},
                       {memory.data(), memory.size()});
        first = cut;
    }
    narx::simulate({y.data(), a.u}, a.orders, a.run, m, {first, a.run.T},
                   {memory.data(), memory.size()});
    return y;
}

TEST(Narx, RangesResumeBitForBit)
{
    namespace checks = localmodels::checks;
    for (const narx_case& c : {network_case({1, 2}), nearpoly_case(1500, false), table_case()}) {
        narx_inputs in = inputs_of(c);
        std::vector<const mxArray*> raw;
        for (const array* a : in.all) raw.push_back(a->get());
        checks::arg args[checks::narx_inputs];
        const checks::call call = localmodels::mex::describe_call(
            1, static_cast<int>(raw.size()), raw.data(), args, checks::narx_inputs);
        std::vector<int> lags(checks::narx_lag_room(call));
        checks::narx_call a;
        ASSERT_FALSE(failed(checks::check_narx(call, lags.data(), &a)));
        const std::vector<double> whole = narx_simulate(c);
        const std::vector<int> cuts = {c.L() + 1, c.L() + 1, 17, 40};
        std::vector<double> y =
            a.kind == checks::model_kind::network    ? in_ranges(a, a.network, cuts)
            : a.kind == checks::model_kind::nearpoly ? in_ranges(a, a.nearpoly, cuts)
                                                     : in_ranges(a, a.table, cuts);
        EXPECT_TRUE(bitwise_equal(y, whole)) << c.kind;
    }
}

// --- Refusals: each identifier, from a well-formed network call -------------

struct NarxRefusal : ::testing::Test {
    narx_case c = network_case();
    narx_inputs in = inputs_of(c);
    std::vector<array> extra;

    // The call with input i replaced.
    call_result with(std::size_t i, array a, int nlhs = 1)
    {
        extra.push_back(std::move(a));
        std::vector<const array*> all = in.all;
        all.at(i) = &extra.back();
        return narx_call(all, nlhs);
    }
    void expect_id(const call_result& r, const std::string& id)
    {
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.identifier, "narx_simulate:" + id) << r.error;
    }
};

TEST_F(NarxRefusal, TheWellFormedCallRuns)
{
    EXPECT_TRUE(narx_call(in.all).ok);
}

TEST_F(NarxRefusal, ArgumentCounts)
{
    std::vector<const array*> seven(in.all.begin(), in.all.begin() + 7);
    expect_id(narx_call(seven), "notEnoughArguments");
    std::vector<const array*> many(39, in.all[0]);
    expect_id(narx_call(many), "tooManyArguments");
    expect_id(narx_call(in.all, 2), "tooManyOutputs");
}

TEST_F(NarxRefusal, SignalsAndOrders)
{
    expect_id(with(0, make_class(mxSINGLE_CLASS, {2, 60})), "notDoubleArray");
    expect_id(with(5, make_class(mxINT8_CLASS, {2, 2})), "notDoubleArray");
    expect_id(with(2, make_matrix(1, 2, {2, -1})), "badOrders");
    expect_id(with(3, make_matrix(1, 2, {1.5, 2})), "badOrders");
    expect_id(with(4, make_matrix(1, 2, {0, not_a_number})), "badOrders");
    expect_id(with(2, make_empty()), "noOutputs");
    expect_id(with(4, make_matrix(1, 1, {0})), "nkLength");
    expect_id(with(4, make_matrix(1, 2, {0, 2147483647.0})), "ordersTooLarge");
    expect_id(with(0, make_matrix(3, 60)), "uRows");
    expect_id(with(1, make_matrix(2, 3)), "y0TooShort");
    expect_id(with(1, make_matrix(1, 4)), "y0Rows");
}

TEST_F(NarxRefusal, Bounds)
{
    expect_id(with(5, make_matrix(2, 1, {0, 1})), "boundsShape");
    expect_id(with(5, make_matrix(1, 4, {0, 1, 0, 1})), "boundsShape");
    expect_id(with(5, make_matrix(2, 2, {0, not_a_number, 0, 1})), "boundsNaN");
    expect_id(with(5, make_matrix(2, 2, {0, 1, 2, 1})), "boundsOrder");
}

TEST_F(NarxRefusal, Kind)
{
    expect_id(with(6, make_scalar(4)), "badKind");
    expect_id(with(6, make_matrix(1, 2, {1, 1})), "badKind");
    const std::u16string name = u"networks";
    std::vector<unsigned char> bytes(name.size() * 2);
    std::memcpy(bytes.data(), name.data(), bytes.size());
    expect_id(with(6, make_class(mxCHAR_CLASS, {1, name.size()}, bytes)), "badKind");
}

TEST_F(NarxRefusal, NetworkModel)
{
    std::vector<const array*> two(in.all.begin(), in.all.begin() + 9);
    expect_id(narx_call(two), "modelArguments");
    std::vector<const array*> all = in.all;
    array option = make_scalar(1);
    for (int i = 0; i < 4; ++i) all.push_back(&option);
    expect_id(narx_call(all), "modelArguments");
    // The network's own checks, under narx_simulate's name.
    expect_id(with(8, make_matrix(5, 3)), "normMatricesTooSmall");
    expect_id(with(7, make_matrix(4, 3)), "modelInputs");
    network wrong = random_network(5, 3, 3, 7);
    expect_id(with(9, wrong.consequents_array()), "modelOutputs");
    all = in.all;
    array fuzziness = make_class(mxSINGLE_CLASS, {1, 1});
    all.push_back(&option);
    all.push_back(&fuzziness);
    const call_result r = narx_call(all);
    expect_id(r, "notDoubleArray");
    EXPECT_EQ(r.error, "validity_type must be a full double array.");
}

TEST_F(NarxRefusal, NearpolyModel)
{
    narx_case np = nearpoly_case(300, false);
    narx_inputs nin = inputs_of(np);
    std::vector<const array*> all = nin.all;
    all.pop_back();
    expect_id(narx_call(all), "modelArguments");
    all = nin.all;
    array bad_id = make_matrix(3, 1, {0, 0, 0});
    all[9] = &bad_id;
    expect_id(narx_call(all), "identificationEmpty");
    all = nin.all;
    array wide = make_matrix(300, 3);
    all[7] = &wide;
    expect_id(narx_call(all), "modelInputs");
    // Two outputs.
    all = nin.all;
    array na = make_matrix(1, 2, {1, 1}), y0 = make_matrix(2, 2);
    all[1] = &y0;
    all[2] = &na;
    expect_id(narx_call(all), "nearpolyOutputs");
}

TEST_F(NarxRefusal, TableModel)
{
    narx_case tc = table_case();
    narx_inputs tin = inputs_of(tc);
    std::vector<const array*> all = tin.all;
    all.pop_back();
    expect_id(narx_call(all), "modelArguments");
    all = tin.all;
    array small = make_array({4, 2, 5}, std::vector<double>(40));
    all[7] = &small;
    expect_id(narx_call(all), "tableSize");
    array odd = make_matrix(81, 1);
    all[7] = &odd;
    expect_id(narx_call(all), "tableSize");
    all = tin.all;
    array down = make_matrix(1, 4, {-1, 0, 1, 0.5});
    all[8] = &down;
    expect_id(narx_call(all), "breakpointsDecrease");
    all = tin.all;
    array na0 = make_matrix(1, 2, {0, 0}), nb0 = make_matrix(1, 1, {0});
    all[2] = &na0;  // no regressor at all
    all[3] = &nb0;
    expect_id(narx_call(all), "tableRegressors");
}
