// Odd-phase kernels (longhand wrap cases, transposes, the half left alone, the
// paired edge test) and ShiftMode 3 of the line engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "engine/denoise_pass.h"
#include "engine/engine_internal.h"
#include "kernels/kernels.h"
#include "kernels/odd_phase.h"
#include "pass_harness.h"

namespace skarvel {
namespace {

using testing::OtherChroma;
using testing::PassTest;
using testing::ProcessedChroma;
using testing::TestFrame;

constexpr double h0 = kH0, h1 = kH1, h2 = kH2, h3 = kH3;

std::vector<float> RandomLine(size_t n, uint32_t seed, float scale = 2048.0f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-scale, scale);
    std::vector<float> x(n);
    for (float& v : x) v = std::round(dist(rng));
    return x;
}

// How many representable floats lie between a and b.
int64_t FloatSteps(float a, float b) {
    auto ordered = [](float f) {
        int32_t i;
        std::memcpy(&i, &f, sizeof i);
        return i < 0 ? -int64_t(i & 0x7FFFFFFF) : int64_t(i);
    };
    return std::llabs(ordered(a) - ordered(b));
}

// The kernels sum their four (two) products left to right in double and round
// once, so the longhand formulas in the same order match bit for bit.
float LowOddAt(const std::vector<float>& x, size_t k) {
    const size_t n = x.size();
    return static_cast<float>(h0 * x[2 * k + 1] + h1 * x[(2 * k + 2) % n] +
                              h2 * x[(2 * k + 3) % n] + h3 * x[(2 * k + 4) % n]);
}

TEST(OddPhaseKernels, AnalyzeTakesTheOddPhaseAndWrapsTheLastTwo) {
    const float x[4] = {3.0f, -7.0f, 11.0f, 19.5f};
    float out[2];
    AnalyzeD4LowOdd(x, 4, out);
    EXPECT_EQ(out[0], static_cast<float>(h0 * x[1] + h1 * x[2] + h2 * x[3] + h3 * x[0]));
    EXPECT_EQ(out[1], static_cast<float>(h0 * x[3] + h1 * x[0] + h2 * x[1] + h3 * x[2]));

    for (size_t n : {6u, 8u, 34u, 1024u}) {
        const std::vector<float> line = RandomLine(n, static_cast<uint32_t>(n));
        std::vector<float> a(n / 2);
        AnalyzeD4LowOdd(line.data(), static_cast<uint32_t>(n), a.data());
        for (size_t k = 0; k < n / 2; ++k) EXPECT_EQ(a[k], LowOddAt(line, k)) << n << " " << k;
    }
}

TEST(OddPhaseKernels, SynthesizeIsDelayedByOneAndWrapsTheFirstAndLastPair) {
    const float a[2] = {5.0f, -3.25f};
    float y[4];
    SynthesizeD4LowOdd(a, 2, y);
    EXPECT_EQ(y[1], static_cast<float>(h0 * a[0] + h2 * a[1]));
    EXPECT_EQ(y[2], static_cast<float>(h1 * a[0] + h3 * a[1]));
    EXPECT_EQ(y[3], static_cast<float>(h0 * a[1] + h2 * a[0]));
    EXPECT_EQ(y[0], static_cast<float>(h1 * a[1] + h3 * a[0]));

    for (int32_t m : {3, 4, 17, 512}) {
        const std::vector<float> approx = RandomLine(m, 40u + m);
        std::vector<float> out(2 * m, 1e30f);
        SynthesizeD4LowOdd(approx.data(), m, out.data());
        for (int32_t j = 0; j < m; ++j) {
            const double cur = approx[j], prev = approx[(j + m - 1) % m];
            EXPECT_EQ(out[2 * j + 1], static_cast<float>(h0 * cur + h2 * prev)) << m << " " << j;
            EXPECT_EQ(out[(2 * j + 2) % (2 * m)], static_cast<float>(h1 * cur + h3 * prev))
                << m << " " << j;
        }
    }
}

TEST(OddPhaseKernels, AnalyzeEqualsEvenAnalysisOfTheLineRotatedLeftByOne) {
    for (size_t n : {4u, 8u, 32u, 1024u}) {
        const std::vector<float> x = RandomLine(n, 90u + static_cast<uint32_t>(n));
        std::vector<float> rotated(n), even(n), odd(n / 2);
        for (size_t i = 0; i < n; ++i) rotated[i] = x[(i + 1) % n];
        reference::AnalyzeD4(rotated.data(), static_cast<uint32_t>(n), even.data());
        AnalyzeD4LowOdd(x.data(), static_cast<uint32_t>(n), odd.data());
        for (size_t k = 0; k < n / 2; ++k)
            EXPECT_LE(FloatSteps(odd[k], even[k]), 1) << n << " " << k;
    }
}

TEST(OddPhaseKernels, SynthesizeEqualsZeroDetailSynthesisShiftedUpByOne) {
    for (int32_t m : {2, 5, 16, 512}) {
        const std::vector<float> a = RandomLine(m, 7u * m);
        const std::vector<float> noDetail(m, 0.0f);
        std::vector<float> even(2 * m), odd(2 * m);
        reference::SynthesizeD4(a.data(), noDetail.data(), m, even.data());
        SynthesizeD4LowOdd(a.data(), m, odd.data());
        for (int32_t i = 0; i < 2 * m; ++i) {
            EXPECT_LE(FloatSteps(odd[(i + 1) % (2 * m)], even[i]), 1) << m << " " << i;
        }
    }
}

TEST(OddPhaseKernels, AnalyzeUndoesSynthesize) {
    for (int32_t m : {2, 3, 16, 512}) {
        const std::vector<float> a = RandomLine(m, 300u + m);
        std::vector<float> y(2 * m), back(m);
        SynthesizeD4LowOdd(a.data(), m, y.data());
        AnalyzeD4LowOdd(y.data(), static_cast<uint32_t>(2 * m), back.data());
        for (int32_t k = 0; k < m; ++k) EXPECT_NEAR(back[k], a[k], 2e-3) << m << " " << k;
    }
}

TEST(OddPhaseKernels, AnalyzeLeavesTheDetailHalfAlone) {
    const std::vector<float> x = RandomLine(32, 5);
    std::vector<float> out(40, 7.25f);
    AnalyzeD4LowOdd(x.data(), 32, out.data());
    for (size_t k = 0; k < 16; ++k) EXPECT_EQ(out[k], LowOddAt(x, k)) << k;
    for (size_t k = 16; k < out.size(); ++k) EXPECT_EQ(out[k], 7.25f) << k;
}

std::vector<float> Straight(int m, float slope, float offset) {
    std::vector<float> a(m);
    for (int j = 0; j < m; ++j) a[j] = slope * j + offset;
    return a;
}
std::vector<float> Kinked(std::vector<float> a, int at, float value) {
    a[at] = value;
    return a;
}
std::vector<float> Squares(int m) {  // second difference exactly -2 everywhere
    std::vector<float> a(m);
    for (int j = 0; j < m; ++j) a[j] = static_cast<float>(j * j);
    return a;
}

TEST(OddPhaseKernels, MarkEdgesPairClearsOnlyWhereBothAreStraight) {
    constexpr int m = 8;
    struct Case {
        const char* what;
        std::vector<float> a, b;
        float threshold;
        std::vector<int> kept;  // j in 1..m-2 whose entry m + j must stay 1.0
    };
    const std::vector<float> line = Straight(m, 1.0f, 0.0f), other = Straight(m, -2.5f, 40.0f);
    const std::vector<Case> cases = {
        {"both straight", line, other, 1.0f, {}},
        {"edge in A only", Kinked(line, 4, 10.0f), other, 1.0f, {3, 4, 5}},
        {"edge in B only", line, Kinked(other, 2, 9.0f), 1.0f, {1, 2, 3}},
        {"edges in both", Kinked(line, 4, 10.0f), Kinked(other, 2, 9.0f), 1.0f, {1, 2, 3, 4, 5}},
        {"threshold zero", line, other, 0.0f, {1, 2, 3, 4, 5, 6}},
        {"A at the threshold", Squares(m), other, 2.0f, {1, 2, 3, 4, 5, 6}},
        {"B at the threshold", line, Squares(m), 2.0f, {1, 2, 3, 4, 5, 6}},
        {"A just below", Squares(m), other, 2.0000002f, {}},
    };
    for (const Case& c : cases) {
        std::vector<float> mask(2 * m + 4, 1.0f);
        MarkEdgesPair(mask.data(), m, c.a.data(), c.b.data(), c.threshold);
        for (int i = 0; i < static_cast<int>(mask.size()); ++i) {
            const int j = i - m;
            const bool inside = j >= 1 && j <= m - 2;
            const bool kept = std::find(c.kept.begin(), c.kept.end(), j) != c.kept.end();
            EXPECT_EQ(mask[i], inside && !kept ? 0.0f : 1.0f) << c.what << " entry " << i;
        }
    }

    // m = 2 has no inner entry; earlier clears are never set back.
    std::vector<float> small(6, 1.0f);
    const float flat[2] = {1.0f, 1.0f};
    MarkEdgesPair(small.data(), 2, flat, flat, 100.0f);
    for (float w : small) EXPECT_EQ(w, 1.0f);
    std::vector<float> mask(2 * m, 1.0f);
    mask[m + 4] = 0.0f;
    MarkEdgesPair(mask.data(), m, Kinked(line, 4, 10.0f).data(), line.data(), 1.0f);
    EXPECT_EQ(mask[m + 4], 0.0f);
}

// ---- ShiftMode 3 in the line engine ---------------------------------------

class OddPhasePass : public PassTest {
protected:
    void SetUp() override {
        PassTest::SetUp();
        ShiftMode = 3;
    }

    // Gathers one row of the frame the way the pass does and decomposes it
    // unshrunk, so the pass's coefficients can be compared with these.
    void DecomposeRow(const TestFrame& frame, int32_t row, int32_t kind, int32_t paddedLength,
                      int32_t levels, std::vector<float>* odd, std::vector<float>* even) {
        const YcPixel* pixels = frame.pixels.data() + static_cast<size_t>(row) * frame.info.pitch;
        for (int32_t j = 0; j < paddedLength; ++j) {
            LinePool.shift0Line[j] = j < frame.info.width ? ProcessedChroma(pixels[j]) : 0.0f;
            LinePool.edgeMask[j] = 1.0f;
        }
        DecomposeOddPhase(kind, paddedLength, levels, 0);
        odd->assign(LinePool.shift0Line, LinePool.shift0Line + paddedLength);
        even->assign(LinePool.shift2Line, LinePool.shift2Line + paddedLength);
    }
};

float MedianMagnitude(const float* v, int32_t count) {
    std::vector<float> m(v, v + count);
    for (float& x : m) x = std::fabs(x);
    std::nth_element(m.begin(), m.begin() + count / 2, m.end());
    return m[count / 2];
}

float Bend(const float* a, int32_t j) {
    return static_cast<float>(2.0 * a[j] - double(a[j - 1]) - double(a[j + 1]));
}

TEST_F(OddPhasePass, DecompositionKeepsBothPhasesOfEveryLevel) {
    // Longhand: the even-phase transform of the level's input; its low-pass
    // part rebuilt with zero detail and moved up by one sample; the transform
    // of that, whose approximation the next level continues from.
    constexpr int32_t kPadded = 512, kLevels = 3;
    TestFrame frame(500, 1, 61);
    std::vector<float> x(kPadded, 0.0f), evenModel(kPadded), oddModel(kPadded);
    for (int32_t j = 0; j < 500; ++j) x[j] = ProcessedChroma(frame.pixels[j]);
    for (int32_t k = 1; k <= kLevels; ++k) {
        const int32_t n = kPadded >> (k - 1), m = n / 2;
        std::vector<float> zeros(m, 0.0f), rebuilt(n), moved(n);
        reference::AnalyzeD4(x.data(), n, evenModel.data());
        reference::SynthesizeD4(evenModel.data(), zeros.data(), m, rebuilt.data());
        for (int32_t i = 0; i < n; ++i) moved[(i + 1) % n] = rebuilt[i];
        reference::AnalyzeD4(moved.data(), n, oddModel.data());
        x.assign(oddModel.begin(), oddModel.begin() + m);
    }
    for (int32_t kind : KindsToRun()) {
        std::vector<float> odd, even;
        DecomposeRow(frame, 0, kind, kPadded, kLevels, &odd, &even);
        for (int32_t p = 0; p < kPadded; ++p) {
            EXPECT_NEAR(even[p], evenModel[p], 4e-3) << "kind " << kind << " position " << p;
            EXPECT_NEAR(odd[p], oddModel[p], 4e-3) << "kind " << kind << " position " << p;
        }
    }
}

TEST_F(OddPhasePass, ZeroThresholdsGiveTheLineBackWithinTruncation) {
    struct Shape {
        bool horizontal;
        int32_t width, height;
    };
    const Shape shapes[] = {{true, 700, 3}, {false, 5, 600}, {true, 512, 2}, {true, 300, 2}};
    for (float& e : EdgeThresholds) e = 900.0f;
    // All zero: one level; all tiny: every level, with nothing small enough to shrink.
    for (float level : {0.0f, 1e-30f}) {
        for (int32_t kind : KindsToRun()) {
            for (const Shape& shape : shapes) {
                TestFrame frame(shape.width, shape.height, 11);
                const std::vector<YcPixel> before = frame.pixels;
                const int32_t length = shape.horizontal ? shape.width : shape.height;
                const int32_t padded = length > 512 ? 1024 : 512;
                float thresholds[6] = {level, level, level, level, level, level};
                if (padded == 512) thresholds[5] = 0.0f;
                for (int i = 0; i < 1024; ++i) {
                    LinePool.shift1Line[i] = 0.5f * i + 3.0f;
                    LinePool.shift3Line[i] = -0.25f * i;
                }
                DenoisePass(shape.horizontal, kind, &frame.info, thresholds, padded == 1024 ? 6 : 5,
                            padded, 0, false);
                for (size_t p = 0; p < before.size(); ++p) {
                    const int in = ProcessedChroma(before[p]),
                              out = ProcessedChroma(frame.pixels[p]);
                    const int toward = in > 0 ? in - 1 : in < 0 ? in + 1 : in;
                    EXPECT_TRUE(out == in || out == toward)
                        << "kind " << kind << " length " << length << " level " << level
                        << " pixel " << p << ": " << in << " -> " << out;
                    EXPECT_EQ(frame.pixels[p].y, before[p].y);
                    EXPECT_EQ(OtherChroma(frame.pixels[p]), OtherChroma(before[p]));
                }
                for (int i = 0; i < 1024; ++i) {
                    ASSERT_EQ(LinePool.shift1Line[i], 0.5f * i + 3.0f) << i;
                    ASSERT_EQ(LinePool.shift3Line[i], -0.25f * i) << i;
                }
            }
        }
    }
}

TEST_F(OddPhasePass, StrongThresholdsSmoothANoisyLine) {
    for (float& e : EdgeThresholds) e = 1e9f;
    for (int32_t kind : KindsToRun()) {
        TestFrame frame(1000, 2, 21, 60);
        for (YcPixel& p : frame.pixels) Chroma(p) = static_cast<int16_t>(Chroma(p) + 300);
        const std::vector<YcPixel> before = frame.pixels;
        const float thresholds[6] = {1e6f, 1e6f, 1e6f, 1e6f, 1e6f, 1e6f};
        DenoisePass(true, kind, &frame.info, thresholds, 6, 1024, 0, false);
        // Away from the padding's step the rows come out close to flat.
        double inSquares = 0.0, outSquares = 0.0;
        for (int x = 100; x < 900; ++x) {
            inSquares += std::pow(ProcessedChroma(before[x]) - 300.0, 2);
            outSquares += std::pow(ProcessedChroma(frame.At(x, 0)) - 300.0, 2);
        }
        EXPECT_LT(outSquares * 9.0, inSquares) << "kind " << kind;
    }
}

TEST_F(OddPhasePass, JointShrinkZeroesBothPhasesOrNeither) {
    // The mask is cleared everywhere it may be, so the joint magnitude test decides.
    for (float& e : EdgeThresholds) e = 1e9f;
    for (int32_t kind : KindsToRun()) {
        TestFrame frame(1000, 1, 31);
        std::vector<float> odd, even;
        DecomposeRow(frame, 0, kind, 1024, 6, &odd, &even);
        float thresholds[6];
        for (int b = 0; b < kBandCount; ++b) {
            const int32_t start = BandStart(b), count = BandEnd(b) - start;
            thresholds[b] = MedianMagnitude(odd.data() + start, count) * 1.0001f;
            for (int32_t p = start; p < start + count; ++p) {
                ASSERT_NE(std::fabs(odd[p]), thresholds[b]);
                ASSERT_NE(std::fabs(even[p]), thresholds[b]);
            }
        }
        DenoisePass(true, kind, &frame.info, thresholds, 6, 1024, 1, false);

        int oneSmall = 0, zeroed = 0;
        for (int b = 0; b < kBandCount; ++b) {
            const float t = thresholds[b];
            for (int32_t p = BandStart(b); p < BandEnd(b); ++p) {
                const bool smallOdd = std::fabs(odd[p]) < t, smallEven = std::fabs(even[p]) < t;
                const bool zero = smallOdd && smallEven && LinePool.edgeMask[p] == 0.0f;
                oneSmall += smallOdd != smallEven;
                if (zero) {
                    ++zeroed;
                    EXPECT_EQ(LinePool.shift0Line[p], 0.0f) << p;
                    EXPECT_EQ(LinePool.shift2Line[p], 0.0f) << p;
                } else {
                    EXPECT_EQ(LinePool.shift0Line[p], odd[p]) << p;
                    EXPECT_EQ(LinePool.shift2Line[p], even[p]) << p;
                }
            }
        }
        for (int32_t p = 0; p < 16; ++p) {
            EXPECT_EQ(LinePool.shift0Line[p], odd[p]);
            EXPECT_EQ(LinePool.shift2Line[p], even[p]);
        }
        EXPECT_GT(oneSmall, 100) << "the case of one small phase must occur";
        EXPECT_GT(zeroed, 100);
    }
}

TEST_F(OddPhasePass, AnEdgeInEitherPhaseProtectsThePosition) {
    // One level only (all thresholds but the finest band's are zero); that
    // band shrinks wherever the mask allows, so the mask alone decides. The
    // finest level takes Lv 5, or Lv 4 when both frame sides are at most 512.
    struct Shape {
        int32_t width, height, padded, levelCount, edgeEntry;
    };
    const Shape shapes[] = {{1000, 1, 1024, 6, 5}, {500, 1, 512, 5, 4}, {500, 600, 512, 5, 5}};
    for (const Shape& shape : shapes) {
        for (int32_t kind : KindsToRun()) {
            TestFrame frame(shape.width, shape.height, 41);
            const int32_t m = shape.padded / 2, lastRow = shape.height - 1;
            std::vector<float> odd, even;
            DecomposeRow(frame, lastRow, kind, shape.padded, 1, &odd, &even);
            std::vector<float> bends(m - 2);
            for (int32_t j = 1; j <= m - 2; ++j) bends[j - 1] = Bend(odd.data(), j);
            const float e = MedianMagnitude(bends.data(), m - 2) * 1.0001f;
            // The other entries clear nothing, so taking a wrong one shows.
            for (float& t : EdgeThresholds) t = 0.0f;
            EdgeThresholds[shape.edgeEntry] = e;
            float thresholds[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
            thresholds[shape.levelCount - 1] = 1e9f;
            DenoisePass(true, kind, &frame.info, thresholds, shape.levelCount, shape.padded, 1,
                        false);

            int onlyOdd = 0, onlyEven = 0;
            for (int32_t j = 1; j <= m - 2; ++j) {
                const bool straightOdd = std::fabs(Bend(odd.data(), j)) < e;
                const bool straightEven = std::fabs(Bend(even.data(), j)) < e;
                onlyOdd += straightOdd && !straightEven;
                onlyEven += straightEven && !straightOdd;
                const bool cleared = straightOdd && straightEven;
                ASSERT_EQ(LinePool.edgeMask[m + j], cleared ? 0.0f : 1.0f)
                    << shape.width << " " << j;
                ASSERT_EQ(LinePool.shift0Line[m + j], cleared ? 0.0f : odd[m + j]) << j;
                ASSERT_EQ(LinePool.shift2Line[m + j], cleared ? 0.0f : even[m + j]) << j;
            }
            for (int32_t p : {m, 2 * m - 1}) {  // the band's ends are never cleared
                EXPECT_EQ(LinePool.edgeMask[p], 1.0f);
                EXPECT_EQ(LinePool.shift0Line[p], odd[p]);
                EXPECT_EQ(LinePool.shift2Line[p], even[p]);
            }
            EXPECT_GT(onlyOdd, m / 25);
            EXPECT_GT(onlyEven, m / 25);
        }
    }
}

TEST_F(OddPhasePass, WholeFrameThroughTheCallbacks) {
    FilterRegistration* registration = FilterTable();
    std::vector<int32_t> tracks(registration->trackDefaults,
                                registration->trackDefaults + kTrackCount);
    std::vector<int32_t> checks(kCheckCount, 0);
    tracks[0] = 3;
    FilterInstance instance{*registration};
    instance.record.trackValues = tracks.data();
    instance.record.checkValues = checks.data();
    UpdateParameters(&instance, 0);
    ASSERT_EQ(ShiftMode, 3);

    TestFrame frame(96, 64, 51);
    const std::vector<YcPixel> before = frame.pixels;
    EXPECT_EQ(ProcessFrame(&instance, &frame.info), 1);
    int changed = 0;
    for (size_t p = 0; p < before.size(); ++p) {
        changed += ProcessedChroma(frame.pixels[p]) != ProcessedChroma(before[p]);
        EXPECT_EQ(frame.pixels[p].y, before[p].y);
        EXPECT_EQ(OtherChroma(frame.pixels[p]), OtherChroma(before[p]));
    }
    EXPECT_GT(changed, static_cast<int>(before.size()) / 2);
}

}  // namespace
}  // namespace skarvel
