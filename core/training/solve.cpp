// The local models' weighted least squares: normal equations with a relative
// ridge, solved by a small dense Cholesky factorisation. Every sum adds its
// terms in sample order, so a fit depends only on its weights.
#include <cmath>

#include "core/training/inputs.h"
#include "core/training/training.h"

namespace localmodels::training {

namespace {

// Below this fraction of its diagonal entry a pivot counts as lost to
// rounding: the unknown is linearly dependent on the earlier ones.
constexpr double pivot_floor = 1e-13;

inline std::size_t at(int r, int s, int rows)
{
    return static_cast<std::size_t>(r) +
           static_cast<std::size_t>(s) * static_cast<std::size_t>(rows);
}

// Column j of the factor; false when its pivot is dropped (column zeroed).
bool factor_column(double* m, int k, int j)
{
    double d = m[at(j, j, k)];
    const double floor = pivot_floor * std::fabs(d);
    for (int q = 0; q < j; ++q) d = d - m[at(j, q, k)] * m[at(j, q, k)];
    if (!(d > floor)) {
        for (int r = j; r < k; ++r) m[at(r, j, k)] = 0.0;
        return false;
    }
    const double l = std::sqrt(d);
    m[at(j, j, k)] = l;
    for (int r = j + 1; r < k; ++r) {
        double v = m[at(r, j, k)];
        for (int q = 0; q < j; ++q) v = v - m[at(r, q, k)] * m[at(j, q, k)];
        m[at(r, j, k)] = v / l;
    }
    return true;
}

// L z = b, then L^T x = z, in place; a zero diagonal marks a dropped unknown.
void substitute(const double* l, double* b, int k)
{
    for (int j = 0; j < k; ++j) {
        double v = b[j];
        for (int q = 0; q < j; ++q) v = v - l[at(j, q, k)] * b[q];
        b[j] = l[at(j, j, k)] != 0.0 ? v / l[at(j, j, k)] : 0.0;
    }
    for (int j = k - 1; j >= 0; --j) {
        double v = b[j];
        for (int r = j + 1; r < k; ++r) v = v - l[at(r, j, k)] * b[r];
        b[j] = l[at(j, j, k)] != 0.0 ? v / l[at(j, j, k)] : 0.0;
    }
}

}  // namespace

void cholesky_solve(double* m, double* b, int k, int rhs)
{
    for (int j = 0; j < k; ++j) factor_column(m, k, j);
    for (int q = 0; q < rhs; ++q) substitute(m, b + at(0, q, k), k);
}

void fit_local(double* theta, const double* weight, const problem& pr, const settings& s,
               double* scratch)
{
    const int nr = regression_count(s, pr.n), k = nr + 1, p = pr.p;
    double* m = scratch;
    double* b = scratch + at(0, k, k);
    for (std::size_t e = 0; e < static_cast<std::size_t>(k) * static_cast<std::size_t>(k + p); ++e)
        scratch[e] = 0.0;
    for (int t = 0; t < pr.N; ++t) {
        const double w = weight[t];
        if (w == 0.0) continue;  // adds nothing; skipping changes no bit
        const double* x = pr.x + at(0, t, pr.n);
        const double* y = pr.y + at(0, t, p);
        for (int a = 0; a < k; ++a) {
            const double wz = w * (a < nr ? x[regression_input(s, a)] : 1.0);
            for (int c = 0; c <= a; ++c)
                m[at(a, c, k)] = wz * (c < nr ? x[regression_input(s, c)] : 1.0) + m[at(a, c, k)];
            for (int j = 0; j < p; ++j) b[at(a, j, k)] = wz * y[j] + b[at(a, j, k)];
        }
    }
    for (int a = 0; a < k; ++a) m[at(a, a, k)] = m[at(a, a, k)] + s.regularization * m[at(a, a, k)];
    cholesky_solve(m, b, k, p);
    for (int a = 0; a < k; ++a)
        for (int j = 0; j < p; ++j) theta[at(j, a, p)] = b[at(a, j, k)];
}

}  // namespace localmodels::training
