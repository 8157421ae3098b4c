#include "tools/video/scale.h"

#include <algorithm>

namespace skarvel::video {

namespace {

// numerator / denominator rounded to nearest, halves away from zero; denominator > 0.
int64_t RoundedQuotient(int64_t numerator, int64_t denominator) {
    return numerator >= 0 ? (numerator + denominator / 2) / denominator
                          : -((-numerator + denominator / 2) / denominator);
}

// 112 * 2^(bits-8) sample steps are 2048 host steps: one sample step is
// 2^(19-bits) / 112 host steps. 19 - bits is at least 3 for 16 bits.
int64_t HostUnitsPerSample(int bits) {
    return int64_t(1) << (19 - bits);
}
constexpr int64_t kChromaExcursion = 112;

uint32_t Clamp(int64_t value, int bits) {
    return static_cast<uint32_t>(std::clamp<int64_t>(value, 0, (int64_t(1) << bits) - 1));
}

}  // namespace

int32_t ChromaToHost(uint32_t sample, int bits) {
    const int64_t offset = int64_t(sample) - (int64_t(1) << (bits - 1));
    return static_cast<int32_t>(
        RoundedQuotient(offset * HostUnitsPerSample(bits), kChromaExcursion));
}

uint32_t HostToChroma(int32_t value, int bits) {
    const int64_t offset =
        RoundedQuotient(int64_t(value) * kChromaExcursion, HostUnitsPerSample(bits));
    return Clamp((int64_t(1) << (bits - 1)) + offset, bits);
}

uint32_t HostToLuma(int32_t value, int bits) {
    // 0 .. 4096 spans 16 .. 235 at 8 bits, scaled by 2^(bits-8).
    const int64_t unit = int64_t(1) << (bits - 8);
    return Clamp(16 * unit + RoundedQuotient(int64_t(value) * 219 * unit, 4096), bits);
}

ChromaScale::ChromaScale(int bits)
    : bits_(bits), toHost_(size_t(1) << bits), fromHost_(size_t(1) << 16) {
    for (uint32_t s = 0; s < toHost_.size(); ++s) {
        toHost_[s] = static_cast<int16_t>(ChromaToHost(s, bits));
    }
    for (uint32_t pattern = 0; pattern < fromHost_.size(); ++pattern) {
        fromHost_[pattern] = static_cast<uint16_t>(HostToChroma(int16_t(uint16_t(pattern)), bits));
    }
}

}  // namespace skarvel::video
