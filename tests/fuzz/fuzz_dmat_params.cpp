// Fuzz target: dmat_params called with arbitrary inputs through the standalone host.
#include "core/network/network.h"
#include "fuzz_call.h"
#include "host/standalone/gateways.h"

namespace {

// R-by-p derivatives (R that of the default selection when none is given)
// and, when asked for, the p-by-1 outputs.
bool documented(const standalone::call_result& r, const std::vector<const mxArray*>& in, int nlhs)
{
    const mwSize n = mxGetM(in[1]), c = mxGetDimensions(in[1])[1], p = mxGetM(in[3]);
    if (r.outputs.empty() || !r.outputs[0] || mxGetN(r.outputs[0].get()) != p) return false;
    const bool default_selection = in.size() < 8 || mxGetNumberOfElements(in[7]) == 0;
    const std::int64_t rows = localmodels::network::selected_rows(
        static_cast<int>(n), static_cast<int>(p), static_cast<int>(c), 15);
    if (default_selection && mxGetM(r.outputs[0].get()) != static_cast<mwSize>(rows)) return false;
    return nlhs < 2 || fuzzing::has_dims(r, 1, p, 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzing::run(dmat_params_gateway, 9, data, size, documented);
}
