// The Python front end, localmodels._core. The package's wrappers hand over
// each argument as the array the MEX would receive (float64, Fortran order,
// the MEX's dimensions), so that the arrays are described here exactly as
// mex/describe.cpp describes mxArrays and the core's checks refuse the same
// calls with the same messages. Then: size the outputs, take the workspace,
// compute with the GIL released, free.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "python/bind.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/checks/arg.h"
#include "core/checks/check_gridval.h"
#include "core/checks/check_nearpoly.h"
#include "core/checks/check_network.h"
#include "core/common/chunks.h"
#include "core/common/error.h"
#include "core/common/limits.h"
#include "core/common/threads.h"
#include "core/common/workspace.h"

namespace py = pybind11;

namespace localmodels::python {

// What describe.cpp gives for a full real double array of a's dimensions.
checks::arg describe(const py::handle& h)
{
    if (!py::isinstance<py::array>(h)) throw py::type_error("localmodels._core: not an array");
    const py::array a = py::reinterpret_borrow<py::array>(h);
    checks::arg d;
    d.cls = checks::elem_class::double_;
    d.complex = false;
    d.sparse = false;
    const py::ssize_t nd = a.ndim();
    d.rows = nd >= 1 ? static_cast<std::uint64_t>(a.shape(0)) : 1;
    d.dim2 = nd >= 2 ? static_cast<std::uint64_t>(a.shape(1)) : 1;
    // A product of dimensions after an empty first one can exceed 64 bits;
    // saturated, it is still refused as too large.
    std::uint64_t cols = 1;
    bool beyond = false;
    for (py::ssize_t k = 1; k < nd; ++k)
        beyond =
            beyond || __builtin_mul_overflow(cols, static_cast<std::uint64_t>(a.shape(k)), &cols);
    d.cols = beyond ? ~std::uint64_t{0} : cols;
    d.numel = static_cast<std::uint64_t>(a.size());
    // Nothing of an empty array is read: any dtype, address or strides.
    if (d.numel == 0) {
        d.data = nullptr;
        return d;
    }
    // The wrappers pass anything else only for arrays too large to copy,
    // which require_double_array refuses before any check reads their data.
    const bool laid_out = py::isinstance<py::array_t<double>>(a) &&
                          (a.flags() & py::array::f_style) &&
                          reinterpret_cast<std::uintptr_t>(a.data()) % alignof(double) == 0;
    if (!laid_out && d.numel <= static_cast<std::uint64_t>(max_count))
        throw py::type_error(
            "localmodels._core: an argument is not a Fortran-ordered float64 array");
    d.data = laid_out ? a.data() : nullptr;
    return d;
}

// The call's first min(nrhs, limit) arguments described into in[limit].
checks::call describe_call(int nlhs, const py::list& args, checks::arg* in, int limit)
{
    const int nrhs = static_cast<int>(std::min<std::size_t>(args.size(), 1000));
    for (int i = 0; i < nrhs && i < limit; ++i) in[i] = describe(args[i]);
    return checks::call{nlhs, nrhs, in};
}

namespace {

// The module's state: the class of its refusals, localmodels.Error, handed
// over by the package as it is imported. A strong reference, changed only
// with the GIL held.
py::handle error_class;

void set_error_class(const py::handle& type)
{
    if (!PyExceptionClass_Check(type.ptr()))
        throw py::type_error("localmodels._core: the error class must be an exception class");
    type.inc_ref();
    error_class.dec_ref();
    error_class = type;
}

}  // namespace

// Raises localmodels.Error with the refusal's message and identifier.
void raise_if_failed(const error& e)
{
    if (!failed(e)) return;
    // Before the package has handed its class over (only when this module
    // is loaded without the package), the refusal is still a ValueError.
    const py::handle type = error_class ? error_class : py::handle(PyExc_ValueError);
    const py::object value =
        error_class ? type(py::str(e.message), py::str(e.id)) : type(py::str(e.message));
    PyErr_SetObject(type.ptr(), value.ptr());
    throw py::error_already_set();
}

namespace {

// `asked`: the caller's thread count (threads::from_environment, all_cores
// or a count).
py::object nearpoly(const py::list& args, int nlhs, int asked, int chunk)
{
    checks::arg in[checks::nearpoly_inputs];
    nearpoly::problem p;
    nearpoly::settings s;
    raise_if_failed(
        checks::check_nearpoly(describe_call(nlhs, args, in, checks::nearpoly_inputs), &p, &s));

    // Row q of coefs is column q of the MEX's n_coef-by-M output 2.
    py::array_t<double> y(p.M);
    py::array_t<double> coefs;
    if (s.want_coefs) coefs = py::array_t<double>({p.M, s.n_coef});
    double* out = y.mutable_data();
    double* columns = s.want_coefs ? coefs.mutable_data() : nullptr;
    // The search index is built once, before the first chunk.
    const threads::plan r(nearpoly::threads_for(p, s, 0, p.M, asked));
    std::vector<unsigned char> memory(nearpoly::memory_size(p, s, r.threads));
    // Each chunk's threads take the index and their workspaces from the front.
    const std::size_t shared = nearpoly::index_size(p, s), each = nearpoly::workspace_size(p, s);
    if (p.M > 0) {
        py::gil_scoped_release release;
        nearpoly::build_index(p, s, r.threads, memory.data());
    }
    in_chunks(
        0, p.M, chunk, r,
        [&](int first, int last, const threads::plan& part) {
            nearpoly::predict_built({out, columns}, p, s, {first, last, part},
                                    {memory.data(), shared + per_thread(each, part.threads)});
        },
        chunks::finite_rows_end{p.query_x, p.M, p.n});
    if (s.want_coefs) return py::make_tuple(y, coefs);
    return std::move(y);
}

py::array_t<double> netsim(const py::list& args, int asked, int chunk)
{
    checks::arg in[checks::network_inputs];
    checks::network_call a;
    int N;
    raise_if_failed(
        checks::check_netsim(describe_call(1, args, in, checks::network_inputs), &a, &N));

    // (N, p) in C order is the MEX's p-by-N output.
    py::array_t<double> y({N, a.net.p});
    double* out = y.mutable_data();
    const threads::plan r(network::simulate_threads_for(a.net, 0, N, asked));
    std::vector<unsigned char> memory(network::simulate_memory_size(a.net, r.threads));
    const std::size_t each = network::simulate_workspace_size(a.net);
    in_chunks(0, N, chunk, r, [&](int first, int last, const threads::plan& part) {
        network::simulate(out, a.x, a.net, a.options,
                          {first, last, part, memory.data(), per_thread(each, part.threads)});
    });
    return y;
}

// A zero-filled float64 array in C order, as mxCreateDoubleMatrix fills.
py::array_t<double> zeros(const std::vector<py::ssize_t>& shape)
{
    py::array_t<double> a(shape);
    std::fill_n(a.mutable_data(), a.size(), 0.0);
    return a;
}

// The derivatives come back as the Jacobian: output j's row, (p, n) or
// (p, R), which in C order is the MEX's n-by-p or R-by-p in Fortran order.
// `batch`: X holds N points, and each result gains a leading axis of N.
py::tuple dmat_inputs(const py::list& args, bool batch, int asked, int chunk)
{
    checks::arg in[checks::network_inputs];
    checks::network_call a;
    int N = 1;
    raise_if_failed(checks::check_dmat_inputs(describe_call(2, args, in, checks::network_inputs),
                                              &a, batch ? &N : nullptr));

    const py::ssize_t p = a.net.p, n = a.net.n;
    py::array_t<double> dx = batch ? zeros({N, p, n}) : zeros({p, n});
    py::array_t<double> y = batch ? zeros({N, p}) : zeros({p});
    double* d = dx.mutable_data();
    double* out = y.mutable_data();
    const threads::plan r(network::derivatives_threads_for(a.net, n, 0, N, asked));
    std::vector<unsigned char> memory(network::input_derivatives_memory_size(a.net, r.threads));
    const std::size_t each = network::input_derivatives_workspace_size(a.net);
    in_chunks(0, N, chunk, r, [&](int first, int last, const threads::plan& part) {
        network::input_derivatives_at(
            {d, out}, a.x, a.net, a.options,
            {first, last, part, memory.data(), per_thread(each, part.threads)});
    });
    return py::make_tuple(dx, y);
}

// selection: 0 to 255 as a uint8 scalar input, or -1 for none.
py::tuple dmat_params(const py::list& args, int selection, bool batch, int asked, int chunk)
{
    checks::arg in[checks::network_inputs];
    const checks::call base = describe_call(2, args, in, checks::network_inputs - 1);
    if (base.nrhs != checks::in_selection)
        throw py::type_error("localmodels._core: dmat_params takes seven arrays");
    const unsigned char byte = static_cast<unsigned char>(selection);
    if (selection >= 0)
        in[checks::in_selection] =
            checks::arg{checks::elem_class::integer, false, false, 1, 1, 1, 1, &byte};
    checks::network_call a;
    unsigned selected;
    std::int64_t R;
    int N = 1;
    raise_if_failed(
        checks::check_dmat_params(checks::call{2, base.nrhs + (selection >= 0 ? 1 : 0), in}, &a,
                                  &selected, &R, batch ? &N : nullptr));

    const py::ssize_t p = a.net.p, rows = static_cast<py::ssize_t>(R);
    py::array_t<double> dp = batch ? zeros({N, p, rows}) : zeros({p, rows});
    py::array_t<double> y = batch ? zeros({N, p}) : zeros({p});
    if (R == 0) return py::make_tuple(dp, y);  // nothing selected: y stays zero, as in the MEX
    double* d = dp.mutable_data();
    double* out = y.mutable_data();
    const threads::plan r(network::derivatives_threads_for(a.net, R, 0, N, asked));
    std::vector<unsigned char> memory(network::parameter_derivatives_memory_size(a.net, r.threads));
    const std::size_t each = network::parameter_derivatives_workspace_size(a.net);
    in_chunks(0, N, chunk, r, [&](int first, int last, const threads::plan& part) {
        network::parameter_derivatives_at(
            {d, out}, a.x, a.net, a.options, selected,
            {first, last, part, memory.data(), per_thread(each, part.threads)});
    });
    return py::make_tuple(dp, y);
}

py::array_t<double> gridval(const py::list& args, int asked, int chunk)
{
    checks::arg in[checks::gridval_inputs];
    gridval::problem p;
    raise_if_failed(checks::check_gridval(describe_call(1, args, in, checks::gridval_inputs), &p));

    py::array_t<double> v(p.N);
    double* out = v.mutable_data();
    const threads::plan r(gridval::threads_for(p, 0, p.N, asked));
    std::vector<unsigned char> memory(gridval::memory_size(p, r.threads));
    const std::size_t each = gridval::workspace_size(p);
    in_chunks(0, p.N, chunk, r, [&](int first, int last, const threads::plan& part) {
        gridval::interpolate(out, p,
                             {first, last, part, memory.data(), per_thread(each, part.threads)});
    });
    return v;
}

}  // namespace

}  // namespace localmodels::python

PYBIND11_MODULE(_core, m)
{
    namespace lp = localmodels::python;
    m.doc() = "The compiled core of localmodels; call it through the package's functions.";
    // chunk: rows between two checks for Ctrl-C. The package leaves it at 0,
    // chunks of about 0.1 s; the tests fix it to cross chunk boundaries.
    m.def("nearpoly", &lp::nearpoly, py::arg("args"), py::arg("nlhs"), py::arg("threads"),
          py::arg("chunk") = 0);
    m.def("netsim", &lp::netsim, py::arg("args"), py::arg("threads"), py::arg("chunk") = 0);
    m.def("dmat_inputs", &lp::dmat_inputs, py::arg("args"), py::arg("batch"), py::arg("threads"),
          py::arg("chunk") = 0);
    m.def("dmat_params", &lp::dmat_params, py::arg("args"), py::arg("selection"), py::arg("batch"),
          py::arg("threads"), py::arg("chunk") = 0);
    m.def("gridval", &lp::gridval, py::arg("args"), py::arg("threads"), py::arg("chunk") = 0);
    m.def("_set_error_class", &lp::set_error_class, py::arg("type"),
          "Sets the class of the refusals: called with localmodels.Error at import.");
    lp::bind_narx(m);
    lp::bind_nearpoly(m);
    lp::bind_train(m);
}
