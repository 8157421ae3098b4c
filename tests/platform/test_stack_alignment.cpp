// The editor is built by a compiler that keeps the stack on 4 bytes only, so
// the Windows modules must run every callback from a stack at any multiple of
// 4: an SSE spill that assumed 16 would fault there. The callbacks run here
// from stacks at 0, 4, 8 and 12 bytes past a 16-byte boundary and must give
// the same frames as from an ordinary call.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/standin/plugin_host.h"

extern "C" void SkarvelCallOnStack(void (*routine)(void*), void* context, uint32_t offset);

// Moves the stack pointer to `offset` bytes below a 16-byte boundary, calls
// routine(context) from there (cdecl) and puts the stack back.
asm(R"(
    .text
    .globl _SkarvelCallOnStack
_SkarvelCallOnStack:
    pushl %ebp
    movl %esp, %ebp
    movl 16(%ebp), %edx
    andl $-16, %esp
    subl $16, %esp
    subl %edx, %esp
    movl 12(%ebp), %eax
    movl %eax, (%esp)
    call *8(%ebp)
    movl %ebp, %esp
    popl %ebp
    ret
)");

namespace skarvel {
namespace {

using standin::PluginHost;

uint32_t StackOffset() {
    uint32_t esp;
    asm volatile("movl %%esp, %0" : "=r"(esp));
    return esp & 15;
}

struct CallbackRun {
    PluginHost* host;
    std::vector<YcPixel>* frame;
    int width, height;
    uint32_t offsetSeen;  // of the stack inside the routine, for the check
    bool started;
    int32_t result;
};

// Start-up, one frame and the message that sets the strength, all from the
// prepared stack.
void StartAndProcess(void* context) {
    CallbackRun& run = *static_cast<CallbackRun*>(context);
    run.offsetSeen = StackOffset();
    std::string error;
    run.started = run.host->Start(&error);
    run.host->Message(2031, 150);
    run.result = run.host->Process(run.frame->data(), run.width, run.height, run.width);
}

std::vector<YcPixel> NoisyFrame(int width, int height) {
    std::vector<YcPixel> pixels(static_cast<size_t>(width) * height);
    uint32_t state = 12345;
    for (YcPixel& p : pixels) {
        state = state * 1664525u + 1013904223u;
        p = {static_cast<int16_t>(state >> 22), static_cast<int16_t>((state >> 8) % 801 - 400),
             static_cast<int16_t>((state >> 12) % 801 - 400)};
    }
    return pixels;
}

class StackAlignment : public ::testing::TestWithParam<const char*> {};

TEST_P(StackAlignment, CallbacksRunFromAnyFourByteStack) {
    const int width = 720, height = 480;
    const std::vector<YcPixel> source = NoisyFrame(width, height);
    std::vector<std::vector<YcPixel>> results;
    std::vector<uint32_t> offsetsSeen;
    for (int call = 0; call <= 4; ++call) {
        std::string error;
        std::unique_ptr<PluginHost> host = PluginHost::Load(GetParam(), &error);
        ASSERT_TRUE(host) << error;
        std::vector<YcPixel> frame = source;
        CallbackRun run{host.get(), &frame, width, height, 0, false, 0};
        if (call == 0) {
            StartAndProcess(&run);  // an ordinary call
        } else {
            SkarvelCallOnStack(StartAndProcess, &run, 4 * (call - 1));
            offsetsSeen.push_back(run.offsetSeen);
        }
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.result, 1);
        results.push_back(frame);
    }
    // The routine's frame moved through all four positions.
    std::sort(offsetsSeen.begin(), offsetsSeen.end());
    EXPECT_EQ(offsetsSeen, (std::vector<uint32_t>{0, 4, 8, 12}));
    size_t changed = 0;
    for (size_t i = 0; i < source.size(); ++i) {
        changed += source[i].cr != results[0][i].cr || source[i].cb != results[0][i].cb;
    }
    EXPECT_GT(changed, source.size() / 2) << "the filter must have worked on the frame";
    for (size_t call = 1; call < results.size(); ++call) {
        EXPECT_EQ(0, std::memcmp(results[call].data(), results[0].data(),
                                 source.size() * sizeof(YcPixel)))
            << "stack " << 4 * (call - 1) << " bytes below a 16-byte boundary";
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, StackAlignment,
                         ::testing::Values(SKARVEL_CR_MODULE, SKARVEL_CB_MODULE));

}  // namespace
}  // namespace skarvel
