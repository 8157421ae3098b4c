// Parameter derivation and the frame callback.
#include <cstring>

#include "engine/denoise_pass.h"
#include "host/callbacks.h"
#include "host/module_state.h"

namespace skarvel {

namespace {

constexpr float kPercent = 0.01f;          // nearest float to 0.01 (0x3C23D70A)
constexpr float kStrengthScale = 0.8192f;  // nearest float to 0.8192 (0x3F51B717)
constexpr int32_t kMaxLine = 1024;

enum : int {
    kTrackMode = 0,
    kTrackEdge0 = 1,
    kTrackBand0 = 7,
    kTrackStrength = 13,
    kTrackVertical = 14,
    kTrackDisplay = 15
};

struct PassShape {
    int32_t levelCount;
    int32_t paddedLength;
};

// Lines longer than 512 get six levels over 1024 samples. A 512-long line has
// no finest band, so its threshold is cleared in the caller's copy.
PassShape ShapeFor(int32_t lineLength, float* thresholds) {
    if (lineLength > 512) return {6, 1024};
    thresholds[5] = 0.0f;
    return {5, 512};
}

}  // namespace

int32_t UpdateParameters(FilterInstance* instance, int32_t) {
    const int32_t* t = instance->record.trackValues;
    const int32_t* c = instance->record.checkValues;

    // Both products of a threshold are carried in double; only the result is rounded.
    const float strength = static_cast<float>(double(t[kTrackStrength]) * kPercent);
    for (int i = 0; i < 6; ++i) {
        HorizontalThresholds[i] =
            static_cast<float>(double(t[kTrackBand0 + i]) * double(kStrengthScale) * strength);
    }
    const float vertical = static_cast<float>(double(t[kTrackVertical]) * kPercent);
    for (int i = 0; i < 6; ++i) {
        VerticalThresholds[i] = static_cast<float>(double(vertical) * HorizontalThresholds[i]);
    }
    for (int i = 0; i < 6; ++i) {
        EdgeThresholds[i] = static_cast<float>(double(t[kTrackEdge0 + i]) * 3.0);
    }
    ShiftMode = t[kTrackMode];
    for (int i = 0; i < 6; ++i) {
        HorizontalThresholds[i] *= 2.0f;
        VerticalThresholds[i] *= 2.0f;
        EdgeThresholds[i] *= 2.0f;
    }
    HalveWidth = c[0] == 1;
    AveragePairs = c[1] == 1;
    return 1;
}

int32_t ProcessFrame(FilterInstance* instance, FrameInfo* frame) {
    const int32_t hostWidth = frame->width;
    if (HalveWidth) frame->width = hostWidth >> 1;
    const int32_t displayMode = instance->record.trackValues[kTrackDisplay];
    const int32_t verticalFactor = instance->record.trackValues[kTrackVertical];

    // Frames the line buffers cannot hold, empty frames, overlapping rows and a
    // missing line pool all leave the frame as it is.
    const bool fits = frame->width > 0 && frame->height > 0 && frame->width <= kMaxLine &&
                      frame->height <= kMaxLine && frame->pitch >= hostWidth &&
                      frame->pixels != nullptr && LinePool.ready;
    if (fits) {
        if (verticalFactor > 0) {
            float thresholds[6];
            std::memcpy(thresholds, VerticalThresholds, sizeof thresholds);
            const PassShape shape = ShapeFor(frame->height, thresholds);
            DenoisePass(false, CpuKind, frame, thresholds, shape.levelCount, shape.paddedLength,
                        displayMode < 3 ? 0 : displayMode, HalveWidth);
        }
        if (displayMode < 3) {
            float thresholds[6];
            std::memcpy(thresholds, HorizontalThresholds, sizeof thresholds);
            const PassShape shape = ShapeFor(frame->width, thresholds);
            DenoisePass(true, CpuKind, frame, thresholds, shape.levelCount, shape.paddedLength,
                        displayMode, HalveWidth);
        }
    }
    frame->width = hostWidth;
    return 1;
}

}  // namespace skarvel
