// The records that cross the boundary between the editor and the plug-in.
// Field order is the host's; with 32-bit pointers every offset is pinned below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace skarvel {

struct YcPixel {
    int16_t y;
    int16_t cb;
    int16_t cr;
};
static_assert(sizeof(YcPixel) == 6, "YcPixel is three packed int16 fields");

struct FrameInfo {
    int32_t hostFlags;  // 0
    YcPixel* pixels;    // 4: first pixel of the frame, changed in place
    void* hostTemp;     // 8
    int32_t width;      // 12: pixels per line
    int32_t height;     // 16: lines
    int32_t pitch;      // 20: YcPixel records from one line's start to the next
};

struct FilterInstance;

using ProcessFrameCallback = int32_t (*)(FilterInstance* instance, FrameInfo* frame);
using InitCallback = int32_t (*)(FilterInstance* instance);
using ExitCallback = int32_t (*)(FilterInstance* instance);
using UpdateCallback = int32_t (*)(FilterInstance* instance, int32_t status);
using WindowProcCallback = int32_t (*)(void* window, uint32_t message, uint32_t wParam,
                                       int32_t lParam, void* edit, FilterInstance* instance);
using RefreshService = int32_t (*)(FilterInstance* instance);

// The host's service table; the plug-in only uses entry 21 (window refresh).
struct HostServices {
    void* unused[21];
    RefreshService refreshWindow;  // 84
    void* more[16];
};

struct FilterRegistration {
    uint32_t flags;                     // 0
    int32_t hostField4;                 // 4
    int32_t hostField8;                 // 8
    const char* name;                   // 12
    int32_t trackCount;                 // 16
    const char* const* trackLabels;     // 20
    const int32_t* trackDefaults;       // 24
    const int32_t* trackMinima;         // 28
    const int32_t* trackMaxima;         // 32
    int32_t checkCount;                 // 36
    const char* const* checkLabels;     // 40
    const int32_t* checkDefaults;       // 44
    ProcessFrameCallback processFrame;  // 48
    InitCallback init;                  // 52
    ExitCallback exit;                  // 56
    UpdateCallback update;              // 60
    WindowProcCallback windowProc;      // 64
    int32_t* trackValues;               // 68: filled by the host
    int32_t* checkValues;               // 72: filled by the host
    void* hostField76;                  // 76
    void* hostField80;                  // 80
    const char* information;            // 84
    void* hostField88;                  // 88
    void* hostField92;                  // 92
    HostServices* services;             // 96: filled by the host
    void* hostFields100[10];            // 100 .. 136
};

// The host's record of the filter begins with the registration fields.
struct FilterInstance {
    FilterRegistration record;
};

constexpr int kTrackCount = 16;
constexpr int kCheckCount = 2;

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(FilterRegistration) == 140, "registration record is 140 bytes");
static_assert(offsetof(FilterRegistration, name) == 12, "");
static_assert(offsetof(FilterRegistration, trackCount) == 16, "");
static_assert(offsetof(FilterRegistration, trackLabels) == 20, "");
static_assert(offsetof(FilterRegistration, trackDefaults) == 24, "");
static_assert(offsetof(FilterRegistration, trackMinima) == 28, "");
static_assert(offsetof(FilterRegistration, trackMaxima) == 32, "");
static_assert(offsetof(FilterRegistration, checkCount) == 36, "");
static_assert(offsetof(FilterRegistration, checkLabels) == 40, "");
static_assert(offsetof(FilterRegistration, checkDefaults) == 44, "");
static_assert(offsetof(FilterRegistration, processFrame) == 48, "");
static_assert(offsetof(FilterRegistration, init) == 52, "");
static_assert(offsetof(FilterRegistration, exit) == 56, "");
static_assert(offsetof(FilterRegistration, update) == 60, "");
static_assert(offsetof(FilterRegistration, windowProc) == 64, "");
static_assert(offsetof(FilterRegistration, trackValues) == 68, "");
static_assert(offsetof(FilterRegistration, checkValues) == 72, "");
static_assert(offsetof(FilterRegistration, information) == 84, "");
static_assert(offsetof(FilterRegistration, services) == 96, "");
static_assert(offsetof(FilterRegistration, hostFields100) == 100, "");
static_assert(offsetof(HostServices, refreshWindow) == 84, "");
static_assert(offsetof(FrameInfo, pixels) == 4, "");
static_assert(offsetof(FrameInfo, width) == 12, "");
static_assert(offsetof(FrameInfo, height) == 16, "");
static_assert(offsetof(FrameInfo, pitch) == 20, "");
#endif

}  // namespace skarvel
