// dmat_inputs: derivatives of the network's outputs with respect to its
// inputs at the point formed by the first n values of X, and the outputs.
#include "core/checks/check_network.h"
#include "mex/gateways.h"

namespace localmodels::mex {

namespace {

// Only the centres' second dimension is read (it is c).
constexpr unsigned centres_dims = 1u << checks::in_centres;

enum { out_derivatives, out_y };

}  // namespace

void dmat_inputs_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    checks::arg in[checks::network_inputs];
    checks::network_call a;
    raise_if_failed(checks::check_dmat_inputs(
        describe_call(nlhs, nrhs, prhs, in, checks::network_inputs, centres_dims), &a));

    plhs[out_derivatives] = mxCreateDoubleMatrix(a.net.n, a.net.p, mxREAL);
    double* y = optional_column(nlhs, plhs, out_y, a.net.p);
    const std::size_t bytes = network::input_derivatives_workspace_size(a.net);
    void* memory = take_workspace(bytes);
    network::input_derivatives({mxGetPr(plhs[out_derivatives]), y}, a.x, a.net, a.options,
                               {memory, bytes});
    mxFree(memory);
}

}  // namespace localmodels::mex
