// Odd-phase mode: at every level the even-phase transform of the level's input
// stays in Shift2Line while its low-pass part, rebuilt one sample out of
// phase, is transformed into Shift0Line and carried to the next level.
#include "kernels/odd_phase.h"

#include "engine/engine_internal.h"
#include "host/module_state.h"
#include "kernels/kernels.h"

namespace skarvel {

void DecomposeOddPhase(int32_t cpuKind, int32_t paddedLength, int32_t levels, int32_t smallFrame) {
    const AnalyzeD4Function analyze = KernelTable.analyzeD4[cpuKind];
    float* even = LinePool.shift2Line;
    float* odd = LinePool.shift0Line;
    float* scratch = LinePool.scratchLine;
    for (int32_t k = 1; k <= levels; ++k) {
        const int32_t n = paddedLength >> (k - 1);
        const int32_t m = n / 2;
        const float edge = EdgeThresholds[5 - smallFrame - (k - 1)];
        analyze(odd, static_cast<uint32_t>(n), even);     // a_k, d_k from x_{k-1}
        SynthesizeD4LowOdd(even, m, scratch);             // y_k from a_k alone
        analyze(scratch, static_cast<uint32_t>(n), odd);  // a'_k = x_k, d'_k
        MarkEdgesPair(LinePool.edgeMask, m, odd, even, edge);
    }
}

void ReconstructOddPhase(int32_t cpuKind, int32_t paddedLength, int32_t levels) {
    const SynthesizeD4Function synthesize = KernelTable.synthesizeD4[cpuKind];
    float* even = LinePool.shift2Line;
    float* odd = LinePool.shift0Line;
    float* scratch = LinePool.scratchLine;
    for (int32_t m = paddedLength >> levels; 2 * m <= paddedLength; m *= 2) {
        synthesize(odd, odd + m, m, scratch);  // y_k from x_k and the shrunk d'_k
        // a_k again from y_k; the shrunk d_k after it stays in place.
        AnalyzeD4LowOdd(scratch, static_cast<uint32_t>(2 * m), even);
        synthesize(even, even + m, m, odd);  // x_{k-1} from a_k and the shrunk d_k
    }
}

}  // namespace skarvel
