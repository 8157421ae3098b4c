// Coefficient display: the shown window, grey levels, which coefficients each
// mode pairs, what stays untouched, and the frame callback's choice of pass.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/engine_internal.h"
#include "host/callbacks.h"
#include "host/module_state.h"
#include "pass_harness.h"

namespace skarvel {
namespace {

using testing::PassTest;
using testing::SameFrame;
using testing::SamePixel;
using testing::TestFrame;

// Grey level of a non-negative magnitude: 256 per unit up to 15, then 4095.
int16_t Grey(double magnitude) {
    const int u = static_cast<int>(std::trunc(magnitude));
    return static_cast<int16_t>(u >= 16 ? 4095 : 256 * u);
}

void Fill(float* line, float value) {
    for (int i = 0; i < kLineCapacity; ++i) line[i] = value;
}

// Checks every pixel: the shown ones carry (grey, 0, 0), all others are as before.
template <typename Expected>
void ExpectShown(const TestFrame& frame, const std::vector<YcPixel>& before, bool horizontal,
                 int32_t line, int32_t count, Expected expectedLuma, const char* what) {
    const int32_t columns = frame.info.pitch, rows = frame.info.height;
    for (int32_t y = 0; y < rows; ++y) {
        for (int32_t x = 0; x < columns; ++x) {
            const YcPixel& now = frame.pixels[static_cast<size_t>(y) * columns + x];
            const YcPixel& was = before[static_cast<size_t>(y) * columns + x];
            const int32_t t = horizontal ? x : y;
            const bool shown = (horizontal ? y : x) == line && t < count;
            if (shown) {
                ASSERT_EQ(now.y, expectedLuma(t)) << what << " t " << t;
                ASSERT_EQ(now.cb, 0) << what;
                ASSERT_EQ(now.cr, 0) << what;
            } else {
                ASSERT_TRUE(SamePixel(now, was)) << what << " pixel " << x << "," << y;
            }
        }
    }
}

class Display : public PassTest {};

TEST_F(Display, WindowsOfTheTabledCases) {
    struct Case {
        const char* what;
        bool horizontal;
        int32_t width;  // as the pass sees it (halved under half width)
        int32_t height, pitch;
        bool halve;
        int32_t display, padded, line;
        int32_t start, count;
    };
    const Case cases[] = {
        {"720 row, display 1", true, 720, 2, 720, false, 1, 1024, 1, 0, 720},
        {"720 row, display 2", true, 720, 2, 720, false, 2, 1024, 1, 151, 720},
        {"720 row, display 4 does not centre rows", true, 720, 2, 720, false, 4, 1024, 0, 0, 720},
        {"512 row, display 2", true, 512, 2, 512, false, 2, 512, 1, 0, 512},
        {"512 column, display 4", false, 3, 512, 3, false, 4, 512, 2, 0, 512},
        {"480 column, display 4", false, 3, 480, 3, false, 4, 512, 1, 15, 480},
        {"600 column, display 4", false, 3, 600, 3, false, 4, 1024, 1, 211, 600},
        {"600 column, display 3", false, 3, 600, 3, false, 3, 1024, 1, 0, 600},
        {"600 column, display 2 does not centre columns", false, 3, 600, 3, false, 2, 1024, 0, 0,
         600},
        {"half width of 720, display 1", true, 360, 2, 720, true, 1, 512, 1, 0, 512},
        {"half width of 400, display 2", true, 200, 2, 400, true, 2, 512, 0, 155, 200},
        {"half width column i shows in column i", false, 360, 300, 720, true, 4, 512, 5, 105, 300},
        // One sample short of P would centre at -1: the window starts at 0.
        {"1023 row, display 2", true, 1023, 2, 1023, false, 2, 1024, 1, 0, 1023},
        {"511 column, display 4", false, 2, 511, 2, false, 4, 512, 1, 0, 511},
    };
    ShiftMode = 0;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(-18.0f, 18.0f);
    for (int i = 0; i < kLineCapacity; ++i) LinePool.shift0Line[i] = value(rng);
    for (const Case& c : cases) {
        TestFrame frame(c.pitch, c.height, 17);
        frame.info.width = c.width;
        const std::vector<YcPixel> before = frame.pixels;
        ShowCoefficients(c.horizontal, &frame.info, c.line, c.padded, c.display, c.halve);
        ExpectShown(
            frame, before, c.horizontal, c.line, c.count,
            [&](int32_t t) { return Grey(std::fabs(LinePool.shift0Line[c.start + t])); }, c.what);
    }
}

TEST_F(Display, GreyLevelsOfMagnitudesInEveryMode) {
    const struct {
        float value;
        int16_t grey;
    } cases[] = {{15.9f, 3840}, {16.0f, 4095}, {300.0f, 4095},  {-0.7f, 0},
                 {1.0f, 256},   {0.999f, 0},   {-15.99f, 3840}, {-16.0f, 4095}};
    for (int32_t mode = 0; mode <= 3; ++mode) {
        ShiftMode = mode;
        for (const auto& c : cases) {
            // Every average of equal entries is the entry itself (its magnitude in mode 3).
            for (float* line : {LinePool.shift0Line, LinePool.shift1Line, LinePool.shift2Line,
                                LinePool.shift3Line}) {
                Fill(line, c.value);
            }
            TestFrame frame(300, 1, 5);
            const std::vector<YcPixel> before = frame.pixels;
            ShowCoefficients(true, &frame.info, 0, 512, 1, false);
            ExpectShown(
                frame, before, true, 0, 300, [&](int32_t) { return c.grey; }, "grey");
        }
    }
}

TEST_F(Display, EachModeAveragesItsLinesAtEqualPositions) {
    // Patterns whose averages differ once a line is read shifted; unused lines
    // hold large values that would show as 4095.
    struct Case {
        int32_t mode;
        float (*s0)(int), (*s1)(int), (*s2)(int), (*s3)(int);
        int16_t (*grey)(int);
    };
    const Case cases[] = {
        {0, [](int p) { return p % 4 == 0 ? -5.5f : 2.0f; }, [](int) { return 1000.0f; },
         [](int) { return 1000.0f; }, [](int) { return 1000.0f; },
         [](int p) { return int16_t(p % 4 == 0 ? 1280 : 512); }},
        {1, [](int) { return 8.0f; }, [](int) { return 1000.0f; },
         [](int p) { return p % 3 == 0 ? 8.0f : -8.0f; }, [](int) { return 1000.0f; },
         [](int p) { return int16_t(p % 3 == 0 ? 2048 : 0); }},
        {2, [](int) { return 4.0f; }, [](int) { return 4.0f; }, [](int) { return 4.0f; },
         [](int p) { return p % 5 == 0 ? -12.0f : 4.0f; },
         [](int p) { return int16_t(p % 5 == 0 ? 0 : 1024); }},
        // Even phase at s with odd phase at s + 1, magnitudes before the sum.
        {3, [](int p) { return p % 3 == 1 ? 10.0f : 0.0f; }, [](int) { return 1000.0f; },
         [](int p) { return p % 3 == 0 ? -10.0f : 0.0f; }, [](int) { return 1000.0f; },
         [](int p) { return int16_t(p % 3 == 0 ? 2560 : 0); }},
    };
    for (const Case& c : cases) {
        ShiftMode = c.mode;
        for (int p = 0; p < kLineCapacity; ++p) {
            LinePool.shift0Line[p] = c.s0(p);
            LinePool.shift1Line[p] = c.s1(p);
            LinePool.shift2Line[p] = c.s2(p);
            LinePool.shift3Line[p] = c.s3(p);
        }
        TestFrame frame(400, 2, 9);
        const std::vector<YcPixel> before = frame.pixels;
        ShowCoefficients(true, &frame.info, 1, 512, 1, false);
        ExpectShown(frame, before, true, 1, 400, c.grey, "pairing");
    }
}

TEST_F(Display, OddPhaseLastPositionHasNoPartnerPastTheLine) {
    ShiftMode = 3;
    for (int32_t padded : {512, 1024}) {
        Fill(LinePool.shift2Line, 3.0f);
        Fill(LinePool.shift0Line, 3.0f);
        if (padded == 512) LinePool.shift0Line[512] = 1000.0f;  // not this line's
        TestFrame frame(padded, 1, 13);
        const std::vector<YcPixel> before = frame.pixels;
        ShowCoefficients(true, &frame.info, 0, padded, 2, false);
        ExpectShown(
            frame, before, true, 0, padded,
            [&](int32_t t) { return int16_t(t == padded - 1 ? 256 : 768); }, "last");
    }
}

TEST_F(Display, ModesOutsideTheRangeLeaveThePixelsAlone) {
    for (float* line :
         {LinePool.shift0Line, LinePool.shift1Line, LinePool.shift2Line, LinePool.shift3Line}) {
        Fill(line, 7.0f);
    }
    for (int32_t mode : {4, -1, 99}) {
        ShiftMode = mode;
        TestFrame frame(300, 2, 19);
        const std::vector<YcPixel> before = frame.pixels;
        ShowCoefficients(true, &frame.info, 0, 512, 1, false);
        ShowCoefficients(false, &frame.info, 0, 512, 4, false);
        EXPECT_TRUE(SameFrame(frame.pixels, before)) << mode;
    }
}

// ---- through the frame callback ---------------------------------------------

class DisplayFrames : public PassTest {
protected:
    void SetUp() override {
        PassTest::SetUp();
        FilterRegistration* registration = FilterTable();
        tracks_.assign(registration->trackDefaults, registration->trackDefaults + kTrackCount);
        checks_.assign(kCheckCount, 0);
        instance_.record = *registration;
        instance_.record.trackValues = tracks_.data();
        instance_.record.checkValues = checks_.data();
    }
    void Run(TestFrame* frame) {
        UpdateParameters(&instance_, 0);
        ASSERT_EQ(ProcessFrame(&instance_, &frame->info), 1);
    }
    // The grey level of position s from the coefficients the last line left.
    static int16_t GreyFromPool(int32_t s, int32_t padded) {
        const float *s0 = LinePool.shift0Line, *s1 = LinePool.shift1Line;
        const float *s2 = LinePool.shift2Line, *s3 = LinePool.shift3Line;
        switch (ShiftMode) {
            case 0:
                return Grey(std::fabs(s0[s]));
            case 1:
                return Grey(std::fabs((double(s0[s]) + s2[s]) * 0.5));
            case 2:
                return Grey(std::fabs((double(s0[s]) + s1[s] + s2[s] + s3[s]) * 0.25));
            default:
                return Grey((std::fabs(s2[s]) + (s + 1 < padded ? std::fabs(s0[s + 1]) : 0.0)) *
                            0.5);
        }
    }

    std::vector<int32_t> tracks_, checks_;
    FilterInstance instance_{};
};

TEST_F(DisplayFrames, VerticalDisplayWithoutVerticalPassLeavesTheFrame) {
    tracks_[14] = 0;
    for (int32_t display : {3, 4}) {
        for (int32_t mode = 0; mode <= 3; ++mode) {
            tracks_[15] = display;
            tracks_[0] = mode;
            TestFrame frame(64, 40, 23);
            const std::vector<YcPixel> before = frame.pixels;
            Run(&frame);
            EXPECT_TRUE(SameFrame(frame.pixels, before)) << display << " " << mode;
        }
    }
}

TEST_F(DisplayFrames, RowDisplayAtHalfWidthAfterTheVerticalPass) {
    tracks_[0] = 3;
    tracks_[14] = 100;
    tracks_[15] = 1;
    checks_[0] = 1;
    TestFrame frame(720, 6, 29);
    const std::vector<YcPixel> before = frame.pixels;
    Run(&frame);
    EXPECT_EQ(frame.info.width, 720);
    for (int32_t y = 0; y < 6; ++y) {
        for (int32_t x = 0; x < 720; ++x) {
            const YcPixel& now = frame.At(x, y);
            const YcPixel& was = before[static_cast<size_t>(y) * 720 + x];
            if (x < 512) {
                ASSERT_EQ(now.cb, 0);
                ASSERT_EQ(now.cr, 0);
                if (y == 5) {
                    ASSERT_EQ(now.y, GreyFromPool(x, 512)) << x;
                }
            } else {
                // Past the window: the luma as it was, the chroma as the
                // vertical pass left it (it visits the even columns only).
                ASSERT_EQ(now.y, was.y);
                ASSERT_EQ(testing::OtherChroma(now), testing::OtherChroma(was));
                if (x % 2 == 1) {
                    ASSERT_TRUE(SamePixel(now, was)) << x;
                }
            }
        }
    }
}

TEST_F(DisplayFrames, CentredColumnDisplay) {
    tracks_[0] = 1;
    tracks_[14] = 100;
    tracks_[15] = 4;
    TestFrame frame(12, 600, 37);
    Run(&frame);
    // count = height, so every pixel of every column is shown.
    for (int32_t y = 0; y < 600; ++y) {
        for (int32_t x = 0; x < 12; ++x) {
            ASSERT_EQ(frame.At(x, y).cb, 0);
            ASSERT_EQ(frame.At(x, y).cr, 0);
        }
        ASSERT_EQ(frame.At(11, y).y, GreyFromPool(211 + y, 1024)) << y;
    }
}

TEST_F(DisplayFrames, ModesOutsideTheRangeLeaveTheFrameWithTheDisplayOn) {
    tracks_[14] = 100;
    for (int32_t mode : {4, -1, 1000}) {
        for (int32_t display = 1; display <= 4; ++display) {
            tracks_[0] = mode;
            tracks_[15] = display;
            TestFrame frame(80, 50, 43);
            const std::vector<YcPixel> before = frame.pixels;
            Run(&frame);
            EXPECT_TRUE(SameFrame(frame.pixels, before)) << mode << " " << display;
        }
    }
}

}  // namespace
}  // namespace skarvel
