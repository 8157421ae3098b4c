// Processor detection against scripted processors, the fault guard, the
// choice rule with the broadcast block at start-up, and the real processor.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#ifndef _WIN32
#include <csignal>
#endif

#include "host/callbacks.h"
#include "host/module_state.h"
#include "kernels/detect.h"
#include "kernels/kernels.h"

namespace skarvel {
namespace {

// What a scripted processor answers.
struct Script {
    bool hasCpuid;             // the ID flag can be inverted
    uint32_t function1Edx;     // CPUID 1 feature word
    uint32_t highestExtended;  // CPUID 0x80000000, EAX
    uint32_t extended1Edx;     // CPUID 0x80000001 feature word
    bool osRunsSse;            // the guarded SSE instruction completes
};

Script script;
uint32_t flags;
std::vector<uint32_t> queried;
int sseChecks;

uint32_t ScriptedReadFlags() {
    return flags;
}
void ScriptedWriteFlags(uint32_t value) {
    // Without CPUID the ID flag keeps its value whatever is written.
    flags = script.hasCpuid ? value : (value & ~kIdFlag) | (flags & kIdFlag);
}
void ScriptedToggle(uint32_t* before, uint32_t* after) {
    *before = flags;
    ScriptedWriteFlags(flags ^ kIdFlag);
    *after = flags;
}
CpuidResult ScriptedCpuid(uint32_t function) {
    queried.push_back(function);
    if (!script.hasCpuid) ADD_FAILURE() << "CPUID executed on a processor without it";
    switch (function) {
        case 1:
            return {0x00000673u, 0, 0, script.function1Edx};
        case 0x80000000u:
            return {script.highestExtended, 0, 0, 0};
        case 0x80000001u:
            return {0, 0, 0, script.extended1Edx};
        default:
            ADD_FAILURE() << "unexpected CPUID function " << std::hex << function;
            return {};
    }
}
bool ScriptedSseRuns() {
    ++sseChecks;
    return script.osRunsSse;
}

class ScriptedProcessor : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = Processor;
        Processor = {ScriptedReadFlags, ScriptedWriteFlags, ScriptedToggle, ScriptedCpuid,
                     ScriptedSseRuns};
    }
    void TearDown() override { Processor = saved_; }

    void Run(const Script& s, uint32_t initialFlags) {
        script = s;
        flags = initialFlags;
        queried.clear();
        sseChecks = 0;
    }

private:
    ProcessorProbe saved_{};
};

constexpr uint32_t kMmx = 1u << 23, kSse2 = 1u << 26;

struct DetectionCase {
    const char* what;
    Script script;
    int32_t kind;
    std::vector<uint32_t> queries;
};

const DetectionCase kDetectionCases[] = {
    {"no CPUID", {false, kSseFeature, 0x80000008u, k3DNowFeature, true}, 0, {}},
    {"SSE without 3DNow!", {true, kSseFeature | kMmx, 0x80000008u, 0, true}, 2, {1}},
    {"SSE with 3DNow!", {true, kSseFeature | kMmx, 0x80000008u, k3DNowFeature, true}, 2, {1}},
    {"no SSE, highest extended 0x80000000",
     {true, kMmx, 0x80000000u, k3DNowFeature, true},
     0,
     {1, 0x80000000u}},
    {"no SSE, no extended functions (standard data echoed)",
     {true, kMmx, 0x00000002u, k3DNowFeature, true},
     0,
     {1, 0x80000000u}},
    {"3DNow! only",
     {true, kMmx, 0x80000001u, k3DNowFeature, true},
     1,
     {1, 0x80000000u, 0x80000001u}},
    {"neither SSE nor 3DNow!",
     {true, kMmx, 0x80000008u, ~k3DNowFeature, true},
     0,
     {1, 0x80000000u, 0x80000001u}},
    {"every standard feature but SSE",
     {true, ~kSseFeature, 0x80000000u, 0, true},
     0,
     {1, 0x80000000u}},
    {"SSE2 bit without the SSE bit, 3DNow!",
     {true, kSse2 | kMmx, 0x80000001u, k3DNowFeature, true},
     1,
     {1, 0x80000000u, 0x80000001u}},
};

TEST_F(ScriptedProcessor, DetectionFollowsTheFeatureBitsAndRestoresTheFlags) {
    for (const DetectionCase& c : kDetectionCases) {
        for (uint32_t initial : {0x00000202u, 0x00200246u}) {
            Run(c.script, initial);
            EXPECT_EQ(DetectCpuKind(), c.kind) << c.what;
            EXPECT_EQ(queried, c.queries) << c.what;
            EXPECT_EQ(flags, initial) << c.what << ": flags not restored";
            EXPECT_EQ(sseChecks, 0) << c.what << ": detection asks the OS nothing";
        }
    }
}

// A recording heap: every allocation and release, in order.
struct HeapEvent {
    bool allocate;
    size_t bytes;
    void* block;
};
std::vector<HeapEvent> heapEvents;

void* RecordingAllocate(size_t bytes) {
    void* block = SystemHeap().allocate(bytes);
    heapEvents.push_back({true, bytes, block});
    return block;
}
void RecordingRelease(void* block) {
    heapEvents.push_back({false, 0, block});
    SystemHeap().release(block);
}

struct StartupCase {
    const char* what;
    Script script;
    int32_t kind;
    int sseChecks;
};

const StartupCase kStartupCases[] = {
    {"SSE and the OS runs it", {true, kSseFeature, 0x80000008u, 0, true}, 2, 1},
    {"SSE refused by the OS, 3DNow! present",
     {true, kSseFeature, 0x80000008u, k3DNowFeature, false},
     0,
     1},
    {"3DNow! only: the OS is not asked", {true, kMmx, 0x80000001u, k3DNowFeature, true}, 1, 0},
    {"no CPUID", {false, 0, 0, 0, true}, 0, 0},
};

TEST_F(ScriptedProcessor, StartupChoosesTheSetAndOwnsTheBroadcastBlockExactlyWithSse) {
    const HeapLayer savedHeap = Heap;
    Heap = {RecordingAllocate, RecordingRelease};
    FilterInstance instance{};
    for (const StartupCase& c : kStartupCases) {
        SCOPED_TRACE(c.what);
        Run(c.script, 0x00000202u);
        heapEvents.clear();
        ASSERT_EQ(InitFilter(&instance), 1);
        EXPECT_EQ(CpuKind, c.kind);
        EXPECT_EQ(sseChecks, c.sseChecks);
        const bool sse = c.kind == kCpuSse;
        const size_t blocks = sse ? 7 : 6;
        ASSERT_EQ(heapEvents.size(), blocks);
        for (size_t b = 0; b < 6; ++b) EXPECT_EQ(heapEvents[b].bytes, kLineBlockBytes) << b;
        if (sse) {
            // The broadcast block comes last, and the shrinks get its working address.
            EXPECT_EQ(heapEvents[6].bytes, kBroadcastBlockBytes);
            const uintptr_t allocation = reinterpret_cast<uintptr_t>(heapEvents[6].block);
            const uintptr_t working = reinterpret_cast<uintptr_t>(LinePool.broadcast);
            EXPECT_EQ(working % 16, 0u);
            EXPECT_GE(working, allocation);
            EXPECT_LE(working + 16, allocation + kBroadcastBlockBytes);
            EXPECT_EQ(sse::BroadcastBlock, LinePool.broadcast);
        } else {
            EXPECT_EQ(LinePool.broadcast, nullptr);
            EXPECT_EQ(sse::BroadcastBlock, nullptr);
        }

        ASSERT_EQ(ExitFilter(&instance), 1);
        ASSERT_EQ(heapEvents.size(), 2 * blocks);
        // Freed in the order of allocation: six lines, then the broadcast block.
        for (size_t b = 0; b < blocks; ++b) {
            EXPECT_FALSE(heapEvents[blocks + b].allocate) << b;
            EXPECT_EQ(heapEvents[blocks + b].block, heapEvents[b].block) << b;
        }
        EXPECT_EQ(sse::BroadcastBlock, nullptr);
    }
    Heap = savedHeap;
    CpuKind = 0;
}

#if defined(__i386__) || defined(__x86_64__)

// Guarded routines: leaves that do not touch the stack.
__attribute__((naked)) void IllegalInstruction() {
    asm volatile("ud2\n\tret");
}
__attribute__((naked)) void DivideByZero() {
    asm volatile("xorl %ecx, %ecx\n\txorl %eax, %eax\n\txorl %edx, %edx\n\tdivl %ecx\n\tret");
}
__attribute__((naked)) void Harmless() {
    asm volatile("nop\n\tret");
}

TEST(FaultGuard, AnyFaultIsFalseAndTheGuardCanBeUsedAgain) {
    EXPECT_TRUE(RunGuarded(Harmless));
    EXPECT_FALSE(RunGuarded(IllegalInstruction));
    EXPECT_FALSE(RunGuarded(DivideByZero));
    // The signal that was being handled is not left blocked.
    EXPECT_FALSE(RunGuarded(IllegalInstruction));
    EXPECT_TRUE(RunGuarded(Harmless));
}

#ifndef _WIN32
void ForeignHandler(int) {}

TEST(FaultGuard, RestoresTheHandlersItFound) {
    struct sigaction mine = {};
    mine.sa_handler = ForeignHandler;
    sigemptyset(&mine.sa_mask);
    struct sigaction savedIll, savedFpe;
    sigaction(SIGILL, &mine, &savedIll);
    sigaction(SIGFPE, &mine, &savedFpe);
    EXPECT_FALSE(RunGuarded(IllegalInstruction));
    EXPECT_TRUE(RunGuarded(Harmless));
    struct sigaction afterIll, afterFpe;
    sigaction(SIGILL, nullptr, &afterIll);
    sigaction(SIGFPE, nullptr, &afterFpe);
    EXPECT_EQ(afterIll.sa_handler, ForeignHandler);
    EXPECT_EQ(afterFpe.sa_handler, ForeignHandler);
    sigaction(SIGILL, &savedIll, nullptr);
    sigaction(SIGFPE, &savedFpe, nullptr);
}
#endif

TEST(RealProcessor, DetectionAgreesWithTheProcessor) {
    ASSERT_EQ(Processor.cpuid, RealProcessor().cpuid);
    const uint32_t before = Processor.readFlags();
    const int32_t kind = DetectCpuKind();
    EXPECT_EQ(Processor.readFlags() & kIdFlag, before & kIdFlag) << "ID flag not restored";
#ifdef __x86_64__
    // Every 64-bit x86 processor and OS run SSE.
    EXPECT_EQ(kind, kCpuSse);
    EXPECT_TRUE(CheckOsSseSupport());
#endif
    if ((Processor.cpuid(1).edx & kSseFeature) != 0) {
        EXPECT_EQ(kind, kCpuSse);
    }
    // The toggle really inverts the ID flag here, and nothing else.
    uint32_t toggledFrom = 0, toggledTo = 0;
    Processor.toggleIdFlag(&toggledFrom, &toggledTo);
    Processor.writeFlags(before);
    EXPECT_EQ(toggledFrom ^ toggledTo, kIdFlag);
}

#endif

}  // namespace
}  // namespace skarvel
