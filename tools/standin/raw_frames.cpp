#include "tools/standin/raw_frames.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace skarvel::standin {

namespace {
void BinaryMode(std::FILE* stream) {
#ifdef _WIN32
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
#endif
}
}  // namespace

int ReadRawFrame(std::FILE* in, uint64_t count, std::vector<YcPixel>* pixels, std::string* error) {
    // The buffer grows with the bytes that arrive, so a frame size the input
    // does not back (--size 65536x65536 on a short pipe) costs nothing. Sizes
    // are 64-bit: on a 32-bit host such a frame is larger than the address space.
    constexpr size_t kChunk = size_t(1) << 20;
    const uint64_t want = count * 6;
    std::vector<unsigned char> bytes;
    size_t got = 0;
    while (got < want) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(kChunk, want - got));
        if (chunk > bytes.max_size() - got) throw std::bad_alloc();
        bytes.resize(got + chunk);
        const size_t n = std::fread(bytes.data() + got, 1, chunk, in);
        got += n;
        if (n < chunk) break;
    }
    if (got == 0 && std::feof(in)) return 0;
    if (got != want) {
        *error = std::ferror(in)
                     ? std::string("read error: ") + std::strerror(errno)
                     : "input ends inside a frame (" + std::to_string(got) + " of " +
                           std::to_string(want) + " bytes): not a whole number of frames";
        return -1;
    }
    pixels->resize(static_cast<size_t>(count));  // want bytes are in memory: count fits
    for (size_t i = 0; i < pixels->size(); ++i) {
        const unsigned char* p = &bytes[i * 6];
        auto word = [](const unsigned char* b) { return static_cast<int16_t>(b[0] | (b[1] << 8)); };
        (*pixels)[i] = {word(p), word(p + 2), word(p + 4)};
    }
    return 1;
}

bool WriteRawFrame(std::FILE* out, const std::vector<YcPixel>& pixels) {
    std::vector<unsigned char> bytes(pixels.size() * 6);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const int16_t fields[3] = {pixels[i].y, pixels[i].cb, pixels[i].cr};
        for (int f = 0; f < 3; ++f) {
            const uint16_t v = static_cast<uint16_t>(fields[f]);
            bytes[i * 6 + 2 * f] = static_cast<unsigned char>(v & 0xFF);
            bytes[i * 6 + 2 * f + 1] = static_cast<unsigned char>(v >> 8);
        }
    }
    return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
}

std::FILE* OpenInput(const std::string& path, std::string* error) {
    if (path == "-") {
        BinaryMode(stdin);
        return stdin;
    }
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) *error = "cannot open " + path + ": " + std::strerror(errno);
    return in;
}

bool SafeOutput::Open(const std::string& path, std::string* error) {
    path_ = path;
    if (path == "-") {
        BinaryMode(stdout);
        stream_ = stdout;
        isStdout_ = true;
        return true;
    }
    temporary_ = path + ".partial";
    stream_ = std::fopen(temporary_.c_str(), "wb");
    if (stream_ == nullptr) {
        *error = "cannot write " + temporary_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool SafeOutput::Commit(std::string* error) {
    if (isStdout_) {
        if (std::fflush(stdout) != 0) {
            *error = std::string("cannot write standard output: ") + std::strerror(errno);
            return false;
        }
        return true;
    }
    const bool ok = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!ok) {
        *error = "cannot write " + path_ + ": " + std::strerror(errno);
        std::remove(temporary_.c_str());
        return false;
    }
    std::remove(path_.c_str());  // rename over an existing file fails on Windows
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        *error = "cannot put " + path_ + " in place: " + std::strerror(errno);
        std::remove(temporary_.c_str());
        return false;
    }
    temporary_.clear();
    return true;
}

SafeOutput::~SafeOutput() {
    if (stream_ != nullptr && !isStdout_) std::fclose(stream_);
    if (!temporary_.empty()) std::remove(temporary_.c_str());
}

}  // namespace skarvel::standin
