// CPUID-based choice of the kernel set, and the guarded SSE instruction that
// tells whether the operating system saves the SSE state.
#include "kernels/detect.h"

#include "kernels/kernels.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csetjmp>
#include <csignal>
#endif

namespace skarvel {

namespace {

#if defined(__i386__)

uint32_t ReadFlags() {
    uint32_t flags;
    asm volatile("pushfl\n\tpopl %0" : "=r"(flags));
    return flags;
}

void WriteFlags(uint32_t flags) {
    asm volatile("pushl %0\n\tpopfl" : : "r"(flags) : "cc");
}

void ToggleIdFlag(uint32_t* before, uint32_t* after) {
    uint32_t b, a;
    asm volatile(
        "pushfl\n\t"
        "popl %0\n\t"
        "movl %0, %1\n\t"
        "xorl $0x200000, %1\n\t"
        "pushl %1\n\t"
        "popfl\n\t"
        "pushfl\n\t"
        "popl %1"
        : "=&r"(b), "=&r"(a)
        :
        : "cc");
    *before = b;
    *after = a;
}

#elif defined(__x86_64__)

// Pushes step over the red zone, where the compiler may keep locals.
uint32_t ReadFlags() {
    uint64_t flags;
    asm volatile("leaq -128(%%rsp), %%rsp\n\tpushfq\n\tpopq %0\n\tleaq 128(%%rsp), %%rsp"
                 : "=r"(flags));
    return static_cast<uint32_t>(flags);
}

void WriteFlags(uint32_t flags) {
    const uint64_t wide = flags;
    asm volatile("leaq -128(%%rsp), %%rsp\n\tpushq %0\n\tpopfq\n\tleaq 128(%%rsp), %%rsp"
                 :
                 : "r"(wide)
                 : "cc");
}

void ToggleIdFlag(uint32_t* before, uint32_t* after) {
    uint64_t b, a;
    asm volatile(
        "leaq -128(%%rsp), %%rsp\n\t"
        "pushfq\n\t"
        "popq %0\n\t"
        "movq %0, %1\n\t"
        "xorq $0x200000, %1\n\t"
        "pushq %1\n\t"
        "popfq\n\t"
        "pushfq\n\t"
        "popq %1\n\t"
        "leaq 128(%%rsp), %%rsp"
        : "=&r"(b), "=&r"(a)
        :
        : "cc");
    *before = static_cast<uint32_t>(b);
    *after = static_cast<uint32_t>(a);
}

#endif

#if defined(__i386__) || defined(__x86_64__)

CpuidResult Cpuid(uint32_t function) {
    CpuidResult r;
    asm volatile("cpuid"
                 : "=a"(r.eax), "=b"(r.ebx), "=c"(r.ecx), "=d"(r.edx)
                 : "a"(function), "c"(0u));
    return r;
}

// One xorps of a register with itself, first instruction of a leaf routine.
__attribute__((naked, target("sse"))) void XorpsSelf() {
    asm volatile("xorps %xmm0, %xmm0\n\tret");
}

bool SseRuns() {
    return RunGuarded(XorpsSelf);
}

#else

// No x86: no CPUID, so the flag toggle never sticks and the reference set runs.
uint32_t ReadFlags() {
    return 0;
}
void WriteFlags(uint32_t) {}
void ToggleIdFlag(uint32_t* before, uint32_t* after) {
    *before = *after = 0;
}
CpuidResult Cpuid(uint32_t) {
    return {};
}
bool SseRuns() {
    return false;
}

#endif

#ifdef _WIN32

// A vectored handler: the routine does not touch the stack, so a fault inside
// it resumes at its return address as if it had returned.
volatile LONG guardArmed;
volatile DWORD guardThread;
volatile LONG guardFaulted;

LONG CALLBACK OnGuardedFault(EXCEPTION_POINTERS* exception) {
    if (!guardArmed || GetCurrentThreadId() != guardThread) return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT* context = exception->ContextRecord;
#ifdef _WIN64
    context->Rip = *reinterpret_cast<DWORD64*>(context->Rsp);
    context->Rsp += sizeof(DWORD64);
#else
    context->Eip = *reinterpret_cast<DWORD*>(context->Esp);
    context->Esp += sizeof(DWORD);
#endif
    guardFaulted = 1;
    return EXCEPTION_CONTINUE_EXECUTION;
}

#else

sigjmp_buf guardJump;

void OnGuardedFault(int) {
    siglongjmp(guardJump, 1);
}

#endif

}  // namespace

#ifdef _WIN32

bool RunGuarded(GuardedRoutine routine) {
    PVOID handler = AddVectoredExceptionHandler(1, OnGuardedFault);
    if (handler == nullptr) return false;
    guardThread = GetCurrentThreadId();
    guardFaulted = 0;
    guardArmed = 1;
    routine();
    guardArmed = 0;
    RemoveVectoredExceptionHandler(handler);
    return guardFaulted == 0;
}

#else

bool RunGuarded(GuardedRoutine routine) {
    struct sigaction action = {};
    action.sa_handler = OnGuardedFault;
    sigemptyset(&action.sa_mask);
    struct sigaction previousIll, previousFpe;
    sigaction(SIGILL, &action, &previousIll);
    sigaction(SIGFPE, &action, &previousFpe);
    volatile bool completed = false;
    // Saving the signal mask lets the jump out of the handler unblock the signal.
    if (sigsetjmp(guardJump, 1) == 0) {
        routine();
        completed = true;
    }
    sigaction(SIGILL, &previousIll, nullptr);
    sigaction(SIGFPE, &previousFpe, nullptr);
    return completed;
}

#endif

ProcessorProbe RealProcessor() {
    return {ReadFlags, WriteFlags, ToggleIdFlag, Cpuid, SseRuns};
}
ProcessorProbe Processor = {ReadFlags, WriteFlags, ToggleIdFlag, Cpuid, SseRuns};

int32_t DetectCpuKind() {
    const uint32_t saved = Processor.readFlags();
    int32_t kind = kCpuReference;
    uint32_t before = 0, after = 0;
    Processor.toggleIdFlag(&before, &after);
    // The whole word is compared: any difference means CPUID exists.
    if (after != before) {
        // Function 1 straight away; the highest standard function is not asked.
        if (Processor.cpuid(1).edx & kSseFeature) {
            kind = kCpuSse;
        } else if (Processor.cpuid(0x80000000u).eax >= 0x80000001u &&
                   (Processor.cpuid(0x80000001u).edx & k3DNowFeature) != 0) {
            kind = kCpu3DNow;
        }
    }
    // Also undoes the inversion of the ID flag.
    Processor.writeFlags(saved);
    return kind;
}

bool CheckOsSseSupport() {
    return Processor.sseRuns();
}

}  // namespace skarvel
