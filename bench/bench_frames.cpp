// Whole frames through the callbacks: every ShiftMode at 720x480 and
// 1024x1024, on each kernel set, one chroma channel and both. The Cr core
// does both channels: its second call gets a view of the frame shifted back
// by one field, so that its cr field is the frame's cb field; that is the
// work the Cb build does, at the same cost.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "host/callbacks.h"
#include "host/module_state.h"
#include "kernels/kernels.h"
#include "kernels/two_lane.h"

namespace {

using namespace skarvel;

std::vector<YcPixel> NoisyFrame(int width, int height) {
    std::mt19937 rng(1);
    std::normal_distribution<float> noise(0.0f, 60.0f);
    std::vector<YcPixel> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int16_t base = static_cast<int16_t>(((x / 64 + y / 64) % 2) ? 800 : -600);
            pixels[static_cast<size_t>(y) * width + x] = {0,
                                                          static_cast<int16_t>(base + noise(rng)),
                                                          static_cast<int16_t>(base + noise(rng))};
        }
    }
    return pixels;
}

const char* SetName(int32_t set) {
    switch (set) {
        case kCpuReference:
            return "reference";
        case kCpu3DNow:
            return SKARVEL_TWO_LANE_3DNOW ? "3DNow!" : "3DNow! emulated";
        default:
            return "SSE";
    }
}

// The same pixels seen one int16 field earlier: view[i].cr is pixels[i].cb.
YcPixel* CbAsCr(YcPixel* pixels) {
    return reinterpret_cast<YcPixel*>(reinterpret_cast<char*>(pixels) - sizeof(int16_t));
}

// Arguments: frame size, ShiftMode, the kernel set (the table column the
// frames run on, whatever the detection chose) and the channels processed.
void BM_Frame(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const int mode = static_cast<int>(state.range(2));
    const int32_t set = static_cast<int32_t>(state.range(3));
    const int channels = static_cast<int>(state.range(4));
    FilterRegistration* r = FilterTable();
    std::vector<int32_t> tracks(r->trackDefaults, r->trackDefaults + kTrackCount);
    std::vector<int32_t> checks(kCheckCount, 0);
    tracks[0] = mode;
    FilterInstance instance{*r};
    instance.record.trackValues = tracks.data();
    instance.record.checkValues = checks.data();
    InitFilter(&instance);
    UpdateParameters(&instance, 0);
    // The SSE set needs the start-up that chose it (its broadcast block).
    const int32_t detected = CpuKind;
    if (set == kCpuSse && detected != kCpuSse) {
        state.SkipWithError("this processor does not run the SSE set");
        ExitFilter(&instance);
        return;
    }
    CpuKind = set;
    const std::vector<YcPixel> source = NoisyFrame(width, height);
    // One spare pixel in front, so that the shifted view stays inside the buffer.
    std::vector<YcPixel> buffer(source.size() + 1);
    YcPixel* frame = buffer.data() + 1;
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(source.begin(), source.end(), frame);
        state.ResumeTiming();
        FrameInfo info{};
        info.pixels = frame;
        info.width = width;
        info.height = height;
        info.pitch = width;
        ProcessFrame(&instance, &info);
        if (channels == 2) {
            info.pixels = CbAsCr(frame);
            ProcessFrame(&instance, &info);
        }
        benchmark::DoNotOptimize(frame);
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::string(SetName(set)) + (channels == 2 ? ", cr+cb" : ", cr"));
    // Shutdown frees by the kind start-up chose.
    CpuKind = detected;
    ExitFilter(&instance);
}
BENCHMARK(BM_Frame)
    ->ArgNames({"w", "h", "mode", "set", "channels"})
    ->ArgsProduct({{720}, {480}, {0, 1, 2, 3}, {kCpuReference, kCpu3DNow, kCpuSse}, {1, 2}})
    ->ArgsProduct({{1024}, {1024}, {0, 1, 2, 3}, {kCpuReference, kCpu3DNow, kCpuSse}, {1, 2}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
