// nearpoly: predictions at the rows of query_x from the examples in the rows
// of data_x and data_y.
#include "core/checks/check_nearpoly.h"
#include "mex/gateways.h"

namespace localmodels::mex {

namespace {

enum { out_prediction, out_coefs };

}  // namespace

void nearpoly_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    checks::arg in[checks::nearpoly_inputs];
    nearpoly::problem p;
    nearpoly::settings s;
    raise_if_failed(checks::check_nearpoly(
        describe_call(nlhs, nrhs, prhs, in, checks::nearpoly_inputs), &p, &s));

    plhs[out_prediction] = mxCreateDoubleMatrix(p.M, 1, mxREAL);  // also when nlhs == 0
    double* coefs = nullptr;
    if (s.want_coefs) {
        plhs[out_coefs] = mxCreateDoubleMatrix(s.n_coef, p.M, mxREAL);
        coefs = mxGetPr(plhs[out_coefs]);
    }
    const threads::plan r(nearpoly::threads_for(p, s, 0, p.M));
    const std::size_t bytes = nearpoly::memory_size(p, s, r.threads);
    void* memory = take_workspace(bytes);
    nearpoly::predict({mxGetPr(plhs[out_prediction]), coefs}, p, s, {0, p.M, r}, {memory, bytes});
    mxFree(memory);
}

}  // namespace localmodels::mex
