// Decoding of nearpoly's shapes, id_par and comb_par into the settings of a
// call, in the order the messages are documented: the first failing check
// wins. Doubles become integers through trunc_to_int, which clamps values
// beyond the 32-bit range, so no count can wrap or become negative.
#include <algorithm>
#include <cmath>

#include "core/common/limits.h"
#include "core/nearpoly/nearpoly.h"

namespace localmodels::nearpoly {

namespace {

constexpr const char* plugin = "nearpoly";

// Parameter counts of the constant, linear and quadratic families.
void parameter_counts(std::int64_t n, std::int64_t p[n_families])
{
    p[constant_family] = 1;
    p[linear_family] = n + 1;
    p[quadratic_family] = (n + 2) * (n + 1) / 2;
}

// Neighbour-count ranges from id_par (3 rows, `cols` columns), clamped to
// [2, N]; a family is active when its range is not empty.
void decode_ranges(const double* id, std::int64_t cols, int N, int n, settings* s)
{
    std::int64_t p[n_families];
    parameter_counts(n, p);
    for (int f = 0; f < n_families; ++f) {
        family_settings& fam = s->family[f];
        const double first = id[f] > 0 ? id[f] : 0.0;  // NaN too becomes 0
        fam.window = 0;
        if (cols == 1) {
            // A factor of the parameter count: ceil(5 p f) and floor(3 p f).
            // 5 p and 3 p in double precision: exact wherever a range can fit
            // 32 bits, and free of overflow for the largest n.
            const double pf = static_cast<double>(p[f]);
            fam.k_max = first == 0 ? 0 : trunc_to_int(std::ceil(5.0 * pf * first));
            fam.k_min = first == 0 ? 0 : trunc_to_int(std::floor(3.0 * pf * first));
        } else {
            fam.k_min = trunc_to_int(first);
            fam.k_max = std::max(trunc_to_int(id[3 + f]), 0);
            if (cols == 3) {
                fam.window = std::max(trunc_to_int(id[6 + f]), 0);
                if (fam.window == 1) fam.window = 2;  // one neighbour cannot be left out
            }
        }
        fam.k_min = std::max(fam.k_min, 2);
        fam.k_max = std::min(fam.k_max, N);
        fam.count = fam.k_max - fam.k_min + 1;
        fam.active = fam.count >= 1;
        fam.m = static_cast<int>(std::min<std::int64_t>(p[f], max_count));
        fam.keep = 0;
    }
}

// |trunc(v)| capped at `cap`, in double precision before any conversion.
int combination_count(double v, std::int64_t cap)
{
    const double g = std::isnan(v) ? 0.0 : std::fabs(std::trunc(v));
    return static_cast<int>(std::min(g, static_cast<double>(std::min(cap, max_count))));
}

bool any_active(const settings& s)
{
    return s.family[constant_family].active || s.family[linear_family].active ||
           s.family[quadratic_family].active;
}

// Global mode (one element) or per-family mode (three elements, after which
// a family is active only when it keeps at least one candidate). Returns
// false when nothing is to be combined.
bool decode_combination(const double* comb, std::int64_t count, settings* s)
{
    if (count == 1) {
        std::int64_t total = 0;
        for (const family_settings& f : s->family)
            if (f.active) total += f.count;
        s->G = combination_count(comb[0], total);
        return s->G > 0;
    }
    s->G = 0;
    for (int f = 0; f < n_families; ++f) {
        family_settings& fam = s->family[f];
        fam.keep = fam.active ? combination_count(comb[f], fam.count) : 0;
        fam.active = fam.keep >= 1;
    }
    return any_active(*s);
}

}  // namespace

error decode_settings(const call_args& a, settings* s)
{
    // One message for two causes, told apart by the identifier.
    const char* const disagree = "Matrix dimensions must agree.";
    if (!(a.cols_y == 1 && a.rows_y == a.N))
        return make_error(plugin, "dataYShape", "%s", disagree);
    if (a.cols_q != a.n) return make_error(plugin, "queryXColumns", "%s", disagree);
    if (!(a.rows_id == 3 && a.cols_id >= 1 && a.cols_id <= 3))
        return make_error(plugin, "illegalIdPar", "Illegal id_par.");
    decode_ranges(a.id_par, a.cols_id, a.N, a.n, s);
    if (!any_active(*s))
        return make_error(plugin, "identificationEmpty", "Identification is empty.");
    if (a.nrhs > 7) return make_error(plugin, "tooManyArguments", "Number of argument no good.");
    s->cov_init = a.has_cov_init ? a.cov_init : default_cov_init;

    if (a.nrhs == 4) {
        s->G = 1;
    } else {
        if (a.comb_count != 1 && a.comb_count != 3)
            return make_error(plugin, "illegalCombPar", "Combination parameter no good.");
        if (!decode_combination(a.comb_par, a.comb_count, s))
            return make_error(plugin, "combinationEmpty", "Combination is empty!.");
    }

    const family_settings* fam = s->family;
    s->n_coef = fam[quadratic_family].active ? fam[quadratic_family].m
                : fam[linear_family].active  ? fam[linear_family].m
                                             : 1;
    s->K = std::max({fam[0].k_max, fam[1].k_max, fam[2].k_max});
    s->want_coefs = a.nlhs >= 2;
    std::int64_t p[n_families];
    parameter_counts(a.n, p);
    if (fam[quadratic_family].active && p[quadratic_family] > max_count)
        return make_error(plugin, "tooManyColumns",
                          "data_x has too many columns for quadratic fits.");
    return no_error();
}

}  // namespace localmodels::nearpoly
