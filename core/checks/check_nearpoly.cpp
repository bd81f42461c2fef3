#include "core/checks/check_nearpoly.h"

#include <cmath>
#include <cstddef>

#include "core/checks/check_common.h"

namespace localmodels::checks {

namespace {

constexpr const char* plugin = "nearpoly";

const char* const input_names[] = {"data_x",   "data_y",   "query_x", "id_par",
                                   "comb_par", "cov_init", "weights"};

error require_finite(const double* v, std::size_t count, const char* name, const char* reason)
{
    for (std::size_t i = 0; i < count; ++i)
        if (!std::isfinite(v[i]))
            return make_error(plugin, reason, "%s must not contain NaN or infinite values.", name);
    return no_error();
}

// The weights of the n input dimensions: finite and not negative, so that
// every distance is a comparable non-negative number.
error check_weights(const arg& w, int n)
{
    RETURN_IF_FAILED(require_values(plugin, "weightsTooShort", w, "weights", n, "n"));
    const double* v = doubles(w);
    for (int j = 0; j < n; ++j)
        if (!(v[j] >= 0.0 && std::isfinite(v[j])))
            return make_error(plugin, "badWeights", "weights must be finite and not negative.");
    return no_error();
}

// The shapes and parameter inputs as decode_settings reads them.
error describe_call(const call& c, nearpoly::call_args* a, int* M)
{
    const arg* in = c.in;
    a->nrhs = c.nrhs;
    a->nlhs = c.nlhs;
    RETURN_IF_FAILED(to_count(plugin, in[in_data_x].rows, "data_x", &a->N));
    RETURN_IF_FAILED(to_count(plugin, in[in_data_x].cols, "data_x", &a->n));
    RETURN_IF_FAILED(to_count(plugin, in[in_query_x].rows, "query_x", M));
    a->rows_y = static_cast<std::int64_t>(in[in_data_y].rows);
    a->cols_y = static_cast<std::int64_t>(in[in_data_y].cols);
    a->cols_q = static_cast<std::int64_t>(in[in_query_x].cols);
    a->rows_id = static_cast<std::int64_t>(in[in_id_par].rows);
    a->cols_id = static_cast<std::int64_t>(in[in_id_par].cols);
    a->id_par = doubles(in[in_id_par]);
    const bool has_comb = c.nrhs > in_comb_par;
    a->comb_count = has_comb ? static_cast<std::int64_t>(in[in_comb_par].numel) : 0;
    a->comb_par = has_comb ? doubles(in[in_comb_par]) : nullptr;
    a->has_cov_init = c.nrhs > in_cov_init && in[in_cov_init].numel > 0;
    a->cov_init = a->has_cov_init ? doubles(in[in_cov_init])[0] : 0.0;
    return no_error();
}

}  // namespace

error check_nearpoly(const call& c, nearpoly::problem* p, nearpoly::settings* s)
{
    if (c.nrhs < 4) return make_error(plugin, "notEnoughArguments", "Not enough arguments.");
    for (int i = 0; i < c.nrhs && i < nearpoly_inputs; ++i)
        RETURN_IF_FAILED(require_double_array(plugin, c.in[i], input_names[i]));

    nearpoly::call_args a;
    RETURN_IF_FAILED(describe_call(c, &a, &p->M));
    RETURN_IF_FAILED(nearpoly::decode_settings(a, s));

    const bool weighted = c.nrhs > in_weights && c.in[in_weights].numel > 0;
    if (weighted) RETURN_IF_FAILED(check_weights(c.in[in_weights], a.n));
    const std::size_t N = static_cast<std::size_t>(a.N), n = static_cast<std::size_t>(a.n);
    RETURN_IF_FAILED(require_finite(doubles(c.in[in_data_x]), N * n, "data_x", "dataXNotFinite"));
    RETURN_IF_FAILED(require_finite(doubles(c.in[in_data_y]), N, "data_y", "dataYNotFinite"));

    p->data_x = doubles(c.in[in_data_x]);
    p->data_y = doubles(c.in[in_data_y]);
    p->query_x = doubles(c.in[in_query_x]);
    p->weights = weighted ? doubles(c.in[in_weights]) : nullptr;
    p->N = a.N;
    p->n = a.n;
    return no_error();
}

}  // namespace localmodels::checks
