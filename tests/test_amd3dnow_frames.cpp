// Whole frames through the callbacks on the 3DNow! set (column 1) against the
// reference set: the set's known differences (single-precision steps, the
// threshold at equality) move few samples and those by little. On 32-bit x86
// this runs the real instructions, elsewhere the emulated pairs. And the
// start-up's choice of set on the processor the suite runs on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "host/callbacks.h"
#include "host/channel.h"
#include "host/module_state.h"
#include "kernels/detect.h"
#include "kernels/kernels.h"
#include "tests/amd3dnow_processor.h"

namespace skarvel {
namespace {

// Flat chroma areas with noise, the kind of frame the filter is for.
std::vector<YcPixel> NoisyFrame(int width, int height, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<YcPixel> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int base = ((x / 40 + y / 24) % 2) ? 700 : -500;
            const auto noise = [&] { return static_cast<int>(rng() % 121) - 60; };
            pixels[static_cast<size_t>(y) * width + x] = {static_cast<int16_t>(x - y),
                                                          static_cast<int16_t>(base + noise()),
                                                          static_cast<int16_t>(base + noise())};
        }
    }
    return pixels;
}

// The chroma field this build denoises.
int Field(YcPixel p) {
    return Chroma(p);
}

class Amd3DNowFrames : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ProcessorRunsThe3DNowSet()) GTEST_SKIP() << "this processor has no 3DNow!";
        FilterRegistration* r = FilterTable();
        tracks_.assign(r->trackDefaults, r->trackDefaults + kTrackCount);
        checks_.assign(kCheckCount, 0);
        instance_.record = *r;
        instance_.record.trackValues = tracks_.data();
        instance_.record.checkValues = checks_.data();
        ASSERT_EQ(InitFilter(&instance_), 1);
        detected_ = CpuKind;
    }
    void TearDown() override {
        if (!ProcessorRunsThe3DNowSet()) return;
        CpuKind = detected_;  // shutdown frees by the kind start-up chose
        ExitFilter(&instance_);
    }

    std::vector<YcPixel> Run(int32_t cpuKind, const std::vector<YcPixel>& source, int width,
                             int height) {
        UpdateParameters(&instance_, 0);
        CpuKind = cpuKind;
        std::vector<YcPixel> frame = source;
        FrameInfo info{};
        info.pixels = frame.data();
        info.width = width;
        info.height = height;
        info.pitch = width;
        EXPECT_EQ(ProcessFrame(&instance_, &info), 1);
        return frame;
    }

    FilterInstance instance_{};
    std::vector<int32_t> tracks_, checks_;
    int32_t detected_ = 0;
};

TEST_F(Amd3DNowFrames, AgreeWithTheReferenceUpToTheKnownDifferences) {
    const int width = 96, height = 48;  // few lines: the 32-bit suite runs under qemu
    const std::vector<YcPixel> source = NoisyFrame(width, height, 9);
    for (int32_t mode = 0; mode <= 3; ++mode) {
        tracks_[0] = mode;
        const std::vector<YcPixel> reference = Run(kCpuReference, source, width, height);
        const std::vector<YcPixel> ours = Run(kCpu3DNow, source, width, height);
        size_t denoised = 0, differing = 0;
        int largest = 0;
        for (size_t i = 0; i < source.size(); ++i) {
            ASSERT_EQ(ours[i].y, source[i].y);
            denoised += Field(reference[i]) != Field(source[i]);
            const int d = std::abs(Field(ours[i]) - Field(reference[i]));
            differing += d != 0;
            largest = std::max(largest, d);
        }
        SCOPED_TRACE(testing::Message()
                     << "mode " << mode << ": " << differing << " of " << source.size()
                     << " samples differ, by up to " << largest);
        EXPECT_GT(denoised, source.size() / 2);  // the frame was really filtered
        EXPECT_LT(differing, source.size() / 50);
        EXPECT_LE(largest, 2);
    }
}

// Under qemu the runner names the kernel set its processor must get
// (SKARVEL_EXPECTED_CPU_KIND: 0 as a Pentium II, 1 as an Athlon without SSE,
// 2 as a Pentium III); the real detection and start-up must choose it.
TEST(RealStartUp, ChoosesTheSetTheProcessorIsExpectedToGet) {
    const char* expected = std::getenv("SKARVEL_EXPECTED_CPU_KIND");
    if (expected == nullptr) GTEST_SKIP() << "no expected kernel set named for this processor";
    const int32_t kind = std::atoi(expected);
    EXPECT_EQ(DetectCpuKind(), kind);
    FilterRegistration* r = FilterTable();
    std::vector<int32_t> tracks(r->trackDefaults, r->trackDefaults + kTrackCount);
    std::vector<int32_t> checks(kCheckCount, 0);
    FilterInstance instance{};
    instance.record = *r;
    instance.record.trackValues = tracks.data();
    instance.record.checkValues = checks.data();
    ASSERT_EQ(InitFilter(&instance), 1);
    EXPECT_EQ(CpuKind, kind);
    // Only the SSE set has a broadcast block.
    EXPECT_EQ(LinePool.broadcast != nullptr, kind == kCpuSse);
    // Without SSE the guarded xorps really faults, and the guard catches it.
    EXPECT_EQ(CheckOsSseSupport(), kind == kCpuSse);
    ExitFilter(&instance);
}

}  // namespace
}  // namespace skarvel
