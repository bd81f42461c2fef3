// The standalone host itself and the argument checks every gateway shares.
#include <cmath>
#include <cstring>
#include <utility>

#include "core/checks/check_common.h"
#include "core/common/limits.h"
#include "helpers.h"
#include "mex/mex_host.h"

using namespace testing_helpers;
using standalone::make_array;
using standalone::make_matrix;
using standalone::make_scalar;

namespace {

// Takes three blocks, verifies they are zero-filled, releases one, and fails
// when given an input.
void scratch_gateway(int, mxArray* plhs[], int nrhs, const mxArray*[])
{
    plhs[0] = mxCreateDoubleMatrix(1, 1, mxREAL);
    double* a = static_cast<double*>(mxCalloc(100, sizeof(double)));
    unsigned char* b = static_cast<unsigned char*>(mxCalloc(7, 3));
    void* c = mxCalloc(0, 8);
    bool zero = true;
    for (int i = 0; i < 100; ++i) zero = zero && a[i] == 0.0;
    for (int i = 0; i < 21; ++i) zero = zero && b[i] == 0;
    mxGetPr(plhs[0])[0] = zero ? 1.0 : 0.0;
    mxFree(c);
    if (nrhs > 0) mexErrMsgTxt("Stopped on purpose.");
}

// Applies the shared double-array check to its input.
void check_gateway(int, mxArray*[], int, const mxArray* prhs[])
{
    using namespace localmodels;
    mex::raise_if_failed(checks::require_double_array("test", mex::describe(prhs[0]), "arg"));
}

// Returns the sizes the plug-ins read: M, N and the first two dimensions.
void size_gateway(int, mxArray* plhs[], int, const mxArray* prhs[])
{
    plhs[0] = mxCreateDoubleMatrix(1, 4, mxREAL);
    double* out = mxGetPr(plhs[0]);
    out[0] = static_cast<double>(mxGetM(prhs[0]));
    out[1] = static_cast<double>(mxGetN(prhs[0]));
    out[2] = static_cast<double>(mxGetDimensions(prhs[0])[0]);
    out[3] = static_cast<double>(mxGetDimensions(prhs[0])[1]);
}

}  // namespace

TEST(StandaloneHost, ScratchIsZeroFilledAndReclaimed)
{
    call_result r = standalone::call(scratch_gateway, 0, {});
    EXPECT_EQ(output(r, 0), std::vector<double>{1.0});
    EXPECT_EQ(r.calloc_calls, 3u);
    EXPECT_EQ(r.blocks_left, 2u);  // reclaimed by the host after the call
}

TEST(StandaloneHost, ErrorEndsCallDiscardsOutputsAndReclaims)
{
    array x = make_scalar(1);
    call_result r = run(scratch_gateway, 1, {&x});
    expect_error(r, "Stopped on purpose.");
    EXPECT_EQ(r.blocks_left, 2u);
    ASSERT_EQ(r.outputs.size(), 1u);
    EXPECT_EQ(r.outputs[0], nullptr);
}

TEST(StandaloneHost, ArraysOfManyDimensions)
{
    array a = make_array({2, 3, 4}, {1, 2, 3});
    EXPECT_EQ(mxGetNumberOfElements(a.get()), 24u);
    EXPECT_EQ(mxGetPr(a.get())[2], 3.0);
    EXPECT_EQ(mxGetPr(a.get())[23], 0.0);
    call_result r = run(size_gateway, 1, {&a});
    EXPECT_EQ(output(r, 0), (std::vector<double>{2, 12, 2, 3}));  // mxGetN: 3 * 4

    array v = make_array({5});
    EXPECT_EQ(output(run(size_gateway, 1, {&v}), 0), (std::vector<double>{5, 1, 5, 1}));
}

TEST(StandaloneHost, ScalarsOfEveryClass)
{
    std::int16_t i16 = -7;
    std::vector<unsigned char> bytes(sizeof i16);
    std::memcpy(bytes.data(), &i16, sizeof i16);
    EXPECT_EQ(mxGetScalar(standalone::make_class(mxINT16_CLASS, {1, 1}, bytes).get()), -7.0);
    EXPECT_EQ(mxGetScalar(standalone::make_uint8({1, 1}, {200}).get()), 200.0);
    EXPECT_EQ(mxGetScalar(make_scalar(2.5).get()), 2.5);
    EXPECT_EQ(mxGetInf(), INFINITY);
}

TEST(SharedChecks, OnlyFullDoubleArraysAreReadAsDoubles)
{
    const std::string refused = "arg must be a full double array.";
    for (mxClassID cls : {mxSINGLE_CLASS, mxINT32_CLASS, mxUINT8_CLASS, mxLOGICAL_CLASS,
                          mxCHAR_CLASS, mxCELL_CLASS}) {
        array a = standalone::make_class(cls, {2, 2});
        expect_error(run(check_gateway, 0, {&a}), refused);
    }
    array sparse = standalone::make_sparse(100, 100, {1.0});
    expect_error(run(check_gateway, 0, {&sparse}), refused);

    array dense = make_matrix(2, 2);
    array complex = standalone::make_complex(2, 2, {1, 2, 3, 4}, {5, 6, 7, 8});
    EXPECT_TRUE(run(check_gateway, 0, {&dense}).ok);
    EXPECT_TRUE(run(check_gateway, 0, {&complex}).ok);
}

TEST(SharedChecks, ArraysBeyondThirtyTwoBitCountsAreRefused)
{
    array huge = standalone::make_unbacked({65536, 32768});  // exactly 2^31 elements
    expect_error(run(check_gateway, 0, {&huge}), "arg has more than 2147483647 elements.");
    array largest = standalone::make_unbacked({65535, 32768});  // 2^31 - 32768
    EXPECT_TRUE(run(check_gateway, 0, {&largest}).ok);
}

TEST(SharedChecks, TruncationIsDefinedForEveryDouble)
{
    using localmodels::trunc_to_int;
    EXPECT_EQ(trunc_to_int(2.9), 2);
    EXPECT_EQ(trunc_to_int(-2.9), -2);
    EXPECT_EQ(trunc_to_int(-0.5), 0);
    EXPECT_EQ(trunc_to_int(NAN), 0);
    EXPECT_EQ(trunc_to_int(1e300), 2147483647);
    EXPECT_EQ(trunc_to_int(INFINITY), 2147483647);
    EXPECT_EQ(trunc_to_int(-INFINITY), -2147483647 - 1);
    EXPECT_EQ(trunc_to_int(2147483647.5), 2147483647);
    EXPECT_EQ(trunc_to_int(-2147483648.9), -2147483647 - 1);

    // The same at run time, where the machine's conversion would decide
    // whatever the compiler folds, and one step inside either end.
    const std::pair<double, int> cases[] = {{2.9, 2},
                                            {-2.9, -2},
                                            {NAN, 0},
                                            {1e300, 2147483647},
                                            {-INFINITY, -2147483647 - 1},
                                            {2147483647.0, 2147483647},
                                            {2147483646.5, 2147483646},
                                            {-2147483648.0, -2147483647 - 1},
                                            {-2147483647.5, -2147483647}};
    for (const auto& c : cases) {
        volatile double at_run_time = c.first;
        EXPECT_EQ(trunc_to_int(at_run_time), c.second) << c.first;
    }
}
