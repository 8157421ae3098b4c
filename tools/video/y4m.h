// YUV4MPEG2 streams: parsing and writing of the stream header, the frame
// headers and the planar frame data.
//
// A stream is one header line ("YUV4MPEG2" and space-separated fields, ended
// by a newline) followed by frames, each a line starting with "FRAME" and the
// planes back to back: Y, then U and V at the chroma resolution, then an alpha
// plane for 444alpha. Samples wider than 8 bits are little-endian 16-bit words.
//
// The reader reads from any ByteSource (a file, a pipe, a memory block), never
// trusts a size it has not been given the bytes for, and reports every fault
// as text naming it. For arbitrary bytes (a fuzzer's): a MemorySource, a
// Reader with a small maxFrameBytes, ReadHeader, then ReadFrame until it
// stops returning kFrame. It depends on nothing but the standard library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace skarvel::video {

enum class ChromaLayout { k420, k422, k444 };

// What the header says about the pictures.
struct Format {
    int width = 0;
    int height = 0;
    ChromaLayout layout = ChromaLayout::k420;
    int bits = 8;        // 8 to 16
    bool alpha = false;  // 444alpha: a fourth, full-size plane

    int ChromaWidth() const;
    int ChromaHeight() const;
    int BytesPerSample() const { return bits > 8 ? 2 : 1; }
    int PlaneCount() const { return alpha ? 4 : 3; }
    int PlaneWidth(int plane) const;
    int PlaneHeight(int plane) const;
    size_t PlaneBytes(int plane) const;
    size_t PlaneOffset(int plane) const;  // within the frame data
    uint64_t FrameBytes() const;
};

struct StreamHeader {
    Format format;
    std::string colourspace;  // the C field's value as written; empty when absent (420jpeg)
    std::string fields;       // everything after "YUV4MPEG2", kept verbatim for passing on
};

// Parses one header line (without its newline). Known fields are checked:
// W and H required and positive, F and A as N:D, I one of p t b m ?, C one of
// the colour spaces below. Other fields are kept but not interpreted.
// Colour spaces: 420jpeg 420paldv 420mpeg2 420 422 444 444alpha, and
// 420pN 422pN 444pN for N = 9, 10, 12, 14, 16.
bool ParseStreamHeader(std::string_view line, StreamHeader* header, std::string* error);

// The header line, newline included.
std::string FormatStreamHeader(const StreamHeader& header);

// Where a reader takes its bytes from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to size bytes; fewer only at the end of the input or on an error.
    virtual size_t Read(void* data, size_t size) = 0;
    // After a short read: the error, or empty for a plain end of input.
    virtual std::string Error() const { return {}; }
};

class FileSource : public ByteSource {
public:
    explicit FileSource(std::FILE* file) : file_(file) {}
    size_t Read(void* data, size_t size) override;
    std::string Error() const override;

private:
    std::FILE* file_;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    size_t Read(void* data, size_t size) override;

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

struct Frame {
    std::string parameters;     // whatever followed "FRAME" on its line, kept verbatim
    std::vector<uint8_t> data;  // all planes, back to back

    uint8_t* Plane(const Format& format, int plane) {
        return data.data() + format.PlaneOffset(plane);
    }
    const uint8_t* Plane(const Format& format, int plane) const {
        return data.data() + format.PlaneOffset(plane);
    }
};

class Reader {
public:
    enum class Status { kFrame, kEnd, kError };

    // maxFrameBytes: headers announcing larger frames are refused.
    explicit Reader(ByteSource* source, uint64_t maxFrameBytes = uint64_t(1) << 31)
        : source_(source), maxFrameBytes_(maxFrameBytes) {}

    bool ReadHeader(StreamHeader* header, std::string* error);
    // kEnd only when the input ends exactly between two frames.
    Status ReadFrame(Frame* frame, std::string* error);

    uint64_t BytesRead() const { return bytesRead_; }
    int64_t FramesRead() const { return framesRead_; }

private:
    enum class LineResult { kLine, kEnd, kTruncated, kMismatch, kTooLong, kFault };
    // Reads a line up to its newline (dropped), giving up as soon as it cannot
    // start with expectedStart.
    LineResult ReadLine(std::string_view expectedStart, std::string* line);
    std::string LineFault(LineResult result, const std::string& line, const char* what) const;
    size_t ReadSome(void* data, size_t size);

    ByteSource* source_;
    uint64_t maxFrameBytes_;
    Format format_;
    bool haveHeader_ = false;
    uint64_t bytesRead_ = 0;
    int64_t framesRead_ = 0;
};

class Writer {
public:
    explicit Writer(std::FILE* file) : file_(file) {}
    bool WriteHeader(const StreamHeader& header);
    bool WriteFrame(const Frame& frame);
    bool Flush();

private:
    std::FILE* file_;
};

// One sample of a plane (little-endian words above 8 bits).
inline uint32_t LoadSample(const uint8_t* plane, size_t index, int bytesPerSample) {
    if (bytesPerSample == 1) return plane[index];
    return uint32_t(plane[2 * index]) | uint32_t(plane[2 * index + 1]) << 8;
}
inline void StoreSample(uint8_t* plane, size_t index, int bytesPerSample, uint32_t value) {
    if (bytesPerSample == 1) {
        plane[index] = static_cast<uint8_t>(value);
    } else {
        plane[2 * index] = static_cast<uint8_t>(value);
        plane[2 * index + 1] = static_cast<uint8_t>(value >> 8);
    }
}

}  // namespace skarvel::video
