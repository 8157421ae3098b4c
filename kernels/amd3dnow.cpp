// The 3DNow! kernel set: the six kernels two lanes at a time, every product
// and partial sum rounded to single precision in the order written here.
// Written once over the two-lane layer, which is the real instruction set in
// 32-bit x86 builds and an exact emulation elsewhere.
//
// Each kernel leaves the MMX state on entry and on exit (FEMMS), because the
// line engine does x87 arithmetic between calls and the MMX registers are the
// x87 registers. Loops are counted and test at the bottom; a call whose loop
// count would be zero or less is handed to the reference kernel of the same
// row (before any MMX instruction), which covers the short lengths its own
// contract allows.
#include "kernels/kernels.h"
#include "kernels/two_lane.h"

namespace skarvel::amd3dnow {

namespace {

using twolane::Pair;

// Tap pairs, lane 0 first. Analysis: lane 0 the approximation, lane 1 the
// detail. Synthesis: lane 0 the even sample, lane 1 the odd one.
alignas(8) constexpr float kM0[2] = {kH0, kG0};
alignas(8) constexpr float kM1[2] = {kH1, kG1};
alignas(8) constexpr float kM2[2] = {kH2, kG2};
alignas(8) constexpr float kM3[2] = {kH3, kG3};
alignas(8) constexpr float kN0[2] = {kH0, kH1};
alignas(8) constexpr float kN1[2] = {kH2, kH3};
alignas(8) constexpr float kN2[2] = {kG0, kG1};
alignas(8) constexpr float kN3[2] = {kG2, kG3};
alignas(8) constexpr float kOne[2] = {1.0f, 1.0f};

struct AnalysisTaps {
    Pair m0, m1, m2, m3;
};

struct SynthesisTaps {
    Pair n0, n1, n2, n3;
};

// One output pair from x0, x1 (at x01) and x2, x3 (at x23):
// ((x0*M0 + x2*M2) + x1*M1) + x3*M3; lane 0 to *approx, lane 1 to *detail.
SKARVEL_TWO_LANE_TARGET inline void AnalysisStep(const float* x01, const float* x23,
                                                 const AnalysisTaps& taps, float* approx,
                                                 float* detail) {
    using namespace twolane;
    const Pair x0 = LoadDuplicated(x01);
    const Pair x1 = LoadDuplicated(x01 + 1);
    const Pair x2 = LoadDuplicated(x23);
    const Pair x3 = LoadDuplicated(x23 + 1);
    Pair sum = Add(Multiply(x0, taps.m0), Multiply(x2, taps.m2));
    sum = Add(sum, Multiply(x1, taps.m1));
    sum = Add(sum, Multiply(x3, taps.m3));
    StoreLane0(approx, sum);
    StoreLane1(detail, sum);
}

// Samples 2k, 2k+1 from the current pair (a[k], d[k]) and the previous one:
// ((a*N0 + d*N2) + aPrev*N1) + dPrev*N3, one 8-byte store.
SKARVEL_TWO_LANE_TARGET inline void SynthesisStep(const float* a, const float* d,
                                                  const float* aPrev, const float* dPrev,
                                                  const SynthesisTaps& taps, float* output) {
    using namespace twolane;
    Pair sum = Add(Multiply(LoadDuplicated(a), taps.n0), Multiply(LoadDuplicated(d), taps.n2));
    sum = Add(sum, Multiply(LoadDuplicated(aPrev), taps.n1));
    sum = Add(sum, Multiply(LoadDuplicated(dPrev), taps.n3));
    twolane::StorePair(output, sum);
}

// The threshold pair (t, t) through two floats of local storage, held and
// copied as bits so that the compiler has no float move to give the x87.
SKARVEL_TWO_LANE_TARGET inline Pair ThresholdPair(float threshold) {
    uint32_t local[2];
    std::memcpy(&local[0], &threshold, sizeof local[0]);
    local[1] = local[0];
    return twolane::LoadPair(reinterpret_cast<const float*>(local));
}

// All ones where c lies outside [-t, t]: c > t or -t > c.
SKARVEL_TWO_LANE_TARGET inline Pair Outside(Pair c, Pair t, Pair negT) {
    return twolane::Or(twolane::Greater(c, t), twolane::Greater(negT, c));
}

}  // namespace

SKARVEL_TWO_LANE_TARGET void AnalyzeD4(const float* input, uint32_t n, float* output) {
    const uint32_t half = n / 2;
    int32_t count = static_cast<int32_t>(half) - 1;
    if (count <= 0) {
        reference::AnalyzeD4(input, n, output);
        return;
    }
    twolane::ExitMmxState();
    const AnalysisTaps taps = {twolane::LoadPair(kM0), twolane::LoadPair(kM1),
                               twolane::LoadPair(kM2), twolane::LoadPair(kM3)};
    const float* x = input;
    float* approx = output;
    float* detail = output + half;
    do {
        AnalysisStep(x, x + 2, taps, approx, detail);
        x += 2;
        ++approx;
        ++detail;
    } while (--count > 0);
    // The last output wraps: x[n], x[n + 1] read as x[0], x[1].
    AnalysisStep(x, input, taps, approx, detail);
    twolane::ExitMmxState();
}

SKARVEL_TWO_LANE_TARGET void SynthesizeD4(const float* approx, const float* detail, int32_t m,
                                          float* output) {
    int32_t count = m - 1;
    if (count <= 0) {
        reference::SynthesizeD4(approx, detail, m, output);
        return;
    }
    twolane::ExitMmxState();
    const SynthesisTaps taps = {twolane::LoadPair(kN0), twolane::LoadPair(kN1),
                                twolane::LoadPair(kN2), twolane::LoadPair(kN3)};
    // Pair 0 wraps: its previous pair is the last one.
    SynthesisStep(approx, detail, approx + m - 1, detail + m - 1, taps, output);
    const float* a = approx + 1;
    const float* d = detail + 1;
    float* out = output + 2;
    do {
        SynthesisStep(a, d, a - 1, d - 1, taps, out);
        ++a;
        ++d;
        out += 2;
    } while (--count > 0);
    twolane::ExitMmxState();
}

SKARVEL_TWO_LANE_TARGET void ShrinkBand1(float* line, int32_t start, int32_t end, float threshold,
                                         const float* mask) {
    using namespace twolane;
    int32_t count = (end - start) / 2;
    if (count <= 0) {
        reference::ShrinkBand1(line, start, end, threshold, mask);
        return;
    }
    ExitMmxState();
    const Pair t = ThresholdPair(threshold);
    const Pair negT = Subtract(Zero(), t);
    const Pair zero = Zero();
    float* c = line + start;
    const float* w = mask + start;
    do {
        const Pair wPair = LoadPair(w);
        const Pair cPair = LoadPair(c);
        const Pair keep = Or(Greater(wPair, zero), Outside(cPair, t, negT));
        StorePair(c, And(cPair, keep));
        c += 2;
        w += 2;
    } while (--count > 0);
    ExitMmxState();
}

SKARVEL_TWO_LANE_TARGET void ShrinkBand4(float* line0, float* line1, float* line2, float* line3,
                                         int32_t start, int32_t end, float threshold,
                                         const float* mask) {
    using namespace twolane;
    int32_t count = (end - start) / 2;
    if (count <= 0) {
        reference::ShrinkBand4(line0, line1, line2, line3, start, end, threshold, mask);
        return;
    }
    ExitMmxState();
    const Pair t = ThresholdPair(threshold);
    const Pair negT = Subtract(Zero(), t);
    const Pair zero = Zero();
    int32_t i = start;
    do {
        const Pair keepMask = Greater(LoadPair(mask + i), zero);
        const Pair c0 = LoadPair(line0 + i);
        const Pair c1 = LoadPair(line1 + i);
        const Pair c2 = LoadPair(line2 + i);
        const Pair c3 = LoadPair(line3 + i);
        Pair keep = Or(keepMask, Outside(c0, t, negT));
        keep = Or(keep, Outside(c1, t, negT));
        keep = Or(keep, Outside(c2, t, negT));
        keep = Or(keep, Outside(c3, t, negT));
        StorePair(line0 + i, And(c0, keep));
        StorePair(line1 + i, And(c1, keep));
        StorePair(line2 + i, And(c2, keep));
        StorePair(line3 + i, And(c3, keep));
        i += 2;
    } while (--count > 0);
    ExitMmxState();
}

SKARVEL_TWO_LANE_TARGET void ShrinkBand2(float* line0, float* line1, int32_t start, int32_t end,
                                         float threshold, const float* mask) {
    using namespace twolane;
    int32_t count = (end - start) / 2;
    if (count <= 0) {
        reference::ShrinkBand2(line0, line1, start, end, threshold, mask);
        return;
    }
    ExitMmxState();
    const Pair t = ThresholdPair(threshold);
    const Pair negT = Subtract(Zero(), t);
    const Pair zero = Zero();
    int32_t i = start;
    do {
        const Pair keepMask = Greater(LoadPair(mask + i), zero);
        const Pair c0 = LoadPair(line0 + i);
        const Pair c1 = LoadPair(line1 + i);
        Pair keep = Or(keepMask, Outside(c0, t, negT));
        keep = Or(keep, Outside(c1, t, negT));
        StorePair(line0 + i, And(c0, keep));
        StorePair(line1 + i, And(c1, keep));
        i += 2;
    } while (--count > 0);
    ExitMmxState();
}

SKARVEL_TWO_LANE_TARGET void MarkEdges(float* mask, int32_t m, const float* approx,
                                       float threshold) {
    using namespace twolane;
    int32_t count = m / 2 - 1;
    if (count <= 0) {
        reference::MarkEdges(mask, m, approx, threshold);
        return;
    }
    ExitMmxState();
    const Pair t = LoadDuplicated(&threshold);
    const Pair negT = Subtract(Zero(), t);
    const Pair one = LoadPair(kOne);
    const float* a = approx;
    // Entry i's second difference governs mask[m + 1 + i]: mask[m + 1] to mask[2m - 2].
    float* w = mask + m + 1;
    do {
        const Pair a0 = LoadPair(a);
        const Pair a1 = LoadPair(a + 1);
        const Pair a2 = LoadPair(a + 2);
        const Pair e = Subtract(Subtract(Add(a1, a1), a0), a2);
        // 1.0 keeps the entry, 0.0 clears it: |e| at or below t counts as straight.
        const Pair factor = And(Outside(e, t, negT), one);
        StorePair(w, Multiply(factor, LoadPair(w)));
        a += 2;
        w += 2;
    } while (--count > 0);
    ExitMmxState();
}

}  // namespace skarvel::amd3dnow
