// Plain transcriptions of the network plug-ins' documented evaluation order:
// the core at one point, the input derivatives and the parameter
// derivatives, each as the straightforward loops the documentation gives,
// every accumulation in its stated order. The plug-ins must reproduce them
// bit for bit, however their own loops are arranged.
//
// Layout (column-major, 0-based): C(k, i) at k + i*n, A_i(r, s) at
// r + s*n + i*n*n, T(j, k, i) at j + k*p + i*p*(n+1), D(k, i) at k + i*n,
// Y(j, i) at j + i*p. exp and pow are the core's, as the plug-ins' are.
#pragma once

#include <cmath>
#include <vector>

#include "core/math/exp.h"
#include "core/math/pow.h"

namespace plain_network {

// The core at the point x[n]: y[p], D[n*c], w[c], Y[p*c] and *S, each
// accumulating in its result buffer.
inline void evaluate_point(double* y, double* D, double* w, double* Y, double* S, const double* x,
                           const double* C, const double* A, const double* T, int n, int p, int c,
                           int normalize, int type, double m)
{
    for (int i = 0; i < c; ++i)
        for (int k = 0; k < n; ++k) D[k + i * n] = x[k] - C[k + i * n];
    for (int i = 0; i < c; ++i) {
        w[i] = 0;
        for (int s = 0; s < n; ++s)
            for (int r = s + 1; r < n; ++r)
                w[i] = A[r + s * n + i * n * n] * D[s + i * n] * D[r + i * n] + w[i];
        w[i] = w[i] + w[i];
        for (int k = 0; k < n; ++k)
            w[i] = D[k + i * n] * D[k + i * n] * A[k + k * n + i * n * n] + w[i];
        if (type == 1) w[i] = localmodels::math::exp(-w[i]);
        if (type == 2) w[i] = localmodels::math::pow(w[i] + 1e-100, -1.0 / (m - 1.0));
    }
    *S = 2.2251e-308;
    for (int i = 0; i < c; ++i) *S = *S + w[i];
    for (int i = 0; i < c; ++i)
        for (int j = 0; j < p; ++j) {
            Y[j + i * p] = 0;
            for (int k = 0; k < n; ++k)
                Y[j + i * p] = x[k] * T[j + k * p + i * p * (n + 1)] + Y[j + i * p];
            Y[j + i * p] = T[j + n * p + i * p * (n + 1)] + Y[j + i * p];
        }
    for (int j = 0; j < p; ++j) {
        y[j] = 0;
        for (int i = 0; i < c; ++i) y[j] = w[i] * Y[j + i * p] + y[j];
        if (normalize != 0) y[j] = y[j] / *S;
    }
}

// A network and its options, as the three plug-ins take them.
struct network_call {
    int n, p, c;
    std::vector<double> C, A, T;
    int normalize, type;
    double m;
};

// What the core leaves for one point.
struct core_results {
    std::vector<double> y, D, w, Y;
    double S;
};

inline core_results evaluate(const network_call& a, const double* x)
{
    core_results r{std::vector<double>(a.p), std::vector<double>(a.n * a.c),
                   std::vector<double>(a.c), std::vector<double>(a.p * a.c), 0.0};
    evaluate_point(r.y.data(), r.D.data(), r.w.data(), r.Y.data(), &r.S, x, a.C.data(), a.A.data(),
                   a.T.data(), a.n, a.p, a.c, a.normalize, a.type, a.m);
    return r;
}

// netsim: the p-by-N outputs for the N points in the columns of X.
inline std::vector<double> outputs(const network_call& a, const std::vector<double>& X, int N)
{
    std::vector<double> out;
    for (int t = 0; t < N; ++t) {
        const core_results r = evaluate(a, X.data() + t * a.n);
        out.insert(out.end(), r.y.begin(), r.y.end());
    }
    return out;
}

// Both outputs of a derivative plug-in.
struct derivative_outputs {
    std::vector<double> derivatives;  // output 1, column-major
    std::vector<double> y;            // output 2
};

// dmat_inputs at x[n]: entry (k, j) at k + j*n.
inline derivative_outputs input_derivatives(const network_call& a, const double* x)
{
    const int n = a.n, p = a.p, c = a.c;
    const core_results core = evaluate(a, x);
    derivative_outputs out{std::vector<double>(n * p), core.y};
    for (int j = 0; j < p; ++j)
        for (int k = 0; k < n; ++k) {
            double acc = 0.0;
            for (int i = 0; i < c; ++i) {
                double g = 0.0;  // row k of A_i times D(., i)
                for (int s = 0; s < n; ++s) g = g + a.A[k + s * n + i * n * n] * core.D[s + i * n];
                const double Y = core.Y[j + i * p];
                const double e = a.normalize != 0 ? Y - core.y[j] : Y;
                const double theta = a.T[j + k * p + i * p * (n + 1)];
                const double w = core.w[i];
                if (a.type == 1) {
                    const double t = e * g;
                    acc = acc + (theta - (t + t)) * w;
                } else if (a.type == 2) {
                    acc =
                        acc + (w * theta - 2 * localmodels::math::pow(w, a.m) / (a.m - 1) * e * g);
                }
            }
            if (a.normalize != 0) acc = acc / core.S;
            out.derivatives[k + j * n] = acc;
        }
    return out;
}

// The row count of dmat_params for a selection byte.
inline int selected_rows(int n, int p, int c, unsigned char selection)
{
    return c * ((selection & 1 ? n : 0) + (selection & 2 ? n * n : 0) +
                (selection & 4 ? (n + 1) * p : 0));
}

// dmat_params at x[n]: R-by-p, blocks centres, norm matrices, consequents.
// With no rows the network is not evaluated and output 2 holds p zeros.
inline derivative_outputs parameter_derivatives(const network_call& a, const double* x,
                                                unsigned char selection)
{
    const int n = a.n, p = a.p, c = a.c;
    const int R = selected_rows(n, p, c, selection);
    derivative_outputs out{std::vector<double>(R * p), std::vector<double>(p, 0.0)};
    if (R == 0) return out;
    const core_results core = evaluate(a, x);
    out.y = core.y;
    const double m = a.m, S = core.S;

    // G(j, i): minus the derivative of y_j with respect to the distance d_i.
    std::vector<double> G(p * c, 0.0);
    if (a.type == 1 || a.type == 2)
        for (int j = 0; j < p; ++j)
            for (int i = 0; i < c; ++i) {
                const double w = core.w[i], Y = core.Y[j + i * p], yj = core.y[j];
                if (a.type == 1)
                    G[j + i * p] = a.normalize != 0 ? ((Y - yj) * w) / S : Y * w;
                else
                    G[j + i * p] = a.normalize != 0
                                       ? (localmodels::math::pow(w, m) * (Y - yj)) / ((m - 1) * S)
                                       : (localmodels::math::pow(w, m) * Y) / (m - 1);
            }

    for (int j = 0; j < p; ++j) {
        double* column = out.derivatives.data() + j * R;
        int row = 0;
        if (selection & 1)
            for (int i = 0; i < c; ++i)
                for (int k = 0; k < n; ++k) {
                    double h = 0.0;  // D(., i) times column k of A_i
                    for (int s = 0; s < n; ++s)
                        h = h + core.D[s + i * n] * a.A[s + k * n + i * n * n];
                    column[row++] = 2 * (G[j + i * p] * h);
                }
        if (selection & 2)
            for (int i = 0; i < c; ++i)
                for (int s = 0; s < n; ++s)
                    for (int r = 0; r < n; ++r)
                        column[row++] = -((G[j + i * p] * core.D[r + i * n]) * core.D[s + i * n]);
        if (selection & 4)
            for (int i = 0; i < c; ++i) {
                const double w = core.w[i];
                for (int k = 0; k < n; ++k)
                    for (int o = 0; o < p; ++o)
                        column[row++] = o != j ? 0.0 : a.normalize != 0 ? (w * x[k]) / S : w * x[k];
                for (int o = 0; o < p; ++o)
                    column[row++] = !(selection & 8) || o != j ? 0.0 : a.normalize != 0 ? w / S : w;
            }
    }
    return out;
}

}  // namespace plain_network
