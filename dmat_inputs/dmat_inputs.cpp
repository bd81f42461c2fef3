// Closed-form input derivatives of the network, from the intermediates the
// core leaves in its buffers.
//
// With d_i = D_iᵀ A_i D_i and A_i symmetric, ∂d_i/∂x_k = 2 g, g = Σ_s A_i(k,s) D(s,i).
// Gaussian w_i = exp(-d_i):            ∂w_i/∂x_k = -2 w_i g.
// Fuzzy w_i = (d_i + 1e-100)^(-1/(m-1)): ∂w_i/∂x_k = -(2/(m-1)) w_i^m g.
// The local models take x itself, so ∂Y(j,i)/∂x_k = T(j,k,i). By the quotient
// rule, with e = Y(j,i) - y_j when normalising (else e = Y(j,i)),
//   ∂y_j/∂x_k = (1/S) Σ_i (w_i T(j,k,i) + e ∂w_i/∂x_k)   (1/S only when normalising).
#include "dmat_inputs/dmat_inputs.h"

#include <cmath>

#include "netcore/netcore.h"
#include "netcore/network_args.h"

namespace {

// Entry (k, j) of the derivative matrix, from the core's intermediates.
double input_derivative(int k, int j, const double* y, const double* differences,
                        const double* validities, const double* local_outputs,
                        double validity_sum, const double* norm_matrices,
                        const double* consequents, int n, int p, int c, int normalize,
                        int validity_type, double m)
{
    double acc = 0.0;
    for (int i = 0; i < c; ++i) {
        double g = 0.0;
        for (int s = 0; s < n; ++s)
            g = g + norm_at(norm_matrices, n, k, s, i) * differences[at2(s, i, n)];
        const double e =
            normalize != 0 ? local_outputs[at2(j, i, p)] - y[j] : local_outputs[at2(j, i, p)];
        const double w = validities[i];
        const double slope = consequent_at(consequents, n, p, j, k, i);
        if (validity_type == 1) {
            const double t = e * g;
            acc = acc + (slope - (t + t)) * w;
        } else if (validity_type == 2) {
            acc = acc + (w * slope - (((2 * std::pow(w, m)) / (m - 1)) * e) * g);
        }
    }
    return normalize != 0 ? acc / validity_sum : acc;
}

}  // namespace

void input_derivatives(double* derivatives, double* y, const double* x, const double* centres,
                       const double* norm_matrices, const double* consequents, int n, int p,
                       int c, int normalize, int validity_type, double fuzziness)
{
    const network_scratch s = take_network_scratch(n, p, c);
    double validity_sum = 0;

    evaluate_network_point(y, s.differences, s.validities, s.local_outputs, &validity_sum, x,
                           centres, norm_matrices, consequents, n, p, c, normalize,
                           validity_type, fuzziness);
    for (int j = 0; j < p; ++j)
        for (int k = 0; k < n; ++k)
            derivatives[at2(k, j, n)] = input_derivative(
                k, j, y, s.differences, s.validities, s.local_outputs, validity_sum,
                norm_matrices, consequents, n, p, c, normalize, validity_type, fuzziness);

    release_network_scratch(s);
}
