// What every plug-in includes: the host's MEX interface (the real host's
// mex.h, or our standalone host's) and the argument checks all gateways share.
// Sizes are 32-bit in the plug-ins; every check ends the call through
// mexErrMsgTxt with a message that names the argument.
#pragma once

#include <cstdint>

#if defined(MEX_STANDALONE)
#include "host/standalone/mex.h"
#else
#include "mex.h"
#endif

// Largest element count, dimension or count a plug-in accepts.
constexpr std::int64_t max_count = 2147483647;

// Ends the call with a printf-style message; never returns.
[[noreturn]] void fail(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Ends the call unless `a` is a full (non-sparse) double array with at most
// max_count elements. A complex array passes; only its real part is read.
void require_double_array(const mxArray* a, const char* name);

// Ends the call unless `a` holds at least `need` elements; `what` says how
// the need is formed (for example "n*n*c").
void require_values(const mxArray* a, const char* name, std::int64_t need, const char* what);

// A dimension as a 32-bit count; ends the call when it exceeds max_count.
int to_count(mwSize v, const char* name);

// Truncation toward zero, defined for every double: NaN gives 0 and values
// beyond the 32-bit range give its nearest end.
int trunc_to_int(double v);

// First element of optional input `slot`, or `fallback` when that input is
// absent or empty. A present input must be a full double array.
double option_or(int nrhs, const mxArray* prhs[], int slot, const char* name, double fallback);

// The same for an integer option: the value must be finite and within the
// signed 32-bit range, and is truncated toward zero.
int int_option_or(int nrhs, const mxArray* prhs[], int slot, const char* name, int fallback);
