// The SSE kernels that write with streaming stores, built once more with
// ordinary stores. Never in the kernel table: the benchmarks use them to show
// what bypassing the cache costs.
#pragma once

#include <cstdint>

namespace skarvel::sse_cached {

void SynthesizeD4(const float* approx, const float* detail, int32_t m, float* output);
void ShrinkBand1(float* line, int32_t start, int32_t end, float threshold, const float* mask);
void ShrinkBand4(float* line0, float* line1, float* line2, float* line3, int32_t start, int32_t end,
                 float threshold, const float* mask);
void ShrinkBand2(float* line0, float* line1, int32_t start, int32_t end, float threshold,
                 const float* mask);

}  // namespace skarvel::sse_cached
