// The window messages another program sends to set the filter's tracks 0 .. 13.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skarvel::standin {

struct ParameterMessage {
    uint32_t number;  // 2024 .. 2031
    int32_t lParam;
};

// The sequence that sets tracks 0 .. 13 to the given values: 2024 first, then
// the messages that only store, and 2027 and 2031 last so that one update sees
// them all. Tracks 1 .. 13 travel as unsigned 16-bit halves; a value outside
// 0 .. 65535 cannot be sent and gives false with *error set.
bool MessagesForTracks(const std::vector<int32_t>& tracks, std::vector<ParameterMessage>* out,
                       std::string* error);

// Parses NUM:LPARAM (decimal or 0x hex, LPARAM taken as 32 bits).
bool ParseParameterMessage(const std::string& text, ParameterMessage* out);

}  // namespace skarvel::standin
