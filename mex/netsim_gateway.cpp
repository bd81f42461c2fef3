// netsim: output of a local-model network for a batch of points, one point
// per column of X.
#include "core/checks/check_network.h"
#include "mex/gateways.h"

namespace localmodels::mex {

namespace {

// Only the centres' second dimension is read (it is c).
constexpr unsigned centres_dims = 1u << checks::in_centres;

enum { out_y };

}  // namespace

void netsim_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    checks::arg in[checks::network_inputs];
    checks::network_call a;
    int N;
    raise_if_failed(checks::check_netsim(
        describe_call(nlhs, nrhs, prhs, in, checks::network_inputs, centres_dims), &a, &N));

    plhs[out_y] = mxCreateDoubleMatrix(a.net.p, N, mxREAL);  // also when nlhs == 0
    const threads::plan r(network::simulate_threads_for(a.net, 0, N));
    const std::size_t bytes = network::simulate_memory_size(a.net, r.threads);
    void* memory = take_workspace(bytes);
    network::simulate(mxGetPr(plhs[out_y]), a.x, a.net, a.options, {0, N, r, memory, bytes});
    mxFree(memory);
}

}  // namespace localmodels::mex
