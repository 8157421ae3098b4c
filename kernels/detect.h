// Processor detection: which kernel set this processor and operating system
// can run.
#pragma once

#include <cstdint>

namespace skarvel {

struct CpuidResult {
    uint32_t eax, ebx, ecx, edx;
};

// The processor as detection sees it. The real probe issues the instructions;
// tests put scripted processors in its place.
struct ProcessorProbe {
    uint32_t (*readFlags)();  // EFLAGS
    void (*writeFlags)(uint32_t flags);
    // Reads EFLAGS, writes it back with the ID flag inverted and reads it
    // again, in one sequence so that nothing else touches the flags meanwhile.
    void (*toggleIdFlag)(uint32_t* before, uint32_t* after);
    CpuidResult (*cpuid)(uint32_t function);
    // True when one SSE instruction runs without raising an exception.
    bool (*sseRuns)();
};
extern ProcessorProbe Processor;
ProcessorProbe RealProcessor();

constexpr uint32_t kIdFlag = 0x00200000u;
constexpr uint32_t kSseFeature = 0x02000000u;    // CPUID 1, EDX bit 25
constexpr uint32_t k3DNowFeature = 0x80000000u;  // CPUID 0x80000001, EDX bit 31

// CpuKind from the feature bits: 2 with SSE, else 1 with 3DNow!, else 0.
// Leaves the flags register as it found it.
int32_t DetectCpuKind();
// Whether the operating system lets SSE instructions run.
bool CheckOsSseSupport();

// Runs a routine under a fault guard and returns false when it raised an
// exception. The routine must be a leaf that does not touch the stack (a
// naked function of a few instructions ending in ret): on Windows the guard
// resumes a faulting routine at its return address. On POSIX systems the
// guard catches SIGILL and SIGFPE and restores the handlers it found.
using GuardedRoutine = void (*)();
bool RunGuarded(GuardedRoutine routine);

}  // namespace skarvel
