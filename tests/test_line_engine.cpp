// The line engine against an independent model of one pass, written straight
// from the rules with the reference kernels, so that every choice the frame
// callback and the pass make (padded length, levels, edge level per level,
// thresholds, shifts, gather and write-back) shows up in the result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/denoise_pass.h"
#include "engine/engine_internal.h"
#include "kernels/kernels.h"
#include "tests/plugin_fixture.h"

namespace skarvel {
namespace {

using testing::NoisyFrame;
using testing::PluginFixture;

struct PassModel {
    bool horizontal;
    int32_t paddedLength, levelCount, smallFrame, mode;
    bool halve, average;
    float thresholds[6];
    float edges[6];
};

int16_t Saturate(double v) {
    const double t = std::trunc(v);
    return static_cast<int16_t>(std::min(32767.0, std::max(-32768.0, t)));
}

std::vector<float> ModelLine(const std::vector<float>& samples, const PassModel& p) {
    const int32_t P = p.paddedLength;
    std::vector<float> x(P, 0.0f);
    std::copy(samples.begin(), samples.end(), x.begin());
    std::vector<int> shifts = p.mode == 0   ? std::vector<int>{0}
                              : p.mode == 1 ? std::vector<int>{0, 2}
                                            : std::vector<int>{0, 1, 2, 3};
    std::vector<std::vector<float>> lines;
    for (int s : shifts) {
        std::vector<float> l(P);
        for (int k = 0; k < P; ++k) l[k] = x[(k + s) % P];
        lines.push_back(l);
    }
    int32_t zeros = 0;
    while (zeros < p.levelCount - 1 && p.thresholds[zeros] == 0.0f) ++zeros;
    const int32_t levels = p.levelCount - zeros;
    std::vector<float> mask(P, 1.0f), tmp(P);
    for (int k = 1; k <= levels; ++k) {
        const int n = P >> (k - 1);
        for (auto& l : lines) {
            std::copy(l.begin(), l.begin() + n, tmp.begin());
            reference::AnalyzeD4(tmp.data(), n, l.data());
            reference::MarkEdges(mask.data(), n / 2, l.data(), p.edges[5 - p.smallFrame - (k - 1)]);
        }
    }
    for (int band = 0; band < 6; ++band) {
        const int start = 16 << band, end = 32 << band;
        if (end > P || (band == 5 && !(p.thresholds[5] > 0.0f))) break;
        const float t = p.thresholds[band];
        if (p.mode == 0) reference::ShrinkBand1(lines[0].data(), start, end, t, mask.data());
        if (p.mode == 1)
            reference::ShrinkBand2(lines[0].data(), lines[1].data(), start, end, t, mask.data());
        if (p.mode == 2)
            reference::ShrinkBand4(lines[0].data(), lines[1].data(), lines[2].data(),
                                   lines[3].data(), start, end, t, mask.data());
    }
    for (auto& l : lines) {
        for (int m = P >> levels; 2 * m <= P; m *= 2) {
            reference::SynthesizeD4(l.data(), l.data() + m, m, tmp.data());
            std::copy(tmp.begin(), tmp.begin() + 2 * m, l.begin());
        }
    }
    std::vector<float> out(samples.size());
    for (size_t k = 0; k < samples.size(); ++k) {
        double sum = 0.0;
        for (size_t s = 0; s < shifts.size(); ++s) sum += lines[s][(k - shifts[s] + P) % P];
        const double v = sum * (1.0 / shifts.size());
        out[k] = static_cast<float>(Saturate(v));
    }
    return out;
}

// Applies the model pass to a frame of width w (already halved if so), pitch.
void ModelPass(std::vector<YcPixel>& px, int32_t w, int32_t h, int32_t pitch, const PassModel& p) {
    const int lines = p.horizontal ? h : w, length = p.horizontal ? w : h;
    for (int i = 0; i < lines; ++i) {
        std::vector<float> s(length);
        for (int j = 0; j < length; ++j) {
            if (p.horizontal) {
                const YcPixel* row = &px[static_cast<size_t>(i) * pitch];
                s[j] = !p.halve    ? row[j].cr
                       : p.average ? float((int(row[2 * j].cr) + row[2 * j + 1].cr) >> 1)
                                   : row[2 * j].cr;
            } else {
                s[j] = px[static_cast<size_t>(j) * pitch + (p.halve ? 2 * i : i)].cr;
            }
        }
        const std::vector<float> out = ModelLine(s, p);
        for (int k = 0; k < length; ++k) {
            const int16_t v = static_cast<int16_t>(out[k]);
            if (p.horizontal) {
                YcPixel* row = &px[static_cast<size_t>(i) * pitch];
                if (p.halve) {
                    row[2 * k].cr = v;
                    row[2 * k + 1].cr = v;
                } else {
                    row[k].cr = v;
                }
            } else {
                px[static_cast<size_t>(k) * pitch + (p.halve ? 2 * i : i)].cr = v;
            }
        }
    }
}

// Distinct tracks per band and per edge level, so a wrong index is visible.
void DistinctTracks(PluginFixture& f, int mode) {
    f.tracks = {mode, 10, 25, 40, 55, 70, 85, 30, 45, 60, 75, 90, 40, 200, 80, 0};
}

struct FrameCase {
    int32_t width, height;
    int mode;
    bool halve, average;
    // The choices the frame callback is expected to make.
    int32_t verticalP, horizontalP, smallFrame;
};

class FrameAgainstModel : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameAgainstModel, MatchesTheModel) {
    const FrameCase c = GetParam();
    PluginFixture f;
    DistinctTracks(f, c.mode);
    f.checks = {c.halve ? 1 : 0, c.average ? 1 : 0};
    f.Start();
    CpuKind = kCpuReference;  // the model follows the reference set's arithmetic
    const int32_t pitch = c.width + 3;
    std::vector<YcPixel> frame = NoisyFrame(c.width, c.height, pitch, 11 + c.width + c.mode);
    std::vector<YcPixel> expected = frame;
    f.Process(frame, c.width, c.height, pitch);

    const int32_t w = c.halve ? c.width >> 1 : c.width;
    PassModel v{false,        c.verticalP, c.verticalP == 1024 ? 6 : 5,
                c.smallFrame, c.mode,      c.halve,
                c.average,    {},          {}};
    std::memcpy(v.thresholds, VerticalThresholds, sizeof v.thresholds);
    std::memcpy(v.edges, EdgeThresholds, sizeof v.edges);
    if (c.verticalP == 512) v.thresholds[5] = 0.0f;
    PassModel hz = v;
    hz.horizontal = true;
    hz.paddedLength = c.horizontalP;
    hz.levelCount = c.horizontalP == 1024 ? 6 : 5;
    std::memcpy(hz.thresholds, HorizontalThresholds, sizeof hz.thresholds);
    if (c.horizontalP == 512) hz.thresholds[5] = 0.0f;
    ModelPass(expected, w, c.height, pitch, v);
    ModelPass(expected, w, c.height, pitch, hz);

    int differing = 0;
    for (size_t i = 0; i < frame.size(); ++i) differing += frame[i].cr != expected[i].cr;
    EXPECT_EQ(differing, 0);
}

INSTANTIATE_TEST_SUITE_P(Shapes, FrameAgainstModel,
                         ::testing::Values(FrameCase{400, 300, 0, false, false, 512, 512, 1},
                                           FrameCase{400, 300, 2, false, false, 512, 512, 1},
                                           FrameCase{720, 480, 0, false, false, 512, 1024, 0},
                                           FrameCase{720, 480, 1, false, false, 512, 1024, 0},
                                           FrameCase{720, 480, 2, false, false, 512, 1024, 0},
                                           FrameCase{512, 512, 1, false, false, 512, 512, 1},
                                           FrameCase{513, 64, 0, false, false, 512, 1024, 0},
                                           FrameCase{64, 513, 2, false, false, 1024, 512, 0},
                                           FrameCase{720, 480, 1, true, false, 512, 512, 1},
                                           FrameCase{720, 480, 2, true, true, 512, 512, 1},
                                           FrameCase{1025, 40, 0, true, true, 512, 512, 1},
                                           FrameCase{400, 800, 2, false, false, 1024, 512, 0}));

// A bare pass with hand-set module state.
struct BarePass {
    PluginFixture f;
    BarePass(int mode) {
        f.Start();
        ShiftMode = mode;
    }
};

std::vector<YcPixel> Row(const std::vector<int16_t>& cr) {
    std::vector<YcPixel> px(cr.size());
    for (size_t i = 0; i < cr.size(); ++i) px[i] = {0, 0, cr[i]};
    return px;
}

void RunRow(std::vector<YcPixel>& px, const float* thresholds, int32_t levelCount, int32_t P,
            bool halve = false) {
    FrameInfo frame{};
    frame.pixels = px.data();
    frame.width = static_cast<int32_t>(halve ? px.size() / 2 : px.size());
    frame.height = 1;
    frame.pitch = static_cast<int32_t>(px.size());
    DenoisePass(true, 0, &frame, thresholds, levelCount, P, 0, halve);
}

TEST(LevelsToDecompose, LeadingZeroThresholdsSkipCoarseLevels) {
    struct Case {
        float t[6];
        int32_t levelCount, expected;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 0, 0}, 5, 1}, {{0, 0, 0, 0, 0, 0}, 6, 1}, {{0, 5, 0, 0, 0, 0}, 5, 4},
        {{3, 0, 0, 0, 0, 0}, 5, 5}, {{0, 0, 0, 0, 0, 7}, 6, 1}, {{0, 0, 0, 0, 2, 0}, 6, 2},
        {{1, 1, 1, 1, 1, 1}, 6, 6},
    };
    for (const Case& c : cases) EXPECT_EQ(LevelsToDecompose(c.t, c.levelCount), c.expected);
}

TEST(DenoisePass, ShiftedCopiesComeBackInPlace) {
    // With nothing shrunk every mode rebuilds the same line, for a line
    // shorter than P (zeros follow) and one of exactly P (pure rotations).
    const float none[6] = {0, 0, 0, 0, 0, 0};
    for (int32_t length : {300, 512}) {
        std::vector<int16_t> cr(length);
        for (int32_t i = 0; i < length; ++i) cr[i] = static_cast<int16_t>((i * 37) % 400 - 200);
        std::vector<YcPixel> base = Row(cr);
        for (int mode : {0, 1, 2}) {
            BarePass pass(mode);
            std::vector<YcPixel> px = base;
            RunRow(px, none, 5, 512);
            for (int32_t i = 0; i < length; ++i)
                ASSERT_LE(std::abs(px[i].cr - cr[i]), 1) << "mode " << mode << " at " << i;
        }
    }
}

TEST(DenoisePass, HalfWidthGathersEvenColumnsOrPairAverages) {
    // Nothing shrunk; values far from zero keep truncation from hiding the gather.
    const float none[6] = {0, 0, 0, 0, 0, 0};
    std::vector<int16_t> cr(64);
    for (int i = 0; i < 32; ++i) {
        cr[2 * i] = static_cast<int16_t>(i % 2 ? -3 : 101);
        cr[2 * i + 1] = static_cast<int16_t>(i % 2 ? 0 : 200);
    }
    for (bool average : {false, true}) {
        BarePass pass(0);
        AveragePairs = average;
        std::vector<YcPixel> px = Row(cr);
        RunRow(px, none, 5, 512, true);
        for (int i = 0; i < 32; ++i) {
            const int expected = average ? (i % 2 ? -2 : 150) : (i % 2 ? -3 : 101);
            EXPECT_LE(std::abs(px[2 * i].cr - expected), 1) << i;
            EXPECT_EQ(px[2 * i].cr, px[2 * i + 1].cr) << "both pixels of the pair";
        }
    }
    EXPECT_EQ((-3 + 0) >> 1, -2);
}

TEST(DenoisePass, FirstAndLastCoefficientOfEveryBandSurvive) {
    // A huge threshold with a flat approximation would clear everything but
    // the band ends; the line then rebuilds from those ends.
    BarePass pass(0);
    EdgeThresholds[0] = EdgeThresholds[1] = EdgeThresholds[2] = 1e9f;
    EdgeThresholds[3] = EdgeThresholds[4] = EdgeThresholds[5] = 1e9f;
    std::vector<float> line(512);
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> d(-900, 900);
    std::vector<int16_t> cr(512);
    for (auto& v : cr) v = static_cast<int16_t>(d(rng));
    for (int i = 0; i < 512; ++i) line[i] = cr[i];
    // Expected coefficients: full analysis, then everything inside the bands cleared.
    std::vector<float> c = line, tmp(512);
    for (int n = 512; n >= 32; n /= 2) {
        std::copy(c.begin(), c.begin() + n, tmp.begin());
        reference::AnalyzeD4(tmp.data(), n, c.data());
    }
    for (int m = 16; m < 512; m *= 2)
        for (int i = m + 1; i < 2 * m - 1; ++i) c[i] = 0.0f;
    for (int m = 16; m < 512; m *= 2) {
        reference::SynthesizeD4(c.data(), c.data() + m, m, tmp.data());
        std::copy(tmp.begin(), tmp.begin() + 2 * m, c.begin());
    }
    const float huge[6] = {1e9f, 1e9f, 1e9f, 1e9f, 1e9f, 0.0f};
    std::vector<YcPixel> px = Row(cr);
    RunRow(px, huge, 5, 512);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(px[i].cr, static_cast<int16_t>(c[i])) << i;
}

TEST(DenoisePass, SamplesTruncateTowardZeroAndSaturate) {
    const struct {
        double value;
        int16_t sample;
    } cases[] = {{-7.9, -7},       {7.9, 7},           {119.99998, 119},
                 {-0.5, 0},        {32766.9, 32766},   {32767.0, 32767},
                 {40000.0, 32767}, {-32768.9, -32768}, {-1e9, -32768}};
    for (const auto& c : cases) EXPECT_EQ(SampleFromValue(c.value), c.sample) << c.value;
}

TEST(DenoisePass, ExtremeLinesDoNotWrap) {
    // One level over a line of exactly P samples: the rebuilt value is the
    // input up to a few float steps, so the sign of the error decides.
    const float none[6] = {0, 0, 0, 0, 0, 0};
    for (int16_t extreme : {int16_t{32767}, int16_t{-32768}}) {
        BarePass pass(2);
        std::vector<YcPixel> px = Row(std::vector<int16_t>(512, extreme));
        RunRow(px, none, 5, 512);
        for (const YcPixel& p : px) ASSERT_LE(std::abs(p.cr - extreme), 1);
    }
    // Amplified overshoot: an impulse with a huge band threshold cannot wrap.
    BarePass pass(0);
    std::vector<int16_t> cr(512, 32767);
    for (int i = 0; i < 512; i += 2) cr[i] = -32768;
    std::vector<YcPixel> px = Row(cr);
    const float some[6] = {1, 1, 1, 1, 1, 0};
    RunRow(px, some, 5, 512);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(px[i].cr > 0, cr[i] > 0) << i;
}

TEST(DenoisePass, VeryShortLinesWriteOnlyWithinTheLine) {
    const float t[6] = {5, 5, 5, 5, 5, 0};
    for (int mode : {1, 2}) {
        for (int32_t length : {1, 2, 3}) {
            BarePass pass(mode);
            std::vector<YcPixel> px = Row({100, 200, 300, 400, 500, 600});
            FrameInfo frame{};
            frame.pixels = px.data();
            frame.width = length;
            frame.height = 1;
            frame.pitch = 6;
            DenoisePass(true, 0, &frame, t, 5, 512, 0, false);
            for (int32_t i = length; i < 6; ++i)
                EXPECT_EQ(px[i].cr, 100 * (i + 1)) << mode << " " << length;
        }
    }
}

}  // namespace
}  // namespace skarvel
