// localmodels._core.narx_simulate: the arguments as narx_simulate's MEX
// receives them (float64, Fortran order, the MEX's dimensions; KIND as a
// name), checked by the core, then the run in blocks of samples with the GIL
// released and Ctrl-C answered between blocks. A block resumes where the
// last one stopped: the run's state is its output and its workspace.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "core/checks/narx.h"
#include "core/common/limits.h"

namespace py = pybind11;

namespace localmodels::python {

namespace {

// A float64 array in Fortran order, as module.cpp describes its arguments.
checks::arg describe(const py::handle& h)
{
    const py::array a = py::reinterpret_borrow<py::array>(h);
    if (!py::isinstance<py::array_t<double>>(a) || !(a.flags() & py::array::f_style))
        throw py::type_error(
            "localmodels._core: an argument is not a Fortran-ordered float64 array");
    checks::arg d{checks::elem_class::double_, false, false, 1, 1, 1, 0, nullptr};
    const py::ssize_t nd = a.ndim();
    if (nd >= 1) d.rows = static_cast<std::uint64_t>(a.shape(0));
    if (nd >= 2) d.dim2 = static_cast<std::uint64_t>(a.shape(1));
    for (py::ssize_t k = 1; k < nd; ++k) d.cols *= static_cast<std::uint64_t>(a.shape(k));
    d.numel = static_cast<std::uint64_t>(a.size());
    d.data = d.numel > 0 ? a.data() : nullptr;
    return d;
}

void raise_if_failed(const error& e)
{
    if (!failed(e)) return;
    const py::object type = py::module_::import("localmodels._errors").attr("Error");
    const py::object value = type(py::str(e.message), py::str(e.id));
    PyErr_SetObject(type.ptr(), value.ptr());
    throw py::error_already_set();
}

// Runs work(first, last) over [begin, end) in blocks, as module.cpp's
// in_chunks: `chunk` > 0 fixes the block size, 0 sizes each block from the
// last one's time to about a tenth of a second.
template <class F>
void in_blocks(int begin, int end, int chunk, F work)
{
    using clock = std::chrono::steady_clock;
    std::int64_t size = chunk > 0 ? chunk : 1;
    for (std::int64_t first = begin; first < end;) {
        const std::int64_t last = std::min<std::int64_t>(first + size, end);
        const clock::time_point start = clock::now();
        {
            py::gil_scoped_release release;
            work(static_cast<int>(first), static_cast<int>(last));
        }
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        if (chunk <= 0) {
            const double seconds = std::chrono::duration<double>(clock::now() - start).count();
            const double done = static_cast<double>(last - first), most = 8.0 * done;
            const double fit = seconds > 0 ? 0.1 / seconds * done : most;
            size = static_cast<std::int64_t>(std::clamp(fit, 1.0, most));
        }
        first = last;
    }
}

template <class Model>
void run(double* y, const checks::narx_call& a, const Model& m, int chunk)
{
    std::vector<unsigned char> memory(narx::workspace_size(a.orders, a.run, m));
    const int L = narx::start(a.orders);
    if constexpr (std::is_same_v<Model, narx::nearpoly_model>) {
        const int threads = nearpoly::threads_for(m.problem, m.settings, L, std::max(L, a.run.T));
        py::gil_scoped_release release;
        narx::prepare(a.orders, a.run, m, threads, memory.data());
    }
    in_blocks(L, a.run.T, chunk, [&](int first, int last) {
        narx::simulate(y, a.u, a.orders, a.run, m, first, last, memory.data(), memory.size());
    });
}

// args: U, Y0, NA, NB, NK, BOUNDS, then the model's arrays; kind its name.
// Returns (T, p) in C order, the MEX's p-by-T output.
py::array_t<double> narx_simulate(const py::list& args, const std::string& kind, int chunk)
{
    checks::arg in[checks::narx_inputs];
    const int given = static_cast<int>(std::min<std::size_t>(args.size(), 1000));
    const int nrhs = given + 1;  // KIND between BOUNDS and the model
    for (int i = 0; i < given; ++i) {
        const int slot = i < checks::in_kind ? i : i + 1;
        if (slot < checks::narx_inputs) in[slot] = describe(args[i]);
    }
    in[checks::in_kind] = checks::arg{checks::elem_class::char_,
                                      false,
                                      false,
                                      1,
                                      kind.size(),
                                      kind.size(),
                                      kind.size(),
                                      kind.data()};
    const checks::call c{1, nrhs, in};
    std::vector<int> lags(checks::narx_lag_room(c));
    checks::narx_call a;
    raise_if_failed(checks::check_narx(c, lags.data(), &a));

    py::array_t<double> y({a.run.T, a.orders.p});
    double* out = y.mutable_data();
    std::fill_n(out, y.size(), 0.0);
    narx::initial(out, a.y0, a.orders, a.run);
    switch (a.kind) {
        case checks::model_kind::network: run(out, a, a.network, chunk); break;
        case checks::model_kind::nearpoly: run(out, a, a.nearpoly, chunk); break;
        default: run(out, a, a.table, chunk); break;
    }
    return y;
}

}  // namespace

void bind_narx(py::module_& m)
{
    m.def("narx_simulate", &narx_simulate, py::arg("args"), py::arg("kind"), py::arg("chunk"));
}

}  // namespace localmodels::python
