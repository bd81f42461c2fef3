// Checks every plug-in shares. Each returns no_error() or the refusal to
// raise, whose identifier starts with the plug-in's name.
#pragma once

#include <cstdint>

#include "core/checks/arg.h"
#include "core/common/error.h"

namespace localmodels::checks {

// A full (non-sparse) double array with at most max_count elements. A
// complex array passes; only its real part is read.
error require_double_array(const char* plugin, const arg& a, const char* name);

// At least `need` elements; `what` says how the need is formed ("n*n*c"),
// `reason` completes the identifier.
error require_values(const char* plugin, const char* reason, const arg& a, const char* name,
                     std::int64_t need, const char* what);

// A dimension as a 32-bit count, or a refusal when it exceeds max_count.
error to_count(const char* plugin, std::uint64_t v, const char* name, int* count);

// An optional input: its slot among the inputs, its name in messages and
// its value when it is absent or empty.
struct optional_input {
    int slot;
    const char* name;
    double fallback;
};

// First element of optional input o, or o.fallback when that input is
// absent or empty. A present input must be a full double array.
error option_or(const char* plugin, const call& c, const optional_input& o, double* value);

// The same for an integer option: the value must be finite and within the
// signed 32-bit range, and is truncated toward zero. `reason` completes the
// identifier of the range refusal.
error int_option_or(const char* plugin, const char* reason, const call& c, const optional_input& o,
                    int* value);

}  // namespace localmodels::checks
