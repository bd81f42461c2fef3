// Closed-form parameter derivatives of the network, from the intermediates
// the core leaves in its buffers.
//
// Let G(j,i) = -∂y_j/∂d_i. Gaussian: ∂w_i/∂d_i = -w_i; fuzzy:
// ∂w_i/∂d_i = -w_i^m/(m-1). ∂y_j/∂w_i is (Y(j,i) - y_j)/S when normalising,
// else Y(j,i). Then, for symmetric A_i:
//   ∂y_j/∂C(k,i)   = 2 G(j,i) h,  h = Σ_s D(s,i) A_i(s,k)   (∂d_i/∂C = -2 h)
//   ∂y_j/∂A_i(r,s) = -G(j,i) D(r,i) D(s,i)    (as if all n*n entries were read)
//   ∂y_j/∂T(o,k,i) = [o = j] w_i x_k (/S),  x_n = 1 for the offset.
#include "dmat_params/dmat_params.h"

#include <cmath>

#include "netcore/netcore.h"
#include "netcore/network_args.h"

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

// Fills G(j, i) at j + i*p for validity_type 1 or 2; other types leave the
// zero-filled block as it is.
void fill_distance_sensitivities(double* G, const double* y, const double* validities,
                                 const double* local_outputs, double S, int p, int c,
                                 int normalize, int validity_type, double m)
{
    if (validity_type != 1 && validity_type != 2) return;
    for (int j = 0; j < p; ++j) {
        for (int i = 0; i < c; ++i) {
            const double w = validities[i];
            const double Y = local_outputs[at2(j, i, p)];
            double g;
            if (validity_type == 1)
                g = normalize != 0 ? ((Y - y[j]) * w) / S : Y * w;
            else
                g = normalize != 0 ? (std::pow(w, m) * (Y - y[j])) / ((m - 1) * S)
                                   : (std::pow(w, m) * Y) / (m - 1);
            G[at2(j, i, p)] = g;
        }
    }
}

// Writes column j of the derivative matrix from row 0 on; returns the row
// after the last one written.
double* write_column(double* row, int j, const double* G, const double* x,
                     const double* differences, const double* validities, double S,
                     const double* norm_matrices, int n, int p, int c, int normalize,
                     unsigned selection)
{
    if (selection & select_centres) {
        for (int i = 0; i < c; ++i) {
            for (int k = 0; k < n; ++k) {
                double h = 0.0;
                for (int s = 0; s < n; ++s)
                    h = h + differences[at2(s, i, n)] * norm_at(norm_matrices, n, s, k, i);
                *row++ = 2 * (G[at2(j, i, p)] * h);
            }
        }
    }
    if (selection & select_norm_matrices) {
        for (int i = 0; i < c; ++i)
            for (int s = 0; s < n; ++s)
                for (int r = 0; r < n; ++r)
                    *row++ = -((G[at2(j, i, p)] * differences[at2(r, i, n)]) *
                               differences[at2(s, i, n)]);
    }
    if (selection & select_consequents) {
        for (int i = 0; i < c; ++i) {
            const double w = validities[i];
            for (int k = 0; k < n; ++k) {
                const double v = normalize != 0 ? (w * x[k]) / S : w * x[k];
                for (int o = 0; o < p; ++o) *row++ = o == j ? v : 0.0;
            }
            const double offset = normalize != 0 ? w / S : w;
            for (int o = 0; o < p; ++o)
                *row++ = (selection & select_offsets) && o == j ? offset : 0.0;
        }
    }
    return row;
}

}  // namespace

void parameter_derivatives(double* derivatives, double* y, const double* x,
                           const double* centres, const double* norm_matrices,
                           const double* consequents, int n, int p, int c, int normalize,
                           int validity_type, double fuzziness, unsigned char selection)
{
    const network_scratch s = take_network_scratch(n, p, c);
    double* distance_sensitivities =
        static_cast<double*>(mxCalloc(static_cast<std::size_t>(c) * p, sizeof(double)));
    double validity_sum = 0;

    evaluate_network_point(y, s.differences, s.validities, s.local_outputs, &validity_sum, x,
                           centres, norm_matrices, consequents, n, p, c, normalize,
                           validity_type, fuzziness);
    fill_distance_sensitivities(distance_sensitivities, y, s.validities, s.local_outputs,
                                validity_sum, p, c, normalize, validity_type, fuzziness);
    double* row = derivatives;
    for (int j = 0; j < p; ++j)
        row = write_column(row, j, distance_sensitivities, x, s.differences, s.validities,
                           validity_sum, norm_matrices, n, p, c, normalize, selection);

    release_network_scratch(s);
    mxFree(distance_sensitivities);
}
