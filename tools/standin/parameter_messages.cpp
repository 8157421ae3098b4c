#include "tools/standin/parameter_messages.h"

#include <cerrno>
#include <cstdlib>

namespace skarvel::standin {

bool MessagesForTracks(const std::vector<int32_t>& tracks, std::vector<ParameterMessage>* out,
                       std::string* error) {
    if (tracks.size() < 14) {
        *error = "need the values of tracks 0 to 13";
        return false;
    }
    for (int i = 1; i <= 13; ++i) {
        if (tracks[i] < 0 || tracks[i] > 0xFFFF) {
            *error = "track " + std::to_string(i) + " = " + std::to_string(tracks[i]) +
                     " cannot be sent by message (0 to 65535 only)";
            return false;
        }
    }
    auto pack = [&](int low, int high) {
        return static_cast<int32_t>(static_cast<uint32_t>(tracks[low]) |
                                    (static_cast<uint32_t>(tracks[high]) << 16));
    };
    *out = {{2024, tracks[0]},   {2025, pack(1, 2)},   {2026, pack(3, 4)}, {2028, pack(7, 8)},
            {2029, pack(9, 10)}, {2030, pack(11, 12)}, {2027, pack(5, 6)}, {2031, tracks[13]}};
    return true;
}

bool ParseParameterMessage(const std::string& text, ParameterMessage* out) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
    const std::string number = text.substr(0, colon), value = text.substr(colon + 1);
    char* end = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(number.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || number[0] == '-' || n > 0xFFFFFFFFull) return false;
    errno = 0;
    const long long v = std::strtoll(value.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < INT32_MIN || v > 0xFFFFFFFFll) return false;
    out->number = static_cast<uint32_t>(n);
    out->lParam = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
    return true;
}

}  // namespace skarvel::standin
