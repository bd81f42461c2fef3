// Levenberg-Marquardt refinement of a trained network: centres and widths
// (the diagonal norm entries) of the partition inputs, and the local models'
// coefficients. The Jacobian comes from dmat_params' closed-form derivatives
// at every sample; its rows are computed on threads, the normal matrix's
// columns too, each entry a sum in sample order. A trial is kept only when
// it lowers the training SSE.
#include <cstring>

#include "core/common/threads.h"
#include "core/training/inputs.h"
#include "core/training/state.h"

namespace localmodels::training {

namespace {

inline std::size_t sz(int v)
{
    return static_cast<std::size_t>(v);
}

constexpr unsigned all_parameters = network::select_centres | network::select_norm_matrices |
                                    network::select_consequents | network::select_offsets;

std::size_t parameter_total(int n, int p, int c)
{
    return sz(c) * (sz(n) + sz(n) * sz(n) + (sz(n) + 1) * sz(p));
}

network::view packed_view(double* params, int n, int p, int c)
{
    const std::size_t nc = sz(n) * sz(c);
    return network::view{params, params + nc, params + nc + nc * sz(n), n, p, c};
}

int thread_count(const settings& s, int N)
{
    return std::max(1, std::min(s.threads, N));
}

// Column q of the Jacobian (N*p rows: sample t, output j at t*p + j) is the
// derivative of every output with respect to refined parameter q; residual
// holds y minus the network's output.
void jacobian(const refine_scratch& r, const network::view& net, const problem& pr, int count,
              const settings& s)
{
    const std::size_t R = parameter_total(net.n, net.p, net.c), rows = sz(pr.N) * sz(pr.p);
    const int threads = thread_count(s, pr.N);
    threads::run(threads, 0, sz(pr.N), [&](int t, std::size_t b, std::size_t e) {
        double* d = r.derivatives + sz(t) * R * sz(pr.p);
        double* y = r.residual;  // each sample writes only its own p entries
        void* memory = r.memory + sz(t) * r.each;
        for (std::size_t k = b; k < e; ++k) {
            double* yk = y + k * sz(pr.p);
            network::parameter_derivatives({d, yk}, pr.x + k * sz(pr.n), net, trained_options(),
                                           all_parameters, {memory, r.each});
            for (int j = 0; j < pr.p; ++j) {
                yk[j] = pr.y[k * sz(pr.p) + sz(j)] - yk[j];
                for (int q = 0; q < count; ++q)
                    r.jacobian[k * sz(pr.p) + sz(j) + sz(q) * rows] =
                        d[sz(r.offsets[q]) + sz(j) * R];
            }
        }
    });
}

// normal = J^T J (lower triangle, columns on threads), gradient = J^T r.
void normal_equations(const refine_scratch& r, std::size_t rows, int count, const settings& s)
{
    threads::run(thread_count(s, count), 0, sz(count), [&](int, std::size_t b, std::size_t e) {
        for (std::size_t q = b; q < e; ++q) {
            const double* jq = r.jacobian + q * rows;
            for (std::size_t a = q; a < sz(count); ++a) {
                const double* ja = r.jacobian + a * rows;
                double v = 0.0;
                for (std::size_t t = 0; t < rows; ++t) v = ja[t] * jq[t] + v;
                r.normal[a + q * sz(count)] = v;
            }
            double g = 0.0;
            for (std::size_t t = 0; t < rows; ++t) g = jq[t] * r.residual[t] + g;
            r.gradient[q] = g;
        }
    });
}

// Solves (J^T J + lambda diag(J^T J)) step = J^T r, in a copy of normal.
void damped_step(const refine_scratch& r, int count, double lambda)
{
    std::memcpy(r.damped, r.normal, sz(count) * sz(count) * sizeof(double));
    for (int q = 0; q < count; ++q) {
        double& d = r.damped[sz(q) + sz(q) * sz(count)];
        d = d + lambda * d;
        r.step[q] = r.gradient[q];
    }
    cholesky_solve(r.damped, r.step, count, 1);
}

// trial = params + step; false when a width leaves the positive numbers.
bool apply_step(const refine_scratch& r, std::size_t total, int count, int n, int c)
{
    std::memcpy(r.trial, r.params, total * sizeof(double));
    for (int q = 0; q < count; ++q) r.trial[r.offsets[q]] = r.trial[r.offsets[q]] + r.step[q];
    const std::size_t nc = sz(n) * sz(c), nn = sz(n) * sz(n);
    for (int q = 0; q < count; ++q) {
        const std::size_t o = sz(r.offsets[q]);
        if (o >= nc && o < nc + nn * sz(c) && !(r.trial[o] > 0)) return false;
    }
    return true;
}

void pack(double* params, const slot& sl, const problem& pr)
{
    const std::size_t n = sz(pr.n), c = sz(sl.c), p = sz(pr.p), d = sizeof(double);
    std::memcpy(params, sl.centres, n * c * d);
    std::memcpy(params + n * c, sl.norm_matrices, n * n * c * d);
    std::memcpy(params + n * c + n * n * c, sl.consequents, p * (n + 1) * c * d);
}

void unpack(slot* sl, const double* params, const problem& pr)
{
    const std::size_t n = sz(pr.n), c = sz(sl->c), p = sz(pr.p), d = sizeof(double);
    std::memcpy(sl->centres, params, n * c * d);
    std::memcpy(sl->norm_matrices, params + n * c, n * n * c * d);
    std::memcpy(sl->consequents, params + n * c + n * n * c, p * (n + 1) * c * d);
}

}  // namespace

int refined_parameters(int* offsets, int n, int p, int c, const settings& s)
{
    const int np = partition_count(s, n), nr = regression_count(s, n);
    const std::size_t nc = sz(n) * sz(c), nn = sz(n) * sz(n), page = sz(p) * (sz(n) + 1);
    int count = 0;
    auto put = [&](std::size_t o) {
        if (offsets) offsets[count] = static_cast<int>(o);
        ++count;
    };
    for (int i = 0; i < c; ++i)
        for (int a = 0; a < np; ++a) put(sz(i) * sz(n) + sz(partition_input(s, a)));
    for (int i = 0; i < c; ++i)
        for (int a = 0; a < np; ++a) put(nc + sz(i) * nn + sz(partition_input(s, a)) * (sz(n) + 1));
    for (int i = 0; i < c; ++i)
        for (int a = 0; a <= nr; ++a) {
            const int k = a < nr ? regression_input(s, a) : n;
            for (int j = 0; j < p; ++j) put(nc + nn * sz(c) + sz(i) * page + sz(k) * sz(p) + sz(j));
        }
    return count;
}

void take_refine(refine_scratch* r, workspace* w, const problem& pr, int c, const settings& s)
{
    const std::size_t total = parameter_total(pr.n, pr.p, c);
    const std::size_t count = sz(refined_parameters(nullptr, pr.n, pr.p, c, s));
    const std::size_t rows = sz(pr.N) * sz(pr.p), threads = sz(thread_count(s, pr.N));
    r->params = take<double>(w, total);
    r->trial = take<double>(w, total);
    r->jacobian = take<double>(w, rows * count);
    r->residual = take<double>(w, rows);
    r->normal = take<double>(w, count * count);
    r->damped = take<double>(w, count * count);
    r->step = take<double>(w, count);
    r->gradient = take<double>(w, count);
    r->offsets = take<int>(w, count);
    r->derivatives = take<double>(w, threads * total * sz(pr.p));
    const network::view most{nullptr, nullptr, nullptr, pr.n, pr.p, c};
    r->each = network::parameter_derivatives_workspace_size(most);
    r->memory = take<unsigned char>(w, threads * r->each);
}

void refine(slot* sl, const problem& pr, const settings& s, const refine_scratch& r)
{
    const int c = sl->c, count = refined_parameters(r.offsets, pr.n, pr.p, c, s);
    const std::size_t total = parameter_total(pr.n, pr.p, c), rows = sz(pr.N) * sz(pr.p);
    pack(r.params, *sl, pr);
    const network::view current = packed_view(r.params, pr.n, pr.p, c);
    const network::view trial = packed_view(r.trial, pr.n, pr.p, c);
    double lambda = 1e-3, sse = sl->sse;
    bool fresh = false;  // the Jacobian is that of the current parameters
    for (int it = 0; it < s.lm_iterations; ++it) {
        if (!fresh) {
            jacobian(r, current, pr, count, s);
            normal_equations(r, rows, count, s);
            fresh = true;
        }
        damped_step(r, count, lambda);
        const bool ok = apply_step(r, total, count, pr.n, c);
        const double e = ok ? network_sse(trial, pr.x, pr.y, pr.N, &sl->point, sl->y) : sse;
        if (ok && e < sse) {
            std::memcpy(r.params, r.trial, total * sizeof(double));
            sse = e;
            lambda = lambda / 10;
            fresh = false;
        } else {
            lambda = lambda * 10;
        }
    }
    unpack(sl, r.params, pr);
    sl->sse = sse;
}

std::size_t gradient_workspace_size(const problem& pr, int c, const settings& s)
{
    workspace w = counting_workspace();
    refine_scratch r;
    take_refine(&r, &w, pr, c, s);
    return bytes_needed(w);
}

void sse_gradient(double* g, const network::view& net, const problem& pr, const settings& s,
                  void* memory, std::size_t bytes)
{
    workspace w = memory_workspace(memory, bytes);
    refine_scratch r;
    take_refine(&r, &w, pr, net.c, s);
    const int count = refined_parameters(r.offsets, pr.n, pr.p, net.c, s);
    jacobian(r, net, pr, count, s);
    normal_equations(r, sz(pr.N) * sz(pr.p), count, s);
    for (int q = 0; q < count; ++q) g[q] = -2.0 * r.gradient[q];
}

}  // namespace localmodels::training
