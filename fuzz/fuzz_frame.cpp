// Fuzzes the frame path through the plug-in's own callbacks, the way a host
// drives it: InitFilter, track and check values of any int32, UpdateParameters,
// parameter messages with any lParam, then ProcessFrame on a frame of arbitrary
// width, height and pitch, and ExitFilter.
//
// The frame lies in a heap block between guard zones; the guards and the gaps
// between rows (pitch beyond width) are poisoned for AddressSanitizer while the
// filter runs and compared byte for byte afterwards. Beyond the bounds, every
// run checks what must hold whatever the frame holds:
//   - the callbacks return what they must and restore the frame record;
//   - messages store exactly the track values they carry, nothing else;
//   - with no coefficient display the y field and the other chroma field come
//     back unchanged, and under half width each pair of columns holds one value;
//   - the frame comes back unchanged when the filter must leave it alone: an
//     unusable size, an unknown ShiftMode, no pass selected;
//   - a displayed pixel is a grey level of the display scale with both chroma
//     fields zero.
#include <sanitizer/asan_interface.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/callbacks.h"
#include "host/module_state.h"
#include "kernels/kernels.h"

namespace {

using skarvel::FilterInstance;
using skarvel::FrameInfo;
using skarvel::HostServices;
using skarvel::YcPixel;

// The processed field of this build, and the field neither pass touches.
#if defined(SKARVEL_CHANNEL_CB)
int16_t Processed(const YcPixel& p) {
    return p.cb;
}
int16_t Other(const YcPixel& p) {
    return p.cr;
}
#else
int16_t Processed(const YcPixel& p) {
    return p.cr;
}
int16_t Other(const YcPixel& p) {
    return p.cb;
}
#endif

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_frame: %s\n", what);
    std::abort();
}
#define CHECK(condition)                                     \
    do {                                                     \
        if (!(condition)) Fail("check failed: " #condition); \
    } while (0)

// Reads the input front to back; past its end every byte reads as zero, so a
// short input means default tracks and a small frame.
struct Reader {
    const uint8_t* data;
    size_t left;
    uint8_t Byte() {
        if (left == 0) return 0;
        --left;
        return *data++;
    }
    uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    uint32_t U32() { return U16() | static_cast<uint32_t>(U16()) << 16; }
    int32_t I32() { return static_cast<int32_t>(U32()); }
};

const int32_t kSpecial[16] = {
    INT32_MIN, INT32_MAX, INT32_MIN + 1, INT32_MAX - 1, 0,    -1,   65535, 65536,
    32767,     32768,     -32768,        1 << 30,       1024, 2048, 255,   -2};
const int32_t kTrackDefault[16] = {2, 75, 75, 75, 75, 75, 75, 50, 50, 50, 50, 50, 50, 200, 100, 0};
const int32_t kTrackMax[16] = {3,   150, 150, 150, 150, 150, 150, 100,
                               100, 100, 100, 100, 100, 200, 200, 4};

// Mostly defaults and in-range values, sometimes the int32 edges, sometimes raw.
int32_t TrackValue(Reader& in, int index) {
    const uint8_t s = in.Byte();
    if (s < 0x40) return kTrackDefault[index];
    if (s < 0xC0) return (s - 0x40) % (kTrackMax[index] + 3) - 1;
    if (s < 0xF0) return kSpecial[s & 15];
    return in.I32();
}

int32_t CheckValue(Reader& in) {
    const uint8_t s = in.Byte();
    if (s < 0x40) return 0;
    if (s < 0xA0) return 1;
    if (s < 0xF0) return kSpecial[s & 15];
    return in.I32();
}

// Lengths around the padded lengths, the buffer size and half-width doubling.
const int32_t kEdgeLengths[24] = {1,   2,    3,    4,    5,    15,   16,   17,
                                  31,  32,   33,   255,  256,  257,  511,  512,
                                  513, 1023, 1024, 1025, 1100, 2047, 2048, 2049};

// A host-side model of the message table, to check HandleFilterMessage against.
void ApplyMessageModel(uint32_t message, int32_t lParam, int32_t* tracks, int* refreshes,
                       int* updates) {
    if (message < 2024 || message > 2031) return;
    const uint32_t bits = static_cast<uint32_t>(lParam);
    const int32_t low = static_cast<int32_t>(bits & 0xFFFF),
                  high = static_cast<int32_t>(bits >> 16);
    switch (message) {
        case 2024:
            tracks[0] = lParam;
            ++*refreshes;
            break;
        case 2025:
            tracks[1] = low;
            tracks[2] = high;
            break;
        case 2026:
            tracks[3] = low;
            tracks[4] = high;
            break;
        case 2027:
            tracks[5] = low;
            tracks[6] = high;
            ++*refreshes;
            ++*updates;
            break;
        case 2028:
            tracks[7] = low;
            tracks[8] = high;
            break;
        case 2029:
            tracks[9] = low;
            tracks[10] = high;
            break;
        case 2030:
            tracks[11] = low;
            tracks[12] = high;
            break;
        case 2031:
            tracks[13] = low;
            ++*refreshes;
            ++*updates;
            break;
    }
}

// What the host records about the filter's calls back into it.
struct HostLog {
    int refreshes = 0;
    int updates = 0;
    int32_t modeAtUpdate = 0;   // track 0 as the last update saw it
    int32_t halveAtUpdate = 0;  // check 0 likewise
};
HostLog Log;

int32_t Refresh(FilterInstance*) {
    ++Log.refreshes;
    return 1;
}

int32_t RecordingUpdate(FilterInstance* instance, int32_t status) {
    ++Log.updates;
    Log.modeAtUpdate = instance->record.trackValues[0];
    Log.halveAtUpdate = instance->record.checkValues[0];
    return skarvel::UpdateParameters(instance, status);
}

uint64_t SplitMix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int16_t SampleValue(Reader& in) {
    const uint8_t s = in.Byte();
    static const int16_t kEdges[8] = {-32768, 32767, -32767, 32766, 0, -1, 2047, -2048};
    if (s < 0x80) return kEdges[s & 7];
    return static_cast<int16_t>(in.U16());
}

// Fills one field of every pixel of the block (frame, gaps and guards alike)
// from a pattern chosen by the input: tiles of input bytes, constants,
// checkerboards, stripes, an impulse, full-range or narrow noise, ramps.
struct FieldPattern {
    uint8_t kind;
    int16_t a, b;
    uint64_t seed;
    int32_t amplitude;
    int32_t impulseIndex;
};

FieldPattern ReadPattern(Reader& in) {
    FieldPattern p{};
    p.kind = in.Byte() % 8;
    p.a = SampleValue(in);
    p.b = SampleValue(in);
    p.seed = in.U32();
    p.amplitude = 1 + in.U16();
    p.impulseIndex = in.U16();
    return p;
}

int16_t PatternSample(const FieldPattern& p, uint64_t& rng, int32_t x, int32_t y, size_t index,
                      const std::vector<uint8_t>& tile) {
    switch (p.kind) {
        case 0:
            if (tile.size() < 2) return p.a;
            return static_cast<int16_t>(tile[(2 * index) % (tile.size() - 1)] |
                                        tile[(2 * index + 1) % (tile.size() - 1)] << 8);
        case 1:
            return p.a;
        case 2:
            return ((x ^ y) & 1) ? p.a : p.b;
        case 3:
            return ((p.seed & 1 ? x : y) & 1) ? p.a : p.b;
        case 4:
            return static_cast<int32_t>(index) == p.impulseIndex ? p.b : p.a;
        case 5:
            return static_cast<int16_t>(SplitMix(rng));
        case 6: {
            const int32_t v =
                p.a + static_cast<int32_t>(SplitMix(rng) % (2 * p.amplitude + 1)) - p.amplitude;
            return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
        }
        default:
            return static_cast<int16_t>(p.a + x * (p.b & 63) + y * ((p.b >> 6) & 63));
    }
}

bool IsGreyLevel(int16_t y) {
    return y == 4095 || (y >= 0 && y <= 3840 && y % 256 == 0);
}

struct Shape {
    int32_t width, height, pitch;
};

constexpr int64_t kMaxFramePixels = 1100 * 1100;
constexpr int64_t kSmallFramePixels = 1 << 14;
constexpr int32_t kGuardPixels = 48;

Shape ReadShape(Reader& in) {
    Shape s{};
    const uint8_t kind = in.Byte();
    switch (kind % 16) {
        case 12:  // long rows
            s.width = (kind & 0x10) ? kEdgeLengths[in.Byte() % 24] : 1 + in.U16() % 2100;
            s.height = 1 + in.Byte() % 6;
            break;
        case 13:  // long columns
            s.width = 1 + in.Byte() % 6;
            s.height = (kind & 0x10) ? kEdgeLengths[in.Byte() % 24] : 1 + in.U16() % 1100;
            break;
        case 14:  // anything up to the largest frame the buffers hold, and a bit beyond
            s.width = 1 + in.U16() % 2100;
            s.height = 1 + in.U16() % 1100;
            break;
        case 15:  // hostile sizes, which the filter must refuse
            s.width = (kind & 0x10) ? in.I32() : kSpecial[in.Byte() & 15];
            s.height = (kind & 0x20) ? in.I32() : kSpecial[in.Byte() & 15];
            break;
        default:  // small frames, the common case
            s.width = 1 + in.Byte() % 48;
            s.height = 1 + in.Byte() % 48;
            break;
    }
    // Hostile widths sit at the int32 limits: the pitch wraps around as a
    // host's 32-bit arithmetic would, and the filter must refuse it.
    auto offset = [&](int32_t delta) {
        return static_cast<int32_t>(static_cast<uint32_t>(s.width) + static_cast<uint32_t>(delta));
    };
    const uint8_t p = in.Byte();
    if (p < 0x80) {
        s.pitch = s.width;
    } else if (p < 0xE0) {
        s.pitch = offset(1 + (p - 0x80) % 17);
    } else if (p < 0xF8) {
        s.pitch = offset(-1 - (p - 0xE0) % 3);  // rows that overlap
    } else {
        s.pitch = in.I32();
    }
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};

    // The host's records, each in a block of exactly its own size.
    std::vector<int32_t> tracks(skarvel::kTrackCount), checks(skarvel::kCheckCount);
    for (int i = 0; i < skarvel::kTrackCount; ++i) tracks[i] = TrackValue(in, i);
    for (int i = 0; i < skarvel::kCheckCount; ++i) checks[i] = CheckValue(in);
    auto* services = new HostServices{};
    services->refreshWindow = Refresh;
    auto* instance = new FilterInstance{*skarvel::FilterTable()};
    instance->record.trackValues = tracks.data();
    instance->record.checkValues = checks.data();
    instance->record.services = services;
    instance->record.update = RecordingUpdate;
    Log = HostLog{};

    CHECK(skarvel::InitFilter(instance) == 1);
    const int32_t detectedKind = skarvel::CpuKind;
    const skarvel::LinePoolBuffers pool = skarvel::LinePool;
    // Any set this build has; the SSE set needs its broadcast block, which
    // start-up allocates only when it chose that set.
    int32_t cpuKind = in.Byte() % skarvel::kCpuKindCount;
    if (cpuKind == skarvel::kCpuSse && skarvel::LinePool.broadcast == nullptr) cpuKind = 0;
#if defined(__i386__)
    // Real 3DNow! instructions there: only where start-up found them.
    if (cpuKind == skarvel::kCpu3DNow && detectedKind != skarvel::kCpu3DNow) cpuKind = 0;
#endif
    skarvel::CpuKind = cpuKind;

    CHECK(RecordingUpdate(instance, 0) == 1);

    // Parameter messages, any number and lParam, checked against the table.
    const int messageCount = in.Byte() % 5;
    for (int m = 0; m < messageCount; ++m) {
        const uint8_t sel = in.Byte();
        const uint32_t message = sel < 0xF0 ? 2020u + sel % 16 : in.U32();
        const uint8_t ls = in.Byte();
        const int32_t lParam = ls < 0x40 ? kSpecial[ls & 15] : in.I32();
        std::vector<int32_t> expected = tracks;
        int expectedRefreshes = Log.refreshes, expectedUpdates = Log.updates;
        ApplyMessageModel(message, lParam, expected.data(), &expectedRefreshes, &expectedUpdates);
        CHECK(skarvel::HandleFilterMessage(reinterpret_cast<void*>(0x1234), message, sel, lParam,
                                           reinterpret_cast<void*>(0x5678), instance) == 0);
        CHECK(tracks == expected);
        CHECK(Log.refreshes == expectedRefreshes);
        CHECK(Log.updates == expectedUpdates);
    }
    const uint8_t flags = in.Byte();
    if (flags & 1) CHECK(RecordingUpdate(instance, 0) == 1);  // the host's own update
    CHECK(skarvel::ShiftMode == Log.modeAtUpdate);

    // The frame and what the filter must do with it.
    Shape shape = ReadShape(in);
    const bool halve = Log.halveAtUpdate == 1;
    const int64_t width = halve ? shape.width >> 1 : shape.width;
    const bool refused = width <= 0 || shape.height <= 0 || width > 1024 || shape.height > 1024 ||
                         shape.pitch < shape.width;
    int64_t framePixels =
        refused ? 0 : static_cast<int64_t>(shape.height - 1) * shape.pitch + shape.width;
    // Keep a frame the filter would process within what the fuzzer allocates:
    // fewer rows, and large frames only when the input asks for them.
    const int64_t limit = (flags & 12) == 12 ? kMaxFramePixels : kSmallFramePixels;
    while (framePixels > limit) {
        shape.height = shape.height / 2;
        framePixels = static_cast<int64_t>(shape.height - 1) * shape.pitch + shape.width;
    }
    const int32_t t14 = tracks[14], t15 = tracks[15];
    const bool verticalPass = t14 > 0, horizontalPass = t15 < 3;
    const bool display = (verticalPass && t15 >= 3) || (horizontalPass && t15 != 0);
    const bool modeKnown = Log.modeAtUpdate >= 0 && Log.modeAtUpdate <= 3;
    const bool mustStay = refused || (!verticalPass && !horizontalPass) || (!modeKnown && !display);

    FieldPattern patterns[3];
    for (FieldPattern& p : patterns) p = ReadPattern(in);
    const std::vector<uint8_t> tile(in.data, in.data + in.left);

    const size_t blockPixels = static_cast<size_t>(framePixels) + 2 * kGuardPixels;
    auto* block = static_cast<YcPixel*>(std::malloc(blockPixels * sizeof(YcPixel)));
    uint64_t rng[3] = {patterns[0].seed, patterns[1].seed ^ 0x5555, patterns[2].seed ^ 0xAAAA};
    const int32_t rowPitch = shape.pitch > 0 ? shape.pitch : 1;
    for (size_t i = 0; i < blockPixels; ++i) {
        const int64_t f = static_cast<int64_t>(i) - kGuardPixels;
        const int32_t x = static_cast<int32_t>(f % rowPitch),
                      y = static_cast<int32_t>(f / rowPitch);
        block[i].y = PatternSample(patterns[0], rng[0], x, y, i, tile);
        block[i].cb = PatternSample(patterns[1], rng[1], x, y, i, tile);
        block[i].cr = PatternSample(patterns[2], rng[2], x, y, i, tile);
    }
    YcPixel* pixels = block + kGuardPixels;

    // Inside the frame, x < width on each row; everything else is off limits.
    auto inFrame = [&](size_t i) {
        const int64_t f = static_cast<int64_t>(i) - kGuardPixels;
        return !refused && f >= 0 && f < framePixels && f % shape.pitch < shape.width;
    };
    auto poison = [&](bool on) {
        for (size_t i = 0; i < blockPixels;) {
            size_t j = i;
            while (j < blockPixels && inFrame(j) == inFrame(i)) ++j;
            if (!inFrame(i)) {
                if (on) {
                    ASAN_POISON_MEMORY_REGION(block + i, (j - i) * sizeof(YcPixel));
                } else {
                    ASAN_UNPOISON_MEMORY_REGION(block + i, (j - i) * sizeof(YcPixel));
                }
            }
            i = j;
        }
    };

    const int frames = (flags & 2) ? 2 : 1;
    for (int run = 0; run < frames; ++run) {
        FrameInfo frame{};
        frame.hostFlags = 0x3C;
        frame.pixels = pixels;
        frame.hostTemp = reinterpret_cast<void*>(0x9ABC);
        frame.width = shape.width;
        frame.height = shape.height;
        frame.pitch = shape.pitch;
        const std::vector<YcPixel> input(block, block + blockPixels);
        poison(true);
        CHECK(skarvel::ProcessFrame(instance, &frame) == 1);
        poison(false);
        CHECK(frame.hostFlags == 0x3C && frame.pixels == pixels &&
              frame.hostTemp == reinterpret_cast<void*>(0x9ABC) && frame.width == shape.width &&
              frame.height == shape.height && frame.pitch == shape.pitch);
        CHECK(skarvel::CpuKind == cpuKind);
        CHECK(skarvel::LinePool.scratchLine == pool.scratchLine &&
              skarvel::LinePool.edgeMask == pool.edgeMask && skarvel::LinePool.ready);

        for (size_t i = 0; i < blockPixels; ++i) {
            const YcPixel& was = input[i];
            const YcPixel& now = block[i];
            const bool same = std::memcmp(&was, &now, sizeof(YcPixel)) == 0;
            if (!inFrame(i) || mustStay) {
                if (!same)
                    Fail(inFrame(i) ? "frame changed where it must stay"
                                    : "pixel outside the frame touched");
                continue;
            }
            const bool fieldsKept = was.y == now.y && Other(was) == Other(now);
            if (!display) {
                if (!fieldsKept) Fail("y or the other chroma field changed without display");
            } else if (!fieldsKept) {
                if (now.cb != 0 || now.cr != 0) Fail("displayed pixel with nonzero chroma");
                if (modeKnown && !IsGreyLevel(now.y)) Fail("displayed luma off the grey scale");
            }
        }
        // Under half width the horizontal pass writes each result to both
        // pixels of its pair; with an odd width the last column is never visited.
        if (!mustStay && !display && halve) {
            for (int32_t y = 0; y < shape.height; ++y) {
                const YcPixel* row = pixels + static_cast<int64_t>(y) * shape.pitch;
                for (int32_t k = 0; k < shape.width / 2; ++k) {
                    if (Processed(row[2 * k]) != Processed(row[2 * k + 1]))
                        Fail("half-width pair with two values");
                }
                const int64_t last =
                    static_cast<int64_t>(y) * shape.pitch + shape.width - 1 + kGuardPixels;
                if ((shape.width & 1) && Processed(block[last]) != Processed(input[last]))
                    Fail("unvisited odd column changed");
            }
        }
    }

    // Start-up's own choice again, so shutdown frees what start-up obtained.
    skarvel::CpuKind = detectedKind;
    CHECK(skarvel::ExitFilter(instance) == 1);
    std::free(block);
    delete instance;
    delete services;
    return 0;
}
