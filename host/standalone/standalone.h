// The standalone host's own side: making input arrays, running a gateway the
// way a host does, and reading back its outputs, error and scratch use.
// Arrays are allocated at exactly the size of their data, so that a read past
// them is caught by the address sanitizer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/standalone/include/mex.h"

namespace standalone {

struct array_deleter {
    void operator()(mxArray* a) const { mxDestroyArray(a); }
};
using array = std::unique_ptr<mxArray, array_deleter>;

// A real double array of the given dimensions; `values` in column-major
// order, zero-filled when shorter than the element count.
array make_array(const std::vector<mwSize>& dims, const std::vector<double>& values = {});
array make_matrix(mwSize m, mwSize n, const std::vector<double>& values = {});
array make_scalar(double value);
array make_empty();  // 0-by-0 double

// A complex double array: separate real and imaginary parts.
array make_complex(mwSize m, mwSize n, const std::vector<double>& re,
                   const std::vector<double>& im);

// An array of any numeric, logical or char class, with its raw data bytes.
array make_class(mxClassID cls, const std::vector<mwSize>& dims,
                 const std::vector<unsigned char>& bytes = {});

// A one-byte unsigned integer array.
array make_uint8(const std::vector<mwSize>& dims, const std::vector<unsigned char>& values);

// A sparse double m-by-n array holding only `nonzeros` as data, like a real
// host's sparse storage: shorter than m*n doubles.
array make_sparse(mwSize m, mwSize n, const std::vector<double>& nonzeros);

// A double array of the given dimensions with no data at all. Only its sizes
// may be read; it stands in for arrays too large to allocate.
array make_unbacked(const std::vector<mwSize>& dims);

// A 1-by-1 struct of the given fields, each a copy of its array (null
// for an empty field).
struct field {
    std::string name;
    const mxArray* value;
};
array make_struct(const std::vector<field>& fields);

// A 1-by-length char array of `text`.
array make_string(const std::string& text);

// A deep copy of any array the host makes.
array duplicate(const mxArray* a);

// The values of a real double array, column-major.
std::vector<double> values(const mxArray* a);
std::vector<mwSize> dims(const mxArray* a);

using gateway = void (*)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

struct call_result {
    bool ok = false;
    std::string error;             // the message of mexErrMsgTxt when !ok
    std::string identifier;        // of mexErrMsgIdAndTxt; empty for mexErrMsgTxt
    std::vector<array> outputs;    // one per slot, null where the gateway left none
    std::size_t calloc_calls = 0;  // mxCalloc calls made by the call
    std::size_t blocks_left = 0;   // blocks not released by the plug-in itself
    std::string printed;           // what the call wrote with mexPrintf
};

// Runs a gateway as a host does: output slots for max(nlhs, 1) arrays, the
// inputs as given. Blocks left by the plug-in are reclaimed afterwards, and
// on error every output is discarded.
call_result call(gateway g, int nlhs, const std::vector<const mxArray*>& inputs);

}  // namespace standalone
