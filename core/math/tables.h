// The constants of exp and pow (core/math/tables.cpp, written by
// tools/crmath_tables.cpp from GNU MPFR).
#pragma once

#include <cstdint>

namespace localmodels::math::tables {

extern const double exp2_table[128][2];
extern const double log_table[256][4];
extern const double inv_ln2_128;
extern const double ln2_128[3];
extern const double ln2_split[2];
extern const std::uint32_t ln2_bits[40];

}  // namespace localmodels::math::tables
