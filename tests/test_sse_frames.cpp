// Whole frames through the callbacks with the SSE set against the reference
// set: the same frames except for the kernels' known differences, which move
// few samples and those only slightly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <random>
#include <vector>

#include "host/callbacks.h"
#include "host/module_state.h"
#include "kernels/kernels.h"

namespace skarvel {
namespace {

std::vector<YcPixel> NoisyFrame(int width, int height, uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, 60.0f);
    std::vector<YcPixel> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int base = ((x / 64 + y / 48) % 2) ? 800 : -600;
            pixels[static_cast<size_t>(y) * width + x] = {static_cast<int16_t>(x + y),
                                                          static_cast<int16_t>(base + noise(rng)),
                                                          static_cast<int16_t>(base + noise(rng))};
        }
    }
    return pixels;
}

struct Difference {
    size_t samples = 0;
    int largest = 0;
};

class SseFrames : public ::testing::Test {
protected:
    void SetUp() override {
        FilterRegistration* r = FilterTable();
        tracks_.assign(r->trackDefaults, r->trackDefaults + kTrackCount);
        checks_.assign(kCheckCount, 0);
        instance_.record = *r;
        instance_.record.trackValues = tracks_.data();
        instance_.record.checkValues = checks_.data();
        ASSERT_EQ(InitFilter(&instance_), 1);
        if (CpuKind != kCpuSse) GTEST_SKIP() << "this processor does not run the SSE set";
    }
    void TearDown() override { ExitFilter(&instance_); }

    std::vector<YcPixel> Run(int32_t cpuKind, const std::vector<YcPixel>& source, int width,
                             int height) {
        UpdateParameters(&instance_, 0);
        CpuKind = cpuKind;  // the broadcast block exists: start-up chose the SSE set
        std::vector<YcPixel> frame = source;
        FrameInfo info{};
        info.pixels = frame.data();
        info.width = width;
        info.height = height;
        info.pitch = width;
        EXPECT_EQ(ProcessFrame(&instance_, &info), 1);
        CpuKind = kCpuSse;
        return frame;
    }

    FilterInstance instance_{};
    std::vector<int32_t> tracks_, checks_;
};

TEST_F(SseFrames, AgreeWithTheReferenceUpToTheKnownDifferences) {
    const int width = 720, height = 480;
    const std::vector<YcPixel> source = NoisyFrame(width, height, 5);
    for (int32_t mode = 0; mode <= 3; ++mode) {
        tracks_[0] = mode;
        const std::vector<YcPixel> reference = Run(kCpuReference, source, width, height);
        const std::vector<YcPixel> sse = Run(kCpuSse, source, width, height);
        Difference d;
        size_t changed = 0;
        for (size_t i = 0; i < source.size(); ++i) {
            ASSERT_EQ(sse[i].y, source[i].y);
            ASSERT_EQ(sse[i].cb, source[i].cb);
            changed += reference[i].cr != source[i].cr;
            const int delta = std::abs(sse[i].cr - reference[i].cr);
            if (delta != 0) ++d.samples;
            d.largest = std::max(d.largest, delta);
        }
        std::cout << "mode " << mode << ": " << d.samples << " of " << source.size()
                  << " samples differ (" << 100.0 * d.samples / source.size()
                  << " %), largest difference " << d.largest << ", reference changed " << changed
                  << "\n";
        if (changed == 0) continue;  // a mode that leaves frames alone: nothing to compare
        EXPECT_LT(d.samples, source.size() / 100) << "mode " << mode;
    }
}

}  // namespace
}  // namespace skarvel
