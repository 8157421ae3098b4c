// Shared by the odd-phase and display tests: a live line pool, module state
// saved and restored around each test, and small frames of known pixels.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "host/callbacks.h"
#include "host/channel.h"
#include "host/module_state.h"
#include "kernels/kernels.h"
#include "kernels/two_lane.h"

namespace skarvel::testing {

// Allocates the line pool through the start-up callback; puts every piece of
// module state back afterwards so tests do not leak into each other.
class PassTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memcpy(savedH_, HorizontalThresholds, sizeof savedH_);
        std::memcpy(savedV_, VerticalThresholds, sizeof savedV_);
        std::memcpy(savedE_, EdgeThresholds, sizeof savedE_);
        savedMode_ = ShiftMode;
        savedHalve_ = HalveWidth;
        savedPairs_ = AveragePairs;
        savedCpu_ = CpuKind;
        ASSERT_EQ(InitFilter(nullptr), 1);
        ASSERT_TRUE(LinePool.ready);
        HalveWidth = false;
        AveragePairs = false;
    }
    void TearDown() override {
        ExitFilter(nullptr);
        std::memcpy(HorizontalThresholds, savedH_, sizeof savedH_);
        std::memcpy(VerticalThresholds, savedV_, sizeof savedV_);
        std::memcpy(EdgeThresholds, savedE_, sizeof savedE_);
        ShiftMode = savedMode_;
        HalveWidth = savedHalve_;
        AveragePairs = savedPairs_;
        CpuKind = savedCpu_;
    }

    // The reference set, the 3DNow! set where it is emulated (it then runs
    // anywhere), and the set this processor was given.
    std::vector<int32_t> KindsToRun() const {
        std::vector<int32_t> kinds = {kCpuReference};
        if (!SKARVEL_TWO_LANE_3DNOW || CpuKind == kCpu3DNow) kinds.push_back(kCpu3DNow);
        if (CpuKind == kCpuSse) kinds.push_back(kCpuSse);
        return kinds;
    }

private:
    float savedH_[6], savedV_[6], savedE_[6];
    int32_t savedMode_;
    bool savedHalve_, savedPairs_;
    int32_t savedCpu_;
};

// A frame of pixels with every field filled, and its FrameInfo.
struct TestFrame {
    std::vector<YcPixel> pixels;
    FrameInfo info{};

    TestFrame(int32_t width, int32_t height, uint32_t seed, int chromaSpread = 900) {
        pixels.resize(static_cast<size_t>(width) * height);
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> luma(0, 4096), chroma(-chromaSpread, chromaSpread);
        for (YcPixel& p : pixels) {
            p.y = static_cast<int16_t>(luma(rng));
            p.cb = static_cast<int16_t>(chroma(rng));
            p.cr = static_cast<int16_t>(chroma(rng));
        }
        info.pixels = pixels.data();
        info.width = width;
        info.height = height;
        info.pitch = width;
    }
    YcPixel& At(int32_t x, int32_t y) { return pixels[static_cast<size_t>(y) * info.pitch + x]; }
};

inline bool SamePixel(const YcPixel& a, const YcPixel& b) {
    return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}

// Every field of every pixel as it was; names the first one that is not.
inline ::testing::AssertionResult SameFrame(const std::vector<YcPixel>& now,
                                            const std::vector<YcPixel>& before) {
    for (size_t p = 0; p < before.size(); ++p) {
        if (!SamePixel(now[p], before[p])) {
            return ::testing::AssertionFailure() << "pixel " << p << " changed";
        }
    }
    return ::testing::AssertionSuccess();
}

// The chroma field this build denoises, and the one it must leave alone.
inline int16_t ProcessedChroma(const YcPixel& p) {
    return Chroma(const_cast<YcPixel&>(p));
}

inline int16_t OtherChroma(const YcPixel& p) {
#if defined(SKARVEL_CHANNEL_CB)
    return p.cr;
#else
    return p.cb;
#endif
}

}  // namespace skarvel::testing
