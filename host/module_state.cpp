#include "host/module_state.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace skarvel {

float HorizontalThresholds[6];
float VerticalThresholds[6];
float EdgeThresholds[6];
int32_t ShiftMode;
bool HalveWidth;
bool AveragePairs;
int32_t CpuKind;
LinePoolBuffers LinePool;

namespace {
#ifdef _WIN32
void* SystemAllocate(size_t bytes) {
    return HeapAlloc(GetProcessHeap(), 0, bytes);
}
void SystemRelease(void* block) {
    HeapFree(GetProcessHeap(), 0, block);
}
#else
void* SystemAllocate(size_t bytes) {
    return std::malloc(bytes);
}
void SystemRelease(void* block) {
    std::free(block);
}
#endif
}  // namespace

HeapLayer SystemHeap() {
    return {SystemAllocate, SystemRelease};
}
HeapLayer Heap = {SystemAllocate, SystemRelease};

}  // namespace skarvel
