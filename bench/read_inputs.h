// A gateway that only reads its inputs (class, size, first value), for
// measuring what a host's call itself costs beside the plug-ins' calls.
#pragma once

#include "mex/mex_host.h"

namespace bench {

void read_inputs_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace bench
