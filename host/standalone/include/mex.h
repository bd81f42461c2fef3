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

// Array creation and destruction. A struct owns its fields' values:
// destroying it destroys them.
mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity complexity);
mxArray* mxCreateNumericArray(mwSize ndim, const mwSize* dims, mxClassID cls,
                              mxComplexity complexity);
mxArray* mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char** names);
void mxDestroyArray(mxArray* a);

// Structs: fields by name or number; a missing field or index gives null
// (or -1 for the number).
bool mxIsStruct(const mxArray* a);
int mxGetNumberOfFields(const mxArray* a);
const char* mxGetFieldNameByNumber(const mxArray* a, int field);
int mxGetFieldNumber(const mxArray* a, const char* name);
mxArray* mxGetField(const mxArray* a, mwIndex index, const char* name);
mxArray* mxGetFieldByNumber(const mxArray* a, mwIndex index, int field);
// Places `value` in the struct, which then owns it; the previous value is
// destroyed.
void mxSetField(mxArray* a, mwIndex index, const char* name, mxArray* value);

// Char arrays: a new zero-terminated copy from mxCalloc, or null for
// anything else.
char* mxArrayToString(const mxArray* a);

// Text for the user, on standard output.
int mexPrintf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Scratch memory: zero-filled, owned by the current call.
void* mxCalloc(std::size_t count, std::size_t size);
void mxFree(void* block);

// Ends the current call with `message`; never returns.
[[noreturn]] void mexErrMsgTxt(const char* message);

// Ends the current call with identifier `id` and a printf-style message.
[[noreturn]] void mexErrMsgIdAndTxt(const char* id, const char* format, ...);
