// The checks of gridval, in the documented order.
#pragma once

#include "core/checks/arg.h"
#include "core/common/error.h"
#include "core/gridval/gridval.h"

namespace localmodels::checks {

enum { in_queries, in_table, in_breakpoints };

// The most inputs gridval reads; a call with more is refused unread.
constexpr int gridval_inputs = in_breakpoints + gridval::max_dimensions;

error check_gridval(const call& c, gridval::problem* p);

}  // namespace localmodels::checks
