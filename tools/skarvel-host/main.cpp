// skarvel-host: loads one filter module and runs raw frames through it, the
// way the editor would.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "tools/standin/parameter_messages.h"
#include "tools/standin/plugin_host.h"
#include "tools/standin/raw_frames.h"

using skarvel::YcPixel;
using skarvel::standin::PluginHost;

namespace {

constexpr const char* kUsage =
    "usage: skarvel-host --plugin PATH --describe\n"
    "       skarvel-host --plugin PATH --size WxH [--pitch N] [--track I=V]... [--check I=V]...\n"
    "                    [--message NUM:LPARAM]... [--message-at K:NUM:LPARAM]... "
    "[--via-messages]\n"
    "                    IN OUT\n"
    "Raw frames: little-endian int16 (y, cb, cr) per pixel, N pixels per row (default W),\n"
    "H rows, frames back to back. IN and OUT may be '-' for standard input and output.\n"
    "--message delivers a window message to the filter before the first frame, --message-at\n"
    "before frame K (from 0); --via-messages sets tracks 0 to 13 by messages, not directly.\n";

struct Options {
    std::string plugin;
    bool describe = false;
    int width = 0, height = 0, pitch = 0;
    std::vector<std::pair<int, int>> tracks, checks;
    std::vector<std::string> files;
    std::vector<std::pair<long, skarvel::standin::ParameterMessage>> messages;  // before frame K
    bool viaMessages = false;
};

bool ParseInt(const std::string& text, long long low, long long high, long long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    *value = v;
    return true;
}

bool ParseAssignment(const std::string& text, int count, std::pair<int, int>* out) {
    const size_t eq = text.find('=');
    long long index, value;
    if (eq == std::string::npos || !ParseInt(text.substr(0, eq), 0, count - 1, &index) ||
        !ParseInt(text.substr(eq + 1), INT32_MIN, INT32_MAX, &value))
        return false;
    *out = {static_cast<int>(index), static_cast<int>(value)};
    return true;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "skarvel-host: %s\n", message.c_str());
    return 2;
}

bool ParseOptions(int argc, char** argv, Options* o, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--plugin") {
            if (!value(&o->plugin)) return false;
        } else if (arg == "--describe") {
            o->describe = true;
        } else if (arg == "--size") {
            if (!value(&v)) return false;
            const size_t x = v.find('x');
            long long w, h;
            if (x == std::string::npos || !ParseInt(v.substr(0, x), 1, 1 << 16, &w) ||
                !ParseInt(v.substr(x + 1), 1, 1 << 16, &h)) {
                *error = "bad --size '" + v + "' (expected WxH, for example 720x480)";
                return false;
            }
            o->width = static_cast<int>(w);
            o->height = static_cast<int>(h);
        } else if (arg == "--pitch") {
            long long p;
            if (!value(&v)) return false;
            if (!ParseInt(v, 1, 1 << 16, &p)) {
                *error = "bad --pitch '" + v + "'";
                return false;
            }
            o->pitch = static_cast<int>(p);
        } else if (arg == "--track" || arg == "--check") {
            if (!value(&v)) return false;
            std::pair<int, int> a;
            const bool track = arg == "--track";
            if (!ParseAssignment(v, track ? skarvel::kTrackCount : skarvel::kCheckCount, &a)) {
                *error = "bad " + arg + " '" + v + "' (expected I=V with I from 0 to " +
                         std::to_string((track ? skarvel::kTrackCount : skarvel::kCheckCount) - 1) +
                         ")";
                return false;
            }
            (track ? o->tracks : o->checks).push_back(a);
        } else if (arg == "--message" || arg == "--message-at") {
            if (!value(&v)) return false;
            long long frame = 0;
            std::string text = v;
            if (arg == "--message-at") {
                const size_t colon = v.find(':');
                if (colon == std::string::npos ||
                    !ParseInt(v.substr(0, colon), 0, INT32_MAX, &frame)) {
                    *error = "bad --message-at '" + v + "' (expected K:NUM:LPARAM)";
                    return false;
                }
                text = v.substr(colon + 1);
            }
            skarvel::standin::ParameterMessage m;
            if (!skarvel::standin::ParseParameterMessage(text, &m)) {
                *error = "bad " + arg + " '" + v + "' (expected NUM:LPARAM, decimal or 0x hex)";
                return false;
            }
            o->messages.push_back({static_cast<long>(frame), m});
        } else if (arg == "--via-messages") {
            o->viaMessages = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            *error = "unknown option " + arg;
            return false;
        } else {
            o->files.push_back(arg);
        }
    }
    if (o->plugin.empty()) {
        *error = "--plugin PATH is required";
        return false;
    }
    if (!o->describe) {
        if (o->width == 0) {
            *error = "--size WxH is required to process frames";
            return false;
        }
        if (o->files.size() != 2) {
            *error = "expected IN and OUT";
            return false;
        }
        if (o->pitch == 0) o->pitch = o->width;
        if (o->pitch < o->width) {
            *error = "--pitch must be at least the width";
            return false;
        }
    }
    return true;
}

void Describe(PluginHost& host) {
    const skarvel::FilterRegistration& r = host.Registration();
    std::printf("filter: %s\n", skarvel::standin::ShiftJisToUtf8(r.name).c_str());
    std::printf("information: %s\n",
                r.information ? skarvel::standin::ShiftJisToUtf8(r.information).c_str() : "");
    for (int i = 0; i < r.trackCount; ++i) {
        std::printf("track %d: %s default %d min %d max %d\n", i,
                    skarvel::standin::ShiftJisToUtf8(r.trackLabels[i]).c_str(), r.trackDefaults[i],
                    r.trackMinima[i], r.trackMaxima[i]);
    }
    for (int i = 0; i < r.checkCount; ++i) {
        std::printf("check %d: %s default %d\n", i,
                    skarvel::standin::ShiftJisToUtf8(r.checkLabels[i]).c_str(), r.checkDefaults[i]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::string error;
    if (!ParseOptions(argc, argv, &o, &error)) {
        std::fprintf(stderr, "skarvel-host: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    std::unique_ptr<PluginHost> host = PluginHost::Load(o.plugin, &error);
    if (!host) return Fail(error);
    if (o.describe) {
        Describe(*host);
        return 0;
    }
    // With --via-messages tracks 0 to 13 start at their defaults and reach
    // the filter as the messages another program would send.
    std::vector<int32_t> wanted = host->Tracks();
    for (auto [index, value] : o.tracks) wanted[index] = value;
    std::vector<skarvel::standin::ParameterMessage> trackMessages;
    if (o.viaMessages) {
        if (!skarvel::standin::MessagesForTracks(wanted, &trackMessages, &error))
            return Fail(error);
        for (int i = 14; i < skarvel::kTrackCount; ++i) host->Tracks()[i] = wanted[i];
    } else {
        host->Tracks() = wanted;
    }
    for (auto [index, value] : o.checks) host->Checks()[index] = value;

    std::FILE* in = skarvel::standin::OpenInput(o.files[0], &error);
    if (in == nullptr) return Fail(error);
    skarvel::standin::SafeOutput out;
    if (!out.Open(o.files[1], &error)) return Fail(error);
    if (!host->Start(&error)) return Fail(error);
    for (const auto& m : trackMessages) host->Message(m.number, m.lParam);
    auto deliver = [&](long frame) {
        for (const auto& [at, m] : o.messages)
            if (at == frame) host->Message(m.number, m.lParam);
    };

    const uint64_t count = static_cast<uint64_t>(o.pitch) * o.height;  // beyond size_t on 32 bits
    std::vector<YcPixel> pixels;
    long frames = 0;
    try {
        for (;;) {
            const int got = skarvel::standin::ReadRawFrame(in, count, &pixels, &error);
            if (got < 0) return Fail("frame " + std::to_string(frames) + ": " + error);
            if (got == 0) break;
            deliver(frames);
            host->Process(pixels.data(), o.width, o.height, o.pitch);
            if (!skarvel::standin::WriteRawFrame(out.Stream(), pixels))
                return Fail("cannot write output");
            ++frames;
        }
    } catch (const std::bad_alloc&) {
        return Fail("frame " + std::to_string(frames) + ": frames of " + std::to_string(o.pitch) +
                    "x" + std::to_string(o.height) + " pixels (" + std::to_string(count * 6) +
                    " bytes) do not fit in memory");
    }
    if (!out.Commit(&error)) return Fail(error);
    if (host->RefreshCount() > 0)
        std::fprintf(stderr, "skarvel-host: the filter asked for %d window refresh%s\n",
                     host->RefreshCount(), host->RefreshCount() == 1 ? "" : "es");
    std::fprintf(stderr, "skarvel-host: %ld frame%s of %dx%d through %s\n", frames,
                 frames == 1 ? "" : "s", o.width, o.height, host->Registration().name);
    return 0;
}
