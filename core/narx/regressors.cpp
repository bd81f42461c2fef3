// The lag structure of a NARX run: its start, the regressor of one sample,
// the initial outputs and the bounds.
#include <algorithm>
#include <cstring>

#include "core/narx/narx.h"

namespace localmodels::narx {

namespace {

// Offset of element (i, t) of a signal of `rows` rows.
std::size_t at(int i, int t, int rows)
{
    return static_cast<std::size_t>(i) +
           static_cast<std::size_t>(t) * static_cast<std::size_t>(rows);
}

}  // namespace

int regressor_count(const orders& o)
{
    int n = 0;
    for (int i = 0; i < o.p; ++i) n += o.na[i];
    for (int j = 0; j < o.m; ++j) n += o.nb[j];
    return n;
}

int start(const orders& o)
{
    int L = 0;
    for (int i = 0; i < o.p; ++i) L = std::max(L, o.na[i]);
    for (int j = 0; j < o.m; ++j)
        if (o.nb[j] > 0) L = std::max(L, o.nk[j] + o.nb[j] - 1);
    return L;
}

void initial(double* y, const double* y0, const orders& o, const settings& s)
{
    const int columns = std::min(start(o), s.T);
    if (columns > 0) std::memcpy(y, y0, at(0, columns, o.p) * sizeof(double));
}

void regressor(double* r, std::size_t stride, const double* y, const double* u, const orders& o,
               int t)
{
    std::size_t k = 0;
    for (int i = 0; i < o.p; ++i)
        for (int l = 1; l <= o.na[i]; ++l, ++k) r[k * stride] = y[at(i, t - l, o.p)];
    for (int j = 0; j < o.m; ++j)
        for (int l = 0; l < o.nb[j]; ++l, ++k) r[k * stride] = u[at(j, t - o.nk[j] - l, o.m)];
}

void hold(double* y, const double* bounds, int p)
{
    if (!bounds) return;
    for (int j = 0; j < p; ++j) y[j] = std::min(std::max(y[j], bounds[2 * j]), bounds[2 * j + 1]);
}

}  // namespace localmodels::narx
