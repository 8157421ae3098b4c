// Odd-phase mode: placeholder until its kernels exist (mode 3 is skipped).
#include "engine/engine_internal.h"

namespace skarvel {

void DecomposeOddPhase(int32_t, int32_t, int32_t, int32_t) {}
void ReconstructOddPhase(int32_t, int32_t, int32_t) {}

}  // namespace skarvel
