#include "core/checks/check_gridval.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "core/checks/check_common.h"

namespace localmodels::checks {

namespace {

constexpr const char* plugin = "gridval";

// The first M breakpoints of dimension k must be usable: none is NaN and
// none is smaller than the one before (repeats are allowed).
error check_order(const double* b, int M, const char* name)
{
    for (int i = 0; i < M; ++i) {
        if (std::isnan(b[i]))
            return make_error(plugin, "breakpointsNaN", "%s must not be NaN.", name);
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
    // A column or a matrix would pass its column count off as the count of
    // breakpoints and interpolate the wrong values without a word.
    if (b.rows != 1 || b.dim2 != b.cols)
        return make_error(plugin, "breakpointsNotRow",
                          "%s must be a row vector (1-by-M); this one is %llu-by-%llu.", name,
                          static_cast<unsigned long long>(b.rows),
                          static_cast<unsigned long long>(b.cols));
    RETURN_IF_FAILED(to_count(plugin, b.cols, name, count));
    if (*count == 0) return make_error(plugin, "breakpointsEmpty", "%s must not be empty.", name);
    *values = doubles(b);
    return check_order(*values, *count, name);
}

// A table of exactly one value per node: a forgotten breakpoint input, or a
// table meant for other breakpoints, would otherwise read part of it.
error check_table_size(const arg& table, const int* counts, int d)
{
    std::uint64_t nodes = 1;
    bool beyond = false;  // the product does not fit 64 bits
    for (int k = 0; k < d; ++k)
        beyond =
            beyond || __builtin_mul_overflow(nodes, static_cast<std::uint64_t>(counts[k]), &nodes);
    if (!beyond && table.numel == nodes) return no_error();
    char need[32];
    if (beyond)
        std::snprintf(need, sizeof need, "more than %llu", static_cast<unsigned long long>(~0ull));
    else
        std::snprintf(need, sizeof need, "%llu", static_cast<unsigned long long>(nodes));
    return make_error(plugin, "tableSize",
                      "table has %llu values but the breakpoint counts need %s.",
                      static_cast<unsigned long long>(table.numel), need);
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
        return make_error(plugin, "queriesRows",
                          "queries must have %d rows, one per breakpoint input.", d);

    for (int k = 0; k < d; ++k)
        RETURN_IF_FAILED(
            check_breakpoints(c.in[in_breakpoints + k], k, &p->breakpoints[k], &p->counts[k]));
    RETURN_IF_FAILED(check_table_size(c.in[in_table], p->counts, d));
    p->queries = doubles(c.in[in_queries]);
    p->table = doubles(c.in[in_table]);
    p->d = d;
    return no_error();
}

}  // namespace localmodels::checks
