// Kernels of the odd-phase mode. They exist in this one scalar form and are
// called directly, whichever kernel set the table column holds.
#pragma once

#include <cstdint>

namespace skarvel {

// Approximation half of one D4 level taken at the odd phase (the line advanced
// by one sample). Writes output[0..n/2) only. n even, at least 4.
void AnalyzeD4LowOdd(const float* input, uint32_t n, float* output);

// Low-pass-only synthesis of one level, delayed by one sample: the transpose
// of AnalyzeD4LowOdd. Writes all 2m outputs. m at least 2.
void SynthesizeD4LowOdd(const float* approx, int32_t m, float* output);

// Clears mask[m + j] (j = 1..m-2) where both approximations are locally
// straight. m at least 2.
void MarkEdgesPair(float* mask, int32_t m, const float* approxA, const float* approxB,
                   float threshold);

}  // namespace skarvel
