// Start-up and shutdown through a recording heap: sizes, order, alignment,
// and what an allocation failure leaves behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tests/plugin_fixture.h"

namespace skarvel {
namespace {

using testing::NoisyFrame;
using testing::PluginFixture;

struct HeapRecord {
    std::vector<size_t> sizes;
    std::vector<void*> allocated, freed;
    int failAt = -1;  // index of the allocation that returns null
};
HeapRecord record;

void* RecordingAllocate(size_t bytes) {
    const int index = static_cast<int>(record.sizes.size());
    record.sizes.push_back(bytes);
    if (index == record.failAt) return nullptr;
    // Deliberately misaligned by 4 so that the rounding up is exercised.
    char* block = static_cast<char*>(std::malloc(bytes + 4)) + 4;
    record.allocated.push_back(block);
    return block;
}
void RecordingFree(void* block) {
    record.freed.push_back(block);
    std::free(static_cast<char*>(block) - 4);
}

class StartUp : public ::testing::Test {
protected:
    void SetUp() override {
        record = HeapRecord{};
        Heap = {RecordingAllocate, RecordingFree};
    }
    void TearDown() override { Heap = SystemHeap(); }
};

size_t ExpectedBlocks() {
    return CpuKind == 2 ? 7 : 6;
}

TEST_F(StartUp, AllocatesTheLineBuffersInOrderAlignedAndFreesThemInOrder) {
    PluginFixture f;
    ASSERT_EQ(InitFilter(&f.instance), 1);
    ASSERT_EQ(record.sizes.size(), ExpectedBlocks());
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(record.sizes[i], 4111u);
    if (CpuKind == 2) {
        EXPECT_EQ(record.sizes[6], 31u);
    }

    float* const working[] = {LinePool.scratchLine, LinePool.shift0Line, LinePool.shift1Line,
                              LinePool.shift2Line,  LinePool.shift3Line, LinePool.edgeMask};
    for (size_t i = 0; i < 6; ++i) {
        const uintptr_t w = reinterpret_cast<uintptr_t>(working[i]);
        const uintptr_t a = reinterpret_cast<uintptr_t>(record.allocated[i]);
        EXPECT_EQ(w % 16, 0u);
        EXPECT_GE(w, a);
        EXPECT_LE(w + 4096, a + 4111) << "working area inside the allocation";
    }
    ExitFilter(&f.instance);
    EXPECT_EQ(record.freed, record.allocated) << "freed by allocation address, in order";
    EXPECT_FALSE(LinePool.ready);
}

TEST_F(StartUp, AlignedAllocationIsUsedUnchanged) {
    // An address already on 16 bytes stays as it is. (No std::aligned_alloc:
    // the Windows C runtime lacks it.) The block's own address sits just before it.
    Heap = {[](size_t bytes) -> void* {
                void* raw = std::malloc(bytes + 32);
                void** aligned = reinterpret_cast<void**>((reinterpret_cast<uintptr_t>(raw) + 31) &
                                                          ~uintptr_t{15});
                aligned[-1] = raw;
                return aligned;
            },
            [](void* p) { std::free(static_cast<void**>(p)[-1]); }};
    PluginFixture f;
    f.Start();
    EXPECT_EQ(static_cast<void*>(LinePool.shift0Line), LinePool.allocation[kBlockShift0]);
}

TEST_F(StartUp, AFailedAllocationReleasesEverythingAndFramesStayUnchanged) {
    for (int failAt = 0; failAt < static_cast<int>(ExpectedBlocks()); ++failAt) {
        record = HeapRecord{};
        record.failAt = failAt;
        PluginFixture f;
        EXPECT_EQ(InitFilter(&f.instance), 0) << "start-up reports the failure";
        EXPECT_EQ(record.freed, record.allocated) << "what was obtained is released";
        EXPECT_EQ(record.sizes.size(), static_cast<size_t>(failAt + 1)) << "stops at the failure";
        f.Update();
        std::vector<YcPixel> frame = NoisyFrame(64, 48, 64, 9);
        const std::vector<YcPixel> before = frame;
        EXPECT_EQ(f.Process(frame, 64, 48), 1);
        EXPECT_EQ(0, std::memcmp(before.data(), frame.data(), frame.size() * sizeof(YcPixel)));
    }
}

TEST_F(StartUp, SecondStartUpDoesNotLeakTheFirstPool) {
    PluginFixture f;
    InitFilter(&f.instance);
    InitFilter(&f.instance);
    ExitFilter(&f.instance);
    EXPECT_EQ(record.freed.size(), record.allocated.size());
}

}  // namespace
}  // namespace skarvel
