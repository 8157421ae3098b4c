// Processor detection: which kernel set this processor and OS can run.
#pragma once

#include <cstdint>

namespace skarvel {

int32_t DetectCpuKind();
bool CheckOsSseSupport();

}  // namespace skarvel
