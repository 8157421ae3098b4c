// Pieces shared by the scalar kernels (reference and odd-phase sets).
#pragma once

#include <cstdint>
#include <cstring>

namespace skarvel {

// Magnitude by clearing the sign bit of the single-precision value.
inline float Magnitude(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bits &= 0x7FFFFFFFu;
    std::memcpy(&value, &bits, sizeof bits);
    return value;
}

// Second difference 2a[j] - a[j-1] - a[j+1], formed in double, rounded once.
inline float SecondDifference(const float* a, int32_t j) {
    return static_cast<float>(2.0 * a[j] - static_cast<double>(a[j - 1]) -
                              static_cast<double>(a[j + 1]));
}

}  // namespace skarvel
