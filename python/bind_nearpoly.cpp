// localmodels._core.NearPolyIndex: nearpoly's examples and settings checked
// once, its search index built once, then queries answered in any number of
// calls, each exactly as localmodels._core.nearpoly answers them. The object
// holds the arrays the problem points into, so they live as long as it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/checks/arg.h"
#include "core/checks/check_common.h"
#include "core/checks/check_nearpoly.h"
#include "core/common/chunks.h"
#include "core/common/error.h"
#include "core/common/threads.h"
#include "core/common/workspace.h"
#include "core/nearpoly/nearpoly.h"
#include "python/bind.h"

namespace py = pybind11;

namespace localmodels::python {

namespace {

class nearpoly_index {
public:
    // args: data_x, data_y, id_par, then comb_par, cov_init, weights as
    // given, as nearpoly receives them but without query_x.
    nearpoly_index(const py::list& args, int asked) : arrays_(py::tuple(args))
    {
        checks::arg in[checks::nearpoly_inputs];
        const int given = static_cast<int>(std::min<std::size_t>(args.size(), 1000));
        for (int i = 0; i < given; ++i) {
            const int slot = i < checks::in_query_x ? i : i + 1;
            if (slot < checks::nearpoly_inputs) in[slot] = describe(arrays_[i]);
        }
        // No queries yet: 0 rows of the examples' width.
        const std::uint64_t n = given > 0 ? in[checks::in_data_x].cols : 0;
        in[checks::in_query_x] =
            checks::arg{checks::elem_class::double_, false, false, 0, n, n, 0, nullptr};
        raise_if_failed(checks::check_nearpoly(checks::call{1, given + 1, in}, &p_, &s_));
        p_.many_calls = true;

        index_.resize(nearpoly::index_size(p_, s_));
        if (index_.empty()) return;
        // Sorting the examples into the tree costs some tens of operations
        // per example and level; the threads change no bit of it.
        const int threads = threads::count_for(static_cast<std::size_t>(p_.N), 64.0 * p_.n, asked);
        py::gil_scoped_release release;
        nearpoly::build_index(p_, s_, threads, index_.data());
    }

    int inputs() const { return p_.n; }
    int examples() const { return p_.N; }
    bool indexed() const { return !index_.empty(); }

    // query_x: M-by-n, float64 in Fortran order (the wrapper checked its
    // width). Returns y, or (y, coefs) with coefs (M, n_coef) in C order.
    py::object predict(const py::handle& query_x, bool want_coefs, int asked, int chunk) const
    {
        const checks::arg q = describe(query_x);
        nearpoly::problem p = p_;
        nearpoly::settings s = s_;
        raise_if_failed(checks::require_double_array("nearpoly", q, "query_x"));
        raise_if_failed(checks::to_count("nearpoly", q.rows, "query_x", &p.M));
        if (q.cols != static_cast<std::uint64_t>(p.n))
            throw py::type_error("localmodels._core: query_x is not M-by-n");
        p.query_x = checks::doubles(q);
        s.want_coefs = want_coefs;

        py::array_t<double> y(p.M);
        py::array_t<double> coefs;
        if (want_coefs) coefs = py::array_t<double>({p.M, s.n_coef});
        double* out = y.mutable_data();
        double* columns = want_coefs ? coefs.mutable_data() : nullptr;
        const threads::plan r(nearpoly::threads_for(p, s, 0, p.M, asked));
        std::vector<unsigned char> memory(nearpoly::indexed_memory_size(p, s, r.threads));
        const std::size_t each = nearpoly::workspace_size(p, s);
        in_chunks(
            0, p.M, chunk, r,
            [&](int first, int last, const threads::plan& part) {
                nearpoly::predict_indexed({out, columns}, p, s, {first, last, part}, index_.data(),
                                          {memory.data(), per_thread(each, part.threads)});
            },
            chunks::finite_rows_end{p.query_x, p.M, p.n});
        if (want_coefs) return py::make_tuple(y, coefs);
        return std::move(y);
    }

private:
    py::tuple arrays_;  // what p_ points into, as they were when checked
    nearpoly::problem p_;
    nearpoly::settings s_;
    std::vector<unsigned char> index_;
};

}  // namespace

void bind_nearpoly(py::module_& m)
{
    py::class_<nearpoly_index>(m, "NearPolyIndex")
        .def(py::init<const py::list&, int>(), py::arg("args"), py::arg("threads"))
        .def("predict", &nearpoly_index::predict, py::arg("query_x"), py::arg("coefs"),
             py::arg("threads"), py::arg("chunk") = 0)
        .def_property_readonly("inputs", &nearpoly_index::inputs)
        .def_property_readonly("examples", &nearpoly_index::examples)
        .def_property_readonly("indexed", &nearpoly_index::indexed);
}

}  // namespace localmodels::python
