// Writes 8-bit RGB pictures as PNG files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skarvel::video {

// rgb: width * height pixels of three bytes, row by row.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
              std::string* error);

}  // namespace skarvel::video
