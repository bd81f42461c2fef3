// The network's distances, validities, local models and blend at one point.
// Every accumulation starts from 0 and adds its terms one at a time in the
// order written, so that every plug-in sees bit-identical intermediates.
#include "netcore/netcore.h"

#include <cmath>

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

void evaluate_network_point(double* y, double* differences, double* validities,
                            double* local_outputs, double* validity_sum, const double* x,
                            const double* centres, const double* norm_matrices,
                            const double* consequents, int n, int p, int c, int normalize,
                            int validity_type, double fuzziness)
{
    for (int i = 0; i < c; ++i)
        for (int k = 0; k < n; ++k) differences[at2(k, i, n)] = x[k] - centres[at2(k, i, n)];

    for (int i = 0; i < c; ++i) {
        const double d = norm_distance(norm_matrices, differences + at2(0, i, n), n, i);
        if (validity_type == 1)
            validities[i] = std::exp(-d);
        else if (validity_type == 2)
            validities[i] = std::pow(d + distance_floor, -1.0 / (fuzziness - 1.0));
        else
            validities[i] = d;
    }

    double sum = validity_sum_start;
    for (int i = 0; i < c; ++i) sum = sum + validities[i];
    *validity_sum = sum;

    for (int i = 0; i < c; ++i) {
        for (int j = 0; j < p; ++j) {
            double v = 0;
            for (int k = 0; k < n; ++k) v = x[k] * consequent_at(consequents, n, p, j, k, i) + v;
            local_outputs[at2(j, i, p)] = consequent_at(consequents, n, p, j, n, i) + v;
        }
    }

    for (int j = 0; j < p; ++j) {
        double v = 0;
        for (int i = 0; i < c; ++i) v = validities[i] * local_outputs[at2(j, i, p)] + v;
        y[j] = normalize != 0 ? v / sum : v;
    }
}
