// The six numeric inner loops of the line engine, the table that selects one
// implementation per processor, and the odd-phase kernels that exist once.
#pragma once

#include <cstdint>

namespace skarvel {

// 0 = reference (scalar, double working precision), 1 = 3DNow!, 2 = SSE.
enum : int32_t { kCpuReference = 0, kCpu3DNow = 1, kCpuSse = 2, kCpuKindCount = 3 };

using AnalyzeD4Function = void (*)(const float* input, uint32_t n, float* output);
using SynthesizeD4Function = void (*)(const float* approx, const float* detail, int32_t m,
                                      float* output);
using ShrinkBand1Function = void (*)(float* line, int32_t start, int32_t end, float threshold,
                                     const float* mask);
using ShrinkBand4Function = void (*)(float* line0, float* line1, float* line2, float* line3,
                                     int32_t start, int32_t end, float threshold,
                                     const float* mask);
using ShrinkBand2Function = void (*)(float* line0, float* line1, int32_t start, int32_t end,
                                     float threshold, const float* mask);
using MarkEdgesFunction = void (*)(float* mask, int32_t m, const float* approx, float threshold);

// 18 pointers stored row after row: element 3 * row + cpuKind.
struct KernelTableRows {
    AnalyzeD4Function analyzeD4[kCpuKindCount];
    SynthesizeD4Function synthesizeD4[kCpuKindCount];
    ShrinkBand1Function shrinkBand1[kCpuKindCount];
    ShrinkBand4Function shrinkBand4[kCpuKindCount];
    ShrinkBand2Function shrinkBand2[kCpuKindCount];
    MarkEdgesFunction markEdges[kCpuKindCount];
};

extern const KernelTableRows KernelTable;

// D4 taps as stored single-precision constants (bit patterns in the tests).
constexpr float kH0 = 0.4829629131445341f;
constexpr float kH1 = 0.8365163037378079f;
constexpr float kH2 = 0.2241438680420134f;
constexpr float kH3 = -0.1294095225512604f;
constexpr float kG0 = kH3;
constexpr float kG1 = -kH2;
constexpr float kG2 = kH1;
constexpr float kG3 = -kH0;

namespace reference {
void AnalyzeD4(const float* input, uint32_t n, float* output);
void SynthesizeD4(const float* approx, const float* detail, int32_t m, float* output);
void ShrinkBand1(float* line, int32_t start, int32_t end, float threshold, const float* mask);
void ShrinkBand4(float* line0, float* line1, float* line2, float* line3, int32_t start, int32_t end,
                 float threshold, const float* mask);
void ShrinkBand2(float* line0, float* line1, int32_t start, int32_t end, float threshold,
                 const float* mask);
void MarkEdges(float* mask, int32_t m, const float* approx, float threshold);
}  // namespace reference

// Two lanes per step, every step rounded to single (3DNow! on 32-bit x86,
// an exact emulation elsewhere). Column 1 of the table.
namespace amd3dnow {
void AnalyzeD4(const float* input, uint32_t n, float* output);
void SynthesizeD4(const float* approx, const float* detail, int32_t m, float* output);
void ShrinkBand1(float* line, int32_t start, int32_t end, float threshold, const float* mask);
void ShrinkBand4(float* line0, float* line1, float* line2, float* line3, int32_t start,
                 int32_t end, float threshold, const float* mask);
void ShrinkBand2(float* line0, float* line1, int32_t start, int32_t end, float threshold,
                 const float* mask);
void MarkEdges(float* mask, int32_t m, const float* approx, float threshold);
}  // namespace amd3dnow

// Four lanes per step, every step rounded to single (SSE). Column 2 of the
// table. Compiled for SSE function by function, so the rest of the module
// keeps the build's baseline and runs where SSE does not.
namespace sse {
void AnalyzeD4(const float* input, uint32_t n, float* output);
void SynthesizeD4(const float* approx, const float* detail, int32_t m, float* output);
void ShrinkBand1(float* line, int32_t start, int32_t end, float threshold, const float* mask);
void ShrinkBand4(float* line0, float* line1, float* line2, float* line3, int32_t start,
                 int32_t end, float threshold, const float* mask);
void ShrinkBand2(float* line0, float* line1, int32_t start, int32_t end, float threshold,
                 const float* mask);
void MarkEdges(float* mask, int32_t m, const float* approx, float threshold);

// Four floats on a 16-byte boundary where the shrinks broadcast their
// threshold: the line pool's block, set by start-up whenever CpuKind is 2.
extern float* BroadcastBlock;
}  // namespace sse

}  // namespace skarvel
