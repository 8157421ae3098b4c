// Coefficient display: the magnitudes of one line's shrunk coefficients as
// grey levels in the luma field, chroma cleared, nothing rebuilt.
#include <cmath>

#include "engine/engine_internal.h"
#include "host/module_state.h"
#include "kernels/scalar_helpers.h"

namespace skarvel {

namespace {

struct Window {
    int32_t start;
    int32_t count;
};

Window DisplayWindow(bool horizontal, const FrameInfo* frame, int32_t paddedLength,
                     int32_t displayValue, bool halveWidth) {
    // A row at half width is shown at one pixel per coefficient over the full row.
    const int32_t room =
        horizontal ? (halveWidth ? 2 * frame->width : frame->width) : frame->height;
    if (paddedLength <= room) return {0, paddedLength};
    const int32_t lineLength = horizontal ? frame->width : frame->height;
    const bool centred = horizontal ? displayValue == 2 : displayValue == 4;
    int32_t start = centred ? (paddedLength - lineLength) / 2 - 1 : 0;
    // A line one sample short of P would start at -1, before the buffers.
    if (start < 0) start = 0;
    return {start, lineLength};
}

// |T(v)| as a grey level: 256 steps up to 15, then saturated. Taking the
// magnitude before truncating gives the same integer and no overflow.
inline int16_t GreyLevel(double magnitude) {
    if (magnitude >= 16.0) return 4095;
    return static_cast<int16_t>(256 * static_cast<int32_t>(magnitude));
}

}  // namespace

void ShowCoefficients(bool horizontal, const FrameInfo* frame, int32_t lineIndex,
                      int32_t paddedLength, int32_t displayValue, bool halveWidth) {
    // Modes outside 0..3 form no magnitude: their pixels are left alone.
    if (ShiftMode < 0 || ShiftMode > 3) return;
    const Window window = DisplayWindow(horizontal, frame, paddedLength, displayValue, halveWidth);
    const float* s0 = LinePool.shift0Line;
    const float* s1 = LinePool.shift1Line;
    const float* s2 = LinePool.shift2Line;
    const float* s3 = LinePool.shift3Line;
    // Under half width the vertical pass shows column i, not the column 2i it read.
    YcPixel* pixel = horizontal ? frame->pixels + static_cast<ptrdiff_t>(lineIndex) * frame->pitch
                                : frame->pixels + lineIndex;
    const ptrdiff_t step = horizontal ? 1 : frame->pitch;
    for (int32_t t = 0; t < window.count; ++t, pixel += step) {
        const int32_t s = window.start + t;
        double magnitude;
        switch (ShiftMode) {
            case 0:
                magnitude = Magnitude(s0[s]);
                break;
            case 1:
                magnitude = std::fabs((double(s0[s]) + s2[s]) * 0.5);
                break;
            case 2:
                magnitude = std::fabs((double(s0[s]) + s1[s] + s2[s] + s3[s]) * 0.25);
                break;
            default: {
                // The even phase at s pairs with the odd phase at s + 1; past
                // the padded line there is no odd-phase coefficient.
                const float odd = s + 1 < paddedLength ? Magnitude(s0[s + 1]) : 0.0f;
                magnitude = (double(Magnitude(s2[s])) + odd) * 0.5;
                break;
            }
        }
        pixel->y = GreyLevel(magnitude);
        pixel->cb = 0;
        pixel->cr = 0;
    }
}

}  // namespace skarvel
