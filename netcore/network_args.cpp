// Reading and checking the network parameter set shared by the network
// gateways. The sizes are formed in 64 bits, so a product beyond the 32-bit
// range is refused instead of wrapping.
#include "netcore/network_args.h"

#include <cstddef>

network_args read_network_args(int nrhs, const mxArray* prhs[])
{
    network_args a;
    require_double_array(prhs[in_x], "X");
    require_double_array(prhs[in_centres], "centres");
    require_double_array(prhs[in_norm_matrices], "norm_matrices");
    require_double_array(prhs[in_consequents], "consequents");
    const mwSize* dims = mxGetDimensions(prhs[in_centres]);
    a.n = to_count(dims[0], "centres");
    a.c = to_count(dims[1], "centres");
    a.p = to_count(mxGetM(prhs[in_consequents]), "consequents");
    const std::int64_t n = a.n, p = a.p, c = a.c;
    // An N-D centres array with an empty trailing dimension holds nothing.
    // Once it holds n*c values, n*n*c and p*(n+1)*c cannot overflow.
    require_values(prhs[in_centres], "centres", n * c, "n*c");
    require_values(prhs[in_norm_matrices], "norm_matrices", n * n * c, "n*n*c");
    require_values(prhs[in_consequents], "consequents", p * (n + 1) * c, "p*(n+1)*c");

    a.normalize = int_option_or(nrhs, prhs, in_normalize, "normalize", 1);
    a.validity_type = int_option_or(nrhs, prhs, in_validity_type, "validity_type", 1);
    a.fuzziness = option_or(nrhs, prhs, in_fuzziness, "fuzziness", 2.0);

    a.x = mxGetPr(prhs[in_x]);
    a.centres = mxGetPr(prhs[in_centres]);
    a.norm_matrices = mxGetPr(prhs[in_norm_matrices]);
    a.consequents = mxGetPr(prhs[in_consequents]);
    return a;
}

double* output_or_scratch(int nlhs, mxArray* plhs[], int slot, int p)
{
    if (nlhs <= slot) return static_cast<double*>(mxCalloc(p, sizeof(double)));
    plhs[slot] = mxCreateDoubleMatrix(p, 1, mxREAL);
    return mxGetPr(plhs[slot]);
}

network_scratch take_network_scratch(int n, int p, int c)
{
    const std::size_t clusters = static_cast<std::size_t>(c);
    network_scratch s;
    s.differences = static_cast<double*>(mxCalloc(clusters * n, sizeof(double)));
    s.local_outputs = static_cast<double*>(mxCalloc(clusters * p, sizeof(double)));
    s.validities = static_cast<double*>(mxCalloc(clusters, sizeof(double)));
    return s;
}

void release_network_scratch(const network_scratch& s)
{
    mxFree(s.differences);
    mxFree(s.validities);
    mxFree(s.local_outputs);
}
