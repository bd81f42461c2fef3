// Combination of one query's kept candidates: their predictions and, with
// output 2, their coefficient vectors, averaged with weights 1/e (an error of
// exactly 0.0 counts as 1e-20). Free positions (error +inf) add nothing.
#include <algorithm>
#include <cstddef>

#include "core/nearpoly/stages.h"

namespace localmodels::nearpoly::detail {

namespace {

// Stands in for an error of exactly 0.0, whose weight would be infinite.
constexpr double zero_error = 1e-20;

struct weighted_sums {
    double A = 0.0;  // sum of weights
    double B = 0.0;  // sum of weighted predictions
};

// Adds positions 0 … L-1 of a list; with accum, also the first `width`
// coefficients of each (the prediction alone when the list has no rows).
void add_list(weighted_sums* sums, double* accum, const candidate_list& list, int width)
{
    for (int m = 0; m < list.L; ++m) {
        const double e = list.errors[m];
        const double e1 = e == 0.0 ? zero_error : e;
        const double v = list.predictions[m];
        if (accum) {
            const double* c = list.rows ? list.rows + static_cast<std::size_t>(m) * list.r : &v;
            for (int j = 0; j < width; ++j) accum[j] = accum[j] + c[j] / e1;
        }
        sums->B = sums->B + v / e1;
        sums->A = sums->A + 1 / e1;
    }
}

}  // namespace

void combine(double* prediction, double* coefs, double* accum, const candidate_lists& lists,
             const settings& s)
{
    weighted_sums sums;
    double* acc = coefs ? accum : nullptr;
    if (acc) std::fill(acc, acc + s.n_coef, 0.0);
    if (s.G > 0) {
        add_list(&sums, acc, lists.global, s.n_coef);
    } else {
        for (int f = 0; f < n_families; ++f)
            if (s.family[f].active) add_list(&sums, acc, lists.family[f], s.family[f].m);
    }
    if (acc)
        for (int j = 0; j < s.n_coef; ++j) coefs[j] = acc[j] / sums.A;
    *prediction = sums.B / sums.A;
}

}  // namespace localmodels::nearpoly::detail
