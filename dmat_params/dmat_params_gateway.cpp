// dmat_params: derivatives of the network's outputs with respect to the
// selected parameter groups at the point formed by the first n values of X,
// and the outputs. The selection is the first byte of input 8's data,
// whatever its class.
#include "dmat_params/dmat_params.h"
#include "netcore/network_args.h"

namespace {

enum { out_derivatives, out_y };

// All four selection bits.
constexpr unsigned char default_selection = 15;

// The first byte of the selection input, or the default when it is absent
// or empty. Only arrays with plain element data have a first byte to read.
unsigned char read_selection(int nrhs, const mxArray* prhs[])
{
    if (nrhs <= in_selection || mxGetNumberOfElements(prhs[in_selection]) == 0)
        return default_selection;
    const mxArray* s = prhs[in_selection];
    if (!(mxIsNumeric(s) || mxIsLogical(s) || mxIsChar(s)) || !mxGetData(s))
        fail("parameter_selection must be a numeric, logical or char array.");
    return *static_cast<const unsigned char*>(mxGetData(s));
}

}  // namespace

void dmat_params_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (nrhs > 8) mexErrMsgTxt("DMAT requires four or five input arguments.");
    if (nlhs > 2) mexErrMsgTxt("DMAT requires at most two output argument.");
    if (nrhs < 4) mexErrMsgTxt("DMAT requires at least four input arguments.");

    const network_args a = read_network_args(nrhs, prhs);
    require_values(prhs[in_x], "X", a.n, "n");
    const unsigned char selection = read_selection(nrhs, prhs);
    const std::int64_t R = selected_rows(a.n, a.p, a.c, selection);
    if (R > max_count)
        fail("The selected parameters would give more than %lld rows.",
             static_cast<long long>(max_count));

    plhs[out_derivatives] = mxCreateDoubleMatrix(static_cast<mwSize>(R), a.p, mxREAL);
    double* y = output_or_scratch(nlhs, plhs, out_y, a.p);
    if (R > 0)
        parameter_derivatives(mxGetPr(plhs[out_derivatives]), y, a.x, a.centres,
                              a.norm_matrices, a.consequents, a.n, a.p, a.c, a.normalize,
                              a.validity_type, a.fuzziness, selection);
    if (nlhs <= out_y) mxFree(y);
}
