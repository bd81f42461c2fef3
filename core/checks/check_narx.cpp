// narx_simulate's checks. The model's arguments are checked by its own
// plug-in's checks, given as that plug-in would receive them for one point
// (a point whose values are never read); their refusals keep their reason
// and message under narx_simulate's name.
#include "core/checks/check_narx.h"

#include <cmath>
#include <cstring>

#include "core/checks/check_common.h"
#include "core/checks/check_gridval.h"
#include "core/checks/check_nearpoly.h"
#include "core/common/limits.h"

namespace localmodels::checks {

namespace {

constexpr const char* plugin = "narx_simulate";

// A model check's refusal under our name: "<plugin>:<reason>" becomes
// "narx_simulate:<reason>".
error as_ours(const error& e)
{
    if (!failed(e)) return e;
    const char* colon = std::strchr(e.id, ':');
    return make_error(plugin, colon ? colon + 1 : e.id, "%s", e.message);
}

// A full double array of `count` elements, each a non-negative integer.
error read_lags(const arg& a, const char* name, int* lags)
{
    const double* v = doubles(a);
    for (std::uint64_t i = 0; i < a.numel; ++i) {
        if (!(v[i] >= 0 && v[i] <= static_cast<double>(max_count) && v[i] == std::floor(v[i])))
            return make_error(plugin, "badOrders",
                              "%s must hold non-negative integers (below 2^31).", name);
        lags[i] = static_cast<int>(v[i]);
    }
    return no_error();
}

// The orders from NA, NB and NK into lags, and the regressor count and start
// within the 32-bit range.
error check_orders(const call& c, int* lags, narx::orders* o)
{
    RETURN_IF_FAILED(to_count(plugin, c.in[in_na].numel, "NA", &o->p));
    RETURN_IF_FAILED(to_count(plugin, c.in[in_nb].numel, "NB", &o->m));
    if (o->p == 0)
        return make_error(plugin, "noOutputs",
                          "NA must have one element per output, at least one.");
    if (c.in[in_nk].numel != c.in[in_nb].numel)
        return make_error(plugin, "nkLength",
                          "NK must have one element per input, as NB has (%d); it has %llu.", o->m,
                          static_cast<unsigned long long>(c.in[in_nk].numel));
    int* na = lags;
    int* nb = na + o->p;
    int* nk = nb + o->m;
    RETURN_IF_FAILED(read_lags(c.in[in_na], "NA", na));
    RETURN_IF_FAILED(read_lags(c.in[in_nb], "NB", nb));
    RETURN_IF_FAILED(read_lags(c.in[in_nk], "NK", nk));
    std::int64_t n = 0, L = 0;
    for (int i = 0; i < o->p; ++i) n += na[i];
    for (int j = 0; j < o->m; ++j) {
        n += nb[j];
        if (nb[j] > 0) L = std::max<std::int64_t>(L, std::int64_t{nk[j]} + nb[j] - 1);
    }
    if (n > max_count || L > max_count)
        return make_error(plugin, "ordersTooLarge",
                          "The regressor count and every nk + nb - 1 must be below 2^31.");
    *o = narx::orders{na, nb, nk, o->p, o->m};
    return no_error();
}

// U m-by-T and Y0 p-by-(L or more); T is U's column count.
error check_signals(const call& c, const narx::orders& o, narx_call* a)
{
    const arg& u = c.in[in_u];
    const arg& y0 = c.in[in_y0];
    RETURN_IF_FAILED(to_count(plugin, u.cols, "U", &a->run.T));
    if (a->run.T > 0 && u.rows != static_cast<std::uint64_t>(o.m))
        return make_error(plugin, "uRows", "U must have m = %d rows, one per element of NB.", o.m);
    const int L = narx::start(o);
    if (y0.cols < static_cast<std::uint64_t>(L))
        return make_error(plugin, "y0TooShort",
                          "Y0 must have at least L = %d columns, the initial outputs.", L);
    if (y0.cols > 0 && y0.rows != static_cast<std::uint64_t>(o.p))
        return make_error(plugin, "y0Rows", "Y0 must have p = %d rows, one per element of NA.",
                          o.p);
    a->u = doubles(u);
    a->y0 = doubles(y0);
    return no_error();
}

// BOUNDS: [] for none, or 2-by-p of (lower; upper), no NaN, lower <= upper.
error check_bounds(const arg& b, int p, const double** bounds)
{
    *bounds = nullptr;
    if (b.numel == 0) return no_error();
    if (b.rows != 2 || b.cols != static_cast<std::uint64_t>(p) || b.dim2 != b.cols)
        return make_error(plugin, "boundsShape",
                          "BOUNDS must be [] or 2-by-p (p = %d): a row of lower and a row of "
                          "upper bounds.",
                          p);
    const double* v = doubles(b);
    for (int j = 0; j < p; ++j) {
        if (std::isnan(v[2 * j]) || std::isnan(v[2 * j + 1]))
            return make_error(plugin, "boundsNaN",
                              "BOUNDS must not be NaN; -Inf or Inf leaves a side open.");
        if (v[2 * j] > v[2 * j + 1])
            return make_error(plugin, "boundsOrder",
                              "The lower bound of output %d is above its upper bound.", j + 1);
    }
    *bounds = v;
    return no_error();
}

bool named(const arg& k, const char* name)
{
    const std::size_t length = std::strlen(name);
    return k.numel == length && k.data && std::memcmp(k.data, name, length) == 0;
}

error check_kind(const arg& k, model_kind* kind)
{
    if (k.cls == elem_class::char_) {
        if (named(k, "network"))
            *kind = model_kind::network;
        else if (named(k, "nearpoly"))
            *kind = model_kind::nearpoly;
        else if (named(k, "table"))
            *kind = model_kind::table;
        else
            return make_error(plugin, "badKind", "KIND must be 'network', 'nearpoly' or 'table'.");
        return no_error();
    }
    const double v = k.cls == elem_class::double_ && !k.sparse && k.numel == 1 ? doubles(k)[0] : 0;
    if (v != 1 && v != 2 && v != 3)
        return make_error(
            plugin, "badKind",
            "KIND must be 'network', 'nearpoly' or 'table', or the number 1, 2 or 3.");
    *kind = static_cast<model_kind>(static_cast<int>(v));
    return no_error();
}

// The description of an array of rows-by-cols doubles that is never read.
arg unread(std::uint64_t rows, std::uint64_t cols)
{
    return arg{elem_class::double_, false, false, rows, cols, cols, rows * cols, nullptr};
}

// CENTRES, NORM_MATRICES, CONSEQUENTS and up to three options, as netsim's
// inputs 2 to 7.
error check_network(const call& c, int n, int p, narx::network_model* m)
{
    const int count = c.nrhs - in_model;
    if (count < 3 || count > 6)
        return make_error(plugin, "modelArguments",
                          "The network model is CENTRES, NORM_MATRICES, CONSEQUENTS and up to "
                          "three options (normalize, validity_type, fuzziness).");
    arg in[network_inputs];
    in[in_x] = unread(0, 0);
    for (int i = 0; i < count; ++i) in[in_centres + i] = c.in[in_model + i];
    network_call a;
    int N;
    RETURN_IF_FAILED(as_ours(check_netsim(call{1, 1 + count, in}, &a, &N)));
    if (a.net.n != n)
        return make_error(
            plugin, "modelInputs",
            "centres must have n = %d rows, one per regressor (the sum of NA and NB).", n);
    if (a.net.p != p)
        return make_error(plugin, "modelOutputs",
                          "consequents must have p = %d rows, one per element of NA.", p);
    *m = narx::network_model{a.net, a.options};
    return no_error();
}

// DATA_X, DATA_Y, ID_PAR and the optional COMB_PAR, COV_INIT and WEIGHTS, as
// nearpoly takes them, for one output.
error check_nearpoly_model(const call& c, int n, int p, narx::nearpoly_model* m)
{
    const int count = c.nrhs - in_model;
    if (count < 3 || count > 6)
        return make_error(plugin, "modelArguments",
                          "The nearpoly model is DATA_X, DATA_Y, ID_PAR and optionally COMB_PAR, "
                          "COV_INIT and WEIGHTS.");
    if (p != 1)
        return make_error(plugin, "nearpolyOutputs",
                          "A nearpoly model has one output; NA must have one element, not %d.", p);
    arg in[nearpoly_inputs];
    in[in_data_x] = c.in[in_model];
    in[in_data_y] = c.in[in_model + 1];
    // The queries are the run's regressors, as many columns as data_x.
    in[in_query_x] = unread(1, c.in[in_model].cols);
    for (int i = 2; i < count; ++i) in[in_query_x + i - 1] = c.in[in_model + i];
    RETURN_IF_FAILED(as_ours(check_nearpoly(call{1, count + 1, in}, &m->problem, &m->settings)));
    if (m->problem.n != n)
        return make_error(plugin, "modelInputs",
                          "data_x must have n = %d columns, one per regressor (the sum of NA and "
                          "NB).",
                          n);
    return no_error();
}

// TABLE (M1-by-…-by-Mn-by-p) and one breakpoint row per regressor, each
// output's table checked as gridval checks its table.
error check_table(const call& c, int n, int p, narx::table_model* m)
{
    if (n == 0 || n > gridval::max_dimensions)
        return make_error(plugin, "tableRegressors",
                          "A table model needs from 1 to %d regressors; NA and NB give %d.",
                          gridval::max_dimensions, n);
    if (c.nrhs - in_model != 1 + n)
        return make_error(plugin, "modelArguments",
                          "The table model is TABLE and n = %d breakpoint rows, one per regressor.",
                          n);
    const arg& table = c.in[in_model];
    RETURN_IF_FAILED(require_double_array(plugin, table, "table"));
    const std::uint64_t slab = table.numel / static_cast<std::uint64_t>(p);
    arg in[gridval_inputs];
    in[in_queries] = unread(static_cast<std::uint64_t>(n), 0);
    in[in_table] = table;
    in[in_table].numel = slab;
    for (int k = 0; k < n; ++k) in[in_breakpoints + k] = c.in[in_model + 1 + k];
    const error e = check_gridval(call{1, 2 + n, in}, &m->grid);
    if ((failed(e) && std::strcmp(e.id, "gridval:tableSize") == 0) ||
        (!failed(e) && slab * static_cast<std::uint64_t>(p) != table.numel))
        return make_error(plugin, "tableSize",
                          "table must hold a value at every node of the breakpoints for each of "
                          "the p = %d outputs (M1*...*Mn*p values); it has %llu.",
                          p, static_cast<unsigned long long>(table.numel));
    return as_ours(e);
}

error check_model(const call& c, const narx::orders& o, narx_call* a)
{
    const int n = narx::regressor_count(o);
    RETURN_IF_FAILED(check_kind(c.in[in_kind], &a->kind));
    switch (a->kind) {
        case model_kind::network: return check_network(c, n, o.p, &a->network);
        case model_kind::nearpoly: return check_nearpoly_model(c, n, o.p, &a->nearpoly);
        default: return check_table(c, n, o.p, &a->table);
    }
}

}  // namespace

std::uint64_t narx_lag_room(const call& c)
{
    if (c.nrhs <= in_nk) return 0;
    std::uint64_t room = 0;
    for (int i = in_na; i <= in_nk; ++i) {
        // What check_narx refuses before it reads any lag needs no room.
        if (failed(require_double_array(plugin, c.in[i], "lags"))) return 0;
        room += c.in[i].numel;
    }
    return room;
}

error check_narx(const call& c, int* lags, narx_call* a)
{
    if (c.nrhs < in_model + 1)
        return make_error(plugin, "notEnoughArguments",
                          "narx_simulate requires U, Y0, NA, NB, NK, BOUNDS, KIND and the model's "
                          "arguments.");
    if (c.nrhs > narx_inputs)
        return make_error(plugin, "tooManyArguments",
                          "narx_simulate takes at most %d input arguments.", narx_inputs);
    if (c.nlhs > 1)
        return make_error(plugin, "tooManyOutputs", "narx_simulate returns one output.");
    const char* const names[] = {"U", "Y0", "NA", "NB", "NK", "BOUNDS"};
    for (int i = in_u; i <= in_bounds; ++i)
        RETURN_IF_FAILED(require_double_array(plugin, c.in[i], names[i]));
    RETURN_IF_FAILED(check_orders(c, lags, &a->orders));
    RETURN_IF_FAILED(check_signals(c, a->orders, a));
    RETURN_IF_FAILED(check_bounds(c.in[in_bounds], a->orders.p, &a->run.bounds));
    return check_model(c, a->orders, a);
}

}  // namespace localmodels::checks
