// What the files of the extension localmodels._core share: arguments
// described as the MEX's are, refusals raised as localmodels.Error, and the
// core's work in chunks with the GIL released and Ctrl-C answered.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "core/checks/arg.h"
#include "core/common/chunks.h"
#include "core/common/error.h"
#include "core/common/threads.h"

namespace localmodels::python {

namespace py = pybind11;

// What describe.cpp gives for a full real double array of h's dimensions.
checks::arg describe(const py::handle& h);

// The call's first min(nrhs, limit) arguments described into in[limit].
checks::call describe_call(int nlhs, const py::list& args, checks::arg* in, int limit);

// Raises localmodels.Error with the refusal's message and identifier.
void raise_if_failed(const error& e);

// Runs the core's work(first, last, plan) over [begin, end) in chunks, each
// with the GIL released; between chunks a pending signal (Ctrl-C) ends the
// call with its exception. `chunk` > 0 fixes the chunk size (tests).
template <class F, class E>
void in_chunks(int begin, int end, int chunk, const threads::plan& r, F work, E chunk_end)
{
    const bool done = chunks::run(
        begin, end, chunk, r,
        [&work](int first, int last, const threads::plan& part) {
            py::gil_scoped_release release;
            work(first, last, part);
        },
        chunk_end, [] { return PyErr_CheckSignals() == 0; });
    if (!done) throw py::error_already_set();
}

template <class F>
void in_chunks(int begin, int end, int chunk, const threads::plan& r, F work)
{
    in_chunks(begin, end, chunk, r, work, chunks::plain_end{end});
}

// The other files' functions, registered by module.cpp.
void bind_narx(py::module_& m);
void bind_nearpoly(py::module_& m);
void bind_train(py::module_& m);

}  // namespace localmodels::python
