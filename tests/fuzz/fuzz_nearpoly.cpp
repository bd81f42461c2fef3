// Fuzz target: nearpoly called with arbitrary inputs through the standalone host.
#include "fuzz_call.h"
#include "host/standalone/gateways.h"

namespace {

// M-by-1 predictions and, when asked for, one coefficient column per query
// with 1, n + 1 or (n + 1)(n + 2)/2 rows.
bool documented(const standalone::call_result& r, const std::vector<const mxArray*>& in, int nlhs)
{
    const mwSize M = mxGetM(in[2]), n = mxGetN(in[0]);
    if (!fuzzing::has_dims(r, 0, M, 1)) return false;
    if (nlhs < 2) return true;
    if (r.outputs.size() < 2 || !r.outputs[1] || mxGetN(r.outputs[1].get()) != M) return false;
    const mwSize rows = mxGetM(r.outputs[1].get());
    return rows == 1 || rows == n + 1 || rows == (n + 1) * (n + 2) / 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzing::run(nearpoly_gateway, 9, data, size, documented);
}
