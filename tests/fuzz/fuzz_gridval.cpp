// Fuzz target: gridval called with arbitrary inputs through the standalone host.
#include "fuzz_call.h"
#include "host/standalone/gateways.h"

namespace {

// A 1-by-N row, N the columns of the queries.
bool documented(const standalone::call_result& r, const std::vector<const mxArray*>& in, int)
{
    return fuzzing::has_dims(r, 0, 1, mxGetN(in[0]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzing::run(gridval_gateway, 12, data, size, documented);
}
