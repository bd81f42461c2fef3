// The network's distances, validities, local models and blend at one point.
// Every accumulation starts from 0 and adds its terms one at a time in the
// order written, so that every plug-in sees bit-identical intermediates.
#include "core/math/exp.h"
#include "core/math/pow.h"
#include "core/network/network.h"

namespace localmodels::network {

using detail::matrix_offset;

namespace {

// Quadratic form of the difference d[n] with the norm matrix a (its page),
// from its diagonal and the part below it: the off-diagonal sum counts twice.
double norm_distance(const double* a, const double* d, int n)
{
    double w = 0;
    for (int s = 0; s < n; ++s) {
        const double* column = a + matrix_offset(0, s, n);
        for (int r = s + 1; r < n; ++r) w = column[r] * d[s] * d[r] + w;
    }
    w = w + w;
    for (int k = 0; k < n; ++k) w = d[k] * d[k] * a[matrix_offset(k, k, n)] + w;
    return w;
}

// w[i] = w(d) of d = w[i] for every cluster, the choice made once: exp(-d),
// (d + 1e-100)^(-1/(m-1)), or d; exp and pow are the core's own, correctly
// rounded, so every platform gives the same bits.
void transform(double* w, int c, const options& o)
{
    if (o.kind == validity::gaussian) {
        for (int i = 0; i < c; ++i) w[i] = math::exp(-w[i]);
    } else if (o.kind == validity::fuzzy) {
        const double e = -1.0 / (o.fuzziness - 1.0);
        for (int i = 0; i < c; ++i) w[i] = math::pow(w[i] + distance_floor, e);
    }
}

}  // namespace

void evaluate_point(double* y, point_state* s, const double* x, const view& net, const options& o)
{
    const int n = net.n, p = net.p, c = net.c;
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    const std::size_t page = static_cast<std::size_t>(p) * (static_cast<std::size_t>(n) + 1);
    // All differences before any distance: a distance reads them long after
    // they are stored, not while the stores are still on their way.
    for (int i = 0; i < c; ++i) {
        const double* centre = net.centres + matrix_offset(0, i, n);
        double* d = s->differences + matrix_offset(0, i, n);
        for (int k = 0; k < n; ++k) d[k] = x[k] - centre[k];
    }
    for (int i = 0; i < c; ++i)
        s->validities[i] = norm_distance(net.norm_matrices + nn * static_cast<std::size_t>(i),
                                         s->differences + matrix_offset(0, i, n), n);
    transform(s->validities, c, o);

    double sum = validity_sum_start;
    for (int i = 0; i < c; ++i) sum = sum + s->validities[i];
    s->validity_sum = sum;

    for (int i = 0; i < c; ++i) {
        const double* theta = net.consequents + page * static_cast<std::size_t>(i);
        double* Y = s->local_outputs + matrix_offset(0, i, p);
        for (int j = 0; j < p; ++j) {
            double v = 0;
            for (int k = 0; k < n; ++k) v = x[k] * theta[matrix_offset(j, k, p)] + v;
            Y[j] = theta[matrix_offset(j, n, p)] + v;
        }
    }

    for (int j = 0; j < p; ++j) {
        double v = 0;
        for (int i = 0; i < c; ++i)
            v = s->validities[i] * s->local_outputs[matrix_offset(j, i, p)] + v;
        y[j] = o.normalize != 0 ? v / sum : v;
    }
}

point_state detail::take_point_state(workspace* w, const view& net, double** y)
{
    const std::size_t c = static_cast<std::size_t>(net.c);
    point_state s;
    s.differences = take<double>(w, c * net.n);
    s.validities = take<double>(w, c);
    s.local_outputs = take<double>(w, c * net.p);
    s.validity_sum = 0;
    if (y) *y = take<double>(w, net.p);
    return s;
}

detail::evaluated_point detail::take_evaluated_point(workspace* w, const view& net, double* y)
{
    double* own;
    evaluated_point e{take_point_state(w, net, &own), y};
    if (!e.y) e.y = own;
    return e;
}

}  // namespace localmodels::network
