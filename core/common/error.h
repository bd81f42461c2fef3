// The outcome of an argument check: success, or the identifier and message
// a front end raises. Fixed buffers, so that checking never allocates.
#pragma once

namespace localmodels {

struct error {
    char id[64];        // "<plugin>:<reason>", empty on success
    char message[256];  // the text the caller sees
};

inline bool failed(const error& e)
{
    return e.id[0] != '\0';
}

inline error no_error()
{
    error e;
    e.id[0] = '\0';
    e.message[0] = '\0';
    return e;
}

// An error with identifier "<plugin>:<reason>" and a printf-style message.
error make_error(const char* plugin, const char* reason, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

}  // namespace localmodels

// Returns the refusal of a check from the enclosing check, if it is one.
#define RETURN_IF_FAILED(check)                           \
    do {                                                  \
        const ::localmodels::error check_result_ = check; \
        if (failed(check_result_)) return check_result_;  \
    } while (0)
