// Start-up and shutdown: settle the kernel set, obtain and release the line pool.
#include <cstring>

#include "host/callbacks.h"
#include "host/module_state.h"
#include "kernels/detect.h"
#include "kernels/kernels.h"

namespace skarvel {

namespace {

float* WorkingAddress(void* allocation) {
    const uintptr_t address = (reinterpret_cast<uintptr_t>(allocation) + 15) & ~uintptr_t{15};
    return reinterpret_cast<float*>(address);
}

void ReleasePool() {
    for (void*& block : LinePool.allocation) {
        if (block != nullptr) Heap.release(block);
        block = nullptr;
    }
    std::memset(&LinePool, 0, sizeof LinePool);
    sse::BroadcastBlock = nullptr;
}

}  // namespace

int32_t InitFilter(FilterInstance*) {
    CpuKind = DetectCpuKind();
    if (CpuKind == kCpuSse && !CheckOsSseSupport()) CpuKind = kCpuReference;

    // A second start-up without a shutdown must not leak the first pool.
    if (LinePool.ready) ReleasePool();

    const int blocks = CpuKind == kCpuSse ? kBlockCount : kBlockBroadcast;
    for (int b = 0; b < blocks; ++b) {
        const size_t bytes = b == kBlockBroadcast ? kBroadcastBlockBytes : kLineBlockBytes;
        LinePool.allocation[b] = Heap.allocate(bytes);
        if (LinePool.allocation[b] == nullptr) {
            // Keep the failure: ProcessFrame leaves frames unchanged without a pool.
            ReleasePool();
            return 0;
        }
    }
    LinePool.scratchLine = WorkingAddress(LinePool.allocation[kBlockScratch]);
    LinePool.shift0Line = WorkingAddress(LinePool.allocation[kBlockShift0]);
    LinePool.shift1Line = WorkingAddress(LinePool.allocation[kBlockShift1]);
    LinePool.shift2Line = WorkingAddress(LinePool.allocation[kBlockShift2]);
    LinePool.shift3Line = WorkingAddress(LinePool.allocation[kBlockShift3]);
    LinePool.edgeMask = WorkingAddress(LinePool.allocation[kBlockEdgeMask]);
    if (CpuKind == kCpuSse)
        LinePool.broadcast = WorkingAddress(LinePool.allocation[kBlockBroadcast]);
    sse::BroadcastBlock = LinePool.broadcast;
    LinePool.ready = true;
    return 1;
}

int32_t ExitFilter(FilterInstance*) {
    // Line buffers in the order of allocation, the broadcast block last.
    ReleasePool();
    return 1;
}

}  // namespace skarvel
