// The per-query loop of nearpoly and the scratch it runs on. Every block is
// taken once per call, before the first query, and left to the host.
#include <cmath>
#include <cstddef>

#include "nearpoly/nearpoly.h"

namespace {

double* take_doubles(std::size_t count)
{
    return static_cast<double*>(mxCalloc(count, sizeof(double)));
}

// A list of length L; rows of r coefficients only when `with_rows`.
candidate_list take_list(int L, int r, bool with_rows)
{
    const std::size_t slots = static_cast<std::size_t>(L) + 1;
    candidate_list list;
    list.errors = take_doubles(slots + 1);  // element 0, the head sentinel, stays 0.0
    list.predictions = take_doubles(slots);
    list.rows = with_rows ? take_doubles(slots * r) : nullptr;
    list.L = L;
    list.r = r;
    return list;
}

fit_storage take_fit_storage(const family_settings& f)
{
    const std::size_t m = static_cast<std::size_t>(f.m);
    fit_storage fs;
    fs.rows = take_doubles(static_cast<std::size_t>(f.k_max) * m);
    fs.targets = take_doubles(f.k_max);
    fs.P = take_doubles(m * m);
    fs.theta = take_doubles(m);
    fs.gain = take_doubles(m);
    return fs;
}

// Whether row q of the M-by-n matrix a is finite.
bool finite_row(const double* a, int q, int M, int n)
{
    for (int j = 0; j < n; ++j)
        if (!std::isfinite(a[q + static_cast<std::size_t>(j) * M])) return false;
    return true;
}

}  // namespace

void predict_queries(double* out, double* coefs, const double* data_x, const double* data_y,
                     const double* query_x, const double* weights, int N, int n, int M,
                     const settings& s)
{
    const double inf = mxGetInf();
    const family_settings* fam = s.family;
    double* diff = take_doubles(static_cast<std::size_t>(N) * n);
    double* distances = take_doubles(N);
    int* index = static_cast<int*>(mxCalloc(static_cast<std::size_t>(s.K) + 1, sizeof(int)));
    double* dist = take_doubles(static_cast<std::size_t>(s.K) + 2);

    candidate_lists lists = {};
    fit_storage fits[n_families] = {};
    if (s.G > 0) lists.global = take_list(s.G, s.n_coef, s.want_coefs);
    for (int f = 0; f < n_families; ++f) {
        if (!fam[f].active) continue;
        if (f != constant_family) fits[f] = take_fit_storage(fam[f]);
        if (s.G == 0)
            lists.family[f] = take_list(fam[f].keep, fam[f].m,
                                        s.want_coefs && f != constant_family);
    }
    double* accum = s.want_coefs ? take_doubles(s.n_coef) : nullptr;

    for (int q = 0; q < M; ++q) {
        double* column = coefs ? coefs + static_cast<std::size_t>(q) * s.n_coef : nullptr;
        if (!finite_row(query_x, q, M, n)) {
            // No distance to such a query is defined.
            out[q] = NAN;
            for (int j = 0; column && j < s.n_coef; ++j) column[j] = NAN;
            continue;
        }
        find_neighbours(diff, distances, index, dist, data_x, query_x, q, M, weights, N, n, s.K,
                        inf);
        if (s.G > 0) reset_list(&lists.global, inf, true);
        for (int f = 0; f < n_families; ++f) {
            if (!fam[f].active) continue;
            candidate_list* list = s.G > 0 ? &lists.global : &lists.family[f];
            if (s.G == 0) reset_list(list, inf, false);
            if (f == constant_family)
                constant_fits(list, fam[f], index, data_y);
            else
                fit_family(list, &fits[f], fam[f], f == quadratic_family, diff, index, data_y,
                           N, n, s.cov_init);
        }
        combine(&out[q], column, accum, lists, s);
    }
}
