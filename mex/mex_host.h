// The host's MEX interface, the mex.h of whichever host the build puts on
// the include path, and what every gateway shares: describing arguments for
// the core's checks, raising their refusals, and the call's workspace.
#pragma once

#include <cstddef>

#include "mex.h"

#include "core/checks/arg.h"
#include "core/common/error.h"

namespace localmodels::mex {

// What the core's checks need to know of one host array. Without
// `second_dimension`, dim2 is taken to be cols (as for any 2-D array): the
// dimension vector costs an allocation in some hosts.
checks::arg describe(const mxArray* a, bool second_dimension = true);

// The call's first min(nrhs, limit) inputs described into in[limit]; bit i
// of `second_dimensions` asks for the true second dimension of input i.
checks::call describe_call(int nlhs, int nrhs, const mxArray* prhs[], checks::arg* in, int limit,
                           unsigned second_dimensions = ~0u);

// Ends the call with the refusal's identifier and message when e is one.
void raise_if_failed(const error& e);

// Creates output `slot` as a p-by-1 matrix and returns its data when the
// caller asked for that output, else null: a host provides only
// max(nlhs, 1) output slots, so nothing is placed beyond them.
double* optional_column(int nlhs, mxArray* plhs[], int slot, int p);

// The call's one scratch block of `bytes`, zero-filled; release it with
// mxFree before the gateway returns.
void* take_workspace(std::size_t bytes);

}  // namespace localmodels::mex
