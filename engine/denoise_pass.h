// The line engine: one separable pass of the denoiser over a whole frame.
#pragma once

#include <cstdint>

#include "host/host_records.h"

namespace skarvel {

// horizontal: rows are lines (else columns); thresholds: six band thresholds,
// coarsest first; paddedLength 512 or 1024 with levelCount 5 or 6.
void DenoisePass(bool horizontal, int32_t cpuKind, FrameInfo* frame, const float* thresholds,
                 int32_t levelCount, int32_t paddedLength, int32_t displayValue, bool halveWidth);

// Number of levels actually decomposed: leading zero thresholds (at most
// levelCount - 1 of them) are coarse levels not worth transforming.
int32_t LevelsToDecompose(const float* thresholds, int32_t levelCount);

}  // namespace skarvel
