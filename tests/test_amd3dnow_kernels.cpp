// What the kernel checker does not reach for the 3DNow! set (column 1): the
// set's smallest lengths and ragged bands against its float model, the short
// calls it hands to the reference, the two-lane layer's corners, the same
// results from the emulated pairs (native builds) and the real instructions
// (32-bit x86 builds), and the MMX state left behind for the x87.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "kernels/kernels.h"
#include "kernels/two_lane.h"
#include "tests/amd3dnow_processor.h"
#include "tests/model_amd3dnow.h"

namespace skarvel {
namespace {

uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Exact comparison of bit patterns, with the first mismatch reported.
void ExpectSameBits(const std::vector<float>& actual, const std::vector<float>& expected,
                    const char* what) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        if (Bits(actual[i]) != Bits(expected[i])) {
            ADD_FAILURE() << what << ": entry " << i << " is " << actual[i] << " (0x" << std::hex
                          << Bits(actual[i]) << ") expected " << expected[i] << " (0x"
                          << Bits(expected[i]) << ")";
            return;
        }
    }
}

// Deterministic inputs from the raw engine output (the distributions of the
// standard library may differ between library builds; the engine does not).
struct Source {
    std::mt19937 rng;
    explicit Source(uint32_t seed) : rng(seed) {}
    int32_t Int(int32_t lo, int32_t hi) {
        return lo + static_cast<int32_t>(rng() % static_cast<uint32_t>(hi - lo + 1));
    }
    // 16-bit samples as the line engine gathers them.
    float Sample() { return static_cast<float>(Int(-32768, 32767)); }
    // Coefficient-like values: any mantissa, exponents from 2^-12 to 2^14.
    float Coefficient() {
        const float mantissa = 1.0f + static_cast<float>(rng() & 0x7FFFFF) / 8388608.0f;
        const float value = std::ldexp(mantissa, Int(-12, 14));
        return (rng() & 1) ? -value : value;
    }
};

std::vector<float> Samples(size_t n, uint32_t seed) {
    Source s(seed);
    std::vector<float> x(n);
    for (float& v : x) v = (seed & 1) ? s.Sample() : s.Coefficient();
    return x;
}

const KernelTableRows& T = KernelTable;
constexpr int kSet = kCpu3DNow;

class Amd3DNowKernels : public testing::Test {
protected:
    void SetUp() override {
        if (!ProcessorRunsThe3DNowSet()) GTEST_SKIP() << "this processor has no 3DNow!";
    }
};

// The checker runs the engine's lengths; these are the set's own minimums,
// where the loop runs once or twice beside the wrapping step.
TEST_F(Amd3DNowKernels, AnalyzeAtTheSmallestLengthsMatchesModel) {
    for (uint32_t n : {4u, 6u, 8u}) {
        for (uint32_t seed : {n, n + 1}) {
            const std::vector<float> x = Samples(n, seed);
            // A canary past the end: the kernel writes exactly n entries.
            std::vector<float> out(n + 1, 7.0f), want(n + 1, 7.0f);
            T.analyzeD4[kSet](x.data(), n, out.data());
            model3dnow::AnalyzeD4(x.data(), n, want.data());
            SCOPED_TRACE(testing::Message() << "n " << n << " seed " << seed);
            ExpectSameBits(out, want, "AnalyzeD4");
        }
    }
}

TEST_F(Amd3DNowKernels, SynthesizeAtTheSmallestLengthsMatchesModel) {
    for (int32_t m : {2, 3, 4}) {
        for (uint32_t seed : {uint32_t(m) * 3, uint32_t(m) * 3 + 1}) {
            const std::vector<float> ad = Samples(2 * m, seed);
            std::vector<float> out(2 * m + 1, 7.0f), want(2 * m + 1, 7.0f);
            // Approximation and detail as the two halves of one line, as the engine passes them.
            T.synthesizeD4[kSet](ad.data(), ad.data() + m, m, out.data());
            model3dnow::SynthesizeD4(ad.data(), ad.data() + m, m, want.data());
            SCOPED_TRACE(testing::Message() << "m " << m << " seed " << seed);
            ExpectSameBits(out, want, "SynthesizeD4");
        }
    }
}

// A band of coefficients around the threshold: exact +-t, just inside and
// outside, zeros of both signs, and a mask of 0.0, 1.0 and other values the
// mask test must read as a test (0.5 and tiny protect, -1 and -0.0 do not).
struct Band {
    std::vector<float> lines[4];
    std::vector<float> mask;
};

Band MakeBand(int32_t size, float t, uint32_t seed) {
    Source s(seed);
    const float specials[] = {t,
                              -t,
                              std::nextafter(t, 0.0f),
                              -std::nextafter(t, 0.0f),
                              std::nextafter(t, 2 * t + 1),
                              0.0f,
                              -0.0f,
                              2 * t,
                              -t / 3};
    const float masks[] = {0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.5f, -1.0f, -0.0f, 1e-30f};
    Band b;
    for (auto& line : b.lines) {
        line.resize(size);
        for (float& v : line) {
            v = (s.rng() % 3 == 0) ? specials[s.rng() % 9] : s.Coefficient() * (t + 1) / 4096.0f;
        }
    }
    b.mask.resize(size);
    for (float& w : b.mask) w = masks[s.rng() % 9];
    return b;
}

struct ShrinkCase {
    int32_t start, end;
    float t;
};
// Bands the engine never passes: one pair, odd lengths (the remainder entry
// is left alone), odd starts.
const ShrinkCase kShrinkCases[] = {
    {16, 18, 40.0f}, {3, 8, 10.0f}, {5, 7, 1.0f}, {9, 20, 1e-3f}, {0, 5, 0.0f}};

TEST_F(Amd3DNowKernels, RaggedBandsShrinkAsTheModel) {
    uint32_t seed = 100;
    for (const ShrinkCase& c : kShrinkCases) {
        SCOPED_TRACE(testing::Message() << "band [" << c.start << ", " << c.end << ") t " << c.t);
        Band in = MakeBand(c.end + 2, c.t, ++seed);
        // Entries just outside the processed pairs hold values the set would clear.
        const int32_t stop = c.start + (c.end - c.start) / 2 * 2;
        for (int32_t i : {c.start - 1, stop, c.end, c.end + 1}) {
            if (i < 0) continue;
            in.mask[i] = 0.0f;
            for (auto& line : in.lines) line[i] = c.t / 2;
        }
        Band got = in, want = in;
        T.shrinkBand1[kSet](got.lines[0].data(), c.start, c.end, c.t, got.mask.data());
        model3dnow::ShrinkBand1(want.lines[0].data(), c.start, c.end, c.t, want.mask.data());
        ExpectSameBits(got.lines[0], want.lines[0], "ShrinkBand1");

        got = in, want = in;
        T.shrinkBand2[kSet](got.lines[0].data(), got.lines[1].data(), c.start, c.end, c.t,
                            got.mask.data());
        model3dnow::ShrinkBand2(want.lines[0].data(), want.lines[1].data(), c.start, c.end, c.t,
                                want.mask.data());
        for (int l = 0; l < 2; ++l) ExpectSameBits(got.lines[l], want.lines[l], "ShrinkBand2");

        got = in, want = in;
        T.shrinkBand4[kSet](got.lines[0].data(), got.lines[1].data(), got.lines[2].data(),
                            got.lines[3].data(), c.start, c.end, c.t, got.mask.data());
        model3dnow::ShrinkBand4(want.lines[0].data(), want.lines[1].data(), want.lines[2].data(),
                                want.lines[3].data(), c.start, c.end, c.t, want.mask.data());
        for (int l = 0; l < 4; ++l) ExpectSameBits(got.lines[l], want.lines[l], "ShrinkBand4");
        ExpectSameBits(got.mask, in.mask, "mask is only read");
    }
}

// Approximations with straight runs (second difference exactly 0), runs whose
// second difference equals the threshold, and noise.
std::vector<float> Approximation(int32_t m, float t, uint32_t seed) {
    Source s(seed);
    std::vector<float> a(m);
    float value = s.Sample() / 8, step = 3;
    for (int32_t j = 0; j < m; ++j) {
        switch (s.rng() % 4) {
            case 0:
                step += t;
                break;  // e = -t at this point
            case 1:
                break;  // straight
            case 2:
                step -= t;
                break;  // e = +t
            default:
                value = s.Coefficient();
                break;
        }
        value += step;
        a[j] = value;
    }
    return a;
}

TEST_F(Amd3DNowKernels, MarkEdgesAtTheSmallestLengthsMatchesModel) {
    uint32_t seed = 300;
    for (int32_t m : {4, 5, 6, 7}) {
        for (float t : {0.0f, 2.0f, 75.0f}) {
            const std::vector<float> a = Approximation(m, t, ++seed);
            // Mask entries of 1.0, 0.0 and 0.5 (cleared or multiplied by 1.0), with entries
            // outside m+1 .. 2m-2 that must survive.
            std::vector<float> got(2 * m + 2);
            for (size_t i = 0; i < got.size(); ++i) got[i] = (i % 5 == 0) ? 0.5f : 1.0f;
            std::vector<float> want = got;
            T.markEdges[kSet](got.data(), m, a.data(), t);
            model3dnow::MarkEdges(want.data(), m, a.data(), t);
            SCOPED_TRACE(testing::Message() << "m " << m << " t " << t);
            ExpectSameBits(got, want, "MarkEdges");
        }
    }
}

// Calls whose loop count would be zero or less go to the reference kernel:
// the short lengths its own contract allows give its results exactly.
TEST_F(Amd3DNowKernels, ShortLengthsAreHandedToTheReference) {
    const float x[3] = {3.0f, -5.0f, 11.0f};
    float ours[3] = {9, 9, 9}, ref[3] = {9, 9, 9};
    T.analyzeD4[kSet](x, 2, ours);
    reference::AnalyzeD4(x, 2, ref);
    EXPECT_EQ(Bits(ours[0]), Bits(ref[0]));
    EXPECT_EQ(Bits(ours[1]), Bits(ref[1]));
    EXPECT_EQ(ours[2], 9.0f);

    T.synthesizeD4[kSet](x, x + 1, 1, ours);
    reference::SynthesizeD4(x, x + 1, 1, ref);
    EXPECT_EQ(Bits(ours[0]), Bits(ref[0]));
    EXPECT_EQ(Bits(ours[1]), Bits(ref[1]));

    // One entry: the reference's strict test and mask product (-0.0).
    float c[2] = {-2.0f, 1.0f}, r[2] = {-2.0f, 1.0f};
    const float w[2] = {0.0f, 0.0f};
    T.shrinkBand1[kSet](c, 0, 1, 4.0f, w);
    reference::ShrinkBand1(r, 0, 1, 4.0f, w);
    EXPECT_EQ(Bits(c[0]), Bits(r[0]));
    EXPECT_EQ(Bits(c[0]), Bits(-0.0f));
    EXPECT_EQ(c[1], 1.0f);
    T.shrinkBand2[kSet](c, r, 1, 1, 4.0f, w);  // empty band
    EXPECT_EQ(c[1], 1.0f);

    // m = 3 clears entry 4 by the reference's rule; m = 2 writes nothing.
    const float a[3] = {1, 2, 3};
    float mask[6] = {1, 1, 1, 1, 1, 1};
    T.markEdges[kSet](mask, 3, a, 0.5f);
    EXPECT_EQ(mask[4], 0.0f);
    T.markEdges[kSet](mask, 2, a, 0.5f);
    for (int i : {0, 1, 2, 3, 5}) EXPECT_EQ(mask[i], 1.0f) << i;
}

// ---- the two backends ------------------------------------------------------

// The layer's corner cases that decide the set's results: -0.0 is not above
// +0.0, 0 - (+0) is +0, a lane mask is all ones, and AND with it keeps the
// bits (a kept -0.0 stays -0.0).
SKARVEL_TWO_LANE_TARGET void LayerCorners(const float* in, float* out) {
    using namespace twolane;
    ExitMmxState();
    const Pair a = LoadPair(in), z = Zero();
    StorePair(out, Greater(a, z));
    StorePair(out + 2, Subtract(z, LoadDuplicated(in + 2)));
    StorePair(out + 4, And(a, Or(Greater(a, z), Greater(z, a))));
    StoreLane1(out + 6, LoadPair(in + 2));
    StoreLane0(out + 7, Multiply(LoadDuplicated(in + 1), LoadPair(in + 2)));
    ExitMmxState();
}

TEST_F(Amd3DNowKernels, TwoLaneLayerCorners) {
    const float in[4] = {-0.0f, 1.0f, 0.0f, -3.0f};
    float out[8] = {};
    LayerCorners(in, out);
    EXPECT_EQ(Bits(out[0]), 0u);
    EXPECT_EQ(Bits(out[1]), 0xFFFFFFFFu);
    EXPECT_EQ(Bits(out[2]), 0u);
    EXPECT_EQ(Bits(out[3]), 0u);
    EXPECT_EQ(Bits(out[4]), 0u);  // -0.0 fails both compares: cleared to +0.0
    EXPECT_EQ(out[5], 1.0f);
    EXPECT_EQ(out[6], -3.0f);
    EXPECT_EQ(Bits(out[7]), 0u);  // 1.0 * +0.0
}

// FNV-1a over the bit patterns of every kernel's output on fixed inputs. The
// value was recorded from the emulated pairs (native build); the 32-bit build
// must reproduce it with the real instructions.
uint64_t Digest(uint64_t h, const std::vector<float>& values) {
    for (float v : values) {
        const uint32_t b = Bits(v);
        for (int i = 0; i < 4; ++i) h = (h ^ ((b >> (8 * i)) & 0xFF)) * 0x100000001B3ull;
    }
    return h;
}

TEST_F(Amd3DNowKernels, BothBackendsGiveTheRecordedDigest) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (uint32_t n : {32u, 1024u}) {
        const std::vector<float> x = Samples(n, n + 1);
        std::vector<float> c(n), back(n);
        T.analyzeD4[kSet](x.data(), n, c.data());
        T.synthesizeD4[kSet](c.data(), c.data() + n / 2, n / 2, back.data());
        h = Digest(Digest(h, c), back);
        std::vector<float> mask(n, 1.0f);
        T.markEdges[kSet](mask.data(), n / 2, c.data(), 30.0f);
        Band b = MakeBand(n, 40.0f, n);
        T.shrinkBand1[kSet](b.lines[0].data(), n / 2, n, 40.0f, mask.data());
        T.shrinkBand2[kSet](b.lines[1].data(), b.lines[2].data(), n / 2, n, 40.0f, b.mask.data());
        T.shrinkBand4[kSet](b.lines[0].data(), b.lines[1].data(), b.lines[2].data(),
                            b.lines[3].data(), n / 4, n / 2, 20.0f, mask.data());
        h = Digest(h, mask);
        for (const auto& line : b.lines) h = Digest(h, line);
    }
    EXPECT_EQ(h, 0x70EAF7C96981BD8Bull)
        << std::hex << "0x" << h
        << (SKARVEL_TWO_LANE_3DNOW ? " (real 3DNow!)" : " (emulated pairs)");
}

// ---- the MMX state --------------------------------------------------------

#if SKARVEL_TWO_LANE_3DNOW
struct X87State {
    uint16_t status, tags;
};

// The x87 environment as it stands (fnstenv masks exceptions, so it is put
// back with fldenv at once). Status word in entry 2, tag word in entry 4.
inline X87State ReadX87State() {
    uint16_t environment[14];
    __asm__ __volatile__("fnstenv %0\n\tfldenv %0" : "=m"(environment));
    return {environment[2], environment[4]};
}

// Eight values pushed onto the x87 stack (every register) and added: 8.0,
// unless a register is still taken by the MMX state, which makes a push
// overflow the stack and deliver the invalid value. The status word after it
// shows the stack fault.
inline long double FillTheStack(uint16_t* status) {
    long double sum;
    __asm__ __volatile__(
        "fnclex\n\t"
        "fld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\t"
        "faddp\n\tfaddp\n\tfaddp\n\tfaddp\n\tfaddp\n\tfaddp\n\tfaddp\n\t"
        "fstpt %0\n\tfnstsw %1"
        : "=m"(sum), "=m"(*status));
    return sum;
}

// What the line engine does between kernel calls: conversions and averages.
__attribute__((noinline)) int32_t EngineArithmetic(volatile int32_t* samples) {
    const double average = (static_cast<double>(samples[0]) + samples[1]) * 0.5;
    const long double scaled = static_cast<long double>(average) * 3.0L / samples[2];
    return static_cast<int32_t>(scaled);
}
#endif

TEST_F(Amd3DNowKernels, X87ArithmeticWorksAfterEveryKernel) {
#if !SKARVEL_TWO_LANE_3DNOW
    GTEST_SKIP() << "emulated pairs: no MMX state to leave";
#else
    std::vector<float> a = Samples(64, 65), b = Samples(64, 66), c = Samples(64, 67),
                       d = Samples(64, 68), w(64, 0.0f);
    const std::pair<const char*, std::function<void()> > calls[] = {
        {"AnalyzeD4", [&] { T.analyzeD4[kSet](a.data(), 32, b.data()); }},
        {"SynthesizeD4", [&] { T.synthesizeD4[kSet](a.data(), a.data() + 16, 16, c.data()); }},
        {"ShrinkBand1", [&] { T.shrinkBand1[kSet](a.data(), 16, 32, 900.0f, w.data()); }},
        {"ShrinkBand4",
         [&] {
             T.shrinkBand4[kSet](a.data(), b.data(), c.data(), d.data(), 16, 32, 900.0f, w.data());
         }},
        {"ShrinkBand2", [&] { T.shrinkBand2[kSet](a.data(), b.data(), 16, 32, 900.0f, w.data()); }},
        {"MarkEdges", [&] { T.markEdges[kSet](w.data(), 16, a.data(), 20.0f); }},
    };
    for (const auto& call : calls) {
        SCOPED_TRACE(call.first);
        call.second();
        const X87State after = ReadX87State();
        uint16_t status = 0;
        const long double sum = FillTheStack(&status);
        volatile int32_t samples[3] = {301, -98, 7};
        const int32_t engine = EngineArithmetic(samples);
        EXPECT_EQ(after.tags, 0xFFFF) << "x87 registers left taken";
        EXPECT_EQ((after.status >> 11) & 7, 0) << "stack top moved";
        EXPECT_EQ(sum, 8.0L);
        EXPECT_EQ(status & 0x41, 0) << "invalid operation / stack fault";
        EXPECT_EQ(engine, 43);  // (301 - 98) / 2 * 3 / 7 = 43.5, truncated
    }
#endif
}

}  // namespace
}  // namespace skarvel
