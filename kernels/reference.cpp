// Plain scalar kernels, the column every processor runs. Each stored value is
// formed in double and rounded to float once, at the store.
#include "kernels/kernels.h"
#include "kernels/scalar_helpers.h"

namespace skarvel::reference {

namespace {

constexpr double h0 = kH0, h1 = kH1, h2 = kH2, h3 = kH3;
constexpr double g0 = kG0, g1 = kG1, g2 = kG2, g3 = kG3;

}  // namespace

void AnalyzeD4(const float* input, uint32_t n, float* output) {
    const uint32_t m = n / 2;
    const float* x = input;
    // The first m - 1 pairs read consecutive samples; only the last pair wraps.
    for (uint32_t k = 0; k + 1 < m; ++k, x += 2) {
        const double x0 = x[0], x1 = x[1], x2 = x[2], x3 = x[3];
        output[k] = static_cast<float>(h0 * x0 + h1 * x1 + h2 * x2 + h3 * x3);
        output[m + k] = static_cast<float>(g0 * x0 + g1 * x1 + g2 * x2 + g3 * x3);
    }
    const double x0 = input[n - 2], x1 = input[n - 1], x2 = input[0], x3 = input[1];
    output[m - 1] = static_cast<float>(h0 * x0 + h1 * x1 + h2 * x2 + h3 * x3);
    output[n - 1] = static_cast<float>(g0 * x0 + g1 * x1 + g2 * x2 + g3 * x3);
}

void SynthesizeD4(const float* approx, const float* detail, int32_t m, float* output) {
    // Pair 0 wraps: its previous pair is the last one. Then pairs 1 .. m - 1.
    double prevA = approx[m - 1], prevD = detail[m - 1];
    for (int32_t j = 0; j < m; ++j) {
        const double a = approx[j], d = detail[j];
        output[2 * j] = static_cast<float>(h0 * a + g0 * d + h2 * prevA + g2 * prevD);
        output[2 * j + 1] = static_cast<float>(h1 * a + g1 * d + h3 * prevA + g3 * prevD);
        prevA = a;
        prevD = d;
    }
}

void ShrinkBand1(float* line, int32_t start, int32_t end, float threshold, const float* mask) {
    for (int32_t i = start; i < end; ++i) {
        if (Magnitude(line[i]) < threshold) line[i] = static_cast<float>(double(mask[i]) * line[i]);
    }
}

void ShrinkBand4(float* line0, float* line1, float* line2, float* line3, int32_t start, int32_t end,
                 float threshold, const float* mask) {
    for (int32_t i = start; i < end; ++i) {
        if (Magnitude(line0[i]) < threshold && Magnitude(line1[i]) < threshold &&
            Magnitude(line2[i]) < threshold && Magnitude(line3[i]) < threshold) {
            const double w = mask[i];
            line0[i] = static_cast<float>(w * line0[i]);
            line1[i] = static_cast<float>(w * line1[i]);
            line2[i] = static_cast<float>(w * line2[i]);
            line3[i] = static_cast<float>(w * line3[i]);
        }
    }
}

void ShrinkBand2(float* line0, float* line1, int32_t start, int32_t end, float threshold,
                 const float* mask) {
    for (int32_t i = start; i < end; ++i) {
        if (Magnitude(line0[i]) < threshold && Magnitude(line1[i]) < threshold) {
            const double w = mask[i];
            line0[i] = static_cast<float>(w * line0[i]);
            line1[i] = static_cast<float>(w * line1[i]);
        }
    }
}

void MarkEdges(float* mask, int32_t m, const float* approx, float threshold) {
    // No wrap: mask[m] and mask[2m - 1] are never written.
    for (int32_t j = 1; j + 1 < m; ++j) {
        const float s = SecondDifference(approx, j);
        if (Magnitude(s) < threshold) mask[m + j] = 0.0f;
    }
}

}  // namespace skarvel::reference
