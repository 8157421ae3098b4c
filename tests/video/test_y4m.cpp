// The Y4M reader and writer: header fields, colour spaces, frame layout,
// faults named, and a byte-exact round trip.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/video/y4m.h"

namespace skarvel::video {
namespace {

struct GoodHeader {
    const char* line;
    int width, height;
    ChromaLayout layout;
    int bits;
    int planes;
    int chromaWidth, chromaHeight;
    uint64_t frameBytes;
};

TEST(Y4mHeader, ColourSpacesAndSizes) {
    const GoodHeader cases[] = {
        {"YUV4MPEG2 W64 H48 F25:1 Ip A1:1 C420jpeg XYSCSS=420JPEG", 64, 48, ChromaLayout::k420, 8,
         3, 32, 24, 64 * 48 * 3 / 2},
        {"YUV4MPEG2 W65 H49", 65, 49, ChromaLayout::k420, 8, 3, 33, 25, 65 * 49 + 2 * 33 * 25},
        {"YUV4MPEG2 W8 H8 C420paldv", 8, 8, ChromaLayout::k420, 8, 3, 4, 4, 96},
        {"YUV4MPEG2 W8 H8 C420mpeg2", 8, 8, ChromaLayout::k420, 8, 3, 4, 4, 96},
        {"YUV4MPEG2 W8 H8 C420", 8, 8, ChromaLayout::k420, 8, 3, 4, 4, 96},
        {"YUV4MPEG2 W9 H8 C422", 9, 8, ChromaLayout::k422, 8, 3, 5, 8, 72 + 2 * 40},
        {"YUV4MPEG2 W8 H8 C444", 8, 8, ChromaLayout::k444, 8, 3, 8, 8, 192},
        {"YUV4MPEG2 W8 H8 C444alpha", 8, 8, ChromaLayout::k444, 8, 4, 8, 8, 256},
        {"YUV4MPEG2 W8 H8 C420p9", 8, 8, ChromaLayout::k420, 9, 3, 4, 4, 192},
        {"YUV4MPEG2 W8 H8 C420p10 XYSCSS=420P10", 8, 8, ChromaLayout::k420, 10, 3, 4, 4, 192},
        {"YUV4MPEG2 W8 H8 C422p12", 8, 8, ChromaLayout::k422, 12, 3, 4, 8, 256},
        {"YUV4MPEG2 W8 H8 C444p14", 8, 8, ChromaLayout::k444, 14, 3, 8, 8, 384},
        {"YUV4MPEG2 W8 H8 C444p16 XCOLORRANGE=LIMITED", 8, 8, ChromaLayout::k444, 16, 3, 8, 8, 384},
        {"YUV4MPEG2 W8 H8 Z-unknown-field C444", 8, 8, ChromaLayout::k444, 8, 3, 8, 8, 192},
    };
    for (const GoodHeader& c : cases) {
        SCOPED_TRACE(c.line);
        StreamHeader h;
        std::string error;
        ASSERT_TRUE(ParseStreamHeader(c.line, &h, &error)) << error;
        EXPECT_EQ(h.format.width, c.width);
        EXPECT_EQ(h.format.height, c.height);
        EXPECT_EQ(h.format.layout, c.layout);
        EXPECT_EQ(h.format.bits, c.bits);
        EXPECT_EQ(h.format.PlaneCount(), c.planes);
        EXPECT_EQ(h.format.ChromaWidth(), c.chromaWidth);
        EXPECT_EQ(h.format.ChromaHeight(), c.chromaHeight);
        EXPECT_EQ(h.format.FrameBytes(), c.frameBytes);
        // Passed on as written.
        EXPECT_EQ(FormatStreamHeader(h), std::string(c.line) + "\n");
    }
}

TEST(Y4mHeader, FaultsAreNamed) {
    const struct {
        const char* line;
        const char* message;
    } cases[] = {
        {"", "not a YUV4MPEG2 stream"},
        {"YUV4MPEG W64 H48", "not a YUV4MPEG2 stream"},
        {"YUV4MPEG2W64 H48", "not a YUV4MPEG2 stream"},
        {"YUV4MPEG2 H48", "no width"},
        {"YUV4MPEG2 W64", "no height"},
        {"YUV4MPEG2 W0 H48", "\"W0\" is not a width"},
        {"YUV4MPEG2 W-5 H48", "is not a width"},
        {"YUV4MPEG2 W64x H48", "is not a width"},
        {"YUV4MPEG2 W99999999 H48", "is not a width"},
        {"YUV4MPEG2 W64 H", "is not a height"},
        {"YUV4MPEG2 W64 H48 W32", "appears twice"},
        {"YUV4MPEG2 W64 H48 F25", "is not a frame rate"},
        {"YUV4MPEG2 W64 H48 F25:", "is not a frame rate"},
        {"YUV4MPEG2 W64 H48 Ax", "is not a pixel aspect"},
        {"YUV4MPEG2 W64 H48 Iq", "is not an interlacing mode"},
        {"YUV4MPEG2 W64 H48 Cmono", "monochrome"},
        {"YUV4MPEG2 W64 H48 Cmono16", "monochrome"},
        {"YUV4MPEG2 W64 H48 C411", "4:1:1"},
        {"YUV4MPEG2 W64 H48 C420p11", "unknown colour space C420p11"},
        {"YUV4MPEG2 W64 H48 C420p", "unknown colour space"},
        {"YUV4MPEG2 W64 H48 Cyuv", "unknown colour space Cyuv"},
        {"YUV4MPEG2 W64 H48 C444 C420", "appears twice"},
        {"YUV4MPEG2 W64 H48 c420", "does not start with a field letter"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        StreamHeader h;
        std::string error;
        EXPECT_FALSE(ParseStreamHeader(c.line, &h, &error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

// A stream of 2x2 4:4:4 frames whose bytes count up from a start value.
std::string Stream(const std::string& header, int frames, const std::string& parameters = "") {
    std::string s = header + "\n";
    for (int f = 0; f < frames; ++f) {
        s += "FRAME" + parameters + "\n";
        for (int i = 0; i < 12; ++i) s += static_cast<char>(f * 16 + i);
    }
    return s;
}

TEST(Y4mReader, ReadsFramesAndEndsCleanly) {
    const std::string input = Stream("YUV4MPEG2 W2 H2 C444", 3, " Ixyz XA=1");
    MemorySource source(input.data(), input.size());
    Reader reader(&source);
    StreamHeader header;
    std::string error;
    ASSERT_TRUE(reader.ReadHeader(&header, &error)) << error;
    Frame frame;
    for (int f = 0; f < 3; ++f) {
        ASSERT_EQ(reader.ReadFrame(&frame, &error), Reader::Status::kFrame) << error;
        EXPECT_EQ(frame.parameters, " Ixyz XA=1");
        ASSERT_EQ(frame.data.size(), 12u);
        EXPECT_EQ(frame.Plane(header.format, 2)[0], f * 16 + 8);
    }
    EXPECT_EQ(reader.ReadFrame(&frame, &error), Reader::Status::kEnd);
    EXPECT_EQ(reader.FramesRead(), 3);
    EXPECT_EQ(reader.BytesRead(), input.size());
}

TEST(Y4mReader, WriterGivesBackTheSameBytes) {
    const std::string input =
        Stream("YUV4MPEG2 W2 H2 F30000:1001 It A0:0 C444 XYSCSS=444", 2, " X1");
    MemorySource source(input.data(), input.size());
    Reader reader(&source);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    Writer writer(file);
    StreamHeader header;
    std::string error;
    ASSERT_TRUE(reader.ReadHeader(&header, &error)) << error;
    ASSERT_TRUE(writer.WriteHeader(header));
    Frame frame;
    while (reader.ReadFrame(&frame, &error) == Reader::Status::kFrame) {
        ASSERT_TRUE(writer.WriteFrame(frame));
    }
    ASSERT_TRUE(writer.Flush());
    std::rewind(file);
    std::string output(input.size() + 16, '\0');
    output.resize(std::fread(output.data(), 1, output.size(), file));
    std::fclose(file);
    EXPECT_EQ(output, input);
}

TEST(Y4mReader, FaultsAfterTheHeaderNameTheFrame) {
    const std::string good = Stream("YUV4MPEG2 W2 H2 C444", 1);
    const struct {
        std::string input;
        const char* message;
    } cases[] = {
        {good + "FRAME\n" + std::string(5, 'x'),
         "frame 2 is truncated: the input ends after 5 of 12"},
        {good + "FRAME\n", "frame 2 is truncated: the input ends after 0 of 12"},
        {good + "FRA", "frame 2: the input ends inside frame header \"FRA\""},
        {good + "FRAMEX\n", "frame 2: broken frame header \"FRAMEX\""},
        {good + "FRAM\n", "frame 2: broken frame header"},
        {good + std::string("\x00\x01garbage", 9),
         "frame 2: broken frame header: it starts with \"\\x00\""},
        {good + "FRAME" + std::string(5000, ' '), "no line end within 4096 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        MemorySource source(c.input.data(), c.input.size());
        Reader reader(&source);
        StreamHeader header;
        std::string error;
        ASSERT_TRUE(reader.ReadHeader(&header, &error)) << error;
        Frame frame;
        ASSERT_EQ(reader.ReadFrame(&frame, &error), Reader::Status::kFrame) << error;
        EXPECT_EQ(reader.ReadFrame(&frame, &error), Reader::Status::kError);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(Y4mReader, HeaderFaultsOnTheByteStream) {
    const struct {
        std::string input;
        const char* message;
    } cases[] = {
        {"", "the input is empty"},
        {"YUV4MPEG2 W2 H2", "the input ends inside stream header"},
        {"RIFF\x10\x00\x00\x00WAVE", "not a YUV4MPEG2 stream: it starts with \"R\""},
        {"YUV4MPEG2 W2 H2 C444" + std::string(5000, 'X') + "\n", "no line end within 4096"},
        {"YUV4MPEG2 W60000 H30000 C444\n", "larger than"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        MemorySource source(c.input.data(), c.input.size());
        Reader reader(&source);
        StreamHeader header;
        std::string error;
        EXPECT_FALSE(reader.ReadHeader(&header, &error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(Y4mReader, AHugeFrameCostsOnlyTheBytesThatArrive) {
    // 30000x30000 4:2:0 announces 1.35 GB per frame; only a few bytes follow.
    const std::string input = "YUV4MPEG2 W30000 H30000\nFRAME\nabc";
    MemorySource source(input.data(), input.size());
    Reader reader(&source);
    StreamHeader header;
    std::string error;
    ASSERT_TRUE(reader.ReadHeader(&header, &error)) << error;
    Frame frame;
    EXPECT_EQ(reader.ReadFrame(&frame, &error), Reader::Status::kError);
    EXPECT_NE(error.find("truncated"), std::string::npos) << error;
    EXPECT_LE(frame.data.capacity(), size_t(1) << 21);
}

TEST(Y4mSamples, WordsAreLittleEndian) {
    uint8_t bytes[4] = {0x34, 0x12, 0xFF, 0x03};
    EXPECT_EQ(LoadSample(bytes, 0, 2), 0x1234u);
    EXPECT_EQ(LoadSample(bytes, 1, 2), 0x03FFu);
    EXPECT_EQ(LoadSample(bytes, 2, 1), 0xFFu);
    StoreSample(bytes, 1, 2, 0xBEEF);
    EXPECT_EQ(bytes[2], 0xEF);
    EXPECT_EQ(bytes[3], 0xBE);
}

}  // namespace
}  // namespace skarvel::video
