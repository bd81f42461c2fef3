// Fuzz target: dmat_inputs called with arbitrary inputs through the standalone host.
#include "fuzz_call.h"
#include "host/standalone/gateways.h"

namespace {

// n-by-p derivatives and, when asked for, the p-by-1 outputs.
bool documented(const standalone::call_result& r, const std::vector<const mxArray*>& in, int nlhs)
{
    const mwSize n = mxGetM(in[1]), p = mxGetM(in[3]);
    return fuzzing::has_dims(r, 0, n, p) && (nlhs < 2 || fuzzing::has_dims(r, 1, p, 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzing::run(dmat_inputs_gateway, 9, data, size, documented);
}
