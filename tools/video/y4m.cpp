#include "tools/video/y4m.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace skarvel::video {

namespace {

constexpr std::string_view kMagic = "YUV4MPEG2";
constexpr std::string_view kFrameTag = "FRAME";
constexpr size_t kMaxLine = 4096;  // longer header lines are taken for garbage
constexpr int kMaxDimension = 1 << 16;
constexpr size_t kReadChunk = size_t(1) << 20;  // frame data arrives in chunks of this

// Up to 40 bytes of text for a message, with unprintable bytes escaped.
std::string Shown(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < 40; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            out += buffer;
        }
    }
    if (text.size() > 40) out += "...";
    return "\"" + out + "\"";
}

bool ParseCount(std::string_view text, long long high, long long* value) {
    if (text.empty() || text.size() > 12) return false;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > high) return false;
    *value = v;
    return true;
}

bool ParseRatio(std::string_view text) {
    const size_t colon = text.find(':');
    long long n, d;
    return colon != std::string_view::npos && ParseCount(text.substr(0, colon), 1LL << 31, &n) &&
           ParseCount(text.substr(colon + 1), 1LL << 31, &d);
}

struct ColourSpace {
    const char* tag;
    ChromaLayout layout;
    int bits;
    bool alpha;
};

constexpr ColourSpace kColourSpaces[] = {
    {"420jpeg", ChromaLayout::k420, 8, false},  {"420paldv", ChromaLayout::k420, 8, false},
    {"420mpeg2", ChromaLayout::k420, 8, false}, {"420", ChromaLayout::k420, 8, false},
    {"422", ChromaLayout::k422, 8, false},      {"444", ChromaLayout::k444, 8, false},
    {"444alpha", ChromaLayout::k444, 8, true},
};

bool LookUpColourSpace(std::string_view tag, Format* format, std::string* error) {
    for (const ColourSpace& c : kColourSpaces) {
        if (tag == c.tag) {
            format->layout = c.layout;
            format->bits = c.bits;
            format->alpha = c.alpha;
            return true;
        }
    }
    // High bit depths as ffmpeg writes them: 420p10, 422p12, 444p16 ...
    const std::string_view prefix = tag.substr(0, 4);
    if (tag.size() > 4 && (prefix == "420p" || prefix == "422p" || prefix == "444p")) {
        long long bits;
        if (ParseCount(tag.substr(4), 99, &bits) &&
            (bits == 9 || bits == 10 || bits == 12 || bits == 14 || bits == 16)) {
            format->layout = prefix[1] == '2' && prefix[2] == '0'   ? ChromaLayout::k420
                             : prefix[1] == '2' && prefix[2] == '2' ? ChromaLayout::k422
                                                                    : ChromaLayout::k444;
            format->bits = static_cast<int>(bits);
            format->alpha = false;
            return true;
        }
    }
    if (tag.substr(0, 4) == "mono") {
        *error =
            "colour space C" + std::string(tag) + " is monochrome: it has no chroma to denoise";
    } else if (tag.substr(0, 3) == "411") {
        *error = "colour space C" + std::string(tag) +
                 " (4:1:1) is not supported: only 4:2:0, 4:2:2 and 4:4:4";
    } else {
        *error = "unknown colour space C" + std::string(tag) +
                 " (known: 420jpeg, 420paldv, 420mpeg2, 420, 422, 444, 444alpha, and 420pN, "
                 "422pN, 444pN for N = 9, 10, 12, 14, 16)";
    }
    return false;
}

}  // namespace

int Format::ChromaWidth() const {
    return layout == ChromaLayout::k444 ? width : (width + 1) / 2;
}
int Format::ChromaHeight() const {
    return layout == ChromaLayout::k420 ? (height + 1) / 2 : height;
}
int Format::PlaneWidth(int plane) const {
    return plane == 1 || plane == 2 ? ChromaWidth() : width;
}
int Format::PlaneHeight(int plane) const {
    return plane == 1 || plane == 2 ? ChromaHeight() : height;
}
size_t Format::PlaneBytes(int plane) const {
    return size_t(PlaneWidth(plane)) * size_t(PlaneHeight(plane)) * size_t(BytesPerSample());
}
size_t Format::PlaneOffset(int plane) const {
    size_t offset = 0;
    for (int p = 0; p < plane; ++p) offset += PlaneBytes(p);
    return offset;
}
uint64_t Format::FrameBytes() const {
    uint64_t total = 0;
    for (int p = 0; p < PlaneCount(); ++p) {
        total += uint64_t(PlaneWidth(p)) * uint64_t(PlaneHeight(p)) * uint64_t(BytesPerSample());
    }
    return total;
}

bool ParseStreamHeader(std::string_view line, StreamHeader* header, std::string* error) {
    if (line.substr(0, kMagic.size()) != kMagic ||
        (line.size() > kMagic.size() && line[kMagic.size()] != ' ')) {
        *error = "not a YUV4MPEG2 stream: it starts with " + Shown(line);
        return false;
    }
    StreamHeader h;
    h.fields = std::string(line.substr(kMagic.size()));
    bool haveWidth = false, haveHeight = false, haveColour = false;
    std::string_view rest = line.substr(kMagic.size());
    while (!rest.empty()) {
        const size_t space = rest.find(' ');
        const std::string_view field = rest.substr(0, space);
        rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
        if (field.empty()) continue;  // tolerate doubled spaces
        const char tag = field[0];
        const std::string_view value = field.substr(1);
        auto broken = [&](const std::string& why) {
            *error = "broken header: field " + Shown(field) + " " + why;
            return false;
        };
        long long n;
        switch (tag) {
            case 'W':
            case 'H': {
                bool& seen = tag == 'W' ? haveWidth : haveHeight;
                if (seen) return broken("appears twice");
                if (!ParseCount(value, kMaxDimension, &n) || n == 0) {
                    return broken(std::string("is not a ") + (tag == 'W' ? "width" : "height") +
                                  " from 1 to " + std::to_string(kMaxDimension));
                }
                (tag == 'W' ? h.format.width : h.format.height) = static_cast<int>(n);
                seen = true;
                break;
            }
            case 'F':
            case 'A':
                if (!ParseRatio(value)) {
                    return broken(std::string("is not a ") +
                                  (tag == 'F' ? "frame rate" : "pixel aspect") +
                                  " of the form N:D");
                }
                break;
            case 'I':
                if (value.size() != 1 || std::strchr("ptbm?", value[0]) == nullptr) {
                    return broken("is not an interlacing mode (p, t, b, m or ?)");
                }
                break;
            case 'C':
                if (haveColour) return broken("appears twice");
                if (!LookUpColourSpace(value, &h.format, error)) return false;
                h.colourspace = std::string(value);
                haveColour = true;
                break;
            case 'X':
                break;  // extensions are passed on as they are
            default:
                if (tag < 'A' || tag > 'Z') return broken("does not start with a field letter");
                break;  // an unknown field: kept, not interpreted
        }
    }
    if (!haveWidth) {
        *error = "broken header: no width (W field)";
        return false;
    }
    if (!haveHeight) {
        *error = "broken header: no height (H field)";
        return false;
    }
    *header = h;
    return true;
}

std::string FormatStreamHeader(const StreamHeader& header) {
    return std::string(kMagic) + header.fields + "\n";
}

size_t FileSource::Read(void* data, size_t size) {
    return std::fread(data, 1, size, file_);
}

std::string FileSource::Error() const {
    return std::ferror(file_) ? std::string("read error: ") + std::strerror(errno) : std::string();
}

size_t MemorySource::Read(void* data, size_t size) {
    const size_t n = std::min(size, size_ - position_);
    if (n > 0) std::memcpy(data, data_ + position_, n);
    position_ += n;
    return n;
}

size_t Reader::ReadSome(void* data, size_t size) {
    const size_t got = source_->Read(data, size);
    bytesRead_ += got;
    return got;
}

Reader::LineResult Reader::ReadLine(std::string_view expectedStart, std::string* line) {
    line->clear();
    for (;;) {
        char c;
        if (ReadSome(&c, 1) != 1) {
            if (!source_->Error().empty()) return LineResult::kFault;
            return line->empty() ? LineResult::kEnd : LineResult::kTruncated;
        }
        if (c == '\n') {
            return line->size() < expectedStart.size() ? LineResult::kMismatch : LineResult::kLine;
        }
        if (line->size() >= kMaxLine) return LineResult::kTooLong;
        *line += c;
        // Stop at the first byte that cannot begin the expected line, so that
        // binary input is named without reading on.
        const size_t n = line->size();
        if (n <= expectedStart.size() && c != expectedStart[n - 1]) return LineResult::kMismatch;
    }
}

std::string Reader::LineFault(LineResult result, const std::string& line, const char* what) const {
    switch (result) {
        case LineResult::kFault:
            return source_->Error();
        case LineResult::kEnd:
            return std::string("the input ends before ") + what;
        case LineResult::kTruncated:
            return std::string("the input ends inside ") + what + " " + Shown(line);
        case LineResult::kTooLong:
            return std::string("broken ") + what + ": no line end within " +
                   std::to_string(kMaxLine) + " bytes (" + Shown(line) + ")";
        default:
            return std::string("broken ") + what + ": it starts with " + Shown(line);
    }
}

bool Reader::ReadHeader(StreamHeader* header, std::string* error) {
    std::string line;
    const LineResult result = ReadLine(kMagic, &line);
    if (result == LineResult::kEnd) {
        *error = "the input is empty: no YUV4MPEG2 stream header";
        return false;
    }
    if (result == LineResult::kMismatch) {
        *error = "not a YUV4MPEG2 stream: it starts with " + Shown(line);
        return false;
    }
    if (result != LineResult::kLine) {
        *error = LineFault(result, line, "stream header");
        return false;
    }
    if (!ParseStreamHeader(line, header, error)) return false;
    if (header->format.FrameBytes() > maxFrameBytes_) {
        *error = "frames of " + std::to_string(header->format.width) + "x" +
                 std::to_string(header->format.height) + " (" +
                 std::to_string(header->format.FrameBytes()) + " bytes) are larger than " +
                 std::to_string(maxFrameBytes_) + " bytes";
        return false;
    }
    format_ = header->format;
    haveHeader_ = true;
    return true;
}

Reader::Status Reader::ReadFrame(Frame* frame, std::string* error) {
    if (!haveHeader_) {
        *error = "frame read before the stream header";
        return Status::kError;
    }
    const std::string number = "frame " + std::to_string(framesRead_ + 1);
    std::string line;
    const LineResult result = ReadLine(kFrameTag, &line);
    if (result == LineResult::kEnd) return Status::kEnd;
    if (result == LineResult::kLine && line.size() > kFrameTag.size() &&
        line[kFrameTag.size()] != ' ') {
        *error = number + ": broken frame header " + Shown(line);
        return Status::kError;
    }
    if (result != LineResult::kLine) {
        *error = number + ": " + LineFault(result, line, "frame header");
        return Status::kError;
    }
    frame->parameters = line.substr(kFrameTag.size());

    // Grow the buffer with the data actually present, so a header that
    // promises a huge frame costs nothing until the bytes arrive.
    const size_t size = static_cast<size_t>(format_.FrameBytes());
    size_t got = 0;
    while (got < size) {
        const size_t chunk = std::min(kReadChunk, size - got);
        if (frame->data.size() < got + chunk) frame->data.resize(got + chunk);
        const size_t n = ReadSome(frame->data.data() + got, chunk);
        got += n;
        if (n < chunk) {
            const std::string fault = source_->Error();
            *error = number + (fault.empty() ? " is truncated" : ": " + fault) +
                     ": the input ends after " + std::to_string(got) + " of " +
                     std::to_string(size) + " bytes of picture data";
            return Status::kError;
        }
    }
    frame->data.resize(size);
    ++framesRead_;
    return Status::kFrame;
}

bool Writer::WriteHeader(const StreamHeader& header) {
    const std::string text = FormatStreamHeader(header);
    return std::fwrite(text.data(), 1, text.size(), file_) == text.size();
}

bool Writer::WriteFrame(const Frame& frame) {
    const std::string line = std::string(kFrameTag) + frame.parameters + "\n";
    return std::fwrite(line.data(), 1, line.size(), file_) == line.size() &&
           std::fwrite(frame.data.data(), 1, frame.data.size(), file_) == frame.data.size();
}

bool Writer::Flush() {
    return std::fflush(file_) == 0;
}

}  // namespace skarvel::video
