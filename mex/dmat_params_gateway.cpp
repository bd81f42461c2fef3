// dmat_params: derivatives of the network's outputs with respect to the
// selected parameter groups at the point formed by the first n values of X,
// and the outputs.
#include "core/checks/check_network.h"
#include "mex/gateways.h"

namespace localmodels::mex {

namespace {

// Only the centres' second dimension is read (it is c).
constexpr unsigned centres_dims = 1u << checks::in_centres;

enum { out_derivatives, out_y };

}  // namespace

void dmat_params_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    checks::arg in[checks::network_inputs];
    checks::network_call a;
    unsigned selection;
    std::int64_t R;
    raise_if_failed(checks::check_dmat_params(
        describe_call(nlhs, nrhs, prhs, in, checks::network_inputs, centres_dims), &a, &selection,
        &R));

    plhs[out_derivatives] = mxCreateDoubleMatrix(static_cast<mwSize>(R), a.net.p, mxREAL);
    double* y = optional_column(nlhs, plhs, out_y, a.net.p);
    if (R == 0) return;  // nothing selected: output 2 stays zero
    const std::size_t bytes = network::parameter_derivatives_workspace_size(a.net);
    void* memory = take_workspace(bytes);
    network::parameter_derivatives({mxGetPr(plhs[out_derivatives]), y}, a.x, a.net, a.options,
                                   selection, {memory, bytes});
    mxFree(memory);
}

}  // namespace localmodels::mex
