// Host arrays as the core's checks see them, and refusals as host errors.
#include "mex/mex_host.h"

namespace localmodels::mex {

namespace {

checks::elem_class class_of(const mxArray* a)
{
    using checks::elem_class;
    switch (mxGetClassID(a)) {
        case mxDOUBLE_CLASS: return elem_class::double_;
        case mxSINGLE_CLASS: return elem_class::single;
        case mxINT8_CLASS:
        case mxUINT8_CLASS:
        case mxINT16_CLASS:
        case mxUINT16_CLASS:
        case mxINT32_CLASS:
        case mxUINT32_CLASS:
        case mxINT64_CLASS:
        case mxUINT64_CLASS: return elem_class::integer;
        case mxLOGICAL_CLASS: return elem_class::logical;
        case mxCHAR_CLASS: return elem_class::char_;
        case mxCELL_CLASS: return elem_class::cell;
        case mxSTRUCT_CLASS: return elem_class::structure;
        default: return elem_class::other;
    }
}

}  // namespace

checks::arg describe(const mxArray* a, bool second_dimension)
{
    checks::arg d;
    // Cheap queries first: some hosts find the class id by its name, and
    // build the dimension vector (even for its count) only when asked for it.
    d.cls = mxIsDouble(a) ? checks::elem_class::double_ : class_of(a);
    d.complex = mxIsComplex(a);
    d.sparse = mxIsSparse(a);
    d.rows = mxGetM(a);
    d.cols = mxGetN(a);
    d.dim2 = second_dimension ? mxGetDimensions(a)[1] : d.cols;
    d.numel = mxGetNumberOfElements(a);
    // Only arrays of plain elements have data a plug-in may read.
    const bool plain = d.cls != checks::elem_class::cell &&
                       d.cls != checks::elem_class::structure && d.cls != checks::elem_class::other;
    d.data = d.cls == checks::elem_class::double_ ? mxGetPr(a) : plain ? mxGetData(a) : nullptr;
    return d;
}

checks::call describe_call(int nlhs, int nrhs, const mxArray* prhs[], checks::arg* in, int limit,
                           unsigned second_dimensions)
{
    for (int i = 0; i < nrhs && i < limit; ++i)
        in[i] = describe(prhs[i], i < 32 && (second_dimensions >> i & 1));
    return checks::call{nlhs, nrhs, in};
}

void raise_if_failed(const error& e)
{
    if (failed(e)) mexErrMsgIdAndTxt(e.id, "%s", e.message);
}

double* optional_column(int nlhs, mxArray* plhs[], int slot, int p)
{
    if (nlhs <= slot) return nullptr;
    plhs[slot] = mxCreateDoubleMatrix(static_cast<mwSize>(p), 1, mxREAL);
    return mxGetPr(plhs[slot]);
}

void* take_workspace(std::size_t bytes)
{
    return mxCalloc(bytes, 1);
}

}  // namespace localmodels::mex
