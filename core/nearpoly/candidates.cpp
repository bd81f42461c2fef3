// Candidate lists, and the constant family: the mean of the k nearest
// targets for every k of the family's range, scored by a leave-one-out
// error that is updated as k grows.
#include <algorithm>
#include <cassert>
#include <cstddef>
#include <limits>

#include "core/nearpoly/stages.h"

namespace localmodels::nearpoly::detail {

void reset_list(candidate_list* list, bool clear_rows)
{
    std::fill(list->errors, list->errors + list->L, std::numeric_limits<double>::infinity());
    if (clear_rows && list->rows)
        std::fill(list->rows, list->rows + (static_cast<std::size_t>(list->L) + 1) * list->r, 0.0);
}

void insert_candidate(candidate_list* list, double e, double v, const double* c, int rc)
{
    double* err = list->errors;
    const std::size_t r = static_cast<std::size_t>(list->r);
    int m = list->L;
    // Strict < keeps the earlier of two equal errors ahead. Errors are sums
    // of squares, so the sentinel stops every insertion; NaN stops at once.
    assert(!(e < 0.0));
    while (e < err[m - 1]) {
        err[m] = err[m - 1];
        list->predictions[m] = list->predictions[m - 1];
        if (list->rows) std::copy_n(list->rows + (m - 1) * r, r, list->rows + m * r);
        --m;
    }
    if (m == list->L) return;  // what lands in the overflow position is discarded
    err[m] = e;
    list->predictions[m] = v;
    if (list->rows) {
        double* row = list->rows + m * r;
        std::copy_n(c, rc, row);
        std::fill(row + rc, row + r, 0.0);
    }
}

void constant_fits(candidate_list* list, const family_settings& f, const neighbourhood& nb)
{
    const int* index = nb.rows;
    const double* data_y = nb.data_y;
    double mean = data_y[index[0]];
    double E = 1.0;  // enters the first step only multiplied by 0
    for (int k = 1; k < f.k_max; ++k) {
        const double y = data_y[index[k]];
        const double dk = k;
        if (f.window == 0) {
            // E = (k + 1) SS / k^2 for the k + 1 nearest, updated in O(1).
            E = (((dk - 1) * (dk - 1) * (dk + 1)) * E) / (dk * dk * dk) +
                ((y - mean) * (y - mean)) / dk;
            mean = (dk * mean + y) / (dk + 1);
        } else {
            mean = (dk * mean + y) / (dk + 1);
            const int L_w = std::min(f.window, k + 1);
            double S = 0.0;
            for (int t = 0; t < L_w; ++t) {
                const double r = mean - data_y[index[t]];
                S = S + r * r;
            }
            E = (L_w * S) / (L_w - 1);
        }
        if (k + 1 >= f.k_min) insert_candidate(list, E, mean, &mean, 1);
    }
}

}  // namespace localmodels::nearpoly::detail
