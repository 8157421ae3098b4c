// Fuzzes the video tool's YUV4MPEG2 reader on arbitrary bytes, and the host
// scale on every chroma sample it delivers. Whatever arrives, the reader must
// either deliver frames of exactly the size its header announces or fail
// with a message, never read past what it was given, and what it accepted
// must come back identical through the writer and a second reading.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/video/scale.h"
#include "tools/video/y4m.h"

namespace {

namespace video = skarvel::video;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_y4m: %s\n", what);
    std::abort();
}
#define CHECK(condition)                                     \
    do {                                                     \
        if (!(condition)) Fail("check failed: " #condition); \
    } while (0)

// Frames above this are refused by the reader, which keeps each run's memory small.
constexpr uint64_t kMaxFrameBytes = uint64_t(1) << 22;
constexpr int kMaxFrames = 16;

struct Stream {
    video::StreamHeader header;
    bool accepted = false;  // the header was
    std::vector<video::Frame> frames;
    bool ok = false;  // ended cleanly between frames
};

Stream ReadAll(const uint8_t* data, size_t size) {
    Stream stream;
    video::MemorySource source(data, size);
    video::Reader reader(&source, kMaxFrameBytes);
    std::string error;
    if (!reader.ReadHeader(&stream.header, &error)) {
        CHECK(!error.empty());
        CHECK(reader.BytesRead() <= size);
        return stream;
    }
    stream.accepted = true;
    const video::Format& format = stream.header.format;
    CHECK(format.width > 0 && format.height > 0);
    CHECK(format.bits >= video::kMinBits && format.bits <= video::kMaxBits);
    CHECK(format.FrameBytes() <= kMaxFrameBytes);
    CHECK(format.PlaneOffset(format.PlaneCount() - 1) +
              format.PlaneBytes(format.PlaneCount() - 1) ==
          format.FrameBytes());
    for (int n = 0; n < kMaxFrames; ++n) {
        video::Frame frame;
        error.clear();
        const video::Reader::Status status = reader.ReadFrame(&frame, &error);
        CHECK(reader.BytesRead() <= size);
        if (status == video::Reader::Status::kEnd) {
            stream.ok = true;
            break;
        }
        if (status == video::Reader::Status::kError) {
            CHECK(!error.empty());
            break;
        }
        CHECK(frame.data.size() == format.FrameBytes());
        CHECK(reader.FramesRead() == n + 1);
        stream.frames.push_back(std::move(frame));
    }
    return stream;
}

// Every chroma sample through the host scale as the tool maps it, and back.
void MapChroma(const Stream& stream) {
    const video::Format& format = stream.header.format;
    const video::ChromaScale scale(format.bits);
    const int bytes = format.BytesPerSample();
    const size_t count = size_t(format.ChromaWidth()) * format.ChromaHeight();
    const uint32_t top = (uint32_t(1) << format.bits) - 1;
    for (const video::Frame& frame : stream.frames) {
        for (int plane : {1, 2}) {
            const uint8_t* samples = frame.Plane(format, plane);
            for (size_t i = 0; i < count; ++i) {
                const uint32_t sample = video::LoadSample(samples, i, bytes);
                const int16_t host = scale.ToHost(sample);
                CHECK(host >= -2048 * 2 && host <= 2048 * 2);  // 0 and top lie just beyond +-2048
                const uint32_t back = scale.FromHost(host);
                CHECK(back <= top);
                // Where the map is one to one (up to 12 bits), a sample in range comes back.
                if (format.bits <= 12 && sample <= top) CHECK(back == sample);
            }
        }
    }
}

// The accepted part of the stream, written and read again, is the same stream.
void RoundTrip(const Stream& stream) {
    char* buffer = nullptr;
    size_t length = 0;
    std::FILE* out = open_memstream(&buffer, &length);
    CHECK(out != nullptr);
    video::Writer writer(out);
    CHECK(writer.WriteHeader(stream.header));
    for (const video::Frame& frame : stream.frames) CHECK(writer.WriteFrame(frame));
    CHECK(writer.Flush());
    std::fclose(out);

    const Stream again = ReadAll(reinterpret_cast<const uint8_t*>(buffer), length);
    CHECK(again.accepted);
    CHECK(again.ok || stream.frames.size() == kMaxFrames);
    CHECK(again.header.fields == stream.header.fields);
    CHECK(again.header.colourspace == stream.header.colourspace);
    CHECK(again.header.format.width == stream.header.format.width);
    CHECK(again.header.format.height == stream.header.format.height);
    CHECK(again.header.format.layout == stream.header.format.layout);
    CHECK(again.header.format.bits == stream.header.format.bits);
    CHECK(again.header.format.alpha == stream.header.format.alpha);
    CHECK(again.frames.size() == stream.frames.size());
    for (size_t i = 0; i < stream.frames.size(); ++i) {
        CHECK(again.frames[i].parameters == stream.frames[i].parameters);
        CHECK(again.frames[i].data == stream.frames[i].data);
    }
    std::free(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Stream stream = ReadAll(data, size);
    if (!stream.accepted) return 0;
    MapChroma(stream);
    RoundTrip(stream);
    return 0;
}
