// nearpoly: predictions at the rows of query_x from the examples in the rows
// of data_x and data_y. Checks the arguments in the documented order, then
// that the examples and weights are usable numbers, creates the outputs and
// runs the queries.
#include <cmath>
#include <cstddef>

#include "nearpoly/nearpoly.h"

namespace {

enum { in_data_x, in_data_y, in_query_x, in_id_par, in_comb_par, in_cov_init, in_weights };
enum { out_prediction, out_coefs };

const char* const input_names[] = {"data_x", "data_y", "query_x", "id_par",
                                   "comb_par", "cov_init", "weights"};

void require_finite(const double* v, std::size_t count, const char* name)
{
    for (std::size_t i = 0; i < count; ++i)
        if (!std::isfinite(v[i])) fail("%s must not contain NaN or infinite values.", name);
}

// The weights of the n input dimensions: finite and not negative, so that
// every distance is a comparable non-negative number.
void check_weights(const mxArray* w, int n)
{
    require_values(w, "weights", n, "n");
    const double* v = mxGetPr(w);
    for (int j = 0; j < n; ++j)
        if (!(v[j] >= 0.0 && std::isfinite(v[j])))
            fail("weights must be finite and not negative.");
}

}  // namespace

void nearpoly_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (nrhs < 4) mexErrMsgTxt("Not enough arguments.");
    for (int i = 0; i < nrhs && i <= in_weights; ++i)
        require_double_array(prhs[i], input_names[i]);

    call_args a;
    a.nrhs = nrhs;
    a.nlhs = nlhs;
    a.N = to_count(mxGetM(prhs[in_data_x]), "data_x");
    a.n = to_count(mxGetN(prhs[in_data_x]), "data_x");
    const int M = to_count(mxGetM(prhs[in_query_x]), "query_x");
    a.rows_y = static_cast<std::int64_t>(mxGetM(prhs[in_data_y]));
    a.cols_y = static_cast<std::int64_t>(mxGetN(prhs[in_data_y]));
    a.cols_q = static_cast<std::int64_t>(mxGetN(prhs[in_query_x]));
    a.rows_id = static_cast<std::int64_t>(mxGetM(prhs[in_id_par]));
    a.cols_id = static_cast<std::int64_t>(mxGetN(prhs[in_id_par]));
    a.id_par = mxGetPr(prhs[in_id_par]);
    a.comb_count = nrhs > in_comb_par
                       ? static_cast<std::int64_t>(mxGetNumberOfElements(prhs[in_comb_par]))
                       : 0;
    a.comb_par = nrhs > in_comb_par ? mxGetPr(prhs[in_comb_par]) : nullptr;
    a.has_cov_init = nrhs > in_cov_init && mxGetNumberOfElements(prhs[in_cov_init]) > 0;
    a.cov_init = a.has_cov_init ? mxGetScalar(prhs[in_cov_init]) : 0.0;
    settings s;
    if (const char* message = decode_settings(a, &s)) mexErrMsgTxt(message);

    const bool weighted = nrhs > in_weights && mxGetNumberOfElements(prhs[in_weights]) > 0;
    if (weighted) check_weights(prhs[in_weights], a.n);
    const std::size_t N = static_cast<std::size_t>(a.N);
    require_finite(mxGetPr(prhs[in_data_x]), N * a.n, "data_x");
    require_finite(mxGetPr(prhs[in_data_y]), N, "data_y");

    plhs[out_prediction] = mxCreateDoubleMatrix(M, 1, mxREAL);  // also when nlhs == 0
    double* coefs = nullptr;
    if (s.want_coefs) {
        plhs[out_coefs] = mxCreateDoubleMatrix(s.n_coef, M, mxREAL);
        coefs = mxGetPr(plhs[out_coefs]);
    }
    predict_queries(mxGetPr(plhs[out_prediction]), coefs, mxGetPr(prhs[in_data_x]),
                    mxGetPr(prhs[in_data_y]), mxGetPr(prhs[in_query_x]),
                    weighted ? mxGetPr(prhs[in_weights]) : nullptr, a.N, a.n, M, s);
}
