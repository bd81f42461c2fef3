// netsim: output of a local-model network for a batch of points, one point
// per column of X. Checks the argument counts, then that every input is a
// double array holding at least what is read from it.
#include "netcore/network_args.h"
#include "netsim/netsim.h"

namespace {

enum { out_y };

}  // namespace

void netsim_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (nrhs < 4) mexErrMsgTxt("netsim requires four input arguments.");
    if (nrhs > 7) mexErrMsgTxt("netsim don't handle more than seven input arguments.");
    if (nlhs > 1) mexErrMsgTxt("netsim requires one output argument.");

    const network_args a = read_network_args(nrhs, prhs);
    const int N = to_count(mxGetN(prhs[in_x]), "X");
    if (N > 0 && static_cast<std::int64_t>(mxGetM(prhs[in_x])) != a.n)
        fail("X must have n = %d rows, one per input (the rows of centres).", a.n);

    plhs[out_y] = mxCreateDoubleMatrix(a.p, N, mxREAL);  // also when nlhs == 0
    evaluate_network(mxGetPr(plhs[out_y]), a.x, a.centres, a.norm_matrices, a.consequents, N,
                     a.n, a.p, a.c, a.normalize, a.validity_type, a.fuzziness);
}
