// Random local-model networks and finite differences of netsim, shared by
// the network tests.
#pragma once

#include <vector>

#include "helpers.h"
#include "host/standalone/gateways.h"

namespace testing_helpers {

struct network {
    int n, p, c;
    std::vector<double> x, centres, norms, consequents;

    array x_array() const { return standalone::make_matrix(n, 1, x); }
    array centres_array() const { return standalone::make_matrix(n, c, centres); }
    array norms_array() const
    {
        return standalone::make_array({mwSize(n), mwSize(n), mwSize(c)}, norms);
    }
    array consequents_array() const
    {
        return standalone::make_array({mwSize(p), mwSize(n + 1), mwSize(c)}, consequents);
    }
};

// A network with symmetric positive definite norm matrices (when symmetric)
// and its point x, all scaled so that validities stay well away from 0.
inline network random_network(int n, int p, int c, unsigned long long seed, bool symmetric = true)
{
    lcg rng(seed);
    network net{n,
                p,
                c,
                rng.uniform_vector(n, -1, 1),
                rng.uniform_vector(n * c, -1, 1),
                {},
                rng.uniform_vector(p * (n + 1) * c, -2, 2)};
    net.norms.assign(static_cast<std::size_t>(n) * n * c, 0.0);
    for (int i = 0; i < c; ++i) {
        std::vector<double> b = rng.uniform_vector(n * n, -0.7, 0.7);
        double* a = net.norms.data() + static_cast<std::size_t>(i) * n * n;
        for (int r = 0; r < n; ++r)
            for (int s = 0; s < n; ++s) {
                double v = r == s ? 0.3 : 0.0;
                for (int k = 0; k < n; ++k) v += b[r * n + k] * b[s * n + k];
                a[r + s * n] = v;
            }
        if (!symmetric)
            for (int s = 1; s < n; ++s) a[0 + s * n] += rng.uniform(-1, 1);
    }
    return net;
}

// netsim at the network's point, with options {normalize, validity_type, fuzziness}.
inline std::vector<double> netsim_at(const network& net, const std::vector<double>& options)
{
    array x = net.x_array(), cs = net.centres_array(), a = net.norms_array(),
          t = net.consequents_array();
    std::vector<array> opts;
    for (double v : options) opts.push_back(standalone::make_scalar(v));
    std::vector<const array*> in = {&x, &cs, &a, &t};
    for (const array& o : opts) in.push_back(&o);
    return output(run(netsim_gateway, 1, in), 0);
}

// Central difference of netsim's outputs when `perturb(net, h)` moves one
// parameter (or a symmetric pair) by h.
template <class F>
std::vector<double> central_difference(const network& net, const std::vector<double>& options,
                                       double h, F perturb)
{
    network up = net, down = net;
    perturb(up, h);
    perturb(down, -h);
    std::vector<double> yu = netsim_at(up, options), yd = netsim_at(down, options);
    for (std::size_t j = 0; j < yu.size(); ++j) yu[j] = (yu[j] - yd[j]) / (2 * h);
    return yu;
}

}  // namespace testing_helpers
