// The vector instruction set a worker's inner loops run on, chosen at run
// time. Every vector path does, lane by lane, exactly the operations of its
// scalar twin in the same order (separate multiplies and adds, no fused
// multiply-add), so the level changes the speed, never a bit of a result.
#pragma once

namespace localmodels::simd {

// In increasing order of width; `neon` is the baseline of aarch64.
enum class level { scalar, sse2, neon, avx2, avx512 };

// The widest level this CPU runs.
level detected();

// The level to use: detected(), or a lower one named by LOCALMODELS_SIMD
// ("scalar", "sse2", "neon", "avx2", "avx512"), for tests and comparisons;
// a name the CPU cannot run is ignored, so it gives detected(), not scalar.
level chosen();

const char* name(level l);

}  // namespace localmodels::simd
