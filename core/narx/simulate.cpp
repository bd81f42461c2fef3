// The free run of each one-step model. Samples depend on the ones before,
// so a run is serial; each step calls the model's core exactly as its
// plug-in does for one point, which makes the step's bits the plug-in's.
#include "core/common/workspace.h"
#include "core/narx/narx.h"

namespace localmodels::narx {

namespace {

std::size_t column(int t, int p)
{
    return static_cast<std::size_t>(t) * static_cast<std::size_t>(p);
}

int steps(const orders& o, const settings& s)
{
    const int L = start(o);
    return s.T > L ? s.T - L : 0;
}

// --- network: the point state and the regressor --------------------------------

struct network_scratch {
    network::point_state point;
    double* r;
};

network_scratch lay_out(workspace* w, const orders& o, const network_model& m)
{
    network_scratch s;
    s.point = network::detail::take_point_state(w, m.net, nullptr);
    s.r = take<double>(w, static_cast<std::size_t>(regressor_count(o)));
    return s;
}

// --- nearpoly: the index, one query's workspace, then the queries --------------
//
// The run's queries are its T - L regressors, the rows of an M-by-n matrix
// of its own: nearpoly chooses its search from all the queries of a call,
// and its index is built once for them.

nearpoly::problem run_problem(const orders& o, const settings& s, const nearpoly_model& m,
                              const double* queries)
{
    nearpoly::problem p = m.problem;
    p.query_x = queries;
    p.M = steps(o, s);
    return p;
}

struct nearpoly_sizes {
    std::size_t index, each, queries;  // bytes
};

nearpoly_sizes sizes_of(const orders& o, const settings& s, const nearpoly_model& m)
{
    const nearpoly::problem p = run_problem(o, s, m, nullptr);
    workspace w = counting_workspace();
    take<double>(&w, static_cast<std::size_t>(p.M) * static_cast<std::size_t>(p.n));
    return {nearpoly::index_size(p, m.settings), nearpoly::workspace_size(p, m.settings),
            bytes_needed(w)};
}

// --- table: the regressor, then gridval's workspace ----------------------------

struct table_scratch {
    double* r;
    void* grid;
    std::size_t grid_bytes;
};

table_scratch lay_out(workspace* w, const orders& o, const table_model& m)
{
    table_scratch s;
    s.r = take<double>(w, static_cast<std::size_t>(regressor_count(o)));
    s.grid_bytes = gridval::workspace_size(m.grid);
    s.grid = take<unsigned char>(w, s.grid_bytes);
    return s;
}

std::size_t nodes(const gridval::problem& g)
{
    std::size_t count = 1;
    for (int k = 0; k < g.d; ++k) count *= static_cast<std::size_t>(g.counts[k]);
    return count;
}

}  // namespace

std::size_t workspace_size(const orders& o, const settings&, const network_model& m)
{
    workspace w = counting_workspace();
    lay_out(&w, o, m);
    return bytes_needed(w);
}

std::size_t workspace_size(const orders& o, const settings& s, const nearpoly_model& m)
{
    const nearpoly_sizes z = sizes_of(o, s, m);
    return z.index + z.each + z.queries;
}

std::size_t workspace_size(const orders& o, const settings&, const table_model& m)
{
    workspace w = counting_workspace();
    lay_out(&w, o, m);
    return bytes_needed(w);
}

void prepare(const orders& o, const settings& s, const nearpoly_model& m, int threads, void* memory)
{
    const nearpoly::problem p = run_problem(o, s, m, nullptr);
    if (p.M > 0) nearpoly::build_index(p, m.settings, threads, memory);
}

void simulate(const signals& io, const orders& o, const settings& s, const network_model& m,
              samples r, memory_block memory)
{
    workspace w = memory_workspace(memory.at, memory.bytes);
    network_scratch sc = lay_out(&w, o, m);
    for (int t = r.first; t < r.last; ++t) {
        double* out = io.y + column(t, o.p);
        regressor(sc.r, 1, io.y, io.u, o, t);
        network::evaluate_point(out, &sc.point, sc.r, m.net, m.options);
        hold(out, s.bounds, o.p);
    }
}

void simulate(const signals& io, const orders& o, const settings& s, const nearpoly_model& m,
              samples r, memory_block memory)
{
    if (r.first >= r.last) return;
    const nearpoly_sizes z = sizes_of(o, s, m);
    unsigned char* base = static_cast<unsigned char*>(memory.at);
    workspace w = memory_workspace(base + z.index + z.each, memory.bytes - z.index - z.each);
    const int L = start(o);
    const nearpoly::problem p = run_problem(o, s, m, nullptr);
    double* queries = take<double>(&w, static_cast<std::size_t>(p.M) * p.n);
    const nearpoly::problem run = run_problem(o, s, m, queries);
    // Query q is sample L + q; its prediction lands in y[L + q] (one output).
    const nearpoly::outputs out = {io.y + L, nullptr};
    for (int t = r.first; t < r.last; ++t) {
        const int q = t - L;
        regressor(queries + q, static_cast<std::size_t>(run.M), io.y, io.u, o, t);
        nearpoly::predict_built(out, run, m.settings, {q, q + 1, threads::plan(1, s.level)},
                                {memory.at, z.index + z.each});
        hold(io.y + t, s.bounds, 1);
    }
}

void simulate(const signals& io, const orders& o, const settings& s, const table_model& m,
              samples r, memory_block memory)
{
    workspace w = memory_workspace(memory.at, memory.bytes);
    table_scratch sc = lay_out(&w, o, m);
    gridval::problem g = m.grid;
    g.queries = sc.r;
    g.N = 1;
    const std::size_t slab = nodes(m.grid);
    for (int t = r.first; t < r.last; ++t) {
        double* out = io.y + column(t, o.p);
        regressor(sc.r, 1, io.y, io.u, o, t);
        for (int j = 0; j < o.p; ++j) {
            g.table = m.grid.table + slab * static_cast<std::size_t>(j);
            gridval::interpolate(out + j, g,
                                 {0, 1, threads::plan(1, s.level), sc.grid, sc.grid_bytes});
        }
        hold(out, s.bounds, o.p);
    }
}

}  // namespace localmodels::narx
