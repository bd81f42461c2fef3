// The per-query loop of nearpoly and the scratch it runs on. Every block is
// laid out once per call in the caller's workspace, before the first query.
#include <cmath>
#include <cstddef>
#include <limits>

#include "core/common/threads.h"
#include "core/common/workspace.h"
#include "core/nearpoly/stages.h"
#include "core/nearpoly/tree.h"

namespace localmodels::nearpoly {

namespace {

// Whether the call searches through the index: for one call's M queries, or
// for any number when the index serves many calls.
bool indexed(const problem& p, const settings& s)
{
    return detail::use_tree(p.N, p.n, s.K, p.many_calls ? std::numeric_limits<int>::max() : p.M);
}

using detail::candidate_list;
using detail::candidate_lists;
using detail::fit_storage;
using detail::neighbour_list;
using detail::whole_vectors;

// Everything one thread's queries share.
struct scratch {
    double* point;      // n: the query's coordinates, gathered from its row
    double* diff;       // K-by-n differences of the neighbours to the query
    double* distances;  // N, without a tree
    neighbour_list neighbours;
    candidate_lists lists;
    fit_storage fits[n_families];
    double* accum;  // n_coef, with output 2
};

// The ordering array of a list of `capacity` positions: the head sentinel
// (0.0 as take leaves it, never written), the positions, the overflow slot;
// null while counting.
double* take_ordering(workspace* w, int capacity)
{
    double* block = take<double>(w, static_cast<std::size_t>(capacity) + 2);
    return block ? block + 1 : nullptr;
}

neighbour_list take_neighbours(workspace* w, int K)
{
    neighbour_list list;
    list.distances = take_ordering(w, K);
    list.rows = take<int>(w, static_cast<std::size_t>(K) + 1);
    list.capacity = K;
    list.count = 0;
    return list;
}

// A list of length L; rows of r coefficients only when `with_rows`.
candidate_list take_list(workspace* w, int L, int r, bool with_rows)
{
    const std::size_t slots = static_cast<std::size_t>(L) + 1;
    candidate_list list;
    list.errors = take_ordering(w, L);
    list.predictions = take<double>(w, slots);
    list.rows = with_rows ? take<double>(w, slots * r) : nullptr;
    list.L = L;
    list.r = r;
    return list;
}

fit_storage take_fit_storage(workspace* w, const family_settings& f, simd::level level)
{
    const std::size_t m = static_cast<std::size_t>(f.m);
    const std::size_t width = static_cast<std::size_t>(whole_vectors(f.m));
    const std::size_t stride = static_cast<std::size_t>(whole_vectors(f.k_max));
    fit_storage fs;
    fs.rows = take<double>(w, static_cast<std::size_t>(f.k_max) * m);
    fs.targets = take<double>(w, stride);
    fs.P = take<double>(w, m * width);
    fs.theta = take<double>(w, width);
    fs.gain = take<double>(w, width);
    fs.cols = take<double>(w, m * stride);
    fs.squares = take<double>(w, stride);
    fs.stride = static_cast<int>(stride);
    fs.level = level;
    return fs;
}

// Lays out the call's scratch in w; while counting, only w->used matters.
scratch lay_out(workspace* w, const problem& p, const settings& s, simd::level level)
{
    scratch sc = {};
    sc.point = take<double>(w, static_cast<std::size_t>(p.n));
    sc.diff = take<double>(w, static_cast<std::size_t>(s.K) * p.n);
    sc.distances = indexed(p, s) ? nullptr : take<double>(w, p.N);
    sc.neighbours = take_neighbours(w, s.K);
    if (s.G > 0) sc.lists.global = take_list(w, s.G, s.n_coef, s.want_coefs);
    for (int f = 0; f < n_families; ++f) {
        const family_settings& fam = s.family[f];
        if (!fam.active) continue;
        if (f != constant_family) sc.fits[f] = take_fit_storage(w, fam, level);
        if (s.G == 0)
            sc.lists.family[f] =
                take_list(w, fam.keep, fam.m, s.want_coefs && f != constant_family);
    }
    sc.accum = s.want_coefs ? take<double>(w, s.n_coef) : nullptr;
    return sc;
}

// Row q of the M-by-n matrix a into point[n]; whether it is finite.
bool gather_row(double* point, const double* a, int q, int M, int n)
{
    bool finite = true;
    for (int j = 0; j < n; ++j) {
        point[j] = a[q + static_cast<std::size_t>(j) * M];
        finite = finite && std::isfinite(point[j]);
    }
    return finite;
}

// The candidates of every active family for one query, into their lists.
void score_families(scratch* sc, const problem& p, const settings& s)
{
    const detail::neighbourhood nb = {sc->neighbours.rows, sc->diff, p.data_y, s.K, p.n};
    if (s.G > 0) reset_list(&sc->lists.global, true);
    for (int f = 0; f < n_families; ++f) {
        const family_settings& fam = s.family[f];
        if (!fam.active) continue;
        candidate_list* list = s.G > 0 ? &sc->lists.global : &sc->lists.family[f];
        if (s.G == 0) reset_list(list, false);
        if (f == constant_family)
            constant_fits(list, fam, nb);
        else
            fit_family(list, &sc->fits[f], fam, f == quadratic_family, nb, s.cov_init);
    }
}

// The queries of q (q.plan.threads is 1) in one workspace, searching
// through the tree t or, when t is null, over all examples.
void predict_block(const outputs& o, const problem& p, const settings& s, const detail::tree* t,
                   const part& q, memory_block m)
{
    workspace w = memory_workspace(m.at, m.bytes);
    scratch sc = lay_out(&w, p, s, q.plan.level);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const detail::examples all = {p.data_x, t, p.N};
    const detail::query point = {sc.point, p.weights, p.n};

    for (int i = q.first; i < q.last; ++i) {
        double* column = o.coefs ? o.coefs + static_cast<std::size_t>(i) * s.n_coef : nullptr;
        if (!gather_row(sc.point, p.query_x, i, p.M, p.n)) {
            // No distance to such a query is defined.
            o.out[i] = nan;
            for (int j = 0; column && j < s.n_coef; ++j) column[j] = nan;
            continue;
        }
        find_neighbours(&sc.neighbours, sc.diff, sc.distances, all, point);
        score_families(&sc, p, s);
        combine(&o.out[i], column, sc.accum, sc.lists, s);
    }
}

}  // namespace

std::size_t index_size(const problem& p, const settings& s)
{
    if (!indexed(p, s)) return 0;
    workspace w = counting_workspace();
    detail::take_tree(&w, p.N, p.n);
    return bytes_needed(w);
}

std::size_t workspace_size(const problem& p, const settings& s)
{
    workspace w = counting_workspace();
    lay_out(&w, p, s, simd::level::scalar);  // the level changes no size
    return bytes_needed(w);
}

std::size_t memory_size(const problem& p, const settings& s, int threads)
{
    return index_size(p, s) + indexed_memory_size(p, s, threads);
}

std::size_t indexed_memory_size(const problem& p, const settings& s, int threads)
{
    return per_thread(workspace_size(p, s), threads);
}

int threads_for(const problem& p, const settings& s, int first, int last, int asked)
{
    // The search, then each family's fits and scores. A search through the
    // tree scans a few leaves and a few examples per neighbour.
    double cost = indexed(p, s) ? (2.0 * detail::leaf_size + 16.0 * s.K) * (p.n + 2.0)
                                : static_cast<double>(p.N) * (p.n + 2.0);
    for (const family_settings& f : s.family)
        if (f.active) cost += static_cast<double>(f.k_max) * f.m * f.m * (f.count + 1);
    return threads::count_for(static_cast<std::size_t>(last - first), cost, asked);
}

namespace {

// The tree at the start of memory, to be built or as build_index left it;
// empty when the call searches without one. The build writes every element
// of its blocks, so they are not zeroed first (tens of megabytes for a
// million examples).
detail::tree index_view(const problem& p, const settings& s, void* memory)
{
    const std::size_t shared = index_size(p, s);
    if (shared == 0) return detail::tree{};
    workspace w = filled_workspace(memory, shared);
    return detail::take_tree(&w, p.N, p.n);
}

}  // namespace

void build_index(const problem& p, const settings& s, int threads, void* memory)
{
    detail::tree t = index_view(p, s, memory);
    if (t.rows) detail::build_tree(&t, p.data_x, p.weights, threads);
}

void predict_indexed(const outputs& o, const problem& p, const settings& s, const part& q,
                     const void* index, memory_block m)
{
    if (q.first >= q.last) return;
    // The search only reads the tree.
    const detail::tree tree = index_view(p, s, const_cast<void*>(index));
    const detail::tree* t = index_size(p, s) > 0 ? &tree : nullptr;
    const int threads = q.plan.threads;
    const std::size_t each = m.bytes / static_cast<std::size_t>(threads);
    threads::run(threads, static_cast<std::size_t>(q.first), static_cast<std::size_t>(q.last),
                 [&](int i, std::size_t begin, std::size_t end) {
                     const part block = {static_cast<int>(begin), static_cast<int>(end),
                                         threads::plan(1, q.plan.level)};
                     predict_block(o, p, s, t, block, {threads::share(m.at, each, i), each});
                 });
}

void predict_built(const outputs& o, const problem& p, const settings& s, const part& q,
                   memory_block m)
{
    const std::size_t shared = index_size(p, s);
    predict_indexed(o, p, s, q, m.at,
                    {static_cast<unsigned char*>(m.at) + shared, m.bytes - shared});
}

void predict(const outputs& o, const problem& p, const settings& s, const part& q, memory_block m)
{
    if (q.first >= q.last) return;
    build_index(p, s, q.plan.threads, m.at);
    predict_built(o, p, s, q, m);
}

}  // namespace localmodels::nearpoly
