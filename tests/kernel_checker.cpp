// The kernel checker: every kernel of every vector set in the table, on
// random and crafted inputs, bit for bit against the scalar float model of its
// lane order, and against the reference kernel with only the differences the
// vector sets are known to have (coefficient equal to the threshold, sign of a
// cleared zero, edge test at equality and at t = 0, single-precision
// rounding). Whole buffers are compared, guard entries included, so a write
// outside the range a kernel owns is caught as well.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "kernels/detect.h"
#include "kernels/kernels.h"
#include "kernels/two_lane.h"
#include "tests/kernel_inputs.h"
#include "tests/kernel_models.h"

namespace skarvel {
namespace {

using namespace kernelcheck;

uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}
bool IsPositiveZero(float f) {
    return Bits(f) == 0u;
}
bool IsNegativeZero(float f) {
    return Bits(f) == 0x80000000u;
}

// Columns whose entries are not all the reference set.
std::vector<int32_t> VectorColumns() {
    std::vector<int32_t> columns;
    const KernelTableRows& t = KernelTable;
    for (int32_t c = 1; c < kCpuKindCount; ++c) {
        const bool reference =
            t.analyzeD4[c] == t.analyzeD4[0] && t.synthesizeD4[c] == t.synthesizeD4[0] &&
            t.shrinkBand1[c] == t.shrinkBand1[0] && t.shrinkBand4[c] == t.shrinkBand4[0] &&
            t.shrinkBand2[c] == t.shrinkBand2[0] && t.markEdges[c] == t.markEdges[0];
        if (!reference) columns.push_back(c);
    }
    return columns;
}

std::string ColumnName(const ::testing::TestParamInfo<int32_t>& info) {
    const model::KernelModels* models = model::ModelsForColumn(info.param);
    return models != nullptr ? models->name : "column" + std::to_string(info.param);
}

// Whether the processor running the checker can run the set in a column.
bool ProcessorRuns(int32_t column) {
    uint32_t before = 0, after = 0;
    Processor.toggleIdFlag(&before, &after);
    Processor.writeFlags(before);
    if (before == after) return false;
    switch (column) {
        case kCpuSse:
            return (Processor.cpuid(1).edx & kSseFeature) != 0 && CheckOsSseSupport();
        case kCpu3DNow:
            // Where the set is an emulation, every processor runs it.
            return !SKARVEL_TWO_LANE_3DNOW ||
                   (Processor.cpuid(0x80000000u).eax >= 0x80000001u &&
                    (Processor.cpuid(0x80000001u).edx & k3DNowFeature) != 0);
        default:
            return true;
    }
}

class VectorSet : public ::testing::TestWithParam<int32_t> {
protected:
    void SetUp() override {
        column_ = GetParam();
        models_ = model::ModelsForColumn(column_);
        ASSERT_NE(models_, nullptr)
            << "column " << column_ << " of the kernel table has no scalar model to check it";
        if (!ProcessorRuns(column_)) GTEST_SKIP() << "this processor cannot run " << models_->name;
        savedBlock_ = sse::BroadcastBlock;
        sse::BroadcastBlock = broadcast_.data();
    }
    void TearDown() override { sse::BroadcastBlock = savedBlock_; }

    int32_t column_ = 0;
    const model::KernelModels* models_ = nullptr;

private:
    AlignedBuffer broadcast_{4};
    float* savedBlock_ = nullptr;
};

// Lines an analysis sees: gathered samples, coefficient-like values, a
// constant and a ramp.
std::vector<std::vector<float>> AnalysisInputs(std::mt19937& rng, size_t n) {
    std::vector<std::vector<float>> inputs;
    for (int i = 0; i < 3; ++i) inputs.push_back(SampleLine(rng, n));
    inputs.push_back(CoefficientLine(rng, n));
    inputs.push_back(std::vector<float>(n, 1234.0f));
    std::vector<float> ramp(n);
    for (size_t i = 0; i < n; ++i) ramp[i] = static_cast<float>(i) - 300.0f;
    inputs.push_back(ramp);
    return inputs;
}

// |vector - reference| may not exceed a few roundings of the terms' sizes.
double TransformBound(double magnitudeSum) {
    return 6.0 * std::ldexp(magnitudeSum, -24) + 1e-30;
}

TEST_P(VectorSet, AnalyzeD4MatchesModelAndReference) {
    std::mt19937 rng(11);
    for (uint32_t n = 32; n <= 1024; n *= 2) {
        for (const std::vector<float>& values : AnalysisInputs(rng, n)) {
            AlignedBuffer input(n), kernelOut(n), modelOut(n), referenceOut(n);
            input.Assign(values);
            const AlignedBuffer original = input;
            KernelTable.analyzeD4[column_](input.data(), n, kernelOut.data());
            models_->analyzeD4(input.data(), n, modelOut.data());
            reference::AnalyzeD4(input.data(), n, referenceOut.data());
            ASSERT_TRUE(SameBits(kernelOut, modelOut)) << "n " << n;
            ASSERT_TRUE(SameBits(input, original)) << "input changed, n " << n;
            for (uint32_t k = 0; k < n / 2; ++k) {
                const float* x = input.data();
                const double x0 = x[2 * k], x1 = x[2 * k + 1], x2 = x[(2 * k + 2) % n],
                             x3 = x[(2 * k + 3) % n];
                const double sa = std::fabs(kH0 * x0) + std::fabs(kH1 * x1) + std::fabs(kH2 * x2) +
                                  std::fabs(kH3 * x3);
                const double sd = std::fabs(kG0 * x0) + std::fabs(kG1 * x1) + std::fabs(kG2 * x2) +
                                  std::fabs(kG3 * x3);
                ASSERT_NEAR(kernelOut[k], referenceOut[k], TransformBound(sa)) << n << " a " << k;
                ASSERT_NEAR(kernelOut[n / 2 + k], referenceOut[n / 2 + k], TransformBound(sd))
                    << n << " d " << k;
            }
        }
    }
}

TEST_P(VectorSet, SynthesizeD4MatchesModelAndReference) {
    std::mt19937 rng(12);
    for (int32_t m = 16; m <= 512; m *= 2) {
        const uint32_t n = static_cast<uint32_t>(2 * m);
        std::vector<std::vector<float>> lines;
        for (int i = 0; i < 2; ++i) {
            // Real coefficient lines: one analysis level of gathered samples.
            AlignedBuffer x(n), c(n);
            x.Assign(SampleLine(rng, n));
            reference::AnalyzeD4(x.data(), n, c.data());
            lines.push_back(std::vector<float>(c.data(), c.data() + n));
        }
        lines.push_back(CoefficientLine(rng, n));
        for (const std::vector<float>& values : lines) {
            // approx and detail are the two halves of one line, as the engine passes them.
            AlignedBuffer coefficients(n), kernelOut(n), modelOut(n), referenceOut(n);
            coefficients.Assign(values);
            const float* a = coefficients.data();
            const float* d = a + m;
            KernelTable.synthesizeD4[column_](a, d, m, kernelOut.data());
            models_->synthesizeD4(a, d, m, modelOut.data());
            reference::SynthesizeD4(a, d, m, referenceOut.data());
            ASSERT_TRUE(SameBits(kernelOut, modelOut)) << "m " << m;
            for (int32_t k = 0; k < m; ++k) {
                const int32_t p = k == 0 ? m - 1 : k - 1;
                const double s = std::fabs(double(kH0) * a[k]) + std::fabs(kH2 * a[p]) +
                                 std::fabs(kG0 * d[k]) + std::fabs(kG2 * d[p]) +
                                 std::fabs(kH1 * a[k]) + std::fabs(kH3 * a[p]) +
                                 std::fabs(kG1 * d[k]) + std::fabs(kG3 * d[p]);
                ASSERT_NEAR(kernelOut[2 * k], referenceOut[2 * k], TransformBound(s))
                    << m << " " << k;
                ASSERT_NEAR(kernelOut[2 * k + 1], referenceOut[2 * k + 1], TransformBound(s));
            }
        }
    }
}

TEST_P(VectorSet, SynthesisUndoesAnalysisIncludingTheWrap) {
    std::mt19937 rng(13);
    for (uint32_t n : {32u, 1024u}) {
        AlignedBuffer x(n), c(n), y(n);
        x.Assign(SampleLine(rng, n));
        x[0] = 1500.0f;  // a jump across the wrap
        x[n - 1] = -1700.0f;
        KernelTable.analyzeD4[column_](x.data(), n, c.data());
        KernelTable.synthesizeD4[column_](c.data(), c.data() + n / 2, static_cast<int32_t>(n / 2),
                                          y.data());
        for (uint32_t i = 0; i < n; ++i) EXPECT_NEAR(y[i], x[i], 2e-3) << n << " " << i;
    }
}

// Differences from the reference met by the shrink checks.
struct ShrinkTally {
    int equalities = 0;  // |c| = t with mask 0: the set clears, the reference keeps
    int signs = 0;       // a negative coefficient cleared: reference -0.0, set +0.0
};

void CallShrink(ShrinkBand1Function one, ShrinkBand2Function two, ShrinkBand4Function four,
                int lineCount, std::vector<AlignedBuffer>& lines, int32_t start, int32_t end,
                float t, const AlignedBuffer& mask) {
    switch (lineCount) {
        case 1:
            one(lines[0].data(), start, end, t, mask.data());
            break;
        case 2:
            two(lines[0].data(), lines[1].data(), start, end, t, mask.data());
            break;
        default:
            four(lines[0].data(), lines[1].data(), lines[2].data(), lines[3].data(), start, end, t,
                 mask.data());
            break;
    }
}

// Runs one shrink of lineCount lines through the kernel, its model and the
// reference; checks kernel against model bit for bit and, for masks of 0.0
// and 1.0, against the reference up to the known differences.
void CheckShrink(int32_t column, const model::KernelModels& models, int lineCount,
                 const std::vector<AlignedBuffer>& original, const AlignedBuffer& mask,
                 int32_t start, int32_t end, float t, bool compareWithReference,
                 ShrinkTally* tally) {
    std::vector<AlignedBuffer> kernel = original, modelled = original, reference = original;
    const AlignedBuffer maskBefore = mask;
    CallShrink(KernelTable.shrinkBand1[column], KernelTable.shrinkBand2[column],
               KernelTable.shrinkBand4[column], lineCount, kernel, start, end, t, mask);
    CallShrink(models.shrinkBand1, models.shrinkBand2, models.shrinkBand4, lineCount, modelled,
               start, end, t, mask);
    CallShrink(reference::ShrinkBand1, reference::ShrinkBand2, reference::ShrinkBand4, lineCount,
               reference, start, end, t, mask);
    SCOPED_TRACE("lines " + std::to_string(lineCount) + " band [" + std::to_string(start) + ", " +
                 std::to_string(end) + ") t " + std::to_string(t));
    ASSERT_TRUE(SameBits(mask, maskBefore)) << "mask written";
    for (int l = 0; l < lineCount; ++l)
        ASSERT_TRUE(SameBits(kernel[l], modelled[l])) << "line " << l;
    if (!compareWithReference) return;
    for (int32_t i = 0; i < static_cast<int32_t>(original[0].size()); ++i) {
        bool same = true, allInside = true, anyEqual = false;
        for (int l = 0; l < lineCount; ++l) {
            same = same && Bits(kernel[l][i]) == Bits(reference[l][i]);
            allInside = allInside && std::fabs(original[l][i]) <= t;
            anyEqual = anyEqual || std::fabs(original[l][i]) == t;
        }
        if (same) continue;
        ASSERT_TRUE(i >= start && i < end) << "outside the band at " << i;
        ASSERT_EQ(mask[i], 0.0f) << "differs from the reference under mask 1.0 at " << i;
        bool kernelCleared = true, referenceKept = true, onlySigns = true;
        for (int l = 0; l < lineCount; ++l) {
            kernelCleared = kernelCleared && IsPositiveZero(kernel[l][i]);
            referenceKept = referenceKept && Bits(reference[l][i]) == Bits(original[l][i]);
            onlySigns =
                onlySigns && (Bits(kernel[l][i]) == Bits(reference[l][i]) ||
                              (IsPositiveZero(kernel[l][i]) && IsNegativeZero(reference[l][i])));
        }
        if (onlySigns) {
            ++tally->signs;
        } else {
            ASSERT_TRUE(kernelCleared && referenceKept && allInside && anyEqual)
                << "unexplained difference from the reference at " << i;
            ++tally->equalities;
        }
    }
}

// Crafted lines for the joint shrinks: most coefficients inside, one line
// pushed just outside [-t, t] or set exactly to +-t at chosen positions.
void Craft(std::mt19937& rng, std::vector<AlignedBuffer>& lines, int32_t start, int32_t end,
           float t) {
    std::uniform_int_distribution<int> what(0, 5);
    std::uniform_int_distribution<size_t> which(0, lines.size() - 1);
    for (int32_t i = start; i < end; ++i) {
        const int k = what(rng);
        if (k > 2 || t == 0.0f) continue;
        const float sign = (i & 1) ? -1.0f : 1.0f;
        for (AlignedBuffer& line : lines) line[i] = sign * t * 0.5f;
        AlignedBuffer& line = lines[which(rng)];
        if (k == 0) line[i] = sign * t;
        if (k == 1) line[i] = sign * std::nextafter(t, INFINITY);
    }
}

TEST_P(VectorSet, ShrinksMatchModelAndReference) {
    std::mt19937 rng(14);
    for (int lineCount : {1, 2, 4}) {
        ShrinkTally tally;
        for (const auto& [start, end] : Bands()) {
            for (MaskKind maskKind :
                 {MaskKind::kBinary, MaskKind::kAllZero, MaskKind::kAllOne, MaskKind::kOddValues}) {
                std::vector<AlignedBuffer> lines;
                for (int l = 0; l < lineCount; ++l) {
                    lines.emplace_back(1024);
                    lines.back().Assign(CoefficientLine(rng, 1024));
                }
                AlignedBuffer mask(1024);
                mask.Assign(EdgeMaskLine(rng, 1024, maskKind));
                const std::vector<float> first(lines[0].data(), lines[0].data() + 1024);
                for (float t : ThresholdsAround(rng, first, start, end)) {
                    const bool binary = maskKind != MaskKind::kOddValues;
                    CheckShrink(column_, *models_, lineCount, lines, mask, start, end, t, binary,
                                &tally);
                    std::vector<AlignedBuffer> crafted = lines;
                    Craft(rng, crafted, start, end, t);
                    CheckShrink(column_, *models_, lineCount, crafted, mask, start, end, t, binary,
                                &tally);
                    if (HasFatalFailure()) return;
                }
            }
        }
        // The inputs must really reach both differences, or the check proves little.
        EXPECT_GT(tally.equalities, 0) << lineCount << " lines";
        EXPECT_GT(tally.signs, 0) << lineCount << " lines";
    }
}

TEST_P(VectorSet, MarkEdgesMatchesModelAndReference) {
    std::mt19937 rng(15);
    int equalities = 0;
    for (int32_t m = 16; m <= 512; m *= 2) {
        for (ApproxKind kind :
             {ApproxKind::kWhole, ApproxKind::kProgression, ApproxKind::kFloats}) {
            const std::vector<float> values = Approximation(rng, static_cast<size_t>(m), kind);
            AlignedBuffer approx(static_cast<size_t>(m));
            approx.Assign(values);
            for (MaskKind maskKind : {MaskKind::kAllOne, MaskKind::kBinary, MaskKind::kOddValues}) {
                AlignedBuffer mask(static_cast<size_t>(2 * m));
                mask.Assign(EdgeMaskLine(rng, static_cast<size_t>(2 * m), maskKind));
                for (float t : EdgeThresholdsAround(rng, values)) {
                    AlignedBuffer kernel = mask, modelled = mask, reference = mask;
                    KernelTable.markEdges[column_](kernel.data(), m, approx.data(), t);
                    models_->markEdges(modelled.data(), m, approx.data(), t);
                    reference::MarkEdges(reference.data(), m, approx.data(), t);
                    SCOPED_TRACE("m " + std::to_string(m) + " t " + std::to_string(t));
                    ASSERT_TRUE(SameBits(kernel, modelled));
                    // Only entries m + 1 .. 2m - 2 are ever written.
                    for (int32_t i = 0; i < 2 * m; ++i) {
                        if (i <= m || i >= 2 * m - 1) {
                            ASSERT_EQ(Bits(kernel[i]), Bits(mask[i])) << i;
                        }
                    }
                    if (maskKind == MaskKind::kOddValues) continue;
                    for (int32_t j = 1; j + 1 < m; ++j) {
                        if (Bits(kernel[m + j]) == Bits(reference[m + j])) continue;
                        const float eSet =
                            std::fabs(model::sse::SecondDifference(values.data(), j - 1));
                        const float eReference = std::fabs(static_cast<float>(
                            2.0 * values[j] - double(values[j - 1]) - values[j + 1]));
                        if (eSet == t) {
                            // Cleared at equality (t = 0 included) where the reference keeps.
                            ASSERT_EQ(kernel[m + j], 0.0f) << j;
                            ASSERT_EQ(reference[m + j], 1.0f) << j;
                            ++equalities;
                        } else {
                            // The second difference rounded differently, across t.
                            ASSERT_NE(eSet, eReference) << "unexplained difference at " << j;
                            ASSERT_TRUE((eSet < t) != (eReference < t)) << j;
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(equalities, 0);
}

// The differences the set documents, one case each.
TEST_P(VectorSet, DocumentedDifferencesOneByOne) {
    AlignedBuffer line(32), mask(32);
    for (int i = 0; i < 32; ++i) mask[i] = i < 24 ? 0.0f : 1.0f;
    const float t = 5.0f;
    const float values[8] = {5.0f, -5.0f, -4.0f, 4.0f, 6.0f, -6.0f, 0.0f, -0.0f};
    for (int i = 0; i < 32; ++i) line[i] = values[i % 8];
    AlignedBuffer reference = line;
    KernelTable.shrinkBand1[column_](line.data(), 16, 32, t, mask.data());
    reference::ShrinkBand1(reference.data(), 16, 32, t, mask.data());
    struct Expect {
        int index;
        uint32_t set, reference;
    };
    const Expect expected[] = {
        {16, Bits(0.0f), Bits(5.0f)},  // |c| = t, mask 0: cleared by the set only
        {17, Bits(0.0f), Bits(-5.0f)},
        {18, Bits(0.0f), Bits(-0.0f)},  // negative cleared: +0.0 against -0.0
        {19, Bits(0.0f), Bits(0.0f)},
        {20, Bits(6.0f), Bits(6.0f)},  // above the threshold: kept whatever the mask
        {21, Bits(-6.0f), Bits(-6.0f)},
        {22, Bits(0.0f), Bits(0.0f)},
        {23, Bits(0.0f), Bits(-0.0f)},
        {24, Bits(5.0f), Bits(5.0f)},  // mask 1.0 protects
        {26, Bits(-4.0f), Bits(-4.0f)},
        {8, Bits(5.0f), Bits(5.0f)},  // outside the band
    };
    for (const Expect& e : expected) {
        EXPECT_EQ(Bits(line[e.index]), e.set) << e.index;
        EXPECT_EQ(Bits(reference[e.index]), e.reference) << e.index;
    }

    // One of four lines just outside [-t, t] protects the position in all four.
    std::vector<AlignedBuffer> four(4, AlignedBuffer(32));
    for (AlignedBuffer& l : four) std::fill(l.data(), l.data() + 32, 1.0f);
    four[2][20] = -std::nextafter(t, INFINITY);
    KernelTable.shrinkBand4[column_](four[0].data(), four[1].data(), four[2].data(), four[3].data(),
                                     16, 32, t, mask.data());
    for (int l = 0; l < 4; ++l) {
        EXPECT_EQ(four[l][19], 0.0f) << l;
        EXPECT_EQ(four[l][20], l == 2 ? -std::nextafter(t, INFINITY) : 1.0f) << l;
    }

    // A straight approximation with edge threshold 0: the set clears, the reference keeps.
    AlignedBuffer approx(16), edges(32), edgesReference(32);
    for (int i = 0; i < 16; ++i) approx[i] = 3.0f * i - 7.0f;
    std::fill(edges.data(), edges.data() + 32, 1.0f);
    std::fill(edgesReference.data(), edgesReference.data() + 32, 1.0f);
    KernelTable.markEdges[column_](edges.data(), 16, approx.data(), 0.0f);
    reference::MarkEdges(edgesReference.data(), 16, approx.data(), 0.0f);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(edges[i], i >= 17 && i <= 30 ? 0.0f : 1.0f) << i;
        EXPECT_EQ(edgesReference[i], 1.0f) << i;
    }
}

#ifdef __linux__
// Buffers that end where an inaccessible page begins: a read past the last
// entry a kernel may read faults.
class PageEnd {
public:
    PageEnd() {
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        base_ = static_cast<char*>(
            mmap(nullptr, 3 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(base_ + 2 * page_, page_, PROT_NONE);
    }
    ~PageEnd() { munmap(base_, 3 * page_); }
    // count floats ending at the guard page (16-byte aligned for counts of four).
    float* Ending(size_t count) { return reinterpret_cast<float*>(base_ + 2 * page_) - count; }

private:
    size_t page_ = 0;
    char* base_ = nullptr;
};

TEST_P(VectorSet, NothingIsReadPastTheLastEntry) {
    std::mt19937 rng(17);
    PageEnd region;
    AlignedBuffer out(1024);
    for (uint32_t n : {32u, 1024u}) {
        float* x = region.Ending(n);
        const std::vector<float> values = SampleLine(rng, n);
        std::copy(values.begin(), values.end(), x);
        KernelTable.analyzeD4[column_](x, n, out.data());
        // Synthesis with the detail band at the end of the page.
        KernelTable.synthesizeD4[column_](x, x + n / 2, static_cast<int32_t>(n / 2), out.data());
        // Approximation at the end of the page.
        AlignedBuffer mask(2 * n);
        KernelTable.markEdges[column_](mask.data(), static_cast<int32_t>(n), x, 1.0f);
        // Shrinks whose band ends at the page end.
        float* line = region.Ending(2 * n);
        AlignedBuffer w(2 * n);
        std::fill(w.data(), w.data() + 2 * n, 0.0f);
        const int32_t end = static_cast<int32_t>(2 * n);
        KernelTable.shrinkBand1[column_](line, end / 2, end, 50.0f, w.data());
        KernelTable.shrinkBand2[column_](line, line, end / 2, end, 50.0f, w.data());
        KernelTable.shrinkBand4[column_](line, line, line, line, end / 2, end, 50.0f, w.data());
    }
    SUCCEED() << "no fault";
}
#endif

// SSE calls the line engine never makes (short or ragged lengths, misaligned
// buffers) go to the reference kernel whole.
TEST(SseSet, CallsOutsideTheContractGiveTheReferenceResult) {
    if (!ProcessorRuns(kCpuSse)) GTEST_SKIP() << "this processor cannot run the SSE set";
    AlignedBuffer broadcast(4);
    float* const savedBlock = sse::BroadcastBlock;
    sse::BroadcastBlock = broadcast.data();
    std::mt19937 rng(16);
    for (uint32_t n : {2u, 4u, 6u, 10u}) {
        AlignedBuffer x(n), out(n), expected(n);
        x.Assign(SampleLine(rng, n));
        sse::AnalyzeD4(x.data(), n, out.data());
        reference::AnalyzeD4(x.data(), n, expected.data());
        EXPECT_TRUE(SameBits(out, expected)) << "n " << n;
    }
    AlignedBuffer shifted(65), out(64), expected(64);
    shifted.Assign(SampleLine(rng, 65));
    sse::AnalyzeD4(shifted.data() + 1, 64, out.data());  // misaligned input
    reference::AnalyzeD4(shifted.data() + 1, 64, expected.data());
    EXPECT_TRUE(SameBits(out, expected));
    for (int32_t m : {1, 2, 3, 5}) {
        AlignedBuffer c(static_cast<size_t>(2 * m)), y(static_cast<size_t>(2 * m)),
            yReference(static_cast<size_t>(2 * m));
        c.Assign(CoefficientLine(rng, static_cast<size_t>(2 * m)));
        sse::SynthesizeD4(c.data(), c.data() + m, m, y.data());
        reference::SynthesizeD4(c.data(), c.data() + m, m, yReference.data());
        EXPECT_TRUE(SameBits(y, yReference)) << "m " << m;
    }
    for (const auto& [start, end] :
         std::vector<std::pair<int32_t, int32_t>>{{16, 16}, {16, 18}, {16, 22}, {17, 21}}) {
        AlignedBuffer line(32), lineReference(32), mask(32);
        line.Assign(CoefficientLine(rng, 32));
        lineReference = line;
        mask.Assign(EdgeMaskLine(rng, 32, MaskKind::kBinary));
        sse::ShrinkBand1(line.data(), start, end, 20.0f, mask.data());
        reference::ShrinkBand1(lineReference.data(), start, end, 20.0f, mask.data());
        EXPECT_TRUE(SameBits(line, lineReference)) << start << " " << end;
    }
    for (int32_t m : {2, 3, 5}) {
        AlignedBuffer a(static_cast<size_t>(m)), w(static_cast<size_t>(2 * m)),
            wReference(static_cast<size_t>(2 * m));
        a.Assign(Approximation(rng, static_cast<size_t>(m), ApproxKind::kProgression));
        std::fill(w.data(), w.data() + 2 * m, 1.0f);
        wReference = w;
        sse::MarkEdges(w.data(), m, a.data(), 1.0f);
        reference::MarkEdges(wReference.data(), m, a.data(), 1.0f);
        EXPECT_TRUE(SameBits(w, wReference)) << "m " << m;
    }
    sse::BroadcastBlock = savedBlock;
}

INSTANTIATE_TEST_SUITE_P(KernelChecker, VectorSet, ::testing::ValuesIn(VectorColumns()),
                         ColumnName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(VectorSet);

}  // namespace
}  // namespace skarvel
