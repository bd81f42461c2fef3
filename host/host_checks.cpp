// Argument checks and conversions shared by every gateway. A real host hands
// mxGetPr a pointer for every class, but only a full double array holds as
// many doubles as it has elements, so nothing else is ever read as doubles.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "host/host.h"

void fail(const char* format, ...)
{
    char message[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    mexErrMsgTxt(message);
    std::abort();  // not reached: mexErrMsgTxt ends the call
}

void require_double_array(const mxArray* a, const char* name)
{
    if (!mxIsDouble(a) || mxIsSparse(a)) fail("%s must be a full double array.", name);
    if (static_cast<std::uint64_t>(mxGetNumberOfElements(a)) > max_count)
        fail("%s has more than %lld elements.", name, static_cast<long long>(max_count));
}

void require_values(const mxArray* a, const char* name, std::int64_t need, const char* what)
{
    if (static_cast<std::uint64_t>(mxGetNumberOfElements(a)) < static_cast<std::uint64_t>(need))
        fail("%s must hold at least %s = %lld values.", name, what, static_cast<long long>(need));
}

int to_count(mwSize v, const char* name)
{
    if (static_cast<std::uint64_t>(v) > max_count)
        fail("%s has a dimension larger than %lld.", name, static_cast<long long>(max_count));
    return static_cast<int>(v);
}

int trunc_to_int(double v)
{
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);  // truncates toward zero
}

double option_or(int nrhs, const mxArray* prhs[], int slot, const char* name, double fallback)
{
    if (nrhs <= slot || mxGetNumberOfElements(prhs[slot]) == 0) return fallback;
    require_double_array(prhs[slot], name);
    return mxGetPr(prhs[slot])[0];
}

int int_option_or(int nrhs, const mxArray* prhs[], int slot, const char* name, int fallback)
{
    const double v = option_or(nrhs, prhs, slot, name, fallback);
    // Truncation maps (-2^31 - 1, 2^31) onto the signed 32-bit range.
    if (!(v > -2147483649.0 && v < 2147483648.0))
        fail("%s must be a finite number within the 32-bit integer range.", name);
    return trunc_to_int(v);
}
