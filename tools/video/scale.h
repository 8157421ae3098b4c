// The host's sample scale and the mapping between it and Y4M samples.
//
// The editor's frames carry chroma as signed 16-bit values where the nominal
// excursion of video chroma (16..240 around 128 at 8 bits, scaled by
// 2^(bits-8) at higher depths) spans -2048..2048, and luma 0..4096 for the
// nominal 16..235. A sample maps to the host scale linearly, rounded to
// nearest (halves away from zero); a host value maps back the same way,
// clamped to the container's range. Integer arithmetic throughout, so the
// mapping is the same on every machine.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace skarvel::video {

constexpr int kMinBits = 8;
constexpr int kMaxBits = 16;

// Chroma sample (0 .. 2^bits - 1) to the host scale.
int32_t ChromaToHost(uint32_t sample, int bits);
// Host chroma value to a sample, clamped to 0 .. 2^bits - 1.
uint32_t HostToChroma(int32_t value, int bits);
// Host luma value (0 .. 4095 for the coefficient display) to a luma sample,
// clamped to the container's range.
uint32_t HostToLuma(int32_t value, int bits);

// The chroma mapping as tables, for the per-sample work.
class ChromaScale {
public:
    explicit ChromaScale(int bits);
    int bits() const { return bits_; }
    // A word above the stream's depth (a damaged or hostile stream: 16-bit
    // words carry 9 to 15 bits) reads as the depth's largest sample.
    int16_t ToHost(uint32_t sample) const {
        return toHost_[std::min<size_t>(sample, toHost_.size() - 1)];
    }
    uint32_t FromHost(int16_t value) const { return fromHost_[uint16_t(value)]; }

private:
    int bits_;
    std::vector<int16_t> toHost_;     // by sample
    std::vector<uint16_t> fromHost_;  // by the host value's 16-bit pattern
};

}  // namespace skarvel::video
