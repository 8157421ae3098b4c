// The module's one export.
#include "host/callbacks.h"

#if defined(_WIN32)
#define SKARVEL_EXPORT __declspec(dllexport)
#else
#define SKARVEL_EXPORT __attribute__((visibility("default")))
#endif

extern "C" SKARVEL_EXPORT skarvel::FilterRegistration* GetFilterTable(void) {
    return skarvel::FilterTable();
}
