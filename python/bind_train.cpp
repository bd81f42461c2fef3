// localmodels._core.lmn_train: the arrays and option fields as the MEX
// receives them (fields by name, index lists 0-based), checked by the same
// core checks; the fit runs with the GIL released, and the progress
// callback takes it back for the caller's function and for Ctrl-C.
#include <pybind11/numpy.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/checks/check_train.h"
#include "core/training/training.h"
#include "python/bind.h"

namespace py = pybind11;

namespace localmodels::python {

namespace {

struct progress_state {
    py::object progress;  // None: only Ctrl-C is answered
    std::unique_ptr<py::error_already_set> raised;
};

// After each step, with the GIL: the caller's function, then pending
// signals. An exception stops the training and is raised afterwards; so
// does a return value of False.
bool on_step(void* user, int step, int models, double criterion)
{
    progress_state* st = static_cast<progress_state*>(user);
    py::gil_scoped_acquire acquire;
    try {
        if (!st->progress.is_none()) {
            const py::object answer = st->progress(step, models, criterion);
            if (py::isinstance<py::bool_>(answer) && !answer.cast<bool>()) return false;
        }
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    } catch (py::error_already_set& e) {
        st->raised = std::make_unique<py::error_already_set>(std::move(e));
        return false;
    }
    return true;
}

// Room for max_models models' results, and the result pointing into it.
struct result_buffers {
    std::vector<double> centres, norms, consequents, lower, upper, criterion, models;
    training::result r;
};

void size_results(result_buffers* b, const training::problem& pr, int c_max)
{
    const std::size_t n = static_cast<std::size_t>(pr.n), p = static_cast<std::size_t>(pr.p);
    const std::size_t c = static_cast<std::size_t>(c_max);
    b->centres.resize(n * c);
    b->norms.resize(n * n * c);
    b->consequents.resize(p * (n + 1) * c);
    b->lower.resize(n * c);
    b->upper.resize(n * c);
    b->criterion.resize(c);
    b->models.resize(c);
    b->r = training::result{b->centres.data(),
                            b->norms.data(),
                            b->consequents.data(),
                            b->lower.data(),
                            b->upper.data(),
                            b->criterion.data(),
                            b->models.data(),
                            0,
                            0,
                            false,
                            0.0};
}

// A C-ordered array of the given shape holding the first values of v.
py::array_t<double> array_of(const std::vector<double>& v, std::vector<py::ssize_t> shape)
{
    py::array_t<double> a(shape);
    if (a.size() > 0) std::memcpy(a.mutable_data(), v.data(), a.size() * sizeof(double));
    return a;
}

py::tuple results(const result_buffers& b, const training::problem& pr)
{
    const py::ssize_t n = pr.n, p = pr.p, c = b.r.models, steps = b.r.steps;
    py::dict info;
    info["criterion"] = array_of(b.criterion, {steps});
    std::vector<double> models(b.models.begin(), b.models.begin() + steps);
    py::array_t<double> counts = array_of(models, {steps});
    info["models"] = counts.attr("astype")("int64");
    info["lower"] = array_of(b.lower, {c, n});
    info["upper"] = array_of(b.upper, {c, n});
    info["sse"] = b.r.sse;
    info["interrupted"] = b.r.interrupted;
    // The pages in the MEX's memory order: (c, columns, rows) in C order.
    return py::make_tuple(array_of(b.centres, {c, n}), array_of(b.norms, {c, n, n}),
                          array_of(b.consequents, {c, n + 1, p}), info);
}

// The option fields by name; an unknown name is refused as in the MEX.
void describe_fields(const py::dict& options, checks::arg* fields, bool* present)
{
    for (const auto& item : options) {
        int id;
        raise_if_failed(
            checks::train_field_of(py::str(item.first).cast<std::string>().c_str(), &id));
        fields[id] = describe(item.second);
        present[id] = true;
    }
}

std::size_t count_of(const checks::arg* fields, const bool* present, int f)
{
    return present[f] ? static_cast<std::size_t>(fields[f].numel) : 0;
}

py::tuple lmn_train(const py::list& args, const py::dict& options, const py::object& progress)
{
    checks::arg in[checks::train_inputs];
    const checks::call c = describe_call(4, args, in, checks::train_inputs);
    checks::arg fields[checks::train_fields];
    bool present[checks::train_fields] = {};
    describe_fields(options, fields, present);
    std::vector<int> partition(count_of(fields, present, checks::field_partition_inputs) + 1);
    std::vector<int> regression(count_of(fields, present, checks::field_regression_inputs) + 1);
    checks::train_call a;
    raise_if_failed(
        checks::check_lmn_train(c, {fields, present, 0, partition.data(), regression.data()}, &a));

    progress_state st{progress, nullptr};
    training::settings& s = a.settings;
    s.threads = training::threads_for(a.problem, s);
    s.progress = on_step;
    s.user = &st;
    result_buffers b;
    size_results(&b, a.problem, s.max_models);
    std::vector<unsigned char> memory(training::workspace_size(a.problem, s));
    {
        py::gil_scoped_release release;
        training::train(&b.r, a.problem, s, memory.data(), memory.size());
    }
    if (st.raised) throw std::move(*st.raised);
    return results(b, a.problem);
}

}  // namespace

void bind_train(py::module_& m)
{
    m.def("lmn_train", &lmn_train, py::arg("args"), py::arg("options"), py::arg("progress"));
}

}  // namespace localmodels::python
