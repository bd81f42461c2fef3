// Closed-form parameter derivatives of the network, from the intermediates
// the core leaves in its buffers.
//
// Let G(j,i) = -∂y_j/∂d_i. Gaussian: ∂w_i/∂d_i = -w_i; fuzzy:
// ∂w_i/∂d_i = -w_i^m/(m-1). ∂y_j/∂w_i is (Y(j,i) - y_j)/S when normalising,
// else Y(j,i). Then, for symmetric A_i:
//   ∂y_j/∂C(k,i)   = 2 G(j,i) h,  h = Σ_s D(s,i) A_i(s,k)   (∂d_i/∂C = -2 h)
//   ∂y_j/∂A_i(r,s) = -G(j,i) D(r,i) D(s,i)    (as if all n*n entries were read)
//   ∂y_j/∂T(o,k,i) = [o = j] w_i x_k (/S),  x_n = 1 for the offset.
#include <cmath>

#include "core/network/network.h"

namespace localmodels::network {

using detail::matrix_offset;
using detail::norm_at;

std::int64_t selected_rows(int n, int p, int c, unsigned selection)
{
    if (c == 0) return 0;  // then n and p are not bounded by any array
    const std::int64_t nn = n;
    std::int64_t per_cluster = 0;
    if (selection & select_centres) per_cluster += nn;
    if (selection & select_norm_matrices) per_cluster += nn * nn;
    if (selection & select_consequents) per_cluster += (nn + 1) * p;
    return per_cluster * c;
}

namespace {

// Fills G(j, i) at j + i*p for the Gaussian and fuzzy validities; the raw
// distance leaves the zero-filled block as it is.
void fill_distance_sensitivities(double* G, const double* y, const point_state& s, const view& net,
                                 const options& o)
{
    if (o.kind == validity::distance) return;
    const int p = net.p;
    const double m = o.fuzziness, S = s.validity_sum;
    for (int j = 0; j < p; ++j) {
        for (int i = 0; i < net.c; ++i) {
            const double w = s.validities[i];
            const double Y = s.local_outputs[matrix_offset(j, i, p)];
            const double v = validity_power(w, o);
            double g;
            if (o.kind == validity::gaussian)
                g = o.normalize != 0 ? ((Y - y[j]) * v) / S : Y * v;
            else
                g = o.normalize != 0 ? (v * (Y - y[j])) / ((m - 1) * S) : (v * Y) / (m - 1);
            G[matrix_offset(j, i, p)] = g;
        }
    }
}

// What every column reads, formed once for the selected blocks:
// h(k, i) = Σ_s D(s,i) A_i(s,k) at k + i*n, and the consequent values
// w_i x_k (/S) at k + i*(n+1), k = n the offset's w_i (/S).
struct shared {
    double* G;
    double* h;
    double* consequent;
};

void form_shared(const shared& sh, const double* x, const point_state& s, const view& net,
                 const options& o, unsigned selection)
{
    const int n = net.n, c = net.c;
    const double S = s.validity_sum;
    if (selection & select_centres)
        for (int i = 0; i < c; ++i)
            for (int k = 0; k < n; ++k) {
                double h = 0.0;
                for (int r = 0; r < n; ++r)
                    h = h + s.differences[matrix_offset(r, i, n)] *
                                norm_at(net.norm_matrices, n, r, k, i);
                sh.h[matrix_offset(k, i, n)] = h;
            }
    if (selection & select_consequents)
        for (int i = 0; i < c; ++i) {
            const double w = s.validities[i];
            double* v = sh.consequent + matrix_offset(0, i, n + 1);
            for (int k = 0; k < n; ++k) v[k] = o.normalize != 0 ? (w * x[k]) / S : w * x[k];
            v[n] = o.normalize != 0 ? w / S : w;
        }
}

// Writes column j of the derivative matrix from `row` on; returns the row
// after the last one written.
double* write_column(double* row, int j, const shared& sh, const point_state& s, const view& net,
                     unsigned selection)
{
    const int n = net.n, p = net.p, c = net.c;
    if (selection & select_centres)
        for (int i = 0; i < c; ++i) {
            const double G = sh.G[matrix_offset(j, i, p)];
            for (int k = 0; k < n; ++k) *row++ = 2 * (G * sh.h[matrix_offset(k, i, n)]);
        }
    if (selection & select_norm_matrices)
        for (int i = 0; i < c; ++i) {
            const double G = sh.G[matrix_offset(j, i, p)];
            const double* d = s.differences + matrix_offset(0, i, n);
            for (int b = 0; b < n; ++b)
                for (int a = 0; a < n; ++a) *row++ = -((G * d[a]) * d[b]);
        }
    if (selection & select_consequents)
        for (int i = 0; i < c; ++i) {
            const double* v = sh.consequent + matrix_offset(0, i, n + 1);
            for (int k = 0; k < n; ++k)
                for (int q = 0; q < p; ++q) *row++ = q == j ? v[k] : 0.0;
            for (int q = 0; q < p; ++q)
                *row++ = (selection & select_offsets) && q == j ? v[n] : 0.0;
        }
    return row;
}

// What the columns share, after the evaluated point.
shared lay_out(workspace* w, const view& net)
{
    const std::size_t n = static_cast<std::size_t>(net.n), c = static_cast<std::size_t>(net.c);
    shared sh;
    sh.G = take<double>(w, c * static_cast<std::size_t>(net.p));
    sh.h = take<double>(w, n * c);
    sh.consequent = take<double>(w, (n + 1) * c);
    return sh;
}

}  // namespace

std::size_t parameter_derivatives_workspace_size(const view& net)
{
    workspace w = counting_workspace();
    detail::take_evaluated_point(&w, net, nullptr);
    lay_out(&w, net);
    return bytes_needed(w);
}

void parameter_derivatives(const derivative_out& out, const double* x, const view& net,
                           const options& o, unsigned selection, memory_block m)
{
    workspace w = memory_workspace(m.at, m.bytes);
    detail::evaluated_point e = detail::take_evaluated_point(&w, net, out.y);
    const shared sh = lay_out(&w, net);

    evaluate_point(e.y, &e.s, x, net, o);
    fill_distance_sensitivities(sh.G, e.y, e.s, net, o);
    form_shared(sh, x, e.s, net, o, selection);
    double* row = out.derivatives;
    for (int j = 0; j < net.p; ++j) row = write_column(row, j, sh, e.s, net, selection);
}

}  // namespace localmodels::network
