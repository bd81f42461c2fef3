// The per-point loop of netsim: one core evaluation per column of X, all
// points sharing one set of scratch buffers.
#include "netsim/netsim.h"

#include "netcore/netcore.h"
#include "netcore/network_args.h"

void evaluate_network(double* out, const double* x, const double* centres,
                      const double* norm_matrices, const double* consequents, int N, int n,
                      int p, int c, int normalize, int validity_type, double fuzziness)
{
    const network_scratch s = take_network_scratch(n, p, c);
    double validity_sum = 0;

    for (int t = 0; t < N; ++t)
        evaluate_network_point(out + at2(0, t, p), s.differences, s.validities, s.local_outputs,
                               &validity_sum, x + at2(0, t, n), centres, norm_matrices,
                               consequents, n, p, c, normalize, validity_type, fuzziness);

    release_network_scratch(s);
}
