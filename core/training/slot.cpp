// One network of the tree: from its cells to its validities, local fits,
// fitted values and criterion.
#include <cmath>
#include <cstring>
#include <limits>

#include "core/math/log.h"
#include "core/training/inputs.h"
#include "core/training/state.h"

namespace localmodels::training {

namespace {

inline std::size_t sz(int v)
{
    return static_cast<std::size_t>(v);
}

// AICc of a least-squares fit of `count` values with k parameters;
// infinite when the correction is undefined.
double aicc(double sse, double count, double k)
{
    if (count - k - 1 <= 0) return std::numeric_limits<double>::infinity();
    return count * math::log(sse / count) + 2 * k + 2 * k * (k + 1) / (count - k - 1);
}

// phi: the normalised validities of every sample at the slot's cells.
void validities(slot* sl, const problem& pr)
{
    const network::view net = view_of(*sl, pr);
    const network::options o = trained_options();
    for (int t = 0; t < pr.N; ++t) {
        network::evaluate_point(sl->y, &sl->point, pr.x + sz(t) * sz(pr.n), net, o);
        for (int i = 0; i < sl->c; ++i)
            sl->phi[sz(i) * sz(pr.N) + sz(t)] = sl->point.validities[i] / sl->point.validity_sum;
    }
}

// Model i's consequents from theta: zero outside the regression inputs.
void place_theta(slot* sl, const problem& pr, const settings& s, int i)
{
    const int n = pr.n, p = pr.p, nr = regression_count(s, n);
    double* page = sl->consequents + sz(i) * sz(p) * (sz(n) + 1);
    std::memset(page, 0, sz(p) * (sz(n) + 1) * sizeof(double));
    for (int a = 0; a <= nr; ++a) {
        const int k = a < nr ? regression_input(s, a) : n;
        for (int j = 0; j < p; ++j) page[sz(j) + sz(k) * sz(p)] = sl->theta[sz(j) + sz(a) * sz(p)];
    }
}

// sse and each model's share of it, from the network's own outputs.
void errors(slot* sl, const problem& pr)
{
    const network::view net = view_of(*sl, pr);
    const network::options o = trained_options();
    for (int i = 0; i < sl->c; ++i) sl->local_loss[i] = 0.0;
    double sse = 0.0;
    for (int t = 0; t < pr.N; ++t) {
        network::evaluate_point(sl->y, &sl->point, pr.x + sz(t) * sz(pr.n), net, o);
        const double* y = pr.y + sz(t) * sz(pr.p);
        double e = 0.0;
        for (int j = 0; j < pr.p; ++j) {
            const double sq = (sl->y[j] - y[j]) * (sl->y[j] - y[j]);
            e = sq + e;
            sse = sq + sse;  // in network_sse's order
        }
        for (int i = 0; i < sl->c; ++i)
            sl->local_loss[i] = sl->phi[sz(i) * sz(pr.N) + sz(t)] * e + sl->local_loss[i];
    }
    sl->sse = sse;
}

}  // namespace

void take_slot(slot* sl, workspace* w, const problem& pr, const settings& s)
{
    const std::size_t n = sz(pr.n), p = sz(pr.p), c = sz(s.max_models);
    const std::size_t k = sz(regression_count(s, pr.n)) + 1;
    sl->lower = take<double>(w, n * c);
    sl->upper = take<double>(w, n * c);
    sl->centres = take<double>(w, n * c);
    sl->norm_matrices = take<double>(w, n * n * c);
    sl->consequents = take<double>(w, p * (n + 1) * c);
    sl->phi = take<double>(w, c * sz(pr.N));
    sl->local_loss = take<double>(w, c);
    sl->theta = take<double>(w, p * k);
    sl->scratch = take<double>(w, k * (k + p));
    const network::view most{nullptr, nullptr, nullptr, pr.n, pr.p, s.max_models};
    sl->point = network::detail::take_point_state(w, most, &sl->y);
    sl->c = 0;
    sl->sse = sl->criterion = 0.0;
}

double network_sse(const network::view& net, const double* x, const double* y, int N,
                   network::point_state* point, double* out)
{
    const network::options o = trained_options();
    double sse = 0.0;
    for (int t = 0; t < N; ++t) {
        network::evaluate_point(out, point, x + sz(t) * sz(net.n), net, o);
        const double* target = y + sz(t) * sz(net.p);
        for (int j = 0; j < net.p; ++j) sse = (out[j] - target[j]) * (out[j] - target[j]) + sse;
    }
    return sse;
}

void fit_slot(slot* sl, const problem& pr, const settings& s)
{
    cells_to_network(sl->centres, sl->norm_matrices, cells{sl->lower, sl->upper, pr.n, sl->c}, s);
    validities(sl, pr);
    for (int i = 0; i < sl->c; ++i) {
        fit_local(sl->theta, sl->phi + sz(i) * sz(pr.N), pr, s, sl->scratch);
        place_theta(sl, pr, s, i);
    }
    errors(sl, pr);
    const double count = static_cast<double>(pr.N) * pr.p;
    if (pr.x_val) {
        const double v =
            network_sse(view_of(*sl, pr), pr.x_val, pr.y_val, pr.N_val, &sl->point, sl->y);
        sl->criterion = std::sqrt(v / (static_cast<double>(pr.N_val) * pr.p));
    } else {
        const double k = static_cast<double>(sl->c) * (regression_count(s, pr.n) + 1) * pr.p;
        sl->criterion = aicc(sl->sse, count, k);
    }
}

void copy_slot(slot* to, const slot& from, const problem& pr)
{
    const std::size_t n = sz(pr.n), c = sz(from.c), p = sz(pr.p), d = sizeof(double);
    std::memcpy(to->lower, from.lower, n * c * d);
    std::memcpy(to->upper, from.upper, n * c * d);
    std::memcpy(to->centres, from.centres, n * c * d);
    std::memcpy(to->norm_matrices, from.norm_matrices, n * n * c * d);
    std::memcpy(to->consequents, from.consequents, p * (n + 1) * c * d);
    std::memcpy(to->phi, from.phi, c * sz(pr.N) * d);
    std::memcpy(to->local_loss, from.local_loss, c * d);
    to->c = from.c;
    to->sse = from.sse;
    to->criterion = from.criterion;
}

void cells_to_network(double* centres, double* norm_matrices, const cells& cs, const settings& s)
{
    const double *lower = cs.lower, *upper = cs.upper;
    const int n = cs.n, c = cs.c;
    const std::size_t nn = sz(n) * sz(n);
    std::memset(norm_matrices, 0, nn * sz(c) * sizeof(double));
    for (int i = 0; i < c; ++i) {
        const std::size_t at = sz(i) * sz(n);
        for (int k = 0; k < n; ++k)
            centres[at + sz(k)] = 0.5 * (lower[at + sz(k)] + upper[at + sz(k)]);
        // A lone model is valid everywhere (its normalised validity is 1),
        // also far outside the data, where a Gaussian would underflow to 0.
        for (int a = 0; c > 1 && a < partition_count(s, n); ++a) {
            const int k = partition_input(s, a);
            const double sigma = s.width_factor * (upper[at + sz(k)] - lower[at + sz(k)]);
            // exp(-d) with d = sum D^2 / (2 sigma^2): a Gaussian of that
            // deviation. A cell of no extent does not discriminate.
            norm_matrices[nn * sz(i) + sz(k) * (sz(n) + 1)] =
                sigma > 0 ? 1.0 / (2.0 * (sigma * sigma)) : 0.0;
        }
    }
}

}  // namespace localmodels::training
