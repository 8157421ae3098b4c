// ChannelBuild: the one build-time difference between the Cr and Cb modules.
#pragma once

#include "host/host_records.h"

#if defined(SKARVEL_CHANNEL_CB)
#define SKARVEL_FILTER_NAME "Skarvel_Cb"
#define SKARVEL_CHANNEL_PREFIX "Cb"
#elif defined(SKARVEL_CHANNEL_CR)
#define SKARVEL_FILTER_NAME "Skarvel_Cr"
#define SKARVEL_CHANNEL_PREFIX "Cr"
#else
#error "define SKARVEL_CHANNEL_CR or SKARVEL_CHANNEL_CB"
#endif

namespace skarvel {

// The YcPixel field that denoising reads and writes.
inline int16_t& Chroma(YcPixel& pixel) {
#if defined(SKARVEL_CHANNEL_CB)
    return pixel.cb;
#else
    return pixel.cr;
#endif
}

}  // namespace skarvel
