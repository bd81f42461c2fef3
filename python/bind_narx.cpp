// localmodels._core.narx_simulate: the arguments as narx_simulate's MEX
// receives them (float64, Fortran order, the MEX's dimensions; KIND as a
// name), checked by the core, then the run in blocks of samples with the GIL
// released and Ctrl-C answered between blocks. A block resumes where the
// last one stopped: the run's state is its output and its workspace.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "core/checks/check_narx.h"
#include "core/common/simd.h"
#include "python/bind.h"

namespace py = pybind11;

namespace localmodels::python {

namespace {

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
    // The steps run in order on one thread; the plan fixes the vector level.
    in_chunks(L, a.run.T, chunk, threads::plan(1, a.run.level),
              [&](int first, int last, const threads::plan&) {
                  narx::simulate({y, a.u}, a.orders, a.run, m, {first, last},
                                 {memory.data(), memory.size()});
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
    a.run.level = simd::chosen();

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
    m.def("narx_simulate", &narx_simulate, py::arg("args"), py::arg("kind"), py::arg("chunk") = 0);
}

}  // namespace localmodels::python
