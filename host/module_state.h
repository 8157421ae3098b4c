// Module-wide state of the plug-in: zero at load, owned by the callbacks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace skarvel {

// Written by UpdateParameters, read by ProcessFrame and the line engine.
extern float HorizontalThresholds[6];
extern float VerticalThresholds[6];
extern float EdgeThresholds[6];
extern int32_t ShiftMode;
extern bool HalveWidth;
extern bool AveragePairs;

// Written by InitFilter only.
extern int32_t CpuKind;

constexpr int kLineCapacity = 1024;       // floats per line buffer
constexpr size_t kLineBlockBytes = 4111;  // 4096 plus 15 bytes of slack for the rounding
constexpr size_t kBroadcastBlockBytes = 31;

enum : int {
    kBlockScratch,
    kBlockShift0,
    kBlockShift1,
    kBlockShift2,
    kBlockShift3,
    kBlockEdgeMask,
    kBlockBroadcast,
    kBlockCount
};

// Each block keeps the address the heap returned (for freeing) and its
// working address rounded up to 16 bytes.
struct LinePoolBuffers {
    void* allocation[kBlockCount];
    float* scratchLine;
    float* shift0Line;
    float* shift1Line;
    float* shift2Line;
    float* shift3Line;
    float* edgeMask;
    float* broadcast;  // four floats, only with the SSE set
    bool ready;        // all blocks obtained; the engine runs only then
};
extern LinePoolBuffers LinePool;

// The general-purpose heap, behind a layer that tests can replace.
using HeapAllocateFunction = void* (*)(size_t bytes);
using HeapFreeFunction = void (*)(void* block);
struct HeapLayer {
    HeapAllocateFunction allocate;
    HeapFreeFunction release;
};
extern HeapLayer Heap;
HeapLayer SystemHeap();

}  // namespace skarvel
