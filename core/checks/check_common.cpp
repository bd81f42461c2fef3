// Only a full double array holds as many doubles as it has elements, so
// nothing else is ever read as doubles.
#include "core/checks/check_common.h"

#include "core/common/limits.h"

namespace localmodels::checks {

error require_double_array(const char* plugin, const arg& a, const char* name)
{
    if (a.cls != elem_class::double_ || a.sparse)
        return make_error(plugin, "notDoubleArray", "%s must be a full double array.", name);
    if (a.numel > static_cast<std::uint64_t>(max_count))
        return make_error(plugin, "tooManyElements", "%s has more than %lld elements.", name,
                          static_cast<long long>(max_count));
    return no_error();
}

error require_values(const char* plugin, const char* reason, const arg& a, const char* name,
                     std::int64_t need, const char* what)
{
    if (a.numel < static_cast<std::uint64_t>(need))
        return make_error(plugin, reason, "%s must hold at least %s = %lld values.", name, what,
                          static_cast<long long>(need));
    return no_error();
}

error to_count(const char* plugin, std::uint64_t v, const char* name, int* count)
{
    if (v > static_cast<std::uint64_t>(max_count))
        return make_error(plugin, "dimensionTooLarge", "%s has a dimension larger than %lld.", name,
                          static_cast<long long>(max_count));
    *count = static_cast<int>(v);
    return no_error();
}

error option_or(const char* plugin, const call& c, const optional_input& o, double* value)
{
    *value = o.fallback;
    if (c.nrhs <= o.slot || c.in[o.slot].numel == 0) return no_error();
    const error e = require_double_array(plugin, c.in[o.slot], o.name);
    if (failed(e)) return e;
    *value = doubles(c.in[o.slot])[0];
    return no_error();
}

error int_option_or(const char* plugin, const char* reason, const call& c, const optional_input& o,
                    int* value)
{
    double v;
    const error e = option_or(plugin, c, o, &v);
    if (failed(e)) return e;
    // Truncation maps (-2^31 - 1, 2^31) onto the signed 32-bit range.
    if (!(v > -2147483649.0 && v < 2147483648.0))
        return make_error(plugin, reason,
                          "%s must be a finite number within the 32-bit integer range.", o.name);
    *value = trunc_to_int(v);
    return no_error();
}

}  // namespace localmodels::checks
