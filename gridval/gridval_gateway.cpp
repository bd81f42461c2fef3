// gridval: multilinear interpolation in a d-dimensional lookup table, at the
// N query points in the columns of a d-by-N matrix. Checks that every input
// is a double array holding what is read from it and that the breakpoints
// are usable, then hands plain pointers to interpolate_table.
#include <cmath>
#include <cstdio>

#include "gridval/gridval.h"

namespace {

enum { in_queries, in_table, in_breakpoints };
enum { out_values };

// The corner count 2^d must fit a signed 32-bit integer.
constexpr int max_dimensions = 30;

// Ends the call unless the first M breakpoints of dimension k are usable:
// none is NaN and none is smaller than the one before (repeats are allowed).
void check_breakpoints(const double* b, int M, const char* name)
{
    for (int i = 0; i < M; ++i) {
        if (std::isnan(b[i])) fail("%s must not be NaN.", name);
        if (i > 0 && b[i] < b[i - 1]) fail("%s must not decrease.", name);
    }
}

}  // namespace

void gridval_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    (void)nlhs;  // the number of outputs is not tested
    if (nrhs < 3) mexErrMsgTxt("netsim requires three input arguments.");

    const int d = nrhs - 2;
    if (d > max_dimensions)
        fail("gridval handles at most %d dimensions (one breakpoint input each).", max_dimensions);
    require_double_array(prhs[in_queries], "queries");
    require_double_array(prhs[in_table], "table");
    const int N = to_count(mxGetN(prhs[in_queries]), "queries");
    if (N > 0 && static_cast<std::int64_t>(mxGetM(prhs[in_queries])) != d)
        fail("queries must have %d rows, one per breakpoint input.", d);

    // The breakpoint tables are left to the host to reclaim.
    const double** breakpoints = static_cast<const double**>(mxCalloc(d, sizeof(double*)));
    int* counts = static_cast<int*>(mxCalloc(d, sizeof(int)));
    std::int64_t nodes = 1;
    for (int k = 0; k < d; ++k) {
        const mxArray* b = prhs[in_breakpoints + k];
        char name[48];
        std::snprintf(name, sizeof name, "breakpoints of dimension %d", k + 1);
        require_double_array(b, name);
        counts[k] = to_count(mxGetN(b), name);
        if (counts[k] == 0) fail("%s must not be empty.", name);
        require_values(b, name, counts[k], "its column count");
        breakpoints[k] = mxGetPr(b);
        check_breakpoints(breakpoints[k], counts[k], name);
        nodes = nodes * counts[k] > max_count ? max_count + 1 : nodes * counts[k];
    }
    require_values(prhs[in_table], "table", nodes, "the product of the breakpoint counts");

    plhs[out_values] = mxCreateDoubleMatrix(1, N, mxREAL);
    interpolate_table(mxGetPr(plhs[out_values]), mxGetPr(prhs[in_queries]),
                      mxGetPr(prhs[in_table]), breakpoints, counts, d, N);
}
