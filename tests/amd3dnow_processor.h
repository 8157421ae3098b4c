// Whether this processor can run the 3DNow! set: always with the emulated
// pairs; with the real instructions only where CPUID 0x80000001 reports
// 3DNow! (EDX bit 31), since the 32-bit suite also runs as processors
// without it.
#pragma once

#include "kernels/two_lane.h"

#if SKARVEL_TWO_LANE_3DNOW
#include <cpuid.h>
#endif

namespace skarvel {

inline bool ProcessorRunsThe3DNowSet() {
#if SKARVEL_TWO_LANE_3DNOW
    unsigned eax, ebx, ecx, edx;
    return __get_cpuid(0x80000001u, &eax, &ebx, &ecx, &edx) && (edx & 0x80000000u) != 0;
#else
    return true;
#endif
}

}  // namespace skarvel
