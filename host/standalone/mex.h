// The MEX operations of our standalone host: the same names and signatures
// as the real host's mex.h, for the subset the plug-ins and their checks use.
// Sizes are unsigned here (as in MATLAB), so code that builds against both
// hosts cannot assume a signed mwSize.
#pragma once

#include <cstddef>

typedef std::size_t mwSize;
typedef std::size_t mwIndex;
// Characters are stored in two bytes, as in MATLAB (Octave's are one byte).
typedef char16_t mxChar;

struct mxArray_tag;
typedef struct mxArray_tag mxArray;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX } mxComplexity;

// Array access.
double* mxGetPr(const mxArray* a);
void* mxGetData(const mxArray* a);
std::size_t mxGetM(const mxArray* a);
std::size_t mxGetN(const mxArray* a);
const mwSize* mxGetDimensions(const mxArray* a);
mwSize mxGetNumberOfDimensions(const mxArray* a);
std::size_t mxGetNumberOfElements(const mxArray* a);
mxClassID mxGetClassID(const mxArray* a);
bool mxIsDouble(const mxArray* a);
bool mxIsComplex(const mxArray* a);
bool mxIsSparse(const mxArray* a);
bool mxIsNumeric(const mxArray* a);
bool mxIsLogical(const mxArray* a);
bool mxIsChar(const mxArray* a);
double mxGetScalar(const mxArray* a);
double mxGetInf(void);

// Array creation and destruction.
mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity complexity);
void mxDestroyArray(mxArray* a);

// Scratch memory: zero-filled, owned by the current call.
void* mxCalloc(std::size_t count, std::size_t size);
void mxFree(void* block);

// Ends the current call with `message`; never returns.
[[noreturn]] void mexErrMsgTxt(const char* message);

// Ends the current call with identifier `id` and a printf-style message.
[[noreturn]] void mexErrMsgIdAndTxt(const char* id, const char* format, ...);
