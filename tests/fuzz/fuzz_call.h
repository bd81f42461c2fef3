// Drives one gateway through the standalone host with a call decoded from
// fuzzer bytes: the numbers of inputs and outputs asked for, and for each
// input its class, shape (any number of dimensions, empty included) and
// values (special and arbitrary doubles). Every array is allocated at its
// exact size, so the address sanitizer catches any read past it.
//
// Byte layout, read in order (missing bytes read as 0):
//   nlhs (mod 4), nrhs (mod max_inputs + 1), four shared sizes (mod 10),
//   then per input: a kind byte, one byte per dimension, one byte per value
//   (and 8 more for a raw double).
//   kind: bits 0-2 class (0-4 double, 5 uint8, 6 another class chosen by
//         the next byte, 7 complex or sparse when two-dimensional, chosen
//         by the byte after the values), bits 3-4 the number of dimensions
//         minus 1.
//   dimension byte: bit 7 set takes shared size (b & 3), else b % 7.
//   value byte: v % 4 == 0 reads a raw double, else a palette entry.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/standalone/standalone.h"

namespace fuzzing {

class byte_source {
public:
    byte_source(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0; }
    double raw_double()
    {
        std::uint8_t bytes[8];
        for (std::uint8_t& b : bytes) b = next();
        double v;
        std::memcpy(&v, bytes, sizeof v);
        return v;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

inline double palette(std::uint8_t i)
{
    static const double values[] = {0,
                                    1,
                                    -1,
                                    2,
                                    3,
                                    0.5,
                                    -0.5,
                                    1.5,
                                    4,
                                    10,
                                    100,
                                    NAN,
                                    INFINITY,
                                    -INFINITY,
                                    1e308,
                                    -1e308,
                                    5e-324,
                                    2.2250738585072014e-308,
                                    1e-300,
                                    2147483647.0,
                                    2147483648.0,
                                    -2147483649.0,
                                    1e10,
                                    15,
                                    12,
                                    0.25,
                                    0.7,
                                    1e6,
                                    30,
                                    7,
                                    5,
                                    8,
                                    -0.0,
                                    1e-20,
                                    2.2251e-308,
                                    1e300,
                                    -3};
    return values[i % (sizeof values / sizeof values[0])];
}

// At most this many elements per input keeps every call fast.
constexpr std::size_t max_elements = 512;

inline standalone::array make_input(byte_source& in, const unsigned* shared)
{
    const std::uint8_t kind = in.next();
    const int ndims = 1 + (kind >> 3 & 3);
    std::vector<mwSize> dims;
    std::size_t count = 1;
    for (int k = 0; k < ndims; ++k) {
        const std::uint8_t b = in.next();
        mwSize d = (b & 0x80) ? shared[b & 3] : b % 7;
        if (count * d > max_elements) d = 1;
        dims.push_back(d);
        count *= d;
    }
    if (dims.size() == 1) dims.push_back(1);

    const int cls = kind & 7;
    if (cls == 5 || cls == 6) {
        static const mxClassID others[] = {mxSINGLE_CLASS, mxINT32_CLASS, mxLOGICAL_CLASS,
                                           mxCHAR_CLASS,   mxCELL_CLASS,  mxINT8_CLASS};
        const mxClassID id = cls == 5 ? mxUINT8_CLASS : others[in.next() % 6];
        std::vector<unsigned char> bytes(count * 8);
        for (unsigned char& b : bytes) b = in.next();
        return standalone::make_class(id, dims, bytes);
    }
    std::vector<double> values(count);
    for (double& v : values) {
        const std::uint8_t b = in.next();
        v = b % 4 == 0 ? in.raw_double() : palette(b >> 2);
    }
    if (cls == 7 && dims.size() == 2) {
        if (in.next() % 2 == 1) return standalone::make_complex(dims[0], dims[1], values, values);
        values.resize(std::min<std::size_t>(values.size(), 3));  // a few nonzeros
        return standalone::make_sparse(dims[0], dims[1], values);
    }
    return standalone::make_array(dims, values);
}

// What a successful call must have returned: the documented dimensions of
// its outputs, given the inputs and the number of outputs asked for.
using shape_check = bool (*)(const standalone::call_result& r,
                             const std::vector<const mxArray*>& in, int nlhs);

// Dimensions of output `slot` equal {rows, cols}.
inline bool has_dims(const standalone::call_result& r, std::size_t slot, mwSize rows, mwSize cols)
{
    if (slot >= r.outputs.size() || !r.outputs[slot]) return false;
    return standalone::dims(r.outputs[slot].get()) == std::vector<mwSize>{rows, cols};
}

[[noreturn]] inline void broken(const char* what, const standalone::call_result& r)
{
    std::fprintf(stderr, "fuzz: %s (%s: %s)\n", what, r.identifier.c_str(), r.error.c_str());
    std::abort();
}

// Runs the call and aborts, for the fuzzer to report, when a success has
// other dimensions than documented, a refusal has no message or no
// identifier, or any scratch block of the call outlives it.
inline int run(standalone::gateway g, int max_inputs, const std::uint8_t* data, std::size_t size,
               shape_check documented)
{
    byte_source in(data, size);
    const int nlhs = in.next() % 4;
    const int nrhs = in.next() % (max_inputs + 1);
    unsigned shared[4];
    for (unsigned& s : shared) s = in.next() % 10;
    std::vector<standalone::array> inputs;
    std::vector<const mxArray*> raw;
    for (int i = 0; i < nrhs; ++i) {
        inputs.push_back(make_input(in, shared));
        raw.push_back(inputs.back().get());
    }
    const standalone::call_result r = standalone::call(g, nlhs, raw);
    if (std::getenv("FUZZ_SHOW"))  // to check what a corpus file calls
        std::fprintf(stderr, "nlhs %d nrhs %d: %s\n", nlhs, nrhs, r.ok ? "ok" : r.error.c_str());
    if (r.blocks_left != 0) broken("scratch outlived the call", r);
    if (!r.ok && (r.error.empty() || r.identifier.empty())) broken("refusal without text", r);
    if (r.ok && !documented(r, raw, nlhs)) broken("outputs of undocumented dimensions", r);
    return 0;
}

}  // namespace fuzzing
