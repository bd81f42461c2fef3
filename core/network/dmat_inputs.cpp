// Closed-form input derivatives of the network, from the intermediates the
// core leaves in its buffers.
//
// With d_i = D_iᵀ A_i D_i and A_i symmetric, ∂d_i/∂x_k = 2 g, g = Σ_s A_i(k,s) D(s,i).
// Gaussian w_i = exp(-d_i):            ∂w_i/∂x_k = -2 w_i g.
// Fuzzy w_i = (d_i + 1e-100)^(-1/(m-1)): ∂w_i/∂x_k = -(2/(m-1)) w_i^m g.
// The local models take x itself, so ∂Y(j,i)/∂x_k = T(j,k,i). By the quotient
// rule, with e = Y(j,i) - y_j when normalising (else e = Y(j,i)),
//   ∂y_j/∂x_k = (1/S) Σ_i (w_i T(j,k,i) + e ∂w_i/∂x_k)   (1/S only when normalising).
#include <cmath>

#include "core/network/network.h"

namespace localmodels::network {

using detail::consequent_at;
using detail::matrix_offset;
using detail::norm_at;

namespace {

// What every entry reads, formed once: g(k, i) = Σ_s A_i(k,s) D(s,i) at
// k + i*n, and for the fuzzy validity 2 w_i^m / (m - 1) at i.
struct shared {
    double* g;
    double* fuzzy_factor;
};

shared lay_out(workspace* w, const view& net)
{
    shared sh;
    sh.g = take<double>(w, static_cast<std::size_t>(net.n) * static_cast<std::size_t>(net.c));
    sh.fuzzy_factor = take<double>(w, static_cast<std::size_t>(net.c));
    return sh;
}

void form_shared(const shared& sh, const point_state& s, const view& net, const options& o)
{
    const int n = net.n;
    for (int i = 0; i < net.c; ++i)
        for (int k = 0; k < n; ++k) {
            double g = 0.0;
            for (int r = 0; r < n; ++r)
                g = g +
                    norm_at(net.norm_matrices, n, k, r, i) * s.differences[matrix_offset(r, i, n)];
            sh.g[matrix_offset(k, i, n)] = g;
        }
    if (o.kind == validity::fuzzy)
        for (int i = 0; i < net.c; ++i)
            sh.fuzzy_factor[i] = (2 * validity_power(s.validities[i], o)) / (o.fuzziness - 1);
}

// What the entries read at the point: the outputs y[p], the core's
// intermediates and the shared factors.
struct at_point {
    const double* y;
    const point_state& s;
    const shared& sh;
};

// Entry (k, j) of the derivative matrix, from the core's intermediates.
double input_derivative(int k, int j, const at_point& a, const view& net, const options& o)
{
    const int n = net.n, p = net.p;
    double acc = 0.0;
    for (int i = 0; i < net.c; ++i) {
        const double g = a.sh.g[matrix_offset(k, i, n)];
        const double Y = a.s.local_outputs[matrix_offset(j, i, p)];
        const double e = o.normalize != 0 ? Y - a.y[j] : Y;
        const double w = a.s.validities[i];
        const double slope = consequent_at(net.consequents, n, p, j, k, i);
        if (o.kind == validity::gaussian) {
            const double t = e * g;
            acc = acc + (slope - (t + t)) * w;
        } else if (o.kind == validity::fuzzy) {
            acc = acc + (w * slope - (a.sh.fuzzy_factor[i] * e) * g);
        }
    }
    return o.normalize != 0 ? acc / a.s.validity_sum : acc;
}

}  // namespace

std::size_t input_derivatives_workspace_size(const view& net)
{
    workspace w = counting_workspace();
    detail::take_evaluated_point(&w, net, nullptr);
    lay_out(&w, net);
    return bytes_needed(w);
}

void input_derivatives(const derivative_out& out, const double* x, const view& net,
                       const options& o, memory_block m)
{
    workspace w = memory_workspace(m.at, m.bytes);
    detail::evaluated_point e = detail::take_evaluated_point(&w, net, out.y);
    const shared sh = lay_out(&w, net);

    evaluate_point(e.y, &e.s, x, net, o);
    if (o.kind != validity::distance) form_shared(sh, e.s, net, o);
    const at_point a{e.y, e.s, sh};
    for (int j = 0; j < net.p; ++j)
        for (int k = 0; k < net.n; ++k)
            out.derivatives[matrix_offset(k, j, net.n)] = input_derivative(k, j, a, net, o);
}

}  // namespace localmodels::network
