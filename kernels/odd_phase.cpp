// Odd-phase kernels: each stored value is formed in double and rounded to
// float once, at the store.
#include "kernels/odd_phase.h"

#include "kernels/kernels.h"
#include "kernels/scalar_helpers.h"

namespace skarvel {

namespace {

constexpr double h0 = kH0, h1 = kH1, h2 = kH2, h3 = kH3;

inline float LowOdd(double x0, double x1, double x2, double x3) {
    return static_cast<float>(h0 * x0 + h1 * x1 + h2 * x2 + h3 * x3);
}

}  // namespace

void AnalyzeD4LowOdd(const float* input, uint32_t n, float* output) {
    const uint32_t m = n / 2;
    const float* x = input + 1;
    // Outputs 0 .. m - 3 read consecutive samples; the last two wrap.
    for (uint32_t k = 0; k + 2 < m; ++k, x += 2) output[k] = LowOdd(x[0], x[1], x[2], x[3]);
    output[m - 2] = LowOdd(input[n - 3], input[n - 2], input[n - 1], input[0]);
    output[m - 1] = LowOdd(input[n - 1], input[0], input[1], input[2]);
}

void SynthesizeD4LowOdd(const float* approx, int32_t m, float* output) {
    // Pair 0 takes the last entry as its previous one.
    double a = approx[0], p = approx[m - 1];
    output[1] = static_cast<float>(h0 * a + h2 * p);
    output[2] = static_cast<float>(h1 * a + h3 * p);
    for (int32_t j = 1; j + 1 < m; ++j) {
        a = approx[j];
        p = approx[j - 1];
        output[2 * j + 1] = static_cast<float>(h0 * a + h2 * p);
        output[2 * j + 2] = static_cast<float>(h1 * a + h3 * p);
    }
    // The last pair's even sample wraps round to position 0.
    a = approx[m - 1];
    p = approx[m - 2];
    output[2 * m - 1] = static_cast<float>(h0 * a + h2 * p);
    output[0] = static_cast<float>(h1 * a + h3 * p);
}

void MarkEdgesPair(float* mask, int32_t m, const float* approxA, const float* approxB,
                   float threshold) {
    // No wrap: mask[m] and mask[2m - 1] are never written.
    for (int32_t j = 1; j + 1 < m; ++j) {
        if (!(Magnitude(SecondDifference(approxA, j)) < threshold)) continue;
        if (Magnitude(SecondDifference(approxB, j)) < threshold) mask[m + j] = 0.0f;
    }
}

}  // namespace skarvel
