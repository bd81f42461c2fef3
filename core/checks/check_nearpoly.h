// The checks of nearpoly, in the documented order: argument count, element
// classes, sizes, id_par and comb_par, then the values of the weights and
// examples.
#pragma once

#include "core/checks/arg.h"
#include "core/common/error.h"
#include "core/nearpoly/nearpoly.h"

namespace localmodels::checks {

enum { in_data_x, in_data_y, in_query_x, in_id_par, in_comb_par, in_cov_init, in_weights };

// The most inputs nearpoly reads.
constexpr int nearpoly_inputs = in_weights + 1;

error check_nearpoly(const call& c, nearpoly::problem* p, nearpoly::settings* s);

}  // namespace localmodels::checks
