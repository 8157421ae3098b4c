// Inputs for the kernel checker and the kernel benchmarks: aligned buffers
// with guard zones, sample and coefficient lines, edge masks, thresholds at,
// just below and just above coefficient magnitudes, and approximations whose
// second differences hit the edge threshold exactly. Everything is NaN-free.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace skarvel::kernelcheck {

// A value no kernel writes: guard entries around every buffer must keep it.
constexpr float kGuardValue = -12345.5f;
constexpr size_t kGuardEntries = 8;

// count floats from a 16-byte boundary, with guard entries on both sides.
class AlignedBuffer {
public:
    explicit AlignedBuffer(size_t count = 0)
        : count_(count), storage_(count + 2 * kGuardEntries + 4) {
        const uintptr_t raw = reinterpret_cast<uintptr_t>(storage_.data() + kGuardEntries);
        const size_t skip = ((16 - raw % 16) % 16) / sizeof(float);
        data_ = storage_.data() + kGuardEntries + skip;
        std::fill(storage_.begin(), storage_.end(), kGuardValue);
    }
    AlignedBuffer(const AlignedBuffer& other) : AlignedBuffer(other.count_) { CopyFrom(other); }
    AlignedBuffer& operator=(const AlignedBuffer& other) {
        if (this != &other) {
            *this = AlignedBuffer(other.count_);
            CopyFrom(other);
        }
        return *this;
    }
    AlignedBuffer(AlignedBuffer&&) = default;
    AlignedBuffer& operator=(AlignedBuffer&&) = default;

    float* data() { return data_; }
    const float* data() const { return data_; }
    size_t size() const { return count_; }
    float& operator[](size_t i) { return data_[i]; }
    float operator[](size_t i) const { return data_[i]; }

    // The buffer with its guard entries, for comparisons of everything written.
    const float* WithGuards() const { return data_ - kGuardEntries; }
    size_t SizeWithGuards() const { return count_ + 2 * kGuardEntries; }

    void Assign(const std::vector<float>& values) {
        std::copy(values.begin(), values.begin() + std::min(values.size(), count_), data_);
    }

private:
    void CopyFrom(const AlignedBuffer& other) {
        std::memcpy(data_ - kGuardEntries, other.WithGuards(), sizeof(float) * SizeWithGuards());
    }

    size_t count_;
    std::vector<float> storage_;
    float* data_;
};

inline bool SameBits(const AlignedBuffer& a, const AlignedBuffer& b) {
    return a.size() == b.size() &&
           std::memcmp(a.WithGuards(), b.WithGuards(), sizeof(float) * a.SizeWithGuards()) == 0;
}

// Chroma samples of one line as the engine gathers them: 16-bit integers,
// a few flat stretches with steps, noise on top, zero padding at the end.
inline std::vector<float> SampleLine(std::mt19937& rng, size_t n) {
    std::normal_distribution<float> noise(0.0f, 40.0f);
    std::uniform_int_distribution<int> level(-2000, 2000);
    std::uniform_int_distribution<size_t> stretch(8, 200);
    std::vector<float> x(n);
    size_t i = 0;
    while (i < n) {
        const int base = level(rng);
        const size_t end = std::min(n, i + stretch(rng));
        for (; i < end; ++i) x[i] = std::trunc(base + noise(rng));
    }
    const size_t padding = std::uniform_int_distribution<size_t>(0, n / 4)(rng);
    std::fill(x.end() - static_cast<std::ptrdiff_t>(padding), x.end(), 0.0f);
    return x;
}

// Detail coefficients: many small values of both signs, whole numbers (so
// that thresholds meet them exactly), and a few large ones.
inline std::vector<float> CoefficientLine(std::mt19937& rng, size_t n) {
    std::normal_distribution<float> small(0.0f, 30.0f);
    std::normal_distribution<float> large(0.0f, 600.0f);
    std::uniform_int_distribution<int> whole(-60, 60);
    std::uniform_int_distribution<int> kind(0, 9);
    std::vector<float> c(n);
    for (float& v : c) {
        const int k = kind(rng);
        v = k < 4 ? small(rng) : k < 8 ? static_cast<float>(whole(rng)) : large(rng);
    }
    return c;
}

enum class MaskKind { kAllOne, kAllZero, kBinary, kOddValues };

// Edge mask entries: 1.0 and 0.0 as the engine makes them, or (for the
// bit-exact model only) values the engine never makes: -0.0, negatives,
// fractions and tiny positives, which the vector sets test with <= 0.0.
inline std::vector<float> EdgeMaskLine(std::mt19937& rng, size_t n, MaskKind kind) {
    std::vector<float> w(n, 1.0f);
    std::uniform_int_distribution<int> pick(0, 5);
    for (float& v : w) {
        switch (kind) {
            case MaskKind::kAllOne:
                v = 1.0f;
                break;
            case MaskKind::kAllZero:
                v = 0.0f;
                break;
            case MaskKind::kBinary:
                v = pick(rng) < 3 ? 0.0f : 1.0f;
                break;
            case MaskKind::kOddValues: {
                static const float odd[6] = {-0.0f, -1.0f, 0.5f, 1e-30f, 0.0f, 1.0f};
                v = odd[pick(rng)];
                break;
            }
        }
    }
    return w;
}

// Thresholds around the magnitudes found in values[start, end): one met
// exactly, the float just below and just above it, zero, and one above all.
inline std::vector<float> ThresholdsAround(std::mt19937& rng, const std::vector<float>& values,
                                           size_t start, size_t end) {
    std::uniform_int_distribution<size_t> index(start, end - 1);
    std::vector<float> t = {0.0f};
    for (int pick = 0; pick < 2; ++pick) {
        float magnitude = 0.0f;
        for (int tries = 0; tries < 16 && magnitude == 0.0f; ++tries) {
            magnitude = std::fabs(values[index(rng)]);
        }
        t.push_back(magnitude);
        t.push_back(std::nextafter(magnitude, 0.0f));
        t.push_back(std::nextafter(magnitude, INFINITY));
    }
    float largest = 0.0f;
    for (size_t i = start; i < end; ++i) largest = std::max(largest, std::fabs(values[i]));
    t.push_back(std::nextafter(largest, INFINITY));
    return t;
}

// The detail bands the engine shrinks: [16, 32) up to [512, 1024).
inline std::vector<std::pair<int32_t, int32_t>> Bands() {
    std::vector<std::pair<int32_t, int32_t>> bands;
    for (int32_t start = 16; start <= 512; start *= 2) bands.push_back({start, 2 * start});
    return bands;
}

// Approximations for the edge detector, with second differences that are
// exactly representable (whole numbers), exactly zero (arithmetic
// progressions) or arbitrary floats.
enum class ApproxKind { kWhole, kProgression, kFloats };

inline std::vector<float> Approximation(std::mt19937& rng, size_t m, ApproxKind kind) {
    std::vector<float> a(m);
    std::uniform_int_distribution<int> whole(-300, 300);
    std::uniform_int_distribution<int> slope(-20, 20);
    std::uniform_int_distribution<int> kink(0, 7);
    std::normal_distribution<float> floats(0.0f, 400.0f);
    float value = static_cast<float>(whole(rng));
    float step = static_cast<float>(slope(rng));
    for (size_t i = 0; i < m; ++i) {
        switch (kind) {
            case ApproxKind::kWhole:
                a[i] = static_cast<float>(whole(rng));
                break;
            case ApproxKind::kProgression:
                // Straight stretches with an occasional kink.
                if (kink(rng) == 0) step = static_cast<float>(slope(rng));
                a[i] = value;
                value += step;
                break;
            case ApproxKind::kFloats:
                a[i] = floats(rng);
                break;
        }
    }
    return a;
}

// Edge thresholds around the second differences of a: met exactly, just
// below, just above, and zero.
inline std::vector<float> EdgeThresholdsAround(std::mt19937& rng, const std::vector<float>& a) {
    const size_t m = a.size();
    std::uniform_int_distribution<size_t> index(1, m - 2);
    std::vector<float> t = {0.0f};
    const size_t j = index(rng);
    const float e = std::fabs(static_cast<float>(2.0 * a[j] - double(a[j - 1]) - a[j + 1]));
    t.push_back(e);
    t.push_back(std::nextafter(e, 0.0f));
    t.push_back(std::nextafter(e, INFINITY));
    return t;
}

}  // namespace skarvel::kernelcheck
