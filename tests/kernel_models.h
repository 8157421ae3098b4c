// Scalar float models of the vector kernel sets: the same formulas in the
// same lane order, each product, sum and difference rounded to float on its
// own (no contraction, no wider intermediate). A vector kernel must match its
// model bit for bit. The models take the kernels' signatures, so the checker
// runs both on the same inputs and compares whole buffers.
#pragma once

#include <cfloat>
#include <cstdint>

#include "kernels/kernels.h"
#include "tests/model_amd3dnow.h"

namespace skarvel::model {

// One rounding to float per operation, also where the compiler would keep
// wider intermediates (x87).
inline float Round(float value) {
#if FLT_EVAL_METHOD == 0
    return value;
#else
    volatile float stored = value;
    return stored;
#endif
}
inline float Add(float a, float b) {
    return Round(a + b);
}
inline float Sub(float a, float b) {
    return Round(a - b);
}
inline float Mul(float a, float b) {
    return Round(a * b);
}

// NOT(value <= threshold) OR NOT(-threshold <= value), with -threshold formed
// as 0 - threshold: a NaN counts as outside.
inline bool Outside(float value, float threshold) {
    const float negative = Sub(0.0f, threshold);
    return !(value <= threshold) || !(negative <= value);
}

// The six operations of one set, in the rows' order.
struct KernelModels {
    const char* name;
    AnalyzeD4Function analyzeD4;
    SynthesizeD4Function synthesizeD4;
    ShrinkBand1Function shrinkBand1;
    ShrinkBand4Function shrinkBand4;
    ShrinkBand2Function shrinkBand2;
    MarkEdgesFunction markEdges;
};

// ---- four-lane SSE set ------------------------------------------------------
namespace sse {

inline void AnalyzeD4(const float* x, uint32_t n, float* output) {
    const uint32_t half = n / 2;
    for (uint32_t k = 0; k < half; ++k) {
        const float x0 = x[2 * k], x1 = x[2 * k + 1];
        const float x2 = x[(2 * k + 2) % n], x3 = x[(2 * k + 3) % n];
        output[k] = Add(Add(Add(Mul(kH0, x0), Mul(kH1, x1)), Mul(kH2, x2)), Mul(kH3, x3));
        output[half + k] = Add(Add(Add(Mul(kG1, x1), Mul(kG0, x0)), Mul(kG3, x3)), Mul(kG2, x2));
    }
}

inline void SynthesizeD4(const float* a, const float* d, int32_t m, float* output) {
    for (int32_t k = 0; k < m; ++k) {
        const int32_t p = k == 0 ? m - 1 : k - 1;
        output[2 * k] =
            Add(Add(Add(Mul(kH0, a[k]), Mul(kH2, a[p])), Mul(kG0, d[k])), Mul(kG2, d[p]));
        output[2 * k + 1] =
            Add(Add(Add(Mul(kH1, a[k]), Mul(kH3, a[p])), Mul(kG1, d[k])), Mul(kG3, d[p]));
    }
}

// Joint rule at one position: all lines become +0.0 when the mask entry is
// <= 0.0 and every coefficient lies in [-t, t]; otherwise all stay.
inline void ShrinkPosition(float* const* lines, int count, int32_t i, float t, const float* w) {
    bool keep = !(w[i] <= 0.0f);
    for (int l = 0; l < count; ++l) keep = keep || Outside(lines[l][i], t);
    if (!keep) {
        for (int l = 0; l < count; ++l) lines[l][i] = 0.0f;
    }
}

inline void ShrinkBand1(float* line, int32_t start, int32_t end, float t, const float* w) {
    float* lines[1] = {line};
    for (int32_t i = start; i < end; ++i) ShrinkPosition(lines, 1, i, t, w);
}

inline void ShrinkBand4(float* line0, float* line1, float* line2, float* line3, int32_t start,
                        int32_t end, float t, const float* w) {
    float* lines[4] = {line0, line1, line2, line3};
    for (int32_t i = start; i < end; ++i) ShrinkPosition(lines, 4, i, t, w);
}

inline void ShrinkBand2(float* line0, float* line1, int32_t start, int32_t end, float t,
                        const float* w) {
    float* lines[2] = {line0, line1};
    for (int32_t i = start; i < end; ++i) ShrinkPosition(lines, 2, i, t, w);
}

// Second difference as the set forms it: (a[i+1] + a[i+1] - a[i]) - a[i+2].
inline float SecondDifference(const float* a, int32_t i) {
    return Sub(Sub(Add(a[i + 1], a[i + 1]), a[i]), a[i + 2]);
}

inline void MarkEdges(float* mask, int32_t m, const float* a, float t) {
    for (int32_t i = 0; i + 2 < m; ++i) {
        const float factor = Outside(SecondDifference(a, i), t) ? 1.0f : 0.0f;
        mask[m + 1 + i] = Mul(factor, mask[m + 1 + i]);
    }
}

}  // namespace sse

inline constexpr KernelModels kSseModels = {"sse",
                                            sse::AnalyzeD4,
                                            sse::SynthesizeD4,
                                            sse::ShrinkBand1,
                                            sse::ShrinkBand4,
                                            sse::ShrinkBand2,
                                            sse::MarkEdges};

// ---- two-lane 3DNow! set: its own model ------------------------------------
inline constexpr KernelModels k3DNowModels = {"amd3dnow",
                                              model3dnow::AnalyzeD4,
                                              model3dnow::SynthesizeD4,
                                              model3dnow::ShrinkBand1,
                                              model3dnow::ShrinkBand4,
                                              model3dnow::ShrinkBand2,
                                              model3dnow::MarkEdges};

// The model of each vector column of the kernel table; nullptr where the
// build has no model for it (the checker then fails that column).
inline const KernelModels* ModelsForColumn(int32_t column) {
    switch (column) {
        case kCpu3DNow:
            return &k3DNowModels;
        case kCpuSse:
            return &kSseModels;
        default:
            return nullptr;
    }
}

}  // namespace skarvel::model
