// gridval: multilinear interpolation in a d-dimensional lookup table, at the
// N query points in the columns of a d-by-N matrix.
#include "core/checks/check_gridval.h"
#include "mex/gateways.h"

namespace localmodels::mex {

namespace {

enum { out_values };

}  // namespace

void gridval_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    // The number of outputs is not tested; only the breakpoints' second
    // dimensions are read.
    checks::arg in[checks::gridval_inputs];
    gridval::problem p;
    raise_if_failed(checks::check_gridval(
        describe_call(nlhs, nrhs, prhs, in, checks::gridval_inputs, ~0u << checks::in_breakpoints),
        &p));

    plhs[out_values] = mxCreateDoubleMatrix(1, p.N, mxREAL);
    const threads::plan r(gridval::threads_for(p, 0, p.N));
    const std::size_t bytes = gridval::memory_size(p, r.threads);
    void* memory = take_workspace(bytes);
    gridval::interpolate(mxGetPr(plhs[out_values]), p, {0, p.N, r, memory, bytes});
    mxFree(memory);
}

}  // namespace localmodels::mex
