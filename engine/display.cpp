// Coefficient display: placeholder, the line is left unchanged.
#include "engine/engine_internal.h"

namespace skarvel {

void ShowCoefficients(bool, const FrameInfo*, int32_t, int32_t, int32_t, bool) {}

}  // namespace skarvel
