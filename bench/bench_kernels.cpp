// ns per call of every kernel in every set the table has, on the checker's
// inputs, with the speed-up over the reference kernel and, for the SSE set,
// the fraction of this core's four-lane multiply/add peak that the kernel's
// packed arithmetic reaches. The peak itself is the first benchmark.
#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "kernels/kernels.h"
#include "kernels/sse_cached.h"
#include "kernels/two_lane.h"
#include "tests/kernel_inputs.h"

namespace {

using namespace skarvel;
using namespace skarvel::kernelcheck;

// ---- peak: independent four-lane multiplies and adds, no memory traffic -----

constexpr int kPeakChains = 6;  // per operation: enough to cover latency on current cores

// Runs `rounds` rounds of 6 multiplies and 6 adds on independent chains.
__attribute__((target("sse"), noinline)) float PeakLoop(int64_t rounds) {
    __m128 factor = _mm_set1_ps(1.0f), term = _mm_set1_ps(0.0f);
    // Opaque to the compiler, so x * 1 and x + 0 are not folded away.
    asm volatile("" : "+x"(factor), "+x"(term));
    __m128 m0 = _mm_set1_ps(1.0f), m1 = m0, m2 = m0, m3 = m0, m4 = m0, m5 = m0;
    __m128 a0 = _mm_set1_ps(2.0f), a1 = a0, a2 = a0, a3 = a0, a4 = a0, a5 = a0;
    for (int64_t r = 0; r < rounds; ++r) {
        m0 = _mm_mul_ps(m0, factor);
        a0 = _mm_add_ps(a0, term);
        m1 = _mm_mul_ps(m1, factor);
        a1 = _mm_add_ps(a1, term);
        m2 = _mm_mul_ps(m2, factor);
        a2 = _mm_add_ps(a2, term);
        m3 = _mm_mul_ps(m3, factor);
        a3 = _mm_add_ps(a3, term);
        m4 = _mm_mul_ps(m4, factor);
        a4 = _mm_add_ps(a4, term);
        m5 = _mm_mul_ps(m5, factor);
        a5 = _mm_add_ps(a5, term);
    }
    __m128 sum = _mm_add_ps(_mm_add_ps(_mm_add_ps(m0, m1), _mm_add_ps(m2, m3)),
                            _mm_add_ps(_mm_add_ps(m4, m5), _mm_add_ps(a0, a1)));
    sum = _mm_add_ps(sum, _mm_add_ps(_mm_add_ps(a2, a3), _mm_add_ps(a4, a5)));
    return _mm_cvtss_f32(sum);
}
constexpr int kPeakOpsPerRound = 2 * kPeakChains;

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Packed operations per second at the peak, measured once (best of five).
double PeakOpsPerSecond() {
    static const double peak = [] {
        const int64_t rounds = 20'000'000;
        double best = 0.0;
        for (int trial = 0; trial < 5; ++trial) {
            const double start = ThreadSeconds();
            benchmark::DoNotOptimize(PeakLoop(rounds));
            best = std::max(best, rounds * kPeakOpsPerRound / (ThreadSeconds() - start));
        }
        return best;
    }();
    return peak;
}

void BM_Peak(benchmark::State& state) {
    const int64_t rounds = 10000;
    for (auto _ : state) benchmark::DoNotOptimize(PeakLoop(rounds));
    state.counters["packed_ops"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * rounds * kPeakOpsPerRound,
                           benchmark::Counter::kIsRate);
}

// ---- kernels ----------------------------------------------------------------

const char* SetName(int32_t column) {
    switch (column) {
        case kCpuReference:
            return "reference";
        case kCpu3DNow:
            return SKARVEL_TWO_LANE_3DNOW ? "3dnow" : "3dnow-emulated";
        default:
            return "sse";
    }
}

// Columns to measure: the reference and every column that is not just it.
std::vector<int32_t> Columns() {
    std::vector<int32_t> columns = {kCpuReference};
    const KernelTableRows& t = KernelTable;
    for (int32_t c = 1; c < kCpuKindCount; ++c) {
        if (t.analyzeD4[c] != t.analyzeD4[0] || t.synthesizeD4[c] != t.synthesizeD4[0] ||
            t.shrinkBand1[c] != t.shrinkBand1[0] || t.markEdges[c] != t.markEdges[0])
            columns.push_back(c);
    }
    return columns;
}

// Reference ns per call by kernel and size, for the speed-up of the others.
std::map<std::string, double>& ReferenceNs() {
    static std::map<std::string, double> ns;
    return ns;
}

// Runs call() in the benchmark loop and reports the speed-up over the
// reference (registered first) and, given the packed operations per call of
// the SSE form, the fraction of the peak.
void Measure(benchmark::State& state, const std::string& key, bool isReference,
             double packedOpsPerCall, const std::function<void()>& call) {
    // Thread CPU time: the machine is shared, and other work must not count.
    const double start = ThreadSeconds();
    for (auto _ : state) {
        call();
        benchmark::ClobberMemory();
    }
    const double ns = (ThreadSeconds() - start) * 1e9 / static_cast<double>(state.iterations());
    if (isReference) {
        ReferenceNs()[key] = ns;
        return;
    }
    const auto reference = ReferenceNs().find(key);
    if (reference != ReferenceNs().end()) state.counters["x_ref"] = reference->second / ns;
    if (packedOpsPerCall > 0.0) {
        state.counters["of_peak"] = packedOpsPerCall / (ns * 1e-9) / PeakOpsPerSecond();
    }
}

// The inputs of one kernel size, from the checker's generators.
struct KernelData {
    AlignedBuffer samples, coefficients, out, approx;
    std::vector<AlignedBuffer> lines;
    AlignedBuffer mask;
    explicit KernelData(size_t n) : samples(n), coefficients(n), out(n), approx(n), mask(1024) {
        std::mt19937 rng(static_cast<uint32_t>(n));
        samples.Assign(SampleLine(rng, n));
        reference::AnalyzeD4(samples.data(), static_cast<uint32_t>(n), coefficients.data());
        approx.Assign(Approximation(rng, n, ApproxKind::kFloats));
        for (int l = 0; l < 4; ++l) {
            lines.emplace_back(1024);
            lines.back().Assign(CoefficientLine(rng, 1024));
        }
        mask.Assign(EdgeMaskLine(rng, 1024, MaskKind::kBinary));
    }
};

constexpr float kShrinkThreshold = 30.0f;  // about half the coefficients inside
constexpr float kEdgeThreshold = 300.0f;

void RegisterKernels() {
    static AlignedBuffer broadcast(4);
    sse::BroadcastBlock = broadcast.data();
    const KernelTableRows& t = KernelTable;
    for (int32_t column : Columns()) {
        const std::string set = SetName(column);
        const bool isReference = column == kCpuReference;
        const bool sse = column == kCpuSse;
        for (uint32_t n : {32u, 128u, 512u, 1024u}) {
            const std::string key = "AnalyzeD4/" + std::to_string(n);
            benchmark::RegisterBenchmark(
                ("AnalyzeD4/" + set + "/" + std::to_string(n)).c_str(),
                [=](benchmark::State& state) {
                    KernelData data(n);
                    Measure(state, key, isReference, sse ? 7.0 * n / 4 : 0.0,
                            [&] { t.analyzeD4[column](data.samples.data(), n, data.out.data()); });
                });
        }
        for (int32_t m : {16, 64, 256, 512}) {
            const std::string key = "SynthesizeD4/" + std::to_string(m);
            for (int variant = 0; variant < (sse ? 2 : 1); ++variant) {
                const SynthesizeD4Function f =
                    variant == 0 ? t.synthesizeD4[column] : sse_cached::SynthesizeD4;
                const std::string name = variant == 0 ? set : "sse-cached-stores";
                benchmark::RegisterBenchmark(
                    ("SynthesizeD4/" + name + "/" + std::to_string(m)).c_str(),
                    [=](benchmark::State& state) {
                        KernelData data(static_cast<size_t>(2 * m));
                        const float* c = data.coefficients.data();
                        Measure(state, key, isReference, sse ? 7.0 * m / 2 : 0.0,
                                [&] { f(c, c + m, m, data.out.data()); });
                    });
                // As the line engine uses it: rebuild into a scratch line, copy back.
                benchmark::RegisterBenchmark(
                    ("SynthesizeAndCopyBack/" + name + "/" + std::to_string(m)).c_str(),
                    [=](benchmark::State& state) {
                        KernelData data(static_cast<size_t>(2 * m));
                        float* c = data.coefficients.data();
                        Measure(state, "SynthesizeAndCopyBack/" + std::to_string(m), isReference,
                                0.0, [&] {
                                    f(c, c + m, m, data.out.data());
                                    std::memcpy(c, data.out.data(), sizeof(float) * 2 * m);
                                });
                    });
            }
        }
        for (int32_t start : {16, 128, 512}) {
            const int32_t end = 2 * start;
            const double groups = (end - start) / 4.0;
            for (int variant = 0; variant < (sse ? 2 : 1); ++variant) {
                const std::string name = variant == 0 ? set : "sse-cached-stores";
                const ShrinkBand1Function one =
                    variant == 0 ? t.shrinkBand1[column] : sse_cached::ShrinkBand1;
                const ShrinkBand2Function two =
                    variant == 0 ? t.shrinkBand2[column] : sse_cached::ShrinkBand2;
                const ShrinkBand4Function four =
                    variant == 0 ? t.shrinkBand4[column] : sse_cached::ShrinkBand4;
                const std::string band = std::to_string(start) + "-" + std::to_string(end);
                benchmark::RegisterBenchmark(
                    ("ShrinkBand1/" + name + "/" + band).c_str(), [=](benchmark::State& state) {
                        KernelData data(1024);
                        Measure(state, "ShrinkBand1/" + band, isReference, sse ? 6 * groups : 0.0,
                                [&] {
                                    one(data.lines[0].data(), start, end, kShrinkThreshold,
                                        data.mask.data());
                                });
                    });
                benchmark::RegisterBenchmark(
                    ("ShrinkBand2/" + name + "/" + band).c_str(), [=](benchmark::State& state) {
                        KernelData data(1024);
                        Measure(state, "ShrinkBand2/" + band, isReference, sse ? 11 * groups : 0.0,
                                [&] {
                                    two(data.lines[0].data(), data.lines[1].data(), start, end,
                                        kShrinkThreshold, data.mask.data());
                                });
                    });
                benchmark::RegisterBenchmark(
                    ("ShrinkBand4/" + name + "/" + band).c_str(), [=](benchmark::State& state) {
                        KernelData data(1024);
                        Measure(state, "ShrinkBand4/" + band, isReference, sse ? 21 * groups : 0.0,
                                [&] {
                                    four(data.lines[0].data(), data.lines[1].data(),
                                         data.lines[2].data(), data.lines[3].data(), start, end,
                                         kShrinkThreshold, data.mask.data());
                                });
                    });
            }
        }
        for (int32_t m : {16, 128, 512}) {
            const std::string key = "MarkEdges/" + std::to_string(m);
            benchmark::RegisterBenchmark(
                ("MarkEdges/" + set + "/" + std::to_string(m)).c_str(),
                [=](benchmark::State& state) {
                    KernelData data(static_cast<size_t>(m));
                    AlignedBuffer mask(static_cast<size_t>(2 * m));
                    std::fill(mask.data(), mask.data() + 2 * m, 1.0f);
                    Measure(state, key, isReference, sse ? 8.0 * (m / 2 - 1) : 0.0, [&] {
                        t.markEdges[column](mask.data(), m, data.approx.data(), kEdgeThreshold);
                    });
                });
        }
    }
}

}  // namespace

BENCHMARK(BM_Peak);

int main(int argc, char** argv) {
    RegisterKernels();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
