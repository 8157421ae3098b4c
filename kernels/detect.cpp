#include "kernels/detect.h"

#include "kernels/kernels.h"

namespace skarvel {

// Only the reference set exists so far, so every processor gets it.
int32_t DetectCpuKind() {
    return kCpuReference;
}
bool CheckOsSseSupport() {
    return false;
}

}  // namespace skarvel
