// Pieces of the line engine shared by its files; not part of its interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_records.h"

namespace skarvel {

// Where one line's samples live in the frame.
struct LineAccess {
    YcPixel* first;  // pixel of sample 0
    ptrdiff_t step;  // pixels from one sample to the next
    bool pairs;      // horizontal half width: each sample stands for two pixels
};

// Detail band i covers coefficient positions [16 << i, 32 << i).
constexpr int32_t kBandCount = 6;
inline int32_t BandStart(int band) {
    return 16 << band;
}
inline int32_t BandEnd(int band) {
    return 32 << band;
}

// A rebuilt value back to a 16-bit sample: truncated toward zero, then
// saturated so that an overshoot cannot wrap to the other sign.
inline int16_t SampleFromValue(double value) {
    if (value >= 32767.0) return 32767;
    if (value <= -32768.0) return -32768;
    return static_cast<int16_t>(static_cast<int32_t>(value));
}

// Odd-phase decomposition and reconstruction of Shift0Line (mode 3).
void DecomposeOddPhase(int32_t cpuKind, int32_t paddedLength, int32_t levels, int32_t smallFrame);
void ReconstructOddPhase(int32_t cpuKind, int32_t paddedLength, int32_t levels);

// Coefficient display of one decomposed and shrunk line into the frame.
void ShowCoefficients(bool horizontal, const FrameInfo* frame, int32_t lineIndex,
                      int32_t paddedLength, int32_t displayValue, bool halveWidth);

}  // namespace skarvel
