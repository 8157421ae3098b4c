// The five callbacks the host calls through the registration record.
#pragma once

#include "host/host_records.h"

namespace skarvel {

int32_t ProcessFrame(FilterInstance* instance, FrameInfo* frame);
int32_t InitFilter(FilterInstance* instance);
int32_t ExitFilter(FilterInstance* instance);
int32_t UpdateParameters(FilterInstance* instance, int32_t status);
int32_t HandleFilterMessage(void* window, uint32_t message, uint32_t wParam, int32_t lParam,
                            void* edit, FilterInstance* instance);

FilterRegistration* FilterTable();

}  // namespace skarvel
