// The standalone host: MEX arrays, per-call scratch tracking and error exit
// for running plug-in gateways in-process (tests, fuzzers, benchmarks).
// Each thread has at most one call in progress; its scratch blocks and the
// arrays it creates are owned by that call until it ends.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "host/standalone/standalone.h"

struct mxArray_tag {
    mxClassID cls = mxDOUBLE_CLASS;
    std::vector<mwSize> dims;  // always at least two entries
    bool complex = false;
    bool sparse = false;
    unsigned char* data = nullptr;  // exactly the bytes of the data, or null
    double* imag = nullptr;
    std::vector<std::string> names;  // a struct's fields
    std::vector<mxArray*> values;    // element e's field f at e * names.size() + f
};

namespace {

// What one call in progress owns.
struct call_state {
    std::vector<void*> blocks;      // live mxCalloc blocks
    std::vector<mxArray*> created;  // arrays made by mxCreateDoubleMatrix
    std::size_t calloc_calls = 0;
    std::string printed;
};

thread_local call_state* current = nullptr;

struct host_error : std::runtime_error {
    host_error(const char* message, const char* id) : std::runtime_error(message), identifier(id) {}
    std::string identifier;
};

std::size_t element_size(mxClassID cls)
{
    switch (cls) {
        case mxDOUBLE_CLASS:
        case mxINT64_CLASS:
        case mxUINT64_CLASS: return 8;
        case mxSINGLE_CLASS:
        case mxINT32_CLASS:
        case mxUINT32_CLASS: return 4;
        case mxINT16_CLASS:
        case mxUINT16_CLASS:
        case mxCHAR_CLASS: return 2;
        case mxINT8_CLASS:
        case mxUINT8_CLASS:
        case mxLOGICAL_CLASS: return 1;
        default: return 0;
    }
}

std::size_t count_of(const std::vector<mwSize>& dims)
{
    std::size_t count = 1;
    for (mwSize d : dims) count *= d;
    return count;
}

// A new array with room for exactly `count` elements of its class.
mxArray* new_array(mxClassID cls, std::vector<mwSize> dims, std::size_t count)
{
    while (dims.size() < 2) dims.push_back(dims.empty() ? 0 : 1);
    mxArray* a = new mxArray_tag;
    a->cls = cls;
    a->dims = std::move(dims);
    if (count > 0 && element_size(cls) > 0) {
        a->data = static_cast<unsigned char*>(std::calloc(count, element_size(cls)));
        if (!a->data) {
            delete a;
            mexErrMsgTxt("Out of memory.");
        }
    }
    return a;
}

double* copy_doubles(const std::vector<double>& values, std::size_t count)
{
    if (count == 0) return nullptr;
    double* p = static_cast<double*>(std::calloc(count, sizeof(double)));
    std::copy_n(values.begin(), std::min(count, values.size()), p);
    return p;
}

}  // namespace

double* mxGetPr(const mxArray* a)
{
    return reinterpret_cast<double*>(a->data);
}
void* mxGetData(const mxArray* a)
{
    return a->data;
}
std::size_t mxGetM(const mxArray* a)
{
    return a->dims[0];
}
std::size_t mxGetN(const mxArray* a)
{
    return count_of(std::vector<mwSize>(a->dims.begin() + 1, a->dims.end()));
}
const mwSize* mxGetDimensions(const mxArray* a)
{
    return a->dims.data();
}
mwSize mxGetNumberOfDimensions(const mxArray* a)
{
    return a->dims.size();
}
std::size_t mxGetNumberOfElements(const mxArray* a)
{
    return count_of(a->dims);
}
mxClassID mxGetClassID(const mxArray* a)
{
    return a->cls;
}
bool mxIsDouble(const mxArray* a)
{
    return a->cls == mxDOUBLE_CLASS;
}
bool mxIsComplex(const mxArray* a)
{
    return a->complex;
}
bool mxIsSparse(const mxArray* a)
{
    return a->sparse;
}
bool mxIsLogical(const mxArray* a)
{
    return a->cls == mxLOGICAL_CLASS;
}
bool mxIsChar(const mxArray* a)
{
    return a->cls == mxCHAR_CLASS;
}
bool mxIsNumeric(const mxArray* a)
{
    return a->cls >= mxDOUBLE_CLASS && a->cls <= mxUINT64_CLASS;
}

double mxGetScalar(const mxArray* a)
{
    if (mxGetNumberOfElements(a) == 0 || !a->data) return 0.0;
    const unsigned char* d = a->data;
    auto as = [d](auto v) {
        std::memcpy(&v, d, sizeof v);
        return static_cast<double>(v);
    };
    switch (a->cls) {
        case mxDOUBLE_CLASS: return as(0.0);
        case mxSINGLE_CLASS: return as(0.0f);
        case mxINT8_CLASS: return as(std::int8_t{});
        case mxUINT8_CLASS:
        case mxLOGICAL_CLASS: return as(std::uint8_t{});
        case mxINT16_CLASS: return as(std::int16_t{});
        case mxUINT16_CLASS:
        case mxCHAR_CLASS: return as(std::uint16_t{});
        case mxINT32_CLASS: return as(std::int32_t{});
        case mxUINT32_CLASS: return as(std::uint32_t{});
        case mxINT64_CLASS: return as(std::int64_t{});
        case mxUINT64_CLASS: return as(std::uint64_t{});
        default: return 0.0;
    }
}

double mxGetInf(void)
{
    return INFINITY;
}

mxArray* mxCreateNumericArray(mwSize ndim, const mwSize* dims, mxClassID cls,
                              mxComplexity complexity)
{
    std::vector<mwSize> d(dims, dims + ndim);
    // Trailing singleton dimensions beyond the second are dropped, as hosts do.
    while (d.size() > 2 && d.back() == 1) d.pop_back();
    mxArray* a = new_array(cls, d, count_of(d));
    if (complexity == mxCOMPLEX && cls == mxDOUBLE_CLASS) {
        a->complex = true;
        a->imag = copy_doubles({}, count_of(a->dims));
    }
    if (current) current->created.push_back(a);
    return a;
}

mxArray* mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char** names)
{
    mxArray* a = new_array(mxSTRUCT_CLASS, {m, n}, 0);
    for (int f = 0; f < nfields; ++f) a->names.emplace_back(names[f]);
    a->values.assign(m * n * static_cast<std::size_t>(nfields), nullptr);
    if (current) current->created.push_back(a);
    return a;
}

bool mxIsStruct(const mxArray* a)
{
    return a->cls == mxSTRUCT_CLASS;
}

int mxGetNumberOfFields(const mxArray* a)
{
    return static_cast<int>(a->names.size());
}

const char* mxGetFieldNameByNumber(const mxArray* a, int field)
{
    if (field < 0 || static_cast<std::size_t>(field) >= a->names.size()) return nullptr;
    return a->names[static_cast<std::size_t>(field)].c_str();
}

int mxGetFieldNumber(const mxArray* a, const char* name)
{
    for (std::size_t f = 0; f < a->names.size(); ++f)
        if (a->names[f] == name) return static_cast<int>(f);
    return -1;
}

mxArray* mxGetFieldByNumber(const mxArray* a, mwIndex index, int field)
{
    if (!mxIsStruct(a) || index >= mxGetNumberOfElements(a) || !mxGetFieldNameByNumber(a, field))
        return nullptr;
    return a->values[index * a->names.size() + static_cast<std::size_t>(field)];
}

mxArray* mxGetField(const mxArray* a, mwIndex index, const char* name)
{
    return mxGetFieldByNumber(a, index, mxGetFieldNumber(a, name));
}

void mxSetField(mxArray* a, mwIndex index, const char* name, mxArray* value)
{
    const int f = mxGetFieldNumber(a, name);
    if (!mxIsStruct(a) || f < 0 || index >= mxGetNumberOfElements(a)) return;
    mxArray*& slot = a->values[index * a->names.size() + static_cast<std::size_t>(f)];
    if (slot && slot != value) mxDestroyArray(slot);
    slot = value;
    if (current && value) {  // owned by the struct from now on
        auto& made = current->created;
        made.erase(std::remove(made.begin(), made.end(), value), made.end());
    }
}

char* mxArrayToString(const mxArray* a)
{
    if (a->cls != mxCHAR_CLASS) return nullptr;
    const std::size_t count = mxGetNumberOfElements(a);
    char* text = static_cast<char*>(mxCalloc(count + 1, 1));
    for (std::size_t e = 0; e < count; ++e) {
        std::uint16_t code;
        std::memcpy(&code, a->data + 2 * e, 2);
        text[e] = code < 128 ? static_cast<char>(code) : '?';
    }
    return text;
}

int mexPrintf(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (current)
        current->printed += text;
    else
        std::fputs(text, stdout);
    return length;
}

mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity complexity)
{
    mxArray* a = new_array(mxDOUBLE_CLASS, {m, n}, m * n);
    if (complexity == mxCOMPLEX) {
        a->complex = true;
        a->imag = copy_doubles({}, m * n);
    }
    if (current) current->created.push_back(a);
    return a;
}

void mxDestroyArray(mxArray* a)
{
    if (!a) return;
    if (current) {
        auto& made = current->created;
        made.erase(std::remove(made.begin(), made.end(), a), made.end());
    }
    for (mxArray* v : a->values) mxDestroyArray(v);
    std::free(a->data);
    std::free(a->imag);
    delete a;
}

void* mxCalloc(std::size_t count, std::size_t size)
{
    void* block = std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
    if (!block) mexErrMsgTxt("Out of memory.");
    if (current) {
        current->blocks.push_back(block);
        ++current->calloc_calls;
    }
    return block;
}

void mxFree(void* block)
{
    if (!block) return;
    if (current) {
        auto& live = current->blocks;
        auto it = std::find(live.begin(), live.end(), block);
        if (it == live.end()) {
            std::fprintf(stderr, "mxFree: block %p is not a live block of this call\n", block);
            std::abort();
        }
        *it = live.back();
        live.pop_back();
    }
    std::free(block);
}

void mexErrMsgTxt(const char* message)
{
    throw host_error(message, "");
}

void mexErrMsgIdAndTxt(const char* id, const char* format, ...)
{
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    throw host_error(message, id);
}

namespace standalone {

array make_array(const std::vector<mwSize>& dims, const std::vector<double>& values)
{
    mxArray* a = new_array(mxDOUBLE_CLASS, dims, count_of(dims));
    std::copy_n(values.begin(), std::min(values.size(), count_of(dims)), mxGetPr(a));
    return array(a);
}

array make_matrix(mwSize m, mwSize n, const std::vector<double>& values)
{
    return make_array({m, n}, values);
}

array make_scalar(double value)
{
    return make_array({1, 1}, {value});
}
array make_empty()
{
    return make_array({0, 0});
}

array make_complex(mwSize m, mwSize n, const std::vector<double>& re, const std::vector<double>& im)
{
    array a = make_matrix(m, n, re);
    a->complex = true;
    a->imag = copy_doubles(im, m * n);
    return a;
}

array make_class(mxClassID cls, const std::vector<mwSize>& dims,
                 const std::vector<unsigned char>& bytes)
{
    mxArray* a = new_array(cls, dims, count_of(dims));
    const std::size_t size = count_of(dims) * element_size(cls);
    std::copy_n(bytes.begin(), std::min(size, bytes.size()), a->data);
    return array(a);
}

array make_uint8(const std::vector<mwSize>& dims, const std::vector<unsigned char>& values)
{
    return make_class(mxUINT8_CLASS, dims, values);
}

array make_sparse(mwSize m, mwSize n, const std::vector<double>& nonzeros)
{
    // Like a real host, keep room for at least one nonzero.
    mxArray* a = new_array(mxDOUBLE_CLASS, {m, n}, std::max<std::size_t>(nonzeros.size(), 1));
    std::copy(nonzeros.begin(), nonzeros.end(), mxGetPr(a));
    a->sparse = true;
    return array(a);
}

array make_unbacked(const std::vector<mwSize>& dims)
{
    return array(new_array(mxDOUBLE_CLASS, dims, 0));
}

array duplicate(const mxArray* a)
{
    mxArray* d = new_array(a->cls, a->dims, 0);
    const std::size_t bytes = count_of(a->dims) * element_size(a->cls);
    if (a->data) {
        const std::size_t held = a->sparse ? std::max<std::size_t>(1, bytes) : bytes;
        d->data = static_cast<unsigned char*>(std::calloc(held, 1));
        std::memcpy(d->data, a->data, held);
    }
    if (a->imag)
        d->imag = copy_doubles(std::vector<double>(a->imag, a->imag + count_of(a->dims)),
                               count_of(a->dims));
    d->complex = a->complex;
    d->sparse = a->sparse;
    d->names = a->names;
    for (const mxArray* v : a->values) d->values.push_back(v ? duplicate(v).release() : nullptr);
    return array(d);
}

array make_struct(const std::vector<field>& fields)
{
    std::vector<const char*> names;
    for (const field& f : fields) names.push_back(f.name.c_str());
    call_state* outer = current;
    current = nullptr;  // made by the test, not by a call
    mxArray* a = mxCreateStructMatrix(1, 1, static_cast<int>(names.size()), names.data());
    for (const field& f : fields)
        mxSetField(a, 0, f.name.c_str(), f.value ? duplicate(f.value).release() : nullptr);
    current = outer;
    return array(a);
}

array make_string(const std::string& text)
{
    mxArray* a = new_array(mxCHAR_CLASS, {1, text.size()}, text.size());
    for (std::size_t e = 0; e < text.size(); ++e) {
        const std::uint16_t code = static_cast<unsigned char>(text[e]);
        std::memcpy(a->data + 2 * e, &code, 2);
    }
    return array(a);
}

std::vector<double> values(const mxArray* a)
{
    const double* p = mxGetPr(a);
    return p ? std::vector<double>(p, p + mxGetNumberOfElements(a)) : std::vector<double>();
}

std::vector<mwSize> dims(const mxArray* a)
{
    return a->dims;
}

call_result call(gateway g, int nlhs, const std::vector<const mxArray*>& inputs)
{
    call_result result;
    call_state state;
    call_state* outer = current;
    current = &state;

    // Exactly sized tables, so that a slot past the end is caught.
    const int nrhs = static_cast<int>(inputs.size());
    const int slots = std::max(nlhs, 1);
    std::unique_ptr<const mxArray*[]> prhs(new const mxArray*[inputs.size()]);
    std::copy(inputs.begin(), inputs.end(), prhs.get());
    std::unique_ptr<mxArray*[]> plhs(new mxArray*[slots]());

    try {
        g(nlhs, plhs.get(), nrhs, prhs.get());
        result.ok = true;
    } catch (const host_error& e) {
        result.error = e.what();
        result.identifier = e.identifier;
    }
    current = outer;

    result.calloc_calls = state.calloc_calls;
    result.printed = state.printed;
    result.blocks_left = state.blocks.size();
    for (void* block : state.blocks) std::free(block);

    for (int s = 0; s < slots; ++s) {
        auto made = std::find(state.created.begin(), state.created.end(), plhs[s]);
        if (result.ok && plhs[s] && made != state.created.end()) {
            result.outputs.emplace_back(plhs[s]);
            state.created.erase(made);
        } else {
            result.outputs.emplace_back(nullptr);
        }
    }
    for (mxArray* a : state.created) mxDestroyArray(a);
    return result;
}

}  // namespace standalone
