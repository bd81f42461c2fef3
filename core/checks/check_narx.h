// The checks of narx_simulate: the signals and orders, the bounds, the
// model's kind, then the model's own arguments through the checks of its
// plug-in. Every refusal's identifier starts with "narx_simulate:".
#pragma once

#include <cstdint>

#include "core/checks/arg.h"
#include "core/checks/check_network.h"
#include "core/common/error.h"
#include "core/narx/narx.h"

namespace localmodels::checks {

enum { in_u, in_y0, in_na, in_nb, in_nk, in_bounds, in_kind, in_model };

// The most inputs narx_simulate reads: a table and a breakpoint row for
// each of gridval's dimensions.
constexpr int narx_inputs = in_model + 1 + gridval::max_dimensions;

// KIND is 'network', 'nearpoly' or 'table', or the number 1, 2 or 3. A
// front end describes a character KIND with its characters one byte each
// (class char_, numel characters at data).
enum class model_kind { network = 1, nearpoly = 2, table = 3 };

struct narx_call {
    narx::orders orders;
    narx::settings run;
    const double* u;   // m-by-T
    const double* y0;  // p rows, at least L columns
    model_kind kind;
    narx::network_model network;    // kind network
    narx::nearpoly_model nearpoly;  // kind nearpoly
    narx::table_model table;        // kind table
};

// The ints the orders need: numel(NA) + numel(NB) + numel(NK), or 0 when the
// call is refused before any of them is read.
std::uint64_t narx_lag_room(const call& c);

// Checks the call and fills a; the orders point into lags, which holds
// narx_lag_room(c) ints.
error check_narx(const call& c, int* lags, narx_call* a);

}  // namespace localmodels::checks
