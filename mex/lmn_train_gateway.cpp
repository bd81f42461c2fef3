// lmn_train: a local-model network trained on samples X (n-by-N) and Y
// (p-by-N), with the options of an optional struct.
#include <cstring>

#include "core/checks/check_train.h"
#include "mex/gateways.h"

namespace localmodels::mex {

namespace {

enum { out_centres, out_norm_matrices, out_consequents, out_info };

// The struct's fields described by name; an unknown name is refused.
void describe_fields(const mxArray* opts, checks::arg* fields, bool* present)
{
    for (int f = 0; f < mxGetNumberOfFields(opts); ++f) {
        int id;
        raise_if_failed(checks::train_field_of(mxGetFieldNameByNumber(opts, f), &id));
        const mxArray* v = mxGetFieldByNumber(opts, 0, f);
        if (!v) continue;  // an empty field of a new struct: the default
        fields[id] = describe(v);
        present[id] = true;
    }
}

// Ints for an index field's values, null when the field is absent.
int* take_indices(const checks::arg* fields, const bool* present, int f)
{
    return present[f] ? static_cast<int*>(mxCalloc(fields[f].numel + 1, sizeof(int))) : nullptr;
}

bool print_step(void*, int step, int models, double criterion)
{
    mexPrintf("lmn_train: step %d, %d models, criterion %.6g\n", step, models, criterion);
    return true;
}

// Room for the results of max_models models, in one block.
training::result take_result(const training::problem& pr, int c_max, double** block)
{
    const std::size_t n = static_cast<std::size_t>(pr.n), p = static_cast<std::size_t>(pr.p);
    const std::size_t c = static_cast<std::size_t>(c_max);
    const std::size_t counts[] = {n * c, n * n * c, p * (n + 1) * c, n * c, n * c, c, c};
    std::size_t total = 0;
    for (std::size_t k : counts) total += k;
    double* at = static_cast<double*>(mxCalloc(total, sizeof(double)));
    *block = at;
    double* parts[7];
    for (int k = 0; k < 7; ++k) {
        parts[k] = at;
        at += counts[k];
    }
    return training::result{parts[0], parts[1], parts[2], parts[3], parts[4], parts[5],
                            parts[6], 0,        0,        false,    0.0};
}

mxArray* copy_of(const double* v, mwSize rows, mwSize cols)
{
    mxArray* a = mxCreateDoubleMatrix(rows, cols, mxREAL);
    if (rows * cols > 0) std::memcpy(mxGetPr(a), v, rows * cols * sizeof(double));
    return a;
}

mxArray* copy_of3(const double* v, mwSize rows, mwSize cols, mwSize pages)
{
    const mwSize dims[] = {rows, cols, pages};
    mxArray* a = mxCreateNumericArray(3, dims, mxDOUBLE_CLASS, mxREAL);
    const mwSize count = rows * cols * pages;
    if (count > 0) std::memcpy(mxGetPr(a), v, count * sizeof(double));
    return a;
}

mxArray* make_info(const training::result& r, const training::problem& pr)
{
    const char* names[] = {"criterion", "models", "lower",      "upper",
                           "options",   "sse",    "interrupted"};
    mxArray* info = mxCreateStructMatrix(1, 1, 7, names);
    const mwSize n = static_cast<mwSize>(pr.n), c = static_cast<mwSize>(r.models);
    const mwSize steps = static_cast<mwSize>(r.steps);
    const network::options o = training::trained_options();
    const double options[] = {static_cast<double>(o.normalize), 1.0, o.fuzziness};
    const double interrupted = r.interrupted ? 1.0 : 0.0;
    mxSetField(info, 0, "criterion", copy_of(r.criterion, 1, steps));
    mxSetField(info, 0, "models", copy_of(r.models_per_step, 1, steps));
    mxSetField(info, 0, "lower", copy_of(r.lower, n, c));
    mxSetField(info, 0, "upper", copy_of(r.upper, n, c));
    mxSetField(info, 0, "options", copy_of(options, 1, 3));
    mxSetField(info, 0, "sse", copy_of(&r.sse, 1, 1));
    mxSetField(info, 0, "interrupted", copy_of(&interrupted, 1, 1));
    return info;
}

void place_outputs(int nlhs, mxArray* plhs[], const training::result& r,
                   const training::problem& pr)
{
    const mwSize n = static_cast<mwSize>(pr.n), p = static_cast<mwSize>(pr.p);
    const mwSize c = static_cast<mwSize>(r.models);
    plhs[out_centres] = copy_of(r.centres, n, c);  // also when nlhs == 0
    if (nlhs > out_norm_matrices) plhs[out_norm_matrices] = copy_of3(r.norm_matrices, n, n, c);
    if (nlhs > out_consequents) plhs[out_consequents] = copy_of3(r.consequents, p, n + 1, c);
    if (nlhs > out_info) plhs[out_info] = make_info(r, pr);
}

}  // namespace

void lmn_train_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    checks::arg in[checks::train_inputs];
    const checks::call c = describe_call(nlhs, nrhs, prhs, in, checks::train_inputs);
    bool has_fields;
    raise_if_failed(checks::check_train_options_arg(c, &has_fields));
    checks::arg fields[checks::train_fields];
    bool present[checks::train_fields] = {};
    if (has_fields) describe_fields(prhs[checks::in_train_options], fields, present);
    int* partition = take_indices(fields, present, checks::field_partition_inputs);
    int* regression = take_indices(fields, present, checks::field_regression_inputs);
    checks::train_call a;
    raise_if_failed(checks::check_lmn_train(c, {fields, present, 1, partition, regression}, &a));

    training::settings& s = a.settings;
    s.threads = training::threads_for(a.problem, s);
    if (a.display) s.progress = print_step;
    double* block;
    training::result r = take_result(a.problem, s.max_models, &block);
    const std::size_t bytes = training::workspace_size(a.problem, s);
    void* memory = take_workspace(bytes);
    training::train(&r, a.problem, s, memory, bytes);
    place_outputs(nlhs, plhs, r, a.problem);
    mxFree(memory);
    mxFree(block);
    mxFree(partition);
    mxFree(regression);
}

}  // namespace localmodels::mex
