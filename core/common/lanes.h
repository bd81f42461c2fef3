// Vectors of L doubles, one item (a point) per lane, in the compilers' own
// vector types. Their operators are the separate multiply, add, subtract and
// divide instructions, one IEEE operation per lane (GCC and Clang define
// _mm256_mul_pd and its kin as these very operators), never fused, since
// everything builds with -ffp-contract=off. A kernel written once on
// lanes<L> therefore does in every lane exactly what the scalar code does
// for one item, whichever width the run-time level picks.
#pragma once

#include "core/common/simd.h"

namespace localmodels {

template <int L>
struct lanes_of {
    typedef double type __attribute__((vector_size(8 * L)));
};

template <int L>
using lanes = typename lanes_of<L>::type;

// The widest vector any level uses, in doubles: scratch for lanes is sized
// for it, so that the level may be chosen after the workspace is taken.
constexpr int max_lanes = 8;

// Doubles per vector at a level; 1 means the scalar code.
inline int lane_count(simd::level l)
{
    switch (l) {
        case simd::level::sse2:
        case simd::level::neon: return 2;
        case simd::level::avx2: return 4;
        case simd::level::avx512: return 8;
        default: return 1;
    }
}

}  // namespace localmodels
