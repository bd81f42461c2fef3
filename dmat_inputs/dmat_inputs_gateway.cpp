// dmat_inputs: derivatives of the network's outputs with respect to its
// inputs at the point formed by the first n values of X, and the outputs.
// Checks the argument counts, then that every input holds what is read.
#include "dmat_inputs/dmat_inputs.h"
#include "netcore/network_args.h"

namespace {

enum { out_derivatives, out_y };

}  // namespace

void dmat_inputs_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (nrhs < 4) mexErrMsgTxt("DMAT requires at least four input arguments.");
    if (nlhs > 2) mexErrMsgTxt("DMAT requires at most two output argument.");

    const network_args a = read_network_args(nrhs, prhs);
    require_values(prhs[in_x], "X", a.n, "n");

    plhs[out_derivatives] = mxCreateDoubleMatrix(a.n, a.p, mxREAL);
    double* y = output_or_scratch(nlhs, plhs, out_y, a.p);
    input_derivatives(mxGetPr(plhs[out_derivatives]), y, a.x, a.centres, a.norm_matrices,
                      a.consequents, a.n, a.p, a.c, a.normalize, a.validity_type, a.fuzziness);
    if (nlhs <= out_y) mxFree(y);
}
