// The exported entry point of one plug-in for the real host. Each plug-in is
// built from this file with MEX_GATEWAY naming its gateway, so that gateways
// keep their own names and can share one process in a host that loads them all.
#include "mex/gateways.h"

#if !defined(MEX_GATEWAY)
#error "MEX_GATEWAY must name the plug-in's gateway, e.g. -DMEX_GATEWAY=gridval_gateway"
#endif

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    localmodels::mex::MEX_GATEWAY(nlhs, plhs, nrhs, prhs);
}
