// A test build of the module for the platform comparisons: the same core, but
// after start-up the kernel set is the one named by SKARVEL_FORCE_CPU_KIND
// (unset: the one detection chose). This lets the host build produce the frames
// of each kernel set. The plug-in itself reads no environment; only this test
// layer does.
#include <cstdlib>
#include <cstring>

#include "host/callbacks.h"
#include "host/module_state.h"
#include "kernels/kernels.h"

namespace skarvel {
namespace {

FilterRegistration ForcedRegistration;
int32_t SettledKind;

int32_t ForcedInit(FilterInstance* instance) {
    if (InitFilter(instance) == 0) return 0;
    SettledKind = CpuKind;
    const char* forced = std::getenv("SKARVEL_FORCE_CPU_KIND");
    if (forced == nullptr || *forced == '\0') return 1;
    char* end = nullptr;
    const long kind = std::strtol(forced, &end, 10);
    // Sets 0 and 1 need nothing from start-up; the SSE set needs the broadcast
    // block, which only a start-up that chose it allocates.
    const bool possible = *end == '\0' && kind >= kCpuReference && kind < kCpuKindCount &&
                          (kind != kCpuSse || SettledKind == kCpuSse);
    if (!possible) {
        ExitFilter(instance);
        return 0;
    }
    CpuKind = static_cast<int32_t>(kind);
    return 1;
}

int32_t ForcedExit(FilterInstance* instance) {
    // Shutdown frees what start-up allocated for the set it chose.
    CpuKind = SettledKind;
    return ExitFilter(instance);
}

}  // namespace
}  // namespace skarvel

extern "C" __attribute__((visibility("default"))) skarvel::FilterRegistration* GetFilterTable(
    void) {
    skarvel::ForcedRegistration = *skarvel::FilterTable();
    skarvel::ForcedRegistration.init = skarvel::ForcedInit;
    skarvel::ForcedRegistration.exit = skarvel::ForcedExit;
    return &skarvel::ForcedRegistration;
}
