// The network's distances, validities, local models and blend at one point.
// Every accumulation starts from 0 and adds its terms one at a time in the
// order written, so that every plug-in sees bit-identical intermediates.
#include "core/network/network.h"

namespace localmodels::network {

using detail::at2;
using detail::consequent_at;
using detail::norm_at;

namespace {

// Quadratic form of the difference d[n] with the norm matrix a of cluster i,
// from its diagonal and the part below it: the off-diagonal sum counts twice.
double norm_distance(const double* a, const double* d, int n, int i)
{
    double w = 0;
    for (int s = 0; s < n; ++s)
        for (int r = s + 1; r < n; ++r) w = norm_at(a, n, r, s, i) * d[s] * d[r] + w;
    w = w + w;
    for (int k = 0; k < n; ++k) w = d[k] * d[k] * norm_at(a, n, k, k, i) + w;
    return w;
}

}  // namespace

void evaluate_point(double* y, point_state* s, const double* x, const view& net, const options& o)
{
    const int n = net.n, p = net.p, c = net.c;
    for (int i = 0; i < c; ++i)
        for (int k = 0; k < n; ++k) s->differences[at2(k, i, n)] = x[k] - net.centres[at2(k, i, n)];

    for (int i = 0; i < c; ++i) {
        const double d = norm_distance(net.norm_matrices, s->differences + at2(0, i, n), n, i);
        s->validities[i] = validity_at(d, o);
    }

    double sum = validity_sum_start;
    for (int i = 0; i < c; ++i) sum = sum + s->validities[i];
    s->validity_sum = sum;

    for (int i = 0; i < c; ++i) {
        for (int j = 0; j < p; ++j) {
            double v = 0;
            for (int k = 0; k < n; ++k)
                v = x[k] * consequent_at(net.consequents, n, p, j, k, i) + v;
            s->local_outputs[at2(j, i, p)] = consequent_at(net.consequents, n, p, j, n, i) + v;
        }
    }

    for (int j = 0; j < p; ++j) {
        double v = 0;
        for (int i = 0; i < c; ++i) v = s->validities[i] * s->local_outputs[at2(j, i, p)] + v;
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

}  // namespace localmodels::network
