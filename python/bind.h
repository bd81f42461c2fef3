// What the Python front end's files share: arrays described as the MEX
// describes mxArrays, refusals raised as localmodels.Error, and the
// registration of each file's functions.
#pragma once

#include <pybind11/pybind11.h>

#include "core/checks/arg.h"
#include "core/common/error.h"

namespace localmodels::python {

// A float64 Fortran-ordered array, as describe.cpp describes it.
checks::arg describe(const pybind11::handle& h);

// The call's first min(nrhs, limit) arguments described into in[limit].
checks::call describe_call(int nlhs, const pybind11::list& args, checks::arg* in, int limit);

// Raises localmodels.Error with the refusal's message and identifier.
void raise_if_failed(const error& e);

// localmodels._core.lmn_train.
void bind_train(pybind11::module_& m);

}  // namespace localmodels::python
