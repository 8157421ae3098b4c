// Reference kernels: taps, exact formulas, perfect reconstruction, shrink and
// edge rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "kernels/kernels.h"

namespace skarvel {
namespace {

uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

TEST(ReferenceKernels, TapsAreTheNearestFloats) {
    EXPECT_EQ(Bits(kH0), 0x3EF746EAu);
    EXPECT_EQ(Bits(kH1), 0x3F5625EFu);
    EXPECT_EQ(Bits(kH2), 0x3E6585F8u);
    EXPECT_EQ(Bits(kH3), 0xBE0483EEu);
    EXPECT_EQ(Bits(kG0), 0xBE0483EEu);
    EXPECT_EQ(Bits(kG1), 0xBE6585F8u);
    EXPECT_EQ(Bits(kG2), 0x3F5625EFu);
    EXPECT_EQ(Bits(kG3), 0xBEF746EAu);
}

// The formulas written out longhand, one rounding at the end.
float A(const std::vector<float>& x, size_t k) {
    const size_t n = x.size();
    return static_cast<float>(double(kH0) * x[2 * k] + double(kH1) * x[2 * k + 1] +
                              double(kH2) * x[(2 * k + 2) % n] + double(kH3) * x[(2 * k + 3) % n]);
}
float D(const std::vector<float>& x, size_t k) {
    const size_t n = x.size();
    return static_cast<float>(double(kG0) * x[2 * k] + double(kG1) * x[2 * k + 1] +
                              double(kG2) * x[(2 * k + 2) % n] + double(kG3) * x[(2 * k + 3) % n]);
}

std::vector<float> RandomLine(size_t n, uint32_t seed, float scale = 2048.0f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-scale, scale);
    std::vector<float> x(n);
    for (float& v : x) v = std::round(dist(rng));
    return x;
}

TEST(ReferenceKernels, AnalyzeMatchesFormulaIncludingWrap) {
    for (size_t n : {2u, 4u, 32u, 1024u}) {
        const std::vector<float> x = RandomLine(n, static_cast<uint32_t>(n));
        std::vector<float> out(n);
        reference::AnalyzeD4(x.data(), static_cast<uint32_t>(n), out.data());
        for (size_t k = 0; k < n / 2; ++k) {
            // Bit-exact up to the summation order: within one float step.
            EXPECT_NEAR(out[k], A(x, k), std::fabs(A(x, k)) * 1.2e-7 + 1e-30) << n << " " << k;
            EXPECT_NEAR(out[n / 2 + k], D(x, k), std::fabs(D(x, k)) * 1.2e-7 + 1e-30);
        }
    }
    // n = 2: the single pair reads x0, x1, x0, x1.
    const float x[2] = {3.0f, -5.0f};
    float out[2];
    reference::AnalyzeD4(x, 2, out);
    EXPECT_FLOAT_EQ(out[0], float((double(kH0) + kH2) * 3.0 + (double(kH1) + kH3) * -5.0));
}

TEST(ReferenceKernels, ConstantAndRampLines) {
    std::vector<float> flat(64, 100.0f), out(64);
    reference::AnalyzeD4(flat.data(), 64, out.data());
    for (int k = 0; k < 32; ++k) {
        EXPECT_NEAR(out[k], 100.0 * std::sqrt(2.0), 1e-4);
        EXPECT_NEAR(out[32 + k], 0.0, 1e-4);
    }
    std::vector<float> ramp(64);
    for (int i = 0; i < 64; ++i) ramp[i] = static_cast<float>(i);
    reference::AnalyzeD4(ramp.data(), 64, out.data());
    for (int k = 0; k < 31; ++k) EXPECT_NEAR(out[32 + k], 0.0, 1e-4) << k;
    EXPECT_GT(std::fabs(out[63]), 10.0f);  // the wrap sees the jump from 63 to 0
}

TEST(ReferenceKernels, SynthesisUndoesAnalysis) {
    for (size_t n : {2u, 4u, 32u, 512u, 1024u}) {
        const std::vector<float> x = RandomLine(n, 7 + static_cast<uint32_t>(n));
        std::vector<float> c(n), y(n);
        reference::AnalyzeD4(x.data(), static_cast<uint32_t>(n), c.data());
        reference::SynthesizeD4(c.data(), c.data() + n / 2, static_cast<int32_t>(n / 2), y.data());
        for (size_t i = 0; i < n; ++i) EXPECT_NEAR(y[i], x[i], 2e-3) << n << " " << i;
    }
}

TEST(ReferenceKernels, SynthesisOfOnePairUsesItAsItsOwnPrevious) {
    const float a = 2.0f, d = -3.0f;
    float y[2];
    reference::SynthesizeD4(&a, &d, 1, y);
    EXPECT_FLOAT_EQ(y[0],
                    float(double(kH0) * a + double(kG0) * d + double(kH2) * a + double(kG2) * d));
    EXPECT_FLOAT_EQ(y[1],
                    float(double(kH1) * a + double(kG1) * d + double(kH3) * a + double(kG3) * d));
}

TEST(ReferenceKernels, ShrinkRules) {
    // Strict test, mask as multiplier, untouched outside [start, end).
    std::vector<float> line = {1.0f, -2.0f, 5.0f, -5.0f, 4.9f, -4.9f, 7.0f, 0.5f};
    std::vector<float> mask = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    reference::ShrinkBand1(line.data(), 1, 7, 5.0f, mask.data());
    EXPECT_EQ(line[0], 1.0f);               // before start
    EXPECT_EQ(Bits(line[1]), 0x80000000u);  // negative becomes -0.0
    EXPECT_EQ(line[2], 5.0f);               // equal to the threshold: kept
    EXPECT_EQ(line[3], -5.0f);
    EXPECT_EQ(line[4], 0.0f);
    EXPECT_EQ(line[5], -4.9f);  // mask 1.0 protects
    EXPECT_EQ(line[6], 7.0f);
    EXPECT_EQ(line[7], 0.5f);  // at end: not touched

    std::vector<float> zero = {0.25f, -0.25f};
    std::vector<float> m0 = {0.0f, 0.0f};
    reference::ShrinkBand1(zero.data(), 0, 2, 0.0f, m0.data());
    EXPECT_EQ(zero[0], 0.25f);  // threshold 0 changes nothing
    reference::ShrinkBand1(zero.data(), 1, 1, 10.0f, m0.data());
    EXPECT_EQ(zero[1], -0.25f);  // start == end
}

TEST(ReferenceKernels, JointShrinkNeedsEveryLineSmall) {
    float l0[3] = {1, 1, 1}, l1[3] = {1, 9, 1}, l2[3] = {1, 1, 1}, l3[3] = {1, 1, 9};
    const float mask[3] = {0, 0, 0};
    reference::ShrinkBand4(l0, l1, l2, l3, 0, 3, 2.0f, mask);
    EXPECT_EQ(l0[0], 0.0f);
    EXPECT_EQ(l3[0], 0.0f);
    EXPECT_EQ(l0[1], 1.0f);  // line1 large protects all four at 1
    EXPECT_EQ(l2[1], 1.0f);
    EXPECT_EQ(l0[2], 1.0f);  // line3 large protects at 2
    float a[2] = {1, 1}, b[2] = {1, 3};
    reference::ShrinkBand2(a, b, 0, 2, 2.0f, mask);
    EXPECT_EQ(a[0], 0.0f);
    EXPECT_EQ(b[0], 0.0f);
    EXPECT_EQ(a[1], 1.0f);
    EXPECT_EQ(b[1], 3.0f);
}

TEST(ReferenceKernels, MarkEdgesClearsStraightStretchesOnly) {
    const int m = 8;
    std::vector<float> approx(m), mask(2 * m, 1.0f);
    for (int j = 0; j < m; ++j) approx[j] = static_cast<float>(j);
    reference::MarkEdges(mask.data(), m, approx.data(), 0.0f);  // t = 0 clears nothing
    for (float w : mask) EXPECT_EQ(w, 1.0f);
    approx[4] = 10.0f;  // a kink at 4 bends the second difference at 3, 4, 5
    reference::MarkEdges(mask.data(), m, approx.data(), 1.0f);
    for (int i = 0; i < 2 * m; ++i) {
        const bool cleared = i >= m + 1 && i <= 2 * m - 2 && (i - m < 3 || i - m > 5);
        EXPECT_EQ(mask[i], cleared ? 0.0f : 1.0f) << i;
    }
    std::vector<float> small(4, 1.0f);
    const float flat[2] = {1.0f, 1.0f};
    reference::MarkEdges(small.data(), 2, flat, 100.0f);  // m = 2 writes nothing
    for (float w : small) EXPECT_EQ(w, 1.0f);
}

}  // namespace
}  // namespace skarvel
