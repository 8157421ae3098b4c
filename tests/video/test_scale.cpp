// The host scale: the nominal chroma excursion spans -2048..2048 at every
// depth, rounding to nearest both ways, clamping on the way back, and a round
// trip that gives back every sample where the mapping allows it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "tools/video/denoiser.h"
#include "tools/video/scale.h"

namespace skarvel::video {
namespace {

const int kDepths[] = {8, 9, 10, 12, 14, 16};

// The mapping in double precision: integers exact, one correctly rounded quotient.
int64_t ModelToHost(uint32_t sample, int bits) {
    const double unit = std::ldexp(1.0, bits - 8);
    return std::llround((double(sample) - 128.0 * unit) * 2048.0 / (112.0 * unit));
}
int64_t ModelToSample(int32_t value, int bits) {
    const double unit = std::ldexp(1.0, bits - 8);
    const int64_t s = 128 * int64_t(unit) + std::llround(double(value) * 112.0 * unit / 2048.0);
    return std::max<int64_t>(0, std::min<int64_t>(s, (int64_t(1) << bits) - 1));
}

TEST(ChromaScale, NominalRangeSpansTheHostRange) {
    for (int bits : kDepths) {
        SCOPED_TRACE(bits);
        const uint32_t unit = 1u << (bits - 8);
        EXPECT_EQ(ChromaToHost(16 * unit, bits), -2048);
        EXPECT_EQ(ChromaToHost(128 * unit, bits), 0);
        EXPECT_EQ(ChromaToHost(240 * unit, bits), 2048);
        EXPECT_EQ(HostToChroma(-2048, bits), 16 * unit);
        EXPECT_EQ(HostToChroma(0, bits), 128 * unit);
        EXPECT_EQ(HostToChroma(2048, bits), 240 * unit);
        // The container's ends lie beyond the nominal range, within int16.
        EXPECT_EQ(ChromaToHost(0, bits), ModelToHost(0, bits));
        EXPECT_LT(ChromaToHost(0, bits), -2048);
        EXPECT_GT(ChromaToHost((1u << bits) - 1, bits), 2048);
    }
}

TEST(ChromaScale, MatchesTheRoundedLinearMapEverywhere) {
    for (int bits : kDepths) {
        SCOPED_TRACE(bits);
        for (uint32_t s = 0; s < (1u << bits); ++s) {
            ASSERT_EQ(ChromaToHost(s, bits), ModelToHost(s, bits)) << s;
        }
        for (int32_t v = INT16_MIN; v <= INT16_MAX; ++v) {
            ASSERT_EQ(HostToChroma(v, bits), ModelToSample(v, bits)) << v;
        }
    }
}

TEST(ChromaScale, HalvesRoundAwayFromZero) {
    // At 8 bits seven sample steps are exactly 128 host steps.
    EXPECT_EQ(ChromaToHost(128 + 7, 8), 128);
    EXPECT_EQ(ChromaToHost(128 - 7, 8), -128);
    // At 16 bits a host step is 14 samples: host 1 is exactly 14, and 7
    // samples (half a step) map to 0.5 host steps, rounded away from zero.
    EXPECT_EQ(ChromaToHost(32768 + 7, 16), 1);
    EXPECT_EQ(ChromaToHost(32768 - 7, 16), -1);
    EXPECT_EQ(ChromaToHost(32768 + 6, 16), 0);
    EXPECT_EQ(HostToChroma(1, 16), 32768u + 14);
}

TEST(ChromaScale, ClampsToTheContainer) {
    for (int bits : kDepths) {
        EXPECT_EQ(HostToChroma(INT16_MAX, bits), (1u << bits) - 1);
        EXPECT_EQ(HostToChroma(INT16_MIN, bits), 0u);
    }
}

TEST(ChromaScale, RoundTripIsExactWhereTheMapIsOneToOne) {
    // Up to 12 bits a sample step is more than one host step: every sample
    // comes back. From 14 bits on several samples share a host value, which
    // is why the plane filter keeps the original where nothing changed.
    for (int bits : kDepths) {
        SCOPED_TRACE(bits);
        int lost = 0;
        for (uint32_t s = 0; s < (1u << bits); ++s)
            lost += HostToChroma(ChromaToHost(s, bits), bits) != s;
        if (bits <= 12) {
            EXPECT_EQ(lost, 0);
        } else {
            EXPECT_GT(lost, 0);
        }
    }
}

TEST(ChromaScale, TablesFollowTheFunctions) {
    for (int bits : kDepths) {
        const ChromaScale scale(bits);
        for (uint32_t s = 0; s < (1u << bits); s += 7)
            ASSERT_EQ(scale.ToHost(s), ChromaToHost(s, bits));
        for (int32_t v = INT16_MIN; v <= INT16_MAX; v += 5) {
            ASSERT_EQ(scale.FromHost(int16_t(v)), HostToChroma(v, bits));
        }
    }
}

// A stream's 16-bit words may hold more bits than its depth announces: such a
// sample reads as the depth's largest, never past the table.
TEST(ChromaScale, WordsAboveTheDepthReadAsTheLargestSample) {
    for (int bits : kDepths) {
        const ChromaScale scale(bits);
        const uint32_t top = (1u << bits) - 1;
        for (uint32_t word : {top + 1, 0x8000u, 0xFFFFu}) {
            if (word <= top) continue;
            EXPECT_EQ(scale.ToHost(word), ChromaToHost(top, bits)) << bits << " " << word;
        }
    }
}

TEST(LumaScale, CoefficientGreyCoversTheNominalLumaRange) {
    for (int bits : kDepths) {
        const uint32_t unit = 1u << (bits - 8);
        EXPECT_EQ(HostToLuma(0, bits), 16 * unit);
        EXPECT_EQ(HostToLuma(4096, bits), 235 * unit);
        EXPECT_EQ(HostToLuma(2048, bits), (16 * unit + 235 * unit + 1) / 2);
        EXPECT_EQ(HostToLuma(-30000, bits), 0u);
        EXPECT_EQ(HostToLuma(30000, bits), (1u << bits) - 1);
    }
}

// The real Cb module, made idle by a mode it does not know (the frame comes
// back as it went in): every plane must come back bit for bit, at every depth.
TEST(PlaneFilter, AnIdleModuleGivesBackEverySample) {
    std::mt19937 random(5);
    for (int bits : kDepths) {
        SCOPED_TRACE(bits);
        Format format;
        format.width = 96;
        format.height = 40;
        format.layout = ChromaLayout::k444;
        format.bits = bits;
        std::string error;
        auto host = standin::PluginHost::Load(ModulePath(SKARVEL_MODULE_DIR, Channel::kCb), &error);
        ASSERT_TRUE(host) << error;
        host->Tracks()[0] = 9;
        ASSERT_TRUE(host->Start(&error)) << error;
        PlaneFilter filter(std::move(host), Channel::kCb, format);
        std::vector<uint8_t> plane(format.PlaneBytes(1));
        for (size_t i = 0; i < size_t(96 * 40); ++i) {
            StoreSample(plane.data(), i, format.BytesPerSample(), random() & ((1u << bits) - 1));
        }
        const std::vector<uint8_t> original = plane;
        filter.Denoise(plane.data());
        EXPECT_EQ(plane, original);
    }
}

// With the default settings the module does change noisy samples; where it
// gives a host value back unchanged the sample is the original one.
TEST(PlaneFilter, DenoisingChangesNoiseAndKeepsWhatItLeaves) {
    Format format;
    format.width = 128;
    format.height = 64;
    format.layout = ChromaLayout::k444;
    format.bits = 16;
    std::string error;
    auto host = standin::PluginHost::Load(ModulePath(SKARVEL_MODULE_DIR, Channel::kCr), &error);
    ASSERT_TRUE(host) << error;
    ASSERT_TRUE(host->Start(&error)) << error;
    PlaneFilter filter(std::move(host), Channel::kCr, format);
    std::mt19937 random(11);
    std::vector<uint8_t> plane(format.PlaneBytes(2));
    for (size_t i = 0; i < size_t(128 * 64); ++i) {
        // A flat colour with small noise, and a sharp edge half way.
        const uint32_t base = i % 128 < 64 ? 30000 : 40000;
        StoreSample(plane.data(), i, 2, base + random() % 600);
    }
    const std::vector<uint8_t> original = plane;
    filter.Denoise(plane.data());
    size_t changed = 0;
    for (size_t i = 0; i < size_t(128 * 64); ++i) {
        const uint32_t before = LoadSample(original.data(), i, 2);
        const uint32_t after = LoadSample(plane.data(), i, 2);
        // Changed samples are values the host scale can express.
        if (after != before) {
            ++changed;
            EXPECT_EQ(HostToChroma(ChromaToHost(after, 16), 16), after);
        }
    }
    EXPECT_GT(changed, size_t(128 * 64 / 2));
}

}  // namespace
}  // namespace skarvel::video
