// The description of a nearpoly call whose arrays have their documented
// shapes, for tests that decode settings without a host: data_x N-by-n,
// data_y N-by-1, query_x with n columns, id_par 3-by-cols_id.
#pragma once

#include <cstdint>

#include "core/nearpoly/nearpoly.h"

namespace testing_helpers {

inline localmodels::nearpoly::call_args well_shaped_args(int nrhs, int nlhs, int N, int n,
                                                         const double* id_par, int cols_id,
                                                         const double* comb_par,
                                                         std::int64_t comb_count)
{
    localmodels::nearpoly::call_args a{};
    a.nrhs = nrhs;
    a.nlhs = nlhs;
    a.N = N;
    a.n = n;
    a.rows_y = N;
    a.cols_y = 1;
    a.cols_q = n;
    a.rows_id = 3;
    a.cols_id = cols_id;
    a.id_par = id_par;
    a.comb_count = comb_count;
    a.comb_par = comb_par;
    return a;
}

}  // namespace testing_helpers
