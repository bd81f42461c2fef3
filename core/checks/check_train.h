// The checks of lmn_train: X and Y, then the option fields, each refused
// with an identifier "lmn_train:<what>".
#pragma once

#include "core/checks/arg.h"
#include "core/common/error.h"
#include "core/training/training.h"

namespace localmodels::checks {

enum { in_train_x, in_train_y, in_train_options, train_inputs };

// The option fields, in the order of train_field_names.
enum train_field {
    field_max_models,
    field_min_samples,
    field_width_factor,
    field_regularization,
    field_x_val,
    field_y_val,
    field_partition_inputs,
    field_regression_inputs,
    field_lm_iterations,
    field_patience,
    field_display,
    train_fields
};

extern const char* const train_field_names[train_fields];

// The field called `name`, or a refusal (lmn_train:unknownOption).
error train_field_of(const char* name, int* field);

// The argument counts, then the options struct input, when given: a 1-by-1
// struct or an empty array.
// `has_fields` is false for the empty array.
error check_train_options_arg(const call& c, bool* has_fields);

struct train_call {
    training::problem problem;
    training::settings settings;
    int display;
};

// The option fields as the host found them: fields[f] describes field f
// where present[f]. The index fields are 1-based when index_base is 1,
// 0-based when it is 0, and are written to partition and regression, which
// hold as many ints as those fields have elements.
struct train_options {
    const arg* fields;
    const bool* present;
    int index_base;
    int* partition;
    int* regression;
};

// X (n-by-N) and Y (p-by-N) from c.in, and the option fields present.
// s.threads is left at 1.
error check_lmn_train(const call& c, const train_options& o, train_call* a);

}  // namespace localmodels::checks
