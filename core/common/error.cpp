#include "core/common/error.h"

#include <cstdarg>
#include <cstdio>

namespace localmodels {

error make_error(const char* plugin, const char* reason, const char* format, ...)
{
    error e;
    std::snprintf(e.id, sizeof e.id, "%s:%s", plugin, reason);
    va_list args;
    va_start(args, format);
    std::vsnprintf(e.message, sizeof e.message, format, args);
    va_end(args);
    return e;
}

}  // namespace localmodels
