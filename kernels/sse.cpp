// Four-lane SSE kernels, column 2 of the kernel table. Every product and
// partial sum is a packed single-precision step in the order written here, so
// the results are reproducible lane for lane. Only SSE (not SSE2) intrinsics,
// and each function carries its own target, so that a 32-bit build keeps the
// x87 baseline everywhere else and loads on processors without SSE.
#include <xmmintrin.h>

#include <cstdint>

#include "kernels/kernels.h"
#include "kernels/sse_cached.h"

#define SKARVEL_SSE __attribute__((target("sse")))

namespace skarvel {

namespace sse {
float* BroadcastBlock;
}

namespace {

// Tap vectors in lane order, lane 0 first.
alignas(16) constexpr float kK0[4] = {kH0, kH0, kG1, kG1};
alignas(16) constexpr float kK1[4] = {kH1, kH1, kG0, kG0};
alignas(16) constexpr float kK2[4] = {kH2, kH2, kG3, kG3};
alignas(16) constexpr float kK3[4] = {kH3, kH3, kG2, kG2};
alignas(16) constexpr float kL0[4] = {kH0, kH1, kH0, kH1};
alignas(16) constexpr float kL1[4] = {kH2, kH3, kH2, kH3};
alignas(16) constexpr float kL2[4] = {kG0, kG1, kG0, kG1};
alignas(16) constexpr float kL3[4] = {kG2, kG3, kG2, kG3};
alignas(16) constexpr float kOne[4] = {1.0f, 1.0f, 1.0f, 1.0f};

inline bool Aligned(const float* p) {
    return (reinterpret_cast<uintptr_t>(p) & 15) == 0;
}

inline const __m64* Pair(const float* p) {
    return reinterpret_cast<const __m64*>(p);
}
inline __m64* Pair(float* p) {
    return reinterpret_cast<__m64*>(p);
}

enum StoreKind { kStreaming, kCached };

template <StoreKind kStore>
SKARVEL_SSE inline void StoreGroup(float* p, __m128 v) {
    if constexpr (kStore == kStreaming) {
        _mm_stream_ps(p, v);  // bypasses the cache; no fence, this thread reads it back
    } else {
        _mm_store_ps(p, v);
    }
}

// One analysis group from X0 = x[4j..4j+3] and X2 = x[4j+2..4j+5]: lanes 0, 1
// are a[2j], a[2j+1], lanes 2, 3 are d[2j], d[2j+1].
SKARVEL_SSE inline void AnalyzeGroup(__m128 x0, __m128 x2, const __m128* k, float* a, float* d) {
    const __m128 w0 = _mm_shuffle_ps(x0, x0, _MM_SHUFFLE(3, 1, 2, 0));
    const __m128 w1 = _mm_shuffle_ps(x0, x0, _MM_SHUFFLE(2, 0, 3, 1));
    const __m128 w2 = _mm_shuffle_ps(x2, x2, _MM_SHUFFLE(3, 1, 2, 0));
    const __m128 w3 = _mm_shuffle_ps(x2, x2, _MM_SHUFFLE(2, 0, 3, 1));
    __m128 r = _mm_add_ps(_mm_mul_ps(w0, k[0]), _mm_mul_ps(w1, k[1]));
    r = _mm_add_ps(r, _mm_mul_ps(w2, k[2]));
    r = _mm_add_ps(r, _mm_mul_ps(w3, k[3]));
    _mm_storel_pi(Pair(a), r);
    _mm_storeh_pi(Pair(d), r);
}

// One synthesis group of four samples; each argument holds a pair in lanes 0, 1.
SKARVEL_SSE inline __m128 SynthesisGroup(__m128 a, __m128 aPrev, __m128 d, __m128 dPrev,
                                         const __m128* l) {
    const __m128 w0 = _mm_unpacklo_ps(a, a);
    const __m128 w1 = _mm_unpacklo_ps(aPrev, aPrev);
    const __m128 w2 = _mm_unpacklo_ps(d, d);
    const __m128 w3 = _mm_unpacklo_ps(dPrev, dPrev);
    __m128 r = _mm_add_ps(_mm_mul_ps(w0, l[0]), _mm_mul_ps(w1, l[1]));
    r = _mm_add_ps(r, _mm_mul_ps(w2, l[2]));
    return _mm_add_ps(r, _mm_mul_ps(w3, l[3]));
}

template <StoreKind kStore>
SKARVEL_SSE inline void Synthesize(const float* approx, const float* detail, int32_t m,
                                   float* output) {
    if (m < 4 || m % 2 != 0 || !Aligned(output)) {
        reference::SynthesizeD4(approx, detail, m, output);
        return;
    }
    const __m128 l[4] = {_mm_load_ps(kL0), _mm_load_ps(kL1), _mm_load_ps(kL2), _mm_load_ps(kL3)};
    const __m128 zero = _mm_setzero_ps();
    // Group 0 wraps: the pair before a[0] is a[m - 1].
    const __m128 a = _mm_loadl_pi(zero, Pair(approx));
    const __m128 d = _mm_loadl_pi(zero, Pair(detail));
    const __m128 aPrev = _mm_unpacklo_ps(_mm_load_ss(approx + m - 1), a);
    const __m128 dPrev = _mm_unpacklo_ps(_mm_load_ss(detail + m - 1), d);
    StoreGroup<kStore>(output, SynthesisGroup(a, aPrev, d, dPrev, l));

    const float* pa = approx + 2;
    const float* pd = detail + 2;
    float* y = output + 4;
    int32_t count = m / 2 - 1;
    do {
        const __m128 r =
            SynthesisGroup(_mm_loadl_pi(zero, Pair(pa)), _mm_loadl_pi(zero, Pair(pa - 1)),
                           _mm_loadl_pi(zero, Pair(pd)), _mm_loadl_pi(zero, Pair(pd - 1)), l);
        StoreGroup<kStore>(y, r);
        pa += 2;
        pd += 2;
        y += 4;
    } while (--count != 0);
}

// The threshold in all four lanes, through the broadcast block. The barrier
// keeps the load a load: the lanes come back from memory, and -T stays a
// packed subtraction instead of being folded into scalar code.
SKARVEL_SSE inline __m128 BroadcastThreshold(float threshold) {
    _mm_store_ps(sse::BroadcastBlock, _mm_set1_ps(threshold));
    asm volatile("" : : : "memory");
    return _mm_load_ps(sse::BroadcastBlock);
}

// All ones in the lanes where c lies outside [-t, t].
SKARVEL_SSE inline __m128 Outside(__m128 c, __m128 t, __m128 negT) {
    return _mm_or_ps(_mm_cmpnle_ps(c, t), _mm_cmpnle_ps(negT, c));
}

// Whole groups of four from an aligned start in every line and the mask.
template <int kLines>
bool ShrinkInContract(float* const (&lines)[kLines], int32_t start, int32_t end,
                      const float* mask) {
    bool aligned = Aligned(mask + start);
    for (float* line : lines) aligned = aligned && Aligned(line + start);
    return aligned && end - start >= 4 && (end - start) % 4 == 0;
}

// Joint shrink of one, two or four lines: per group one survival lane mask
// from the mask entries and the lines (loaded in order), then each line
// stored in the same order through that lane mask.
template <StoreKind kStore, int kLines>
SKARVEL_SSE inline void ShrinkLines(float* const (&lines)[kLines], int32_t start, int32_t end,
                                    float threshold, const float* mask) {
    const __m128 zero = _mm_setzero_ps();
    const __m128 t = BroadcastThreshold(threshold);
    const __m128 negT = _mm_sub_ps(zero, t);
    float* v[kLines];
    for (int l = 0; l < kLines; ++l) v[l] = lines[l] + start;
    const float* w = mask + start;
    int32_t groups = (end - start) / 4;
    do {
        __m128 keep = _mm_cmpnle_ps(_mm_load_ps(w), zero);
        __m128 c[kLines];
        for (int l = 0; l < kLines; ++l) {
            c[l] = _mm_load_ps(v[l]);
            keep = _mm_or_ps(keep, Outside(c[l], t, negT));
        }
        for (int l = 0; l < kLines; ++l) {
            StoreGroup<kStore>(v[l], _mm_and_ps(keep, c[l]));
            v[l] += 4;
        }
        w += 4;
    } while (--groups != 0);
}

template <StoreKind kStore>
SKARVEL_SSE inline void Shrink1(float* line, int32_t start, int32_t end, float threshold,
                                const float* mask) {
    float* const lines[1] = {line};
    if (!ShrinkInContract(lines, start, end, mask)) {
        reference::ShrinkBand1(line, start, end, threshold, mask);
        return;
    }
    ShrinkLines<kStore>(lines, start, end, threshold, mask);
}

template <StoreKind kStore>
SKARVEL_SSE inline void Shrink2(float* line0, float* line1, int32_t start, int32_t end,
                                float threshold, const float* mask) {
    float* const lines[2] = {line0, line1};
    if (!ShrinkInContract(lines, start, end, mask)) {
        reference::ShrinkBand2(line0, line1, start, end, threshold, mask);
        return;
    }
    ShrinkLines<kStore>(lines, start, end, threshold, mask);
}

template <StoreKind kStore>
SKARVEL_SSE inline void Shrink4(float* line0, float* line1, float* line2, float* line3,
                                int32_t start, int32_t end, float threshold, const float* mask) {
    float* const lines[4] = {line0, line1, line2, line3};
    if (!ShrinkInContract(lines, start, end, mask)) {
        reference::ShrinkBand4(line0, line1, line2, line3, start, end, threshold, mask);
        return;
    }
    ShrinkLines<kStore>(lines, start, end, threshold, mask);
}

}  // namespace

// Calls outside the set's contract (short or ragged lengths, misaligned
// buffers) go to the reference kernel, so no loop ever runs with a count of
// zero or less and no aligned access faults.
namespace sse {

SKARVEL_SSE void AnalyzeD4(const float* input, uint32_t n, float* output) {
    if (n < 8 || n % 4 != 0 || !Aligned(input)) {
        reference::AnalyzeD4(input, n, output);
        return;
    }
    const __m128 k[4] = {_mm_load_ps(kK0), _mm_load_ps(kK1), _mm_load_ps(kK2), _mm_load_ps(kK3)};
    const uint32_t half = n / 2;
    const float* x = input;
    float* a = output;
    float* d = output + half;
    int32_t count = static_cast<int32_t>(n / 4) - 1;
    // Unrolled by the compiler: the same groups in the same order, fewer
    // pointer updates per group.
#pragma GCC unroll 4
    do {
        AnalyzeGroup(_mm_load_ps(x), _mm_loadu_ps(x + 2), k, a, d);
        x += 4;
        a += 2;
        d += 2;
    } while (--count != 0);
    // The last group wraps: x[n] and x[n + 1] read as x[0] and x[1].
    const __m128 x2 = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), Pair(x + 2)), Pair(input));
    AnalyzeGroup(_mm_load_ps(x), x2, k, a, d);
}

SKARVEL_SSE void SynthesizeD4(const float* approx, const float* detail, int32_t m, float* output) {
    Synthesize<kStreaming>(approx, detail, m, output);
}

SKARVEL_SSE void ShrinkBand1(float* line, int32_t start, int32_t end, float threshold,
                             const float* mask) {
    Shrink1<kStreaming>(line, start, end, threshold, mask);
}

SKARVEL_SSE void ShrinkBand4(float* line0, float* line1, float* line2, float* line3, int32_t start,
                             int32_t end, float threshold, const float* mask) {
    Shrink4<kStreaming>(line0, line1, line2, line3, start, end, threshold, mask);
}

SKARVEL_SSE void ShrinkBand2(float* line0, float* line1, int32_t start, int32_t end,
                             float threshold, const float* mask) {
    Shrink2<kStreaming>(line0, line1, start, end, threshold, mask);
}

SKARVEL_SSE void MarkEdges(float* mask, int32_t m, const float* approx, float threshold) {
    if (m < 4 || m % 2 != 0) {
        reference::MarkEdges(mask, m, approx, threshold);
        return;
    }
    const __m128 zero = _mm_setzero_ps();
    const __m128 one = _mm_load_ps(kOne);
    // Lanes 0 and 1 hold t; lanes 2 and 3 are 0.0 and never stored.
    const __m128 single = _mm_set_ss(threshold);
    const __m128 t = _mm_unpacklo_ps(single, single);
    const __m128 negT = _mm_sub_ps(zero, t);
    const float* a = approx;
    float* w = mask + m + 1;
    int32_t pairs = m / 2 - 1;
    do {
        const __m128 a0 = _mm_loadl_pi(zero, Pair(a));
        const __m128 a1 = _mm_loadl_pi(zero, Pair(a + 1));
        const __m128 a2 = _mm_loadl_pi(zero, Pair(a + 2));
        const __m128 e = _mm_sub_ps(_mm_sub_ps(_mm_add_ps(a1, a1), a0), a2);
        const __m128 factor = _mm_and_ps(Outside(e, t, negT), one);
        _mm_storel_pi(Pair(w), _mm_mul_ps(factor, _mm_loadl_pi(zero, Pair(w))));
        a += 2;
        w += 2;
    } while (--pairs != 0);
}

}  // namespace sse

// The same loops with ordinary stores, to measure what streaming costs.
namespace sse_cached {

SKARVEL_SSE void SynthesizeD4(const float* approx, const float* detail, int32_t m, float* output) {
    Synthesize<kCached>(approx, detail, m, output);
}

SKARVEL_SSE void ShrinkBand1(float* line, int32_t start, int32_t end, float threshold,
                             const float* mask) {
    Shrink1<kCached>(line, start, end, threshold, mask);
}

SKARVEL_SSE void ShrinkBand4(float* line0, float* line1, float* line2, float* line3, int32_t start,
                             int32_t end, float threshold, const float* mask) {
    Shrink4<kCached>(line0, line1, line2, line3, start, end, threshold, mask);
}

SKARVEL_SSE void ShrinkBand2(float* line0, float* line1, int32_t start, int32_t end,
                             float threshold, const float* mask) {
    Shrink2<kCached>(line0, line1, start, end, threshold, mask);
}

}  // namespace sse_cached

}  // namespace skarvel
