// Scalar float model of the 3DNow! set: one entry at a time, every product,
// sum and difference rounded to single in the set's order. Written from the
// formulas per coefficient, not from the pair loops, so that the kernels'
// lane layout is checked and not restated.
#pragma once

#include <cstdint>

#include "kernels/kernels.h"

namespace skarvel::model3dnow {

// Rounds to single even where the compiler evaluates floats on the x87 stack
// (32-bit builds), by forcing the value through memory.
inline float Single(float v) {
    volatile float stored = v;
    return stored;
}
inline float Mul(float a, float b) {
    return Single(a * b);
}
inline float Add(float a, float b) {
    return Single(a + b);
}
inline float Sub(float a, float b) {
    return Single(a - b);
}

// ((x0*t0 + x2*t2) + x1*t1) + x3*t3
inline float AnalysisSum(const float* x, uint32_t n, uint32_t k, float t0, float t1, float t2,
                         float t3) {
    const float x0 = x[2 * k], x1 = x[2 * k + 1], x2 = x[(2 * k + 2) % n], x3 = x[(2 * k + 3) % n];
    return Add(Add(Add(Mul(x0, t0), Mul(x2, t2)), Mul(x1, t1)), Mul(x3, t3));
}

inline void AnalyzeD4(const float* x, uint32_t n, float* output) {
    const uint32_t half = n / 2;
    for (uint32_t k = 0; k < half; ++k) {
        output[k] = AnalysisSum(x, n, k, kH0, kH1, kH2, kH3);
        output[half + k] = AnalysisSum(x, n, k, kG0, kG1, kG2, kG3);
    }
}

inline void SynthesizeD4(const float* a, const float* d, int32_t m, float* output) {
    for (int32_t k = 0; k < m; ++k) {
        const int32_t p = k == 0 ? m - 1 : k - 1;
        output[2 * k] =
            Add(Add(Add(Mul(a[k], kH0), Mul(d[k], kG0)), Mul(a[p], kH2)), Mul(d[p], kG2));
        output[2 * k + 1] =
            Add(Add(Add(Mul(a[k], kH1), Mul(d[k], kG1)), Mul(a[p], kH3)), Mul(d[p], kG3));
    }
}

// Outside [-t, t] with -t formed as 0 - t.
inline bool Outside(float c, float t) {
    return c > t || Sub(0.0f, t) > c;
}

// Joint shrink of `count` lines over whole pairs from start; a remainder entry
// is left alone. Cleared entries become +0.0.
inline void ShrinkBands(float* const* lines, int count, int32_t start, int32_t end, float t,
                        const float* mask) {
    const int32_t stop = start + (end - start) / 2 * 2;
    for (int32_t i = start; i < stop; ++i) {
        bool keep = mask[i] > 0.0f;
        for (int l = 0; l < count; ++l) keep = keep || Outside(lines[l][i], t);
        if (!keep) {
            for (int l = 0; l < count; ++l) lines[l][i] = 0.0f;
        }
    }
}

inline void ShrinkBand1(float* line, int32_t start, int32_t end, float t, const float* mask) {
    float* lines[1] = {line};
    ShrinkBands(lines, 1, start, end, t, mask);
}
inline void ShrinkBand2(float* line0, float* line1, int32_t start, int32_t end, float t,
                        const float* mask) {
    float* lines[2] = {line0, line1};
    ShrinkBands(lines, 2, start, end, t, mask);
}
inline void ShrinkBand4(float* line0, float* line1, float* line2, float* line3, int32_t start,
                        int32_t end, float t, const float* mask) {
    float* lines[4] = {line0, line1, line2, line3};
    ShrinkBands(lines, 4, start, end, t, mask);
}

// e = (2a[i+1] - a[i]) - a[i+2] in single steps; mask[m+1+i] times 1.0 or 0.0.
inline void MarkEdges(float* mask, int32_t m, const float* a, float t) {
    const int32_t stop = (m / 2 - 1) * 2;
    for (int32_t i = 0; i < stop; ++i) {
        const float e = Sub(Sub(Add(a[i + 1], a[i + 1]), a[i]), a[i + 2]);
        const float factor = Outside(e, t) ? 1.0f : 0.0f;
        mask[m + 1 + i] = Mul(factor, mask[m + 1 + i]);
    }
}

}  // namespace skarvel::model3dnow
