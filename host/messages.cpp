// Messages 2024 .. 2031 to the settings window set tracks 0 .. 13 from outside.
#include "host/callbacks.h"

namespace skarvel {

namespace {

constexpr uint32_t kFirstMessage = 2024;  // WM_USER + 1000
constexpr uint32_t kLastMessage = 2031;

struct MessageRow {
    int8_t lowTrack;   // track for the low half (2024: the whole value)
    int8_t highTrack;  // track for the high half, or -1
    bool refresh;
    bool update;
};

const MessageRow kRows[kLastMessage - kFirstMessage + 1] = {
    {0, -1, true, false},    // 2024 mode
    {1, 2, false, false},    // 2025 edge levels 0, 1
    {3, 4, false, false},    // 2026 edge levels 2, 3
    {5, 6, true, true},      // 2027 edge levels 4, 5
    {7, 8, false, false},    // 2028 bands 0, 1
    {9, 10, false, false},   // 2029 bands 2, 3
    {11, 12, false, false},  // 2030 bands 4, 5
    {13, -1, true, true},    // 2031 strength; the high half is dropped
};

}  // namespace

int32_t HandleFilterMessage(void*, uint32_t message, uint32_t, int32_t lParam, void*,
                            FilterInstance* instance) {
    if (message - kFirstMessage > kLastMessage - kFirstMessage) return 0;
    const MessageRow& row = kRows[message - kFirstMessage];
    const uint32_t bits = static_cast<uint32_t>(lParam);
    int32_t* tracks = instance->record.trackValues;
    if (tracks == nullptr) return 0;
    tracks[row.lowTrack] = message == kFirstMessage ? lParam : static_cast<int32_t>(bits & 0xFFFFu);
    if (row.highTrack >= 0) tracks[row.highTrack] = static_cast<int32_t>(bits >> 16);
    // A host without the refresh service or the update callback just misses that step.
    HostServices* services = instance->record.services;
    if (row.refresh && services != nullptr && services->refreshWindow != nullptr) {
        services->refreshWindow(instance);
    }
    if (row.update && instance->record.update != nullptr) instance->record.update(instance, 0);
    return 0;
}

}  // namespace skarvel
