// Raw frames for the stand-in host: little-endian int16 (y, cb, cr) per pixel,
// pitch pixels per row, height rows, frames back to back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/host_records.h"

namespace skarvel::standin {

// Reads one frame of count pixels. Returns 1 for a frame, 0 at a clean end of
// input, -1 for a partial frame (with *error set).
int ReadRawFrame(std::FILE* in, uint64_t count, std::vector<YcPixel>* pixels, std::string* error);
bool WriteRawFrame(std::FILE* out, const std::vector<YcPixel>& pixels);

// An output that is either standard output or a file written under a temporary
// name and put in place only when everything succeeded.
class SafeOutput {
public:
    bool Open(const std::string& path, std::string* error);
    std::FILE* Stream() const { return stream_; }
    bool Commit(std::string* error);  // flush, close, rename into place
    ~SafeOutput();                    // without Commit: the partial file is removed

private:
    std::string path_, temporary_;
    std::FILE* stream_ = nullptr;
    bool isStdout_ = false;
};

std::FILE* OpenInput(const std::string& path, std::string* error);

}  // namespace skarvel::standin
