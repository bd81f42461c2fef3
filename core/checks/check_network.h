// The checks of the three network plug-ins, in the documented order, and
// the reading of the parameter set they share.
#pragma once

#include <cstdint>

#include "core/checks/arg.h"
#include "core/common/error.h"
#include "core/network/network.h"

namespace localmodels::checks {

enum {
    in_x,
    in_centres,
    in_norm_matrices,
    in_consequents,
    in_normalize,
    in_validity_type,
    in_fuzziness,
    in_selection
};

// The most inputs any network plug-in reads.
constexpr int network_inputs = in_selection + 1;

struct network_call {
    const double* x;
    network::view net;
    network::options options;
};

// netsim: X n-by-N, N points. Refuses what the plug-in refuses.
error check_netsim(const call& c, network_call* a, int* N);

// dmat_inputs: the point is the first n values of X. With `points`, a host's
// batch: X n-by-N holds N points, checked as netsim's.
error check_dmat_inputs(const call& c, network_call* a, int* points = nullptr);

// dmat_params: also the selection byte and the row count it gives.
error check_dmat_params(const call& c, network_call* a, unsigned* selection, std::int64_t* rows,
                        int* points = nullptr);

}  // namespace localmodels::checks
