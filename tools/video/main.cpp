// skarvel: denoises the chroma of YUV4MPEG2 video with the two filter modules.
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "tools/video/demo.h"
#include "tools/video/denoiser.h"
#include "tools/video/y4m.h"

#ifndef SKARVEL_VERSION
#define SKARVEL_VERSION "unknown"
#endif

namespace video = skarvel::video;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTrackMode = 0, kTrackEdge0 = 1, kTrackBand0 = 7, kTrackStrength = 13,
              kTrackVertical = 14;
constexpr int kCheckAveragePairs = 1;

int Fail(const std::string& message) {
    std::fprintf(stderr, "skarvel: %s\n", message.c_str());
    return 1;
}

std::string LayoutName(video::ChromaLayout layout) {
    switch (layout) {
        case video::ChromaLayout::k420:
            return "4:2:0";
        case video::ChromaLayout::k422:
            return "4:2:2";
        default:
            return "4:4:4";
    }
}

// "V" or six comma-separated values, each from 0 to high.
bool ParseSix(const std::string& text, int high, std::vector<int>* values, std::string* error) {
    values->clear();
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string part = text.substr(start, comma - start);
        try {
            size_t used = 0;
            const int v = std::stoi(part, &used);
            if (used != part.size() || v < 0 || v > high) throw std::invalid_argument(part);
            values->push_back(v);
        } catch (const std::exception&) {
            *error = "'" + part + "' is not a whole number from 0 to " + std::to_string(high);
            return false;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (values->size() == 1) values->assign(6, values->front());
    if (values->size() != 6) {
        *error = "give one value for all six or six values, not " + std::to_string(values->size());
        return false;
    }
    return true;
}

// "I=V" with I from 0 to count-1 and V any 32-bit integer.
bool ParseAssignment(const std::string& text, int count, std::pair<int, int>* out,
                     std::string* error) {
    const size_t eq = text.find('=');
    try {
        if (eq == std::string::npos) throw std::invalid_argument(text);
        size_t used = 0;
        const std::string index = text.substr(0, eq), value = text.substr(eq + 1);
        const long i = std::stol(index, &used);
        if (used != index.size() || i < 0 || i >= count) throw std::invalid_argument(text);
        const long long v = std::stoll(value, &used);
        if (used != value.size() || v < INT32_MIN || v > INT32_MAX)
            throw std::invalid_argument(text);
        *out = {static_cast<int>(i), static_cast<int>(v)};
        return true;
    } catch (const std::exception&) {
        *error = "'" + text + "' is not I=V with I from 0 to " + std::to_string(count - 1) +
                 " and V a 32-bit integer";
        return false;
    }
}

// Progress on a terminal: frames, speed, and with a known input size the share
// done and the time left.
class Progress {
public:
    Progress(bool enabled, uint64_t totalBytes) : enabled_(enabled), total_(totalBytes) {}

    void Update(int64_t frames, uint64_t bytesRead) {
        if (!enabled_) return;
        const Clock::time_point now = Clock::now();
        if (now - last_ < std::chrono::milliseconds(250)) return;
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        char line[160];
        int n = std::snprintf(line, sizeof line, "\rskarvel: %lld frames, %.1f fps",
                              static_cast<long long>(frames), seconds > 0 ? frames / seconds : 0.0);
        if (total_ > 0 && bytesRead > 0) {
            const double share = std::min(1.0, double(bytesRead) / double(total_));
            const long left = static_cast<long>(seconds * (1.0 - share) / share + 0.5);
            n += std::snprintf(line + n, sizeof line - n, ", %.0f%%, %ld:%02ld left", share * 100.0,
                               left / 60, left % 60);
        }
        std::fprintf(stderr, "%s   ", line);
        shown_ = true;
    }
    void Clear() {
        if (shown_) std::fprintf(stderr, "\r%60s\r", "");
        shown_ = false;
    }

private:
    bool enabled_;
    uint64_t total_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_ = Clock::now();
    bool shown_ = false;
};

struct Paths {
    std::string in, out;
};

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return a != "-" && b != "-" && stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int Run(const Paths& paths, const video::Settings& settings, bool quiet) {
    if (SameFile(paths.in, paths.out)) return Fail(paths.in + " is both input and output");
    std::FILE* in = stdin;
    if (paths.in == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
    } else {
        in = std::fopen(paths.in.c_str(), "rb");
        if (in == nullptr) return Fail("cannot open " + paths.in + ": " + std::strerror(errno));
    }
    const std::string inName = paths.in == "-" ? "standard input" : paths.in;
    const std::string outName = paths.out == "-" ? "standard output" : paths.out;
    uint64_t totalBytes = 0;
    struct stat st;
    if (fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode)) totalBytes = uint64_t(st.st_size);

    video::FileSource source(in);
    video::Reader reader(&source);
    video::StreamHeader header;
    std::string error;
    if (!reader.ReadHeader(&header, &error)) return Fail(inName + ": " + error);
    video::Denoiser denoiser;
    if (!denoiser.Open(settings, header.format, &error)) return Fail(inName + ": " + error);

    std::FILE* out = stdout;
    if (paths.out == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);
#endif
    } else {
        out = std::fopen(paths.out.c_str(), "wb");
        if (out == nullptr) return Fail("cannot write " + paths.out + ": " + std::strerror(errno));
    }
    video::Writer writer(out);
    if (!writer.WriteHeader(header)) return Fail("cannot write " + outName);

    Progress progress(!quiet && isatty(fileno(stderr)), totalBytes);
    const Clock::time_point start = Clock::now();
    video::Frame frame;
    int64_t frames = 0;
    for (;;) {
        const video::Reader::Status status = reader.ReadFrame(&frame, &error);
        if (status == video::Reader::Status::kEnd) break;
        if (status == video::Reader::Status::kError) {
            writer.Flush();
            progress.Clear();
            return Fail(inName + ": " + error + "; the " + std::to_string(frames) + " whole frame" +
                        (frames == 1 ? "" : "s") + " before it went to " + outName);
        }
        denoiser.Process(&frame);
        if (!writer.WriteFrame(frame)) {
            progress.Clear();
            return Fail("cannot write " + outName + ": " + std::strerror(errno));
        }
        ++frames;
        progress.Update(frames, reader.BytesRead());
    }
    progress.Clear();
    if (!writer.Flush() || (out != stdout && std::fclose(out) != 0)) {
        return Fail("cannot write " + outName + ": " + std::strerror(errno));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!quiet) {
        const video::Format& f = header.format;
        std::fprintf(stderr, "skarvel: %lld frame%s in %.2f s, %.1f fps (%dx%d %s %d-bit, %s%s)\n",
                     static_cast<long long>(frames), frames == 1 ? "" : "s", seconds,
                     seconds > 0 ? frames / seconds : 0.0, f.width, f.height,
                     LayoutName(f.layout).c_str(), f.bits,
                     denoiser.DisplayMode() != 0 ? "coefficients of " : "",
                     denoiser.ChannelNames().c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app(
        "Reduces colour noise in video. Reads YUV4MPEG2 (Y4M) video, cleans the two chroma\n"
        "planes with the Skarvel filter (the Cb build for U, the Cr build for V) and writes\n"
        "Y4M again; brightness (luma) is passed through untouched. Use - for a pipe:\n"
        "  ffmpeg -i clip.mkv -f yuv4mpegpipe - | skarvel - - | ffmpeg -i - out.mkv\n"
        "Takes 4:2:0, 4:2:2 and 4:4:4 at 8 to 16 bits (ffmpeg needs -strict -1 to write\n"
        "Y4M above 8 bits); chroma planes up to 1024x1024 (1080p 4:2:0 fits).\n",
        "skarvel");
    app.set_version_flag("--version", std::string("skarvel " SKARVEL_VERSION));

    Paths paths;
    app.add_option("IN", paths.in, "Input Y4M file, or - for standard input");
    app.add_option("OUT", paths.out, "Output Y4M file, or - for standard output");

    int mode = -1, strength = -1, vertical = -1, display = -1;
    std::string edge, nr, channels = "cb,cr";
    bool halve = false, averagePairs = false, quiet = false;
    std::vector<std::string> rawTracks, rawChecks;
    video::Settings settings;
    settings.moduleDirectory = video::ExecutableDirectory();

    app.add_option("--mode", mode,
                   "How each line is transformed (default 2): 0 once, fastest;\n"
                   "1 two shifted copies averaged; 2 four shifted copies averaged,\n"
                   "fewest artefacts; 3 odd-phase transform")
        ->check(CLI::Range(0, 3))
        ->option_text("0-3");
    app.add_option("--edge", edge,
                   "Edge detection per wavelet level (default 75, range 0-150): one\n"
                   "value for all, or six from the coarsest level (Lv0) to the\n"
                   "finest (Lv5). Detail beside a colour change steeper than this\n"
                   "is kept; lower keeps more detail, 0 keeps everything")
        ->option_text("V|V0,..,V5");
    app.add_option("--nr", nr,
                   "Noise reduction per band (default 50, range 0-100): one value\n"
                   "for all, or six from the coarsest band (NR0L) to the finest\n"
                   "(NR5H). Higher removes more")
        ->option_text("V|V0,..,V5");
    app.add_option("--strength", strength,
                   "Overall strength in percent, scales every band (default 200)")
        ->check(CLI::Range(0, 200))
        ->option_text("0-200");
    app.add_option("--vertical", vertical,
                   "Strength of the pass down the columns in percent of the pass\n"
                   "along the rows (default 100); 0 filters along rows only")
        ->check(CLI::Range(0, 200))
        ->option_text("0-200");
    app.add_option("--display", display,
                   "Show the wavelet coefficients as a grey picture instead of\n"
                   "denoising (default 0, denoise): 1 of the rows, 2 of the rows\n"
                   "centred, 3 of the columns, 4 of the columns centred. Shows the\n"
                   "U plane's, the V plane's with --channels cr")
        ->check(CLI::Range(0, 4))
        ->option_text("0-4");
    app.add_flag("--halve", halve,
                 "Filter the rows at half width (faster, softer): every second\n"
                 "sample, or each pair's average with --average-pairs");
    app.add_flag("--average-pairs", averagePairs,
                 "With --halve, average each pair instead of taking the first");
    app.add_option("--channels", channels, "Chroma planes to clean (default cb,cr)")
        ->check(CLI::IsMember({"cb,cr", "cb", "cr"}))
        ->option_text("cb,cr|cb|cr");
    app.add_option("--track", rawTracks,
                   "Set the filter's track I (0-15) to V as it is, after the options\n"
                   "above, without range check: 0 mode, 1-6 edge levels, 7-12 band\n"
                   "strengths, 13 strength, 14 vertical, 15 display")
        ->option_text("I=V")
        ->allow_extra_args(false);
    app.add_option("--check", rawChecks,
                   "Set the filter's check box I to V as it is: 0 halve,\n"
                   "1 average pairs (1 is ticked)")
        ->option_text("I=V")
        ->allow_extra_args(false);
    app.add_option("--modules", settings.moduleDirectory,
                   "Directory of the filter modules skarvel_cb and skarvel_cr\n"
                   "(default: this program's directory)")
        ->option_text("DIR");
    app.add_option("--threads", settings.threads,
                   "2 (default) filters U and V at once, 1 one after the other")
        ->check(CLI::Range(1, 2))
        ->option_text("1|2");
    app.add_flag("--quiet,-q", quiet, "No progress and no summary on standard error");
    app.footer(
        "Progress shows on standard error when it is a terminal; a summary line\n"
        "follows at the end. Exit status: 0 done, 1 a fault in the input, the\n"
        "modules or the output (frames written before it stay valid), 2 a usage\n"
        "error.");

    video::DemoOptions demo;
    CLI::App* demoCommand =
        app.add_subcommand("demo",
                           "Make a test clip with edges, gradients and flat areas, add\n"
                           "colour noise, denoise it with the defaults and report the\n"
                           "chroma PSNR. Writes clean.y4m, noisy.y4m, denoised.y4m and\n"
                           "chroma.png (noisy left, denoised right)");
    demoCommand->footer("");
    demoCommand->add_option("DIR", demo.directory, "Where to write (default skarvel-demo)");
    demoCommand->add_option("--modules", demo.moduleDirectory, "Directory of the filter modules")
        ->option_text("DIR");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    if (demoCommand->parsed()) {
        if (demo.moduleDirectory.empty()) demo.moduleDirectory = video::ExecutableDirectory();
        return video::RunDemo(demo);
    }
    if (paths.in.empty() || paths.out.empty()) {
        std::fprintf(stderr, "skarvel: give IN and OUT (- for a pipe); --help tells more\n");
        return 2;
    }

    std::string error;
    auto usage = [&](const std::string& option) {
        std::fprintf(stderr, "skarvel: %s: %s\n", option.c_str(), error.c_str());
        return 2;
    };
    if (mode >= 0) settings.tracks.push_back({kTrackMode, mode});
    std::vector<int> six;
    if (!edge.empty()) {
        if (!ParseSix(edge, 150, &six, &error)) return usage("--edge");
        for (int i = 0; i < 6; ++i) settings.tracks.push_back({kTrackEdge0 + i, six[i]});
    }
    if (!nr.empty()) {
        if (!ParseSix(nr, 100, &six, &error)) return usage("--nr");
        for (int i = 0; i < 6; ++i) settings.tracks.push_back({kTrackBand0 + i, six[i]});
    }
    if (strength >= 0) settings.tracks.push_back({kTrackStrength, strength});
    if (vertical >= 0) settings.tracks.push_back({kTrackVertical, vertical});
    if (display >= 0) settings.tracks.push_back({video::kTrackDisplay, display});
    if (halve) settings.checks.push_back({video::kCheckHalve, 1});
    if (averagePairs) settings.checks.push_back({kCheckAveragePairs, 1});
    for (const std::string& t : rawTracks) {
        std::pair<int, int> a;
        if (!ParseAssignment(t, skarvel::kTrackCount, &a, &error)) return usage("--track");
        settings.tracks.push_back(a);
    }
    for (const std::string& c : rawChecks) {
        std::pair<int, int> a;
        if (!ParseAssignment(c, skarvel::kCheckCount, &a, &error)) return usage("--check");
        settings.checks.push_back(a);
    }
    settings.cb = channels.find("cb") != std::string::npos;
    settings.cr = channels.find("cr") != std::string::npos;
    return Run(paths, settings, quiet);
}
