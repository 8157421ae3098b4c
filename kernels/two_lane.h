// A two-lane single-precision layer: just what the 3DNow! kernel set needs.
//
// Two backends behind one interface, chosen at compile time:
//  - 32-bit x86 with GCC or Clang: the real 3DNow! instructions on the MMX
//    registers. Functions that use the layer carry SKARVEL_TWO_LANE_TARGET
//    (the 3dnow target for that function only), so the rest of the build
//    stays plain i686 and a processor without 3DNow! never executes them.
//  - Everywhere else: a portable emulation in which every operation rounds
//    each lane to single precision, as the instructions deliver it.
//
// Only ordinary finite values are modelled: the instructions flush
// denormals and saturate instead of producing infinities, the emulation does
// not; the line engine's samples (16-bit integers) never reach either case.
//
// Data moves between memory and the pairs only through integer-sized copies,
// never through float loads, so the compiler has no reason to touch the x87
// stack while the MMX state is live.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__i386__) && (defined(__GNUC__) || defined(__clang__))
#define SKARVEL_TWO_LANE_3DNOW 1
#else
#define SKARVEL_TWO_LANE_3DNOW 0
#endif

#if SKARVEL_TWO_LANE_3DNOW
#include <mm3dnow.h>
#define SKARVEL_TWO_LANE_TARGET __attribute__((target("3dnow")))
#else
#include <cfloat>
#define SKARVEL_TWO_LANE_TARGET
#endif

namespace skarvel::twolane {

#if SKARVEL_TWO_LANE_3DNOW

// One MMX register: lane 0 in the low 32 bits.
using Pair = __m64;

// The fast exit from the MMX state (FEMMS): marks every x87 register empty.
SKARVEL_TWO_LANE_TARGET inline void ExitMmxState() {
    _m_femms();
}

// 8-byte load of p[0], p[1]; no alignment beyond that of a float.
SKARVEL_TWO_LANE_TARGET inline Pair LoadPair(const float* p) {
    Pair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// 4-byte load of *p into both lanes.
SKARVEL_TWO_LANE_TARGET inline Pair LoadDuplicated(const float* p) {
    int32_t bits;
    std::memcpy(&bits, p, sizeof bits);
    const Pair low = _mm_cvtsi32_si64(bits);
    return _mm_unpacklo_pi32(low, low);
}

SKARVEL_TWO_LANE_TARGET inline void StorePair(float* p, Pair v) {
    std::memcpy(p, &v, sizeof v);
}

SKARVEL_TWO_LANE_TARGET inline void StoreLane0(float* p, Pair v) {
    const int32_t bits = _mm_cvtsi64_si32(v);
    std::memcpy(p, &bits, sizeof bits);
}

SKARVEL_TWO_LANE_TARGET inline void StoreLane1(float* p, Pair v) {
    const int32_t bits = _mm_cvtsi64_si32(_mm_unpackhi_pi32(v, v));
    std::memcpy(p, &bits, sizeof bits);
}

SKARVEL_TWO_LANE_TARGET inline Pair Zero() {
    return _mm_setzero_si64();
}
SKARVEL_TWO_LANE_TARGET inline Pair Add(Pair a, Pair b) {
    return _m_pfadd(a, b);
}
SKARVEL_TWO_LANE_TARGET inline Pair Subtract(Pair a, Pair b) {
    return _m_pfsub(a, b);
}
SKARVEL_TWO_LANE_TARGET inline Pair Multiply(Pair a, Pair b) {
    return _m_pfmul(a, b);
}
// All ones in a lane where a > b, else all zeros.
SKARVEL_TWO_LANE_TARGET inline Pair Greater(Pair a, Pair b) {
    return _m_pfcmpgt(a, b);
}
SKARVEL_TWO_LANE_TARGET inline Pair And(Pair a, Pair b) {
    return _mm_and_si64(a, b);
}
SKARVEL_TWO_LANE_TARGET inline Pair Or(Pair a, Pair b) {
    return _mm_or_si64(a, b);
}

#else

// Per-lane float arithmetic is only single-rounded where floats are
// evaluated in their own precision (not on the x87 stack).
static_assert(FLT_EVAL_METHOD == 0, "the emulated pairs need float evaluated as float");

// Lanes kept as bit patterns, so that the lane masks of the compare and the
// bitwise operations are exact; arithmetic goes through float copies.
struct Pair {
    uint32_t bits[2];
};

namespace detail {
inline float Lane(const Pair& v, int lane) {
    float f;
    std::memcpy(&f, &v.bits[lane], sizeof f);
    return f;
}
inline uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}
inline Pair FromFloats(float lane0, float lane1) {
    return Pair{{Bits(lane0), Bits(lane1)}};
}
}  // namespace detail

inline void ExitMmxState() {}

inline Pair LoadPair(const float* p) {
    Pair v;
    std::memcpy(v.bits, p, sizeof v.bits);
    return v;
}

inline Pair LoadDuplicated(const float* p) {
    uint32_t b;
    std::memcpy(&b, p, sizeof b);
    return Pair{{b, b}};
}

inline void StorePair(float* p, Pair v) {
    std::memcpy(p, v.bits, sizeof v.bits);
}
inline void StoreLane0(float* p, Pair v) {
    std::memcpy(p, &v.bits[0], sizeof v.bits[0]);
}
inline void StoreLane1(float* p, Pair v) {
    std::memcpy(p, &v.bits[1], sizeof v.bits[1]);
}

inline Pair Zero() {
    return Pair{{0u, 0u}};
}

inline Pair Add(Pair a, Pair b) {
    using detail::Lane;
    return detail::FromFloats(Lane(a, 0) + Lane(b, 0), Lane(a, 1) + Lane(b, 1));
}
inline Pair Subtract(Pair a, Pair b) {
    using detail::Lane;
    return detail::FromFloats(Lane(a, 0) - Lane(b, 0), Lane(a, 1) - Lane(b, 1));
}
inline Pair Multiply(Pair a, Pair b) {
    using detail::Lane;
    return detail::FromFloats(Lane(a, 0) * Lane(b, 0), Lane(a, 1) * Lane(b, 1));
}
inline Pair Greater(Pair a, Pair b) {
    using detail::Lane;
    return Pair{{Lane(a, 0) > Lane(b, 0) ? ~0u : 0u, Lane(a, 1) > Lane(b, 1) ? ~0u : 0u}};
}
inline Pair And(Pair a, Pair b) {
    return Pair{{a.bits[0] & b.bits[0], a.bits[1] & b.bits[1]}};
}
inline Pair Or(Pair a, Pair b) {
    return Pair{{a.bits[0] | b.bits[0], a.bits[1] | b.bits[1]}};
}

#endif

}  // namespace skarvel::twolane
