#include "core/checks/gridval.h"

#include <cmath>
#include <cstdio>

#include "core/checks/common.h"
#include "core/common/limits.h"

namespace localmodels::checks {

namespace {

constexpr const char* plugin = "gridval";

// The first M breakpoints of dimension k must be usable: none is NaN and
// none is smaller than the one before (repeats are allowed).
error check_order(const double* b, int M, const char* name)
{
    for (int i = 0; i < M; ++i) {
        if (std::isnan(b[i])) return make_error(plugin, "breakpointsNaN", "%s must not be NaN.", name);
        if (i > 0 && b[i] < b[i - 1])
            return make_error(plugin, "breakpointsDecrease", "%s must not decrease.", name);
    }
    return no_error();
}

// The breakpoint input of dimension k (from 0): its count and values.
error check_breakpoints(const arg& b, int k, const double** values, int* count)
{
    char name[48];
    std::snprintf(name, sizeof name, "breakpoints of dimension %d", k + 1);
    RETURN_IF_FAILED(require_double_array(plugin, b, name));
    RETURN_IF_FAILED(to_count(plugin, b.cols, name, count));
    if (*count == 0) return make_error(plugin, "breakpointsEmpty", "%s must not be empty.", name);
    RETURN_IF_FAILED(
        require_values(plugin, "breakpointsTooShort", b, name, *count, "its column count"));
    *values = doubles(b);
    return check_order(*values, *count, name);
}

}  // namespace

error check_gridval(const call& c, gridval::problem* p)
{
    if (c.nrhs < 3)
        return make_error(plugin, "notEnoughArguments", "netsim requires three input arguments.");
    const int d = c.nrhs - 2;
    if (d > gridval::max_dimensions)
        return make_error(plugin, "tooManyDimensions",
                          "gridval handles at most %d dimensions (one breakpoint input each).",
                          gridval::max_dimensions);
    RETURN_IF_FAILED(require_double_array(plugin, c.in[in_queries], "queries"));
    RETURN_IF_FAILED(require_double_array(plugin, c.in[in_table], "table"));
    RETURN_IF_FAILED(to_count(plugin, c.in[in_queries].cols, "queries", &p->N));
    if (p->N > 0 && c.in[in_queries].rows != static_cast<std::uint64_t>(d))
        return make_error(plugin, "queriesRows", "queries must have %d rows, one per breakpoint input.",
                          d);

    std::int64_t nodes = 1;
    for (int k = 0; k < d; ++k) {
        RETURN_IF_FAILED(
            check_breakpoints(c.in[in_breakpoints + k], k, &p->breakpoints[k], &p->counts[k]));
        nodes = nodes * p->counts[k] > max_count ? max_count + 1 : nodes * p->counts[k];
    }
    RETURN_IF_FAILED(require_values(plugin, "tableTooSmall", c.in[in_table], "table", nodes,
                                    "the product of the breakpoint counts"));
    p->queries = doubles(c.in[in_queries]);
    p->table = doubles(c.in[in_table]);
    p->d = d;
    return no_error();
}

}  // namespace localmodels::checks
