// Fuzz target: netsim called with arbitrary inputs through the standalone host.
#include "fuzz_call.h"
#include "host/standalone/gateways.h"

namespace {

// p-by-N: p the rows of consequents, N the columns of X.
bool documented(const standalone::call_result& r, const std::vector<const mxArray*>& in, int)
{
    return fuzzing::has_dims(r, 0, mxGetM(in[3]), mxGetN(in[0]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzing::run(netsim_gateway, 9, data, size, documented);
}
