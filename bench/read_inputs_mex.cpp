// read_inputs.mex: the reference call for the one-point timings in Octave.
#include "read_inputs.h"

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    bench::read_inputs_gateway(nlhs, plhs, nrhs, prhs);
}
