// Reading and checking the network parameter set shared by the network
// plug-ins. The sizes are formed in 64 bits, so a product beyond the 32-bit
// range is refused instead of wrapping.
#include "core/checks/check_network.h"

#include "core/checks/check_common.h"
#include "core/common/limits.h"

namespace localmodels::checks {

namespace {

// Inputs 1 to 4 and the options present among inputs 5 to 7 (absent or
// empty: 1, 1 and 2.0). n and c come from the dimensions of centres, p from
// the rows of consequents. X is only checked to be a double array: its shape
// is each plug-in's own.
error read_network(const char* plugin, const call& c, network_call* a)
{
    RETURN_IF_FAILED(require_double_array(plugin, c.in[in_x], "X"));
    RETURN_IF_FAILED(require_double_array(plugin, c.in[in_centres], "centres"));
    RETURN_IF_FAILED(require_double_array(plugin, c.in[in_norm_matrices], "norm_matrices"));
    RETURN_IF_FAILED(require_double_array(plugin, c.in[in_consequents], "consequents"));
    network::view& net = a->net;
    RETURN_IF_FAILED(to_count(plugin, c.in[in_centres].rows, "centres", &net.n));
    RETURN_IF_FAILED(to_count(plugin, c.in[in_centres].dim2, "centres", &net.c));
    RETURN_IF_FAILED(to_count(plugin, c.in[in_consequents].rows, "consequents", &net.p));
    const std::int64_t n = net.n, p = net.p, clusters = net.c;
    // An N-D centres array with an empty trailing dimension holds nothing.
    // Once it holds n*c values, n*n*c and p*(n+1)*c cannot overflow.
    RETURN_IF_FAILED(require_values(plugin, "centresTooSmall", c.in[in_centres], "centres",
                                    n * clusters, "n*c"));
    RETURN_IF_FAILED(require_values(plugin, "normMatricesTooSmall", c.in[in_norm_matrices],
                                    "norm_matrices", n * n * clusters, "n*n*c"));
    RETURN_IF_FAILED(require_values(plugin, "consequentsTooSmall", c.in[in_consequents],
                                    "consequents", p * (n + 1) * clusters, "p*(n+1)*c"));

    int validity_type;
    network::options& o = a->options;
    RETURN_IF_FAILED(int_option_or(plugin, "normalizeOutOfRange", c, {in_normalize, "normalize", 1},
                                   &o.normalize));
    RETURN_IF_FAILED(int_option_or(plugin, "validityTypeOutOfRange", c,
                                   {in_validity_type, "validity_type", 1}, &validity_type));
    RETURN_IF_FAILED(option_or(plugin, c, {in_fuzziness, "fuzziness", 2.0}, &o.fuzziness));
    o.kind = network::validity_of_type(validity_type);

    a->x = doubles(c.in[in_x]);
    net.centres = doubles(c.in[in_centres]);
    net.norm_matrices = doubles(c.in[in_norm_matrices]);
    net.consequents = doubles(c.in[in_consequents]);
    return no_error();
}

// The derivative plug-ins read their point from the first n values of X.
error require_point(const char* plugin, const call& c, const network_call& a)
{
    return require_values(plugin, "xTooShort", c.in[in_x], "X", a.net.n, "n");
}

// X n-by-N, N points (of any height when there are none).
error require_points(const char* plugin, const call& c, const network_call& a, int* N)
{
    RETURN_IF_FAILED(to_count(plugin, c.in[in_x].cols, "X", N));
    if (*N > 0 && c.in[in_x].rows != static_cast<std::uint64_t>(a.net.n))
        return make_error(plugin, "xRows",
                          "X must have n = %d rows, one per input (the rows of centres).", a.net.n);
    return no_error();
}

// One point, or N of them.
error require_x(const char* plugin, const call& c, const network_call& a, int* points)
{
    return points ? require_points(plugin, c, a, points) : require_point(plugin, c, a);
}

// The first byte of the selection input, or all four bits when it is absent
// or empty. Only arrays with plain element data have a first byte to read.
error read_selection(const call& c, unsigned* selection)
{
    *selection = network::select_centres | network::select_norm_matrices |
                 network::select_consequents | network::select_offsets;
    if (c.nrhs <= in_selection || c.in[in_selection].numel == 0) return no_error();
    const arg& s = c.in[in_selection];
    // The first byte of a floating-point number is not its value: 15.0
    // would select nothing.
    if (s.cls == elem_class::double_ || s.cls == elem_class::single)
        return make_error("dmat_params", "selectionNotInteger",
                          "parameter_selection must be an integer array such as uint8(15); the "
                          "first byte of a double is not its value.");
    const bool plain = s.cls == elem_class::double_ || s.cls == elem_class::single ||
                       s.cls == elem_class::integer || s.cls == elem_class::logical ||
                       s.cls == elem_class::char_;
    if (!plain || !s.data)
        return make_error("dmat_params", "badSelection",
                          "parameter_selection must be a numeric, logical or char array.");
    *selection = *static_cast<const unsigned char*>(s.data);
    return no_error();
}

}  // namespace

error check_netsim(const call& c, network_call* a, int* N)
{
    const char* const plugin = "netsim";
    if (c.nrhs < 4)
        return make_error(plugin, "notEnoughArguments", "netsim requires four input arguments.");
    if (c.nrhs > 7)
        return make_error(plugin, "tooManyArguments",
                          "netsim don't handle more than seven input arguments.");
    if (c.nlhs > 1)
        return make_error(plugin, "tooManyOutputs", "netsim requires one output argument.");
    RETURN_IF_FAILED(read_network(plugin, c, a));
    return require_points(plugin, c, *a, N);
}

error check_dmat_inputs(const call& c, network_call* a, int* points)
{
    const char* const plugin = "dmat_inputs";
    if (c.nrhs < 4)
        return make_error(plugin, "notEnoughArguments",
                          "DMAT requires at least four input arguments.");
    if (c.nlhs > 2)
        return make_error(plugin, "tooManyOutputs", "DMAT requires at most two output argument.");
    RETURN_IF_FAILED(read_network(plugin, c, a));
    return require_x(plugin, c, *a, points);
}

error check_dmat_params(const call& c, network_call* a, unsigned* selection, std::int64_t* rows,
                        int* points)
{
    const char* const plugin = "dmat_params";
    if (c.nrhs > 8)
        return make_error(plugin, "tooManyArguments",
                          "DMAT requires four or five input arguments.");
    if (c.nlhs > 2)
        return make_error(plugin, "tooManyOutputs", "DMAT requires at most two output argument.");
    if (c.nrhs < 4)
        return make_error(plugin, "notEnoughArguments",
                          "DMAT requires at least four input arguments.");
    RETURN_IF_FAILED(read_network(plugin, c, a));
    RETURN_IF_FAILED(require_x(plugin, c, *a, points));
    RETURN_IF_FAILED(read_selection(c, selection));
    *rows = network::selected_rows(a->net.n, a->net.p, a->net.c, *selection);
    if (*rows > max_count)
        return make_error(plugin, "tooManyRows",
                          "The selected parameters would give more than %lld rows.",
                          static_cast<long long>(max_count));
    return no_error();
}

}  // namespace localmodels::checks
