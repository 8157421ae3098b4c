// Threshold derivation and the frame callback's choices.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/plugin_fixture.h"

namespace skarvel {
namespace {

using testing::NoisyFrame;
using testing::PluginFixture;

// Rounds to single precision also on the x87, where GCC may keep a cast's
// result at extended precision inside an expression.
float Single(double value) {
    volatile float rounded = static_cast<float>(value);
    return rounded;
}

TEST(UpdateParameters, DefaultTracksGiveTheDocumentedThresholds) {
    PluginFixture f;
    f.Start();
    const float shrink = 163.84f;  // nearest float
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(HorizontalThresholds[i], shrink) << i;
        EXPECT_EQ(VerticalThresholds[i], shrink) << i;
        EXPECT_EQ(EdgeThresholds[i], 450.0f) << i;
    }
    EXPECT_EQ(ShiftMode, 2);
    EXPECT_FALSE(HalveWidth);
    EXPECT_FALSE(AveragePairs);
}

// Both products carried in double, rounded once; rounding the first product
// to float gives another answer for a good share of track pairs.
TEST(UpdateParameters, ProductIsRoundedOnceOverAllBandAndStrengthValues) {
    PluginFixture f;
    f.Start();
    const double scale = 0.8192f, percent = 0.01f;
    int differsWhenRoundedEarly = 0, combinations = 0;
    for (int32_t strength = 0; strength <= 200; ++strength) {
        f.tracks[13] = strength;
        for (int32_t band = 0; band <= 100; band += 6) {
            f.tracks[7] = band;
            f.Update();
            const float s = Single(strength * percent);
            const float once = Single(band * scale * s);
            const float early = Single(Single(band * scale) * double(s));
            ASSERT_EQ(HorizontalThresholds[0], once * 2.0f) << band << " " << strength;
            differsWhenRoundedEarly += once != early;
            ++combinations;
        }
    }
    EXPECT_GT(differsWhenRoundedEarly, combinations / 10);
}

TEST(UpdateParameters, VerticalEdgeAndCheckRules) {
    PluginFixture f;
    f.tracks = {7, 1, 2, 3, 4, 5, 150, 10, 20, 30, 40, 50, 100, 0, 37, 0};
    f.checks = {2, 1};
    f.Start();
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(HorizontalThresholds[i], 0.0f);  // strength 0
        EXPECT_EQ(EdgeThresholds[i], 6.0f * f.tracks[1 + i]);
    }
    EXPECT_EQ(ShiftMode, 7);   // copied without a range check
    EXPECT_FALSE(HalveWidth);  // only exactly 1 ticks
    EXPECT_TRUE(AveragePairs);

    f.tracks[13] = 150;
    f.Update();
    const float v = Single(37 * double(0.01f));
    for (int i = 0; i < 6; ++i) {
        const float h = HorizontalThresholds[i] / 2.0f;
        EXPECT_EQ(VerticalThresholds[i], Single(double(v) * h) * 2.0f);
    }
}

TEST(ProcessFrame, HalvedWidthIsRestoredAndFramesReturnOne) {
    PluginFixture f;
    f.checks[0] = 1;
    f.Start();
    std::vector<YcPixel> frame = NoisyFrame(1025, 4, 1025, 1);
    EXPECT_EQ(f.Process(frame, 1025, 4), 1);
    EXPECT_EQ(f.lastWidthAfter, 1025);
}

// Clearing the finest band's threshold for a 512-long pass must not leak into
// later frames: a tall frame gives the same result whatever came before.
TEST(ProcessFrame, ShortFrameDoesNotChangeTheNextFramesThresholds) {
    const std::vector<YcPixel> tall = NoisyFrame(16, 800, 16, 2);
    std::vector<YcPixel> fresh = tall, afterShort = tall;
    {
        PluginFixture f;
        f.Start();
        f.Process(fresh, 16, 800);
    }
    {
        PluginFixture f;
        f.Start();
        std::vector<YcPixel> shortFrame = NoisyFrame(16, 400, 16, 3);
        f.Process(shortFrame, 16, 400);
        EXPECT_EQ(VerticalThresholds[5], 163.84f);
        EXPECT_EQ(HorizontalThresholds[5], 163.84f);
        f.Process(afterShort, 16, 800);
    }
    EXPECT_EQ(0, std::memcmp(fresh.data(), afterShort.data(), fresh.size() * sizeof(YcPixel)));
}

TEST(ProcessFrame, FramesTheBuffersCannotHoldAreLeftUnchanged) {
    struct Case {
        int32_t width, height, pitch;
        bool halve;
        bool changes;
    };
    const Case cases[] = {
        {1025, 8, 1025, false, false}, {8, 1025, 8, false, false},   {2050, 8, 2050, true, false},
        {2048, 8, 2048, true, true},   {1024, 8, 1024, false, true}, {8, 1024, 8, false, true},
        {1, 8, 1, true, false},        {16, 16, 8, false, false},  // pitch below the width
    };
    for (const Case& c : cases) {
        PluginFixture f;
        f.checks[0] = c.halve ? 1 : 0;
        f.Start();
        const size_t count = static_cast<size_t>(std::max(c.pitch, c.width)) * c.height;
        std::vector<YcPixel> frame =
            NoisyFrame(static_cast<int32_t>(count), 1, static_cast<int32_t>(count), 4);
        const std::vector<YcPixel> before = frame;
        EXPECT_EQ(f.Process(frame, c.width, c.height, c.pitch), 1);
        const bool changed = std::memcmp(before.data(), frame.data(), count * sizeof(YcPixel)) != 0;
        EXPECT_EQ(changed, c.changes) << c.width << "x" << c.height << " pitch " << c.pitch;
    }
    for (int32_t bad : {0, -5}) {
        PluginFixture f;
        f.Start();
        std::vector<YcPixel> frame = NoisyFrame(64, 1, 64, 5);
        const std::vector<YcPixel> before = frame;
        f.Process(frame, bad, 1, 64);
        f.Process(frame, 64, bad, 64);
        EXPECT_EQ(0, std::memcmp(before.data(), frame.data(), 64 * sizeof(YcPixel)));
    }
}

TEST(ProcessFrame, WithoutAStartUpFramesAreLeftUnchanged) {
    PluginFixture f;
    f.Update();  // parameters but no line pool
    std::vector<YcPixel> frame = NoisyFrame(64, 64, 64, 6);
    const std::vector<YcPixel> before = frame;
    EXPECT_EQ(f.Process(frame, 64, 64), 1);
    EXPECT_EQ(0, std::memcmp(before.data(), frame.data(), frame.size() * sizeof(YcPixel)));
}

TEST(ProcessFrame, TouchesOnlyTheCrField) {
    PluginFixture f;
    f.Start();
    std::vector<YcPixel> frame = NoisyFrame(96, 80, 100, 7);
    const std::vector<YcPixel> before = frame;
    f.Process(frame, 96, 80, 100);
    int changed = 0;
    for (size_t i = 0; i < frame.size(); ++i) {
        ASSERT_EQ(frame[i].y, before[i].y);
        ASSERT_EQ(frame[i].cb, before[i].cb);
        if (i % 100 >= 96) {
            ASSERT_EQ(frame[i].cr, before[i].cr) << "beyond the width";
        }
        changed += frame[i].cr != before[i].cr;
    }
    EXPECT_GT(changed, 1000);
}

}  // namespace
}  // namespace skarvel
