// Frames that are valid but hostile: samples at the int16 extremes everywhere,
// alternating extremes, single impulses, driven through the plug-in's own
// callbacks in every ShiftMode and display value. Nothing outside the frame is
// touched, the fields a pass does not own keep their values, and results
// saturate at the int16 limits instead of wrapping around.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host/callbacks.h"
#include "host/host_records.h"
#include "host/module_state.h"
#include "kernels/kernels.h"

namespace skarvel {
namespace {

// The Cr build's processed field and the chroma field it leaves alone.
int16_t& Processed(YcPixel& p) {
    return p.cr;
}
int16_t Other(const YcPixel& p) {
    return p.cb;
}

constexpr std::array<int32_t, kTrackCount> kDefaults = {2,  75, 75, 75, 75, 75,  75,  50,
                                                        50, 50, 50, 50, 50, 200, 100, 0};
enum : int { kMode = 0, kStrength = 13, kVertical = 14, kDisplay = 15 };

int32_t CountRefresh(FilterInstance*) {
    return 1;
}

// A host of one filter instance: start-up on construction, then the kernel
// set asked for in place of the one start-up chose; shutdown at the end, with
// start-up's choice back so that it frees what start-up obtained.
struct Plugin {
    std::array<int32_t, kTrackCount> tracks = kDefaults;
    std::array<int32_t, kCheckCount> checks{};
    HostServices services{};
    FilterInstance instance{};
    int32_t detectedKind;

    explicit Plugin(int32_t kind) {
        instance.record = *FilterTable();
        instance.record.trackValues = tracks.data();
        instance.record.checkValues = checks.data();
        services.refreshWindow = CountRefresh;
        instance.record.services = &services;
        EXPECT_EQ(InitFilter(&instance), 1);
        detectedKind = CpuKind;
        CpuKind = kind;
    }
    ~Plugin() {
        CpuKind = detectedKind;
        ExitFilter(&instance);
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    void Update() { EXPECT_EQ(UpdateParameters(&instance, 0), 1); }
    // Every band strength and edge level far above its range: each detail
    // coefficient that the band edges do not protect is cleared.
    void Flatten() {
        for (int i = 1; i <= 12; ++i) tracks[i] = 65535;
        tracks[kStrength] = 200;
    }
};

// A frame whose rows lie pitch apart, inside a block with guard pixels before
// and after it; the gaps between rows belong to the host, not the frame.
struct GuardedFrame {
    static constexpr int kGuard = 24;
    int32_t width, height, pitch;
    std::vector<YcPixel> block;

    GuardedFrame(int32_t w, int32_t h, int32_t p)
        : width(w), height(h), pitch(p), block(2 * kGuard + size_t(h - 1) * p + w) {
        uint32_t state = 12345u + uint32_t(w) * 31u + uint32_t(h);
        for (YcPixel& px : block) {  // noise everywhere, guards and gaps included
            state = state * 1664525u + 1013904223u;
            px = {int16_t(state >> 16), int16_t(state >> 3), int16_t(state >> 9)};
        }
    }
    YcPixel& At(int32_t x, int32_t y) { return block[kGuard + size_t(y) * pitch + x]; }
    bool InFrame(size_t index) const {
        const ptrdiff_t f = ptrdiff_t(index) - kGuard;
        return f >= 0 && f < ptrdiff_t(size_t(height - 1) * pitch + width) && f % pitch < width;
    }
    void Fill(const std::function<int16_t(int32_t, int32_t)>& value) {
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) Processed(At(x, y)) = value(x, y);
    }
    int32_t Process(Plugin& plugin) {
        FrameInfo info{};
        info.pixels = &At(0, 0);
        info.width = width;
        info.height = height;
        info.pitch = pitch;
        const int32_t result = ProcessFrame(&plugin.instance, &info);
        EXPECT_EQ(info.width, width);  // restored after half width
        return result;
    }
};

// The kernel sets this build and processor run: the reference set, the
// 3DNow! set where it is emulated (not on 32-bit x86, where it is the real
// instructions) and the SSE set when start-up chooses it, which is when its
// broadcast block exists.
std::vector<int32_t> KernelSets() {
    std::vector<int32_t> kinds = {kCpuReference};
#if !defined(__i386__)
    kinds.push_back(kCpu3DNow);
#endif
    Plugin probe(kCpuReference);
    if (probe.detectedKind == kCpuSse) kinds.push_back(kCpuSse);
    return kinds;
}

struct Pattern {
    const char* name;
    std::function<int16_t(int32_t, int32_t)> value;
};

const std::vector<Pattern>& Patterns() {
    static const std::vector<Pattern> patterns = {
        {"max", [](int32_t, int32_t) { return int16_t(32767); }},
        {"min", [](int32_t, int32_t) { return int16_t(-32768); }},
        {"checker", [](int32_t x, int32_t y) { return int16_t((x + y) & 1 ? 32767 : -32768); }},
        {"columns", [](int32_t x, int32_t) { return int16_t(x & 1 ? -32768 : 32767); }},
        {"rows", [](int32_t, int32_t y) { return int16_t(y & 1 ? 32767 : -32768); }},
        {"impulse+", [](int32_t x, int32_t y) { return int16_t(x == 5 && y == 3 ? 32767 : 0); }},
        {"impulse-", [](int32_t x, int32_t y) { return int16_t(x == 0 && y == 0 ? -32768 : 0); }},
        {"impulse-on-max",
         [](int32_t x, int32_t y) { return int16_t(x == 2 && y == 7 ? -32768 : 32767); }},
    };
    return patterns;
}

struct Shape {
    int32_t width, height, pitch;
};
// Short lines, lines padded to 1024 in each direction, an odd width for half width.
const Shape kShapes[] = {{21, 13, 25}, {600, 5, 600}, {5, 600, 7}, {3, 2, 3}};
// The long shapes cost ten times the others: they run with the first three
// patterns (the plain and alternating extremes) only.
bool Worth(const Shape& s, size_t pattern) {
    return s.width * s.height < 1000 || pattern < 3;
}

std::string Describe(const char* pattern, const Shape& s, int mode, int display, int halve) {
    return std::string(pattern) + " " + std::to_string(s.width) + "x" + std::to_string(s.height) +
           " mode " + std::to_string(mode) + " display " + std::to_string(display) + " halve " +
           std::to_string(halve);
}

bool IsGreyLevel(int16_t y) {
    return y == 4095 || (y >= 0 && y <= 3840 && y % 256 == 0);
}

// Every ShiftMode (and unknown ones), every display value (and beyond), with
// and without half width and the vertical pass: nothing outside the frame
// changes, and inside it each pixel changes only as its pass allows.
TEST(Adversarial, EveryModeAndDisplayStaysWithinItsFields) {
    const int modes[] = {0, 1, 2, 3, 4, -1};
    const int displays[] = {0, 1, 2, 3, 4, 5, -1};
    for (int32_t kind : KernelSets()) {
        SCOPED_TRACE("kernel set " + std::to_string(kind));
        for (size_t p = 0; p < Patterns().size(); ++p) {
            const Pattern& pattern = Patterns()[p];
            for (int mode : modes) {
                for (int display : displays) {
                    for (int halve = 0; halve < 2; ++halve) {
                        for (int vertical : {100, 0}) {
                            // The long shapes only without display and half width.
                            for (const Shape& s : kShapes) {
                                if (!Worth(s, p) ||
                                    (s.width * s.height > 1000 && (display != 0 || halve)))
                                    continue;
                                const std::string what =
                                    Describe(pattern.name, s, mode, display, halve) + " vertical " +
                                    std::to_string(vertical);
                                Plugin plugin(kind);
                                plugin.tracks[kMode] = mode;
                                plugin.tracks[kDisplay] = display;
                                plugin.tracks[kVertical] = vertical;
                                plugin.checks = {halve, halve};
                                plugin.Update();
                                GuardedFrame frame(s.width, s.height, s.pitch);
                                frame.Fill(pattern.value);
                                const std::vector<YcPixel> before = frame.block;
                                ASSERT_EQ(frame.Process(plugin), 1) << what;

                                const bool known = mode >= 0 && mode <= 3;
                                const bool anyPass = vertical > 0 || display < 3;
                                const bool shows =
                                    (vertical > 0 && display >= 3) || (display < 3 && display != 0);
                                const bool mustStay = !anyPass || (!known && !shows);
                                for (size_t i = 0; i < before.size(); ++i) {
                                    const YcPixel& was = before[i];
                                    const YcPixel& now = frame.block[i];
                                    const bool same = std::memcmp(&was, &now, sizeof now) == 0;
                                    if (!frame.InFrame(i) || mustStay) {
                                        ASSERT_TRUE(same) << what << " index " << i;
                                        continue;
                                    }
                                    const bool kept = was.y == now.y && Other(was) == Other(now);
                                    if (!shows) {
                                        ASSERT_TRUE(kept) << what << " index " << i;
                                    } else if (!kept) {
                                        ASSERT_EQ(now.cb, 0) << what << " index " << i;
                                        ASSERT_EQ(now.cr, 0) << what << " index " << i;
                                        if (known) {
                                            ASSERT_TRUE(IsGreyLevel(now.y)) << what << " " << now.y;
                                        }
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}

// With every shrink threshold zero nothing is shrunk, so each sample comes
// back within two of its input (truncation toward zero may take one off in
// each pass), also at the extremes: a rebuilt 32767.004 is 32767, not -32768.
TEST(Adversarial, ExtremesComeBackWithinTwoWhenNothingIsShrunk) {
    for (int32_t kind : KernelSets()) {
        SCOPED_TRACE("kernel set " + std::to_string(kind));
        for (size_t p = 0; p < Patterns().size(); ++p) {
            const Pattern& pattern = Patterns()[p];
            for (int mode = 0; mode <= 3; ++mode) {
                for (const Shape& s : kShapes) {
                    if (!Worth(s, p)) continue;
                    const std::string what = Describe(pattern.name, s, mode, 0, 0);
                    Plugin plugin(kind);
                    plugin.tracks[kMode] = mode;
                    plugin.tracks[kStrength] = 0;
                    plugin.Update();
                    GuardedFrame frame(s.width, s.height, s.pitch);
                    frame.Fill(pattern.value);
                    GuardedFrame input = frame;
                    frame.Process(plugin);
                    for (int32_t y = 0; y < s.height; ++y) {
                        for (int32_t x = 0; x < s.width; ++x) {
                            const int32_t in = Processed(input.At(x, y));
                            const int32_t out = Processed(frame.At(x, y));
                            ASSERT_LE(std::abs(out - in), 2) << what << " at " << x << "," << y;
                        }
                    }
                }
            }
        }
    }
}

// A full-scale step, 32767 then -32768, with every unprotected detail
// coefficient cleared: the rebuilt line rings past both limits beside the
// step, and the write-back saturates there. A wrap would put samples of the
// opposite sign in the middle of a plateau.
struct StepCase {
    int32_t width, height;
    bool rows;  // step along each row (vertical pass off), else down each column
    int halve;
};
const StepCase kSteps[] = {
    {512, 2, true, 0},  {600, 2, true, 0},  {1024, 2, true, 0},
    {1024, 2, true, 1}, {1025, 3, true, 1}, {512, 600, false, 0},
};

TEST(Adversarial, StepsBetweenTheLimitsSaturate) {
    constexpr int32_t kMargin = 64;  // the ringing lives within this of a step or line end
    for (int32_t kind : KernelSets()) {
        SCOPED_TRACE("kernel set " + std::to_string(kind));
        for (const StepCase& c : kSteps) {
            for (int mode = 0; mode <= 3; ++mode) {
                const std::string what = Describe(c.rows ? "row step" : "column step",
                                                  {c.width, c.height, c.width}, mode, 0, c.halve);
                Plugin plugin(kind);
                plugin.tracks[kMode] = mode;
                plugin.tracks[kVertical] = c.rows ? 0 : 100;
                plugin.checks = {c.halve, c.halve};
                plugin.Flatten();
                plugin.Update();
                GuardedFrame frame(c.width, c.height, c.width);
                const int32_t length = c.rows ? c.width : c.height;
                frame.Fill([&](int32_t x, int32_t y) {
                    return int16_t((c.rows ? x : y) < length / 2 ? 32767 : -32768);
                });
                ASSERT_EQ(frame.Process(plugin), 1);
                const int32_t margin = c.halve ? 2 * kMargin : kMargin;
                int saturated = 0;
                for (int32_t y = 0; y < c.height; ++y) {
                    for (int32_t x = 0; x < c.width; ++x) {
                        const int32_t p = c.rows ? x : y;
                        const int32_t v = Processed(frame.At(x, y));
                        saturated += v == 32767 || v == -32768;
                        if (p >= margin && p < length / 2 - margin) {
                            ASSERT_GT(v, 16384) << what << " at " << x << "," << y;
                        } else if (p >= length / 2 + margin && p < length - margin) {
                            ASSERT_LT(v, -16384) << what << " at " << x << "," << y;
                        }
                    }
                }
                EXPECT_GT(saturated, 0) << what;
            }
        }
    }
}

}  // namespace
}  // namespace skarvel
