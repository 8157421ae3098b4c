// Drives the statically linked Cr plug-in the way a host does: default track
// values, start-up, parameter update and frames.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "host/callbacks.h"
#include "host/module_state.h"

namespace skarvel::testing {

struct PluginFixture {
    std::vector<int32_t> tracks;
    std::vector<int32_t> checks;
    FilterInstance instance{};

    PluginFixture() {
        FilterRegistration* r = FilterTable();
        tracks.assign(r->trackDefaults, r->trackDefaults + kTrackCount);
        checks.assign(r->checkDefaults, r->checkDefaults + kCheckCount);
        instance.record = *r;
        instance.record.trackValues = tracks.data();
        instance.record.checkValues = checks.data();
    }
    int32_t Start() {
        const int32_t ok = InitFilter(&instance);
        UpdateParameters(&instance, 0);
        return ok;
    }
    void Update() { UpdateParameters(&instance, 0); }
    int32_t Process(std::vector<YcPixel>& pixels, int32_t width, int32_t height,
                    int32_t pitch = 0) {
        FrameInfo frame{};
        frame.pixels = pixels.data();
        frame.width = width;
        frame.height = height;
        frame.pitch = pitch ? pitch : width;
        const int32_t result = ProcessFrame(&instance, &frame);
        lastWidthAfter = frame.width;
        return result;
    }
    ~PluginFixture() { ExitFilter(&instance); }
    int32_t lastWidthAfter = 0;
};

// Chroma noise around a few flat areas and edges; luma and cb carry markers
// that the Cr build must not touch.
inline std::vector<YcPixel> NoisyFrame(int32_t width, int32_t height, int32_t pitch, uint32_t seed,
                                       float sigma = 60.0f) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, sigma);
    std::vector<YcPixel> pixels(static_cast<size_t>(pitch) * height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < pitch; ++x) {
            const int base = ((x / 37 + y / 23) % 3 - 1) * 700 + (x * 3 - y * 2);
            YcPixel& p = pixels[static_cast<size_t>(y) * pitch + x];
            p.y = static_cast<int16_t>((x * 7 + y * 13) & 0x7FF);
            p.cb = static_cast<int16_t>(-(x + 3 * y) & 0x3FF);
            p.cr = x < width ? static_cast<int16_t>(base + static_cast<int>(noise(rng))) : 1234;
        }
    }
    return pixels;
}

}  // namespace skarvel::testing
