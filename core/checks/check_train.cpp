// lmn_train's checks. Every number the training reads is tested here: the
// data must be finite (a NaN would make every criterion NaN and every split
// look alike), counts must be whole numbers, and the index lists distinct
// inputs within range.
#include "core/checks/check_train.h"

#include <cmath>
#include <cstring>

#include "core/checks/check_common.h"
#include "core/common/limits.h"

namespace localmodels::checks {

const char* const train_field_names[train_fields] = {
    "max_models",       "min_samples",       "width_factor",  "regularization", "x_val",  "y_val",
    "partition_inputs", "regression_inputs", "lm_iterations", "patience",       "display"};

namespace {

const char* const plugin = "lmn_train";

error require_finite(const arg& a, const char* name)
{
    const double* v = doubles(a);
    for (std::uint64_t e = 0; e < a.numel; ++e)
        if (!std::isfinite(v[e]))
            return make_error(plugin, "nonFinite", "%s must hold finite numbers only.", name);
    return no_error();
}

error read_data(const arg& a, const char* name)
{
    RETURN_IF_FAILED(require_double_array(plugin, a, name));
    return require_finite(a, name);
}

// A real finite double scalar.
error scalar_field(const arg& a, const char* reason, const char* name, double* v)
{
    if (a.cls != elem_class::double_ || a.sparse || a.complex || a.numel != 1 ||
        !std::isfinite(doubles(a)[0]))
        return make_error(plugin, reason, "%s must be a real finite scalar.", name);
    *v = doubles(a)[0];
    return no_error();
}

// A whole number in [low, max_count].
error count_field(const arg& a, const char* reason, const char* name, int low, int* v)
{
    double d = 0;
    RETURN_IF_FAILED(scalar_field(a, reason, name, &d));
    if (d != std::floor(d) || d < low || d > static_cast<double>(max_count))
        return make_error(plugin, reason, "%s must be a whole number of at least %d.", name, low);
    *v = static_cast<int>(d);
    return no_error();
}

// Field f: distinct whole numbers from base to n - 1 + base, as 0-based
// indices.
error index_field(const train_options& o, int f, const char* reason, int n, int* out, int* count)
{
    const arg& a = o.fields[f];
    const char* name = train_field_names[f];
    const int base = o.index_base;
    if (a.cls != elem_class::double_ || a.sparse || a.complex)
        return make_error(plugin, reason, "%s must be a real double vector.", name);
    const double* v = doubles(a);
    for (std::uint64_t e = 0; e < a.numel; ++e) {
        const double k = v[e] - base;
        if (!(k >= 0 && k < n && k == std::floor(k)))
            return make_error(plugin, reason, "%s must hold input indices from %d to %d.", name,
                              base, n - 1 + base);
        out[e] = static_cast<int>(k);
        for (std::uint64_t q = 0; q < e; ++q)
            if (out[q] == out[e])
                return make_error(plugin, reason, "%s must not repeat an input.", name);
    }
    *count = static_cast<int>(a.numel);
    return no_error();
}

error check_counts(const call& c)
{
    if (c.nrhs < 2) return make_error(plugin, "notEnoughArguments", "lmn_train requires X and Y.");
    if (c.nrhs > 3)
        return make_error(plugin, "tooManyArguments", "lmn_train takes X, Y and OPTS only.");
    if (c.nlhs > 4)
        return make_error(plugin, "tooManyOutputs", "lmn_train gives at most four outputs.");
    return no_error();
}

error read_xy(const call& c, training::problem* pr)
{
    const arg &x = c.in[in_train_x], &y = c.in[in_train_y];
    RETURN_IF_FAILED(read_data(x, "X"));
    RETURN_IF_FAILED(read_data(y, "Y"));
    RETURN_IF_FAILED(to_count(plugin, x.rows, "X", &pr->n));
    RETURN_IF_FAILED(to_count(plugin, x.cols, "X", &pr->N));
    RETURN_IF_FAILED(to_count(plugin, y.rows, "Y", &pr->p));
    if (y.cols != x.cols)
        return make_error(plugin, "yColumns", "Y must have a column per sample: %d columns, as X.",
                          pr->N);
    if (pr->N == 0)
        return make_error(plugin, "noSamples", "X and Y must hold at least one sample.");
    if (pr->p == 0) return make_error(plugin, "noOutputs", "Y must have at least one row.");
    pr->x = doubles(x);
    pr->y = doubles(y);
    pr->x_val = pr->y_val = nullptr;
    pr->N_val = 0;
    return no_error();
}

error read_validation(const arg* fields, const bool* present, training::problem* pr)
{
    if (present[field_x_val] != present[field_y_val])
        return make_error(plugin, "validationPair", "x_val and y_val must be given together.");
    if (!present[field_x_val]) return no_error();
    const arg &x = fields[field_x_val], &y = fields[field_y_val];
    RETURN_IF_FAILED(read_data(x, "x_val"));
    RETURN_IF_FAILED(read_data(y, "y_val"));
    RETURN_IF_FAILED(to_count(plugin, x.cols, "x_val", &pr->N_val));
    if (x.rows != static_cast<std::uint64_t>(pr->n) || pr->N_val == 0)
        return make_error(plugin, "xValShape",
                          "x_val must have n = %d rows, one per input, and at least one column.",
                          pr->n);
    if (y.rows != static_cast<std::uint64_t>(pr->p) || y.cols != x.cols)
        return make_error(plugin, "yValShape",
                          "y_val must have p = %d rows and a column per column of x_val.", pr->p);
    pr->x_val = doubles(x);
    pr->y_val = doubles(y);
    return no_error();
}

error read_scalars(const arg* f, const bool* present, train_call* a)
{
    training::settings& s = a->settings;
    if (present[field_max_models])
        RETURN_IF_FAILED(
            count_field(f[field_max_models], "badMaxModels", "max_models", 1, &s.max_models));
    if (present[field_width_factor]) {
        RETURN_IF_FAILED(
            scalar_field(f[field_width_factor], "badWidthFactor", "width_factor", &s.width_factor));
        if (!(s.width_factor > 0))
            return make_error(plugin, "badWidthFactor", "width_factor must be positive.");
    }
    if (present[field_regularization]) {
        RETURN_IF_FAILED(scalar_field(f[field_regularization], "badRegularization",
                                      "regularization", &s.regularization));
        if (!(s.regularization >= 0))
            return make_error(plugin, "badRegularization", "regularization must not be negative.");
    }
    if (present[field_lm_iterations])
        RETURN_IF_FAILED(count_field(f[field_lm_iterations], "badLmIterations", "lm_iterations", 0,
                                     &s.lm_iterations));
    if (present[field_patience])
        RETURN_IF_FAILED(count_field(f[field_patience], "badPatience", "patience", 1, &s.patience));
    if (present[field_display]) {
        RETURN_IF_FAILED(count_field(f[field_display], "badDisplay", "display", 0, &a->display));
        if (a->display > 1) return make_error(plugin, "badDisplay", "display must be 0 or 1.");
    }
    return no_error();
}

error read_indices(const train_options& o, train_call* a)
{
    training::settings& s = a->settings;
    const int n = a->problem.n;
    if (o.present[field_partition_inputs]) {
        RETURN_IF_FAILED(index_field(o, field_partition_inputs, "badPartitionInputs", n,
                                     o.partition, &s.n_partition));
        s.partition = o.partition;
    }
    if (o.present[field_regression_inputs]) {
        RETURN_IF_FAILED(index_field(o, field_regression_inputs, "badRegressionInputs", n,
                                     o.regression, &s.n_regression));
        s.regression = o.regression;
    }
    return no_error();
}

error read_min_samples(const arg* f, const bool* present, training::settings* s)
{
    s->min_samples = training::default_min_samples(s->n_regression);
    if (!present[field_min_samples]) return no_error();
    RETURN_IF_FAILED(
        scalar_field(f[field_min_samples], "badMinSamples", "min_samples", &s->min_samples));
    if (!(s->min_samples >= 0))
        return make_error(plugin, "badMinSamples", "min_samples must not be negative.");
    return no_error();
}

// The training holds c_max validities of every sample, and a Jacobian of
// every sample and parameter when refining.
error check_size(const train_call& a)
{
    const training::settings& s = a.settings;
    const double rows = static_cast<double>(a.problem.N) * a.problem.p;
    const double per_model = 2.0 * (s.partition ? s.n_partition : a.problem.n) +
                             ((s.regression ? s.n_regression : a.problem.n) + 1.0) * a.problem.p;
    double need = static_cast<double>(a.problem.N) * s.max_models;
    if (s.lm_iterations > 0) need = need + rows * per_model * s.max_models;
    if (need > static_cast<double>(max_count))
        return make_error(plugin, "tooLarge",
                          "The samples times max_models (and the refined parameters) exceed %lld "
                          "values.",
                          static_cast<long long>(max_count));
    return no_error();
}

}  // namespace

error train_field_of(const char* name, int* field)
{
    for (int f = 0; f < train_fields; ++f)
        if (std::strcmp(name, train_field_names[f]) == 0) {
            *field = f;
            return no_error();
        }
    return make_error(plugin, "unknownOption", "lmn_train has no option '%.100s'.", name);
}

error check_train_options_arg(const call& c, bool* has_fields)
{
    *has_fields = false;
    RETURN_IF_FAILED(check_counts(c));
    if (c.nrhs <= in_train_options) return no_error();
    const arg& o = c.in[in_train_options];
    if (o.cls != elem_class::structure && o.numel == 0) return no_error();
    if (o.cls != elem_class::structure || o.numel != 1)
        return make_error(plugin, "optionsNotStruct", "OPTS must be a 1-by-1 struct.");
    *has_fields = true;
    return no_error();
}

error check_lmn_train(const call& c, const train_options& o, train_call* a)
{
    RETURN_IF_FAILED(check_counts(c));
    RETURN_IF_FAILED(read_xy(c, &a->problem));
    a->settings = training::default_settings(a->problem.n);
    a->display = 0;
    RETURN_IF_FAILED(read_validation(o.fields, o.present, &a->problem));
    RETURN_IF_FAILED(read_scalars(o.fields, o.present, a));
    RETURN_IF_FAILED(read_indices(o, a));
    RETURN_IF_FAILED(read_min_samples(o.fields, o.present, &a->settings));
    return check_size(*a);
}

}  // namespace localmodels::checks
