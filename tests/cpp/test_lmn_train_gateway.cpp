// lmn_train through the standalone host: the struct options and INFO
// output, the outputs against the core's own result bit for bit, the
// progress text, refusals and the scratch released.
#include <cmath>

#include "core/training/training.h"
#include "helpers.h"
#include "host/standalone/gateways.h"

using namespace testing_helpers;
using standalone::make_matrix;
using standalone::make_scalar;
using standalone::make_struct;

namespace {

struct samples {
    int n = 2, N = 120;
    std::vector<double> x, y;
    samples()
    {
        lcg r(3);
        x = r.uniform_vector(static_cast<std::size_t>(n) * N);
        for (int t = 0; t < N; ++t) y.push_back(std::sin(3 * x[2 * t]) * x[2 * t + 1]);
    }
};

const mxArray* field(const call_result& r, const char* name)
{
    return mxGetField(r.outputs[3].get(), 0, name);
}

}  // namespace

TEST(StandaloneStructs, FieldsByNameAndNumber)
{
    array one = make_scalar(1), two = make_matrix(1, 2, {3, 4});
    array s = make_struct({{"a", one.get()}, {"bb", two.get()}, {"empty", nullptr}});
    EXPECT_TRUE(mxIsStruct(s.get()));
    EXPECT_EQ(mxGetNumberOfFields(s.get()), 3);
    EXPECT_STREQ(mxGetFieldNameByNumber(s.get(), 1), "bb");
    EXPECT_EQ(mxGetFieldNumber(s.get(), "empty"), 2);
    EXPECT_EQ(mxGetFieldNumber(s.get(), "c"), -1);
    EXPECT_EQ(standalone::values(mxGetField(s.get(), 0, "bb")), (std::vector<double>{3, 4}));
    EXPECT_EQ(mxGetFieldByNumber(s.get(), 0, 2), nullptr);
    EXPECT_EQ(mxGetField(s.get(), 1, "a"), nullptr);  // no element 1
    array text = standalone::make_string("max_models");
    EXPECT_TRUE(mxIsChar(text.get()));
    char* copy = mxArrayToString(text.get());
    EXPECT_STREQ(copy, "max_models");
    mxFree(copy);
    EXPECT_EQ(mxArrayToString(one.get()), nullptr);
}

TEST(LmnTrainGateway, OutputsAreTheCoreResult)
{
    const samples d;
    array x = make_matrix(2, d.N, d.x), y = make_matrix(1, d.N, d.y);
    array most = make_scalar(5), part = make_matrix(1, 1, {1});
    array opts = make_struct({{"max_models", most.get()}, {"partition_inputs", part.get()}});
    call_result r = run(lmn_train_gateway, 4, {&x, &y, &opts});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.blocks_left, 0u);

    namespace tr = localmodels::training;
    tr::settings s = tr::default_settings(2);
    const int p1[] = {0};
    s.partition = p1;
    s.n_partition = 1;
    s.max_models = 5;
    const tr::problem pr{d.x.data(), d.y.data(), 2, 1, d.N, nullptr, nullptr, 0};
    std::vector<double> c(10), a(20), t(15), lo(10), hi(10), crit(5), models(5);
    tr::result res{c.data(),      a.data(), t.data(), lo.data(), hi.data(), crit.data(),
                   models.data(), 0,        0,        false,     0.0};
    std::vector<unsigned char> memory(tr::workspace_size(pr, s));
    tr::train(&res, pr, s, memory.data(), memory.size());
    const std::size_t m = static_cast<std::size_t>(res.models);
    ASSERT_GT(m, 1u);
    c.resize(2 * m);
    a.resize(4 * m);
    t.resize(3 * m);
    EXPECT_TRUE(bitwise_equal(output(r, 0), c));
    EXPECT_TRUE(bitwise_equal(output(r, 1), a));
    EXPECT_TRUE(bitwise_equal(output(r, 2), t));
    EXPECT_EQ(output_dims(r, 1), (std::vector<mwSize>{2, 2, m}));
    EXPECT_EQ(output_dims(r, 2), (std::vector<mwSize>{1, 3, m}));
    EXPECT_EQ(standalone::values(field(r, "sse")), std::vector<double>{res.sse});
    EXPECT_EQ(standalone::values(field(r, "options")), (std::vector<double>{1, 1, 2}));
    EXPECT_EQ(standalone::dims(field(r, "criterion")),
              (std::vector<mwSize>{1, static_cast<mwSize>(res.steps)}));
    EXPECT_EQ(standalone::values(field(r, "interrupted")), std::vector<double>{0});
    lo.resize(2 * m);
    EXPECT_TRUE(bitwise_equal(standalone::values(field(r, "lower")), lo));
}

TEST(LmnTrainGateway, DisplayPrintsAStepPerLine)
{
    const samples d;
    array x = make_matrix(2, d.N, d.x), y = make_matrix(1, d.N, d.y);
    array three = make_scalar(3), one = make_scalar(1), many = make_scalar(9);
    array opts = make_struct(
        {{"max_models", three.get()}, {"display", one.get()}, {"patience", many.get()}});
    call_result r = run(lmn_train_gateway, 1, {&x, &y, &opts});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.printed.find("lmn_train: step 1, 1 models"), 0u);
    EXPECT_NE(r.printed.find("lmn_train: step 3, 3 models"), std::string::npos);
}

TEST(LmnTrainGateway, Refusals)
{
    const samples d;
    array x = make_matrix(2, d.N, d.x), y = make_matrix(1, d.N, d.y), v = make_scalar(1);
    array unknown = make_struct({{"maxmodels", v.get()}});
    call_result r = run(lmn_train_gateway, 1, {&x, &y, &unknown});
    EXPECT_EQ(r.identifier, "lmn_train:unknownOption");
    EXPECT_EQ(r.error, "lmn_train has no option 'maxmodels'.");
    r = run(lmn_train_gateway, 1, {&x, &y, &v});
    EXPECT_EQ(r.identifier, "lmn_train:optionsNotStruct");
    r = run(lmn_train_gateway, 5, {&x, &y});
    EXPECT_EQ(r.identifier, "lmn_train:tooManyOutputs");
    array empty = standalone::make_empty();
    r = run(lmn_train_gateway, 0, {&x, &y, &empty});  // [] is no options
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.outputs.size(), 1u);
}
