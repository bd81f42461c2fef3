// The per-point loop of netsim: one core evaluation per column of X, all
// points sharing one set of scratch buffers.
#include "netsim/netsim.h"

#include "netcore/netcore.h"

void evaluate_network(double* out, const double* x, const double* centres,
                      const double* norm_matrices, const double* consequents, int N, int n,
                      int p, int c, int normalize, int validity_type, double fuzziness)
{
    const std::size_t clusters = static_cast<std::size_t>(c);
    double* differences = static_cast<double*>(mxCalloc(clusters * n, sizeof(double)));
    double* local_outputs = static_cast<double*>(mxCalloc(clusters * p, sizeof(double)));
    double* validities = static_cast<double*>(mxCalloc(c, sizeof(double)));
    double validity_sum = 0;

    for (int t = 0; t < N; ++t)
        evaluate_network_point(out + at2(0, t, p), differences, validities, local_outputs,
                               &validity_sum, x + at2(0, t, n), centres, norm_matrices,
                               consequents, n, p, c, normalize, validity_type, fuzziness);

    mxFree(differences);
    mxFree(validities);
    mxFree(local_outputs);
}
