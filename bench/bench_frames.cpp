// Whole frames through the callbacks, per ShiftMode and kernel set.
#include <benchmark/benchmark.h>

#include <random>
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
            pixels[y * width + x] = {0, static_cast<int16_t>(base + noise(rng)),
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

// Arguments: frame size, ShiftMode and the kernel set (the table column the
// frames run on, whatever the detection chose).
void BM_Frame(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const int mode = static_cast<int>(state.range(2));
    const int32_t set = static_cast<int32_t>(state.range(3));
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
    std::vector<YcPixel> frame = source;
    for (auto _ : state) {
        state.PauseTiming();
        frame = source;
        state.ResumeTiming();
        FrameInfo info{};
        info.pixels = frame.data();
        info.width = width;
        info.height = height;
        info.pitch = width;
        ProcessFrame(&instance, &info);
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetLabel(SetName(set));
    // Shutdown frees by the kind start-up chose.
    CpuKind = detected;
    ExitFilter(&instance);
}
BENCHMARK(BM_Frame)
    ->ArgNames({"w", "h", "mode", "set"})
    ->ArgsProduct({{720}, {480}, {0, 1, 2, 3}, {kCpuReference, kCpu3DNow, kCpuSse}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
