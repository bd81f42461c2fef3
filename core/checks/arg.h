// What the checks know of one argument: a small description that every
// front end builds from its own array type (an mxArray, a numpy array), so
// that all of them refuse the same calls with the same messages.
#pragma once

#include <cstdint>

namespace localmodels::checks {

enum class elem_class { double_, single, integer, logical, char_, cell, structure, other };

struct arg {
    elem_class cls;
    bool complex;  // only the real part is read
    bool sparse;
    std::uint64_t rows;  // first dimension
    std::uint64_t dim2;  // second dimension
    std::uint64_t cols;  // product of every dimension after the first
    std::uint64_t numel;
    const void* data;  // first real element; null when there is none
};

// The numbers of an argument known to be a full double array.
inline const double* doubles(const arg& a)
{
    return static_cast<const double*>(a.data);
}

// The call as a front end received it: counts and the first inputs.
struct call {
    int nlhs;
    int nrhs;
    const arg* in;  // min(nrhs, what the plug-in may read) descriptions
};

}  // namespace localmodels::checks
