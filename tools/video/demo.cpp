#include "tools/video/demo.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "tools/video/denoiser.h"
#include "tools/video/png.h"
#include "tools/video/y4m.h"

namespace skarvel::video {

namespace {

constexpr int kWidth = 640, kHeight = 480, kFrames = 10;
constexpr double kNoiseSigma = 5.0;  // in 8-bit chroma steps
constexpr uint64_t kSeed = 20240607;
constexpr double kPi = 3.14159265358979323846;

// Normal deviates from a fixed-seed generator whose output the language pins
// down (std::normal_distribution is not the same everywhere).
class Gaussian {
public:
    explicit Gaussian(uint64_t seed) : engine_(seed) {}
    double Next() {
        if (haveSpare_) {
            haveSpare_ = false;
            return spare_;
        }
        const double u1 = (double(engine_() >> 11) + 1.0) * 0x1.0p-53;  // (0, 1]
        const double u2 = double(engine_() >> 11) * 0x1.0p-53;
        const double r = std::sqrt(-2.0 * std::log(u1));
        spare_ = r * std::sin(2.0 * kPi * u2);
        haveSpare_ = true;
        return r * std::cos(2.0 * kPi * u2);
    }

private:
    std::mt19937_64 engine_;
    double spare_ = 0.0;
    bool haveSpare_ = false;
};

uint8_t Clamp8(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// One frame of the clean clip: smooth gradients, flat patches with sharp
// borders, colour bars and a disc that moves from frame to frame.
void DrawFrame(const Format& f, int t, Frame* frame) {
    frame->parameters.clear();
    frame->data.assign(static_cast<size_t>(f.FrameBytes()), 0);
    const int cw = f.ChromaWidth(), ch = f.ChromaHeight();
    const double discX = 0.2 + 0.06 * t, discY = 0.55, radius = 0.16;
    // Chroma at a point given in frame fractions; also says which shape it is in.
    auto chroma = [&](double x, double y, int* shape) {
        *shape = 0;
        double u = 128 + 60 * (x - 0.5), v = 128 + 50 * std::sin(kPi * (y - 0.5));
        if (x >= 0.06 && x < 0.36 && y >= 0.08 && y < 0.40) u = 96, v = 176, *shape = 1;
        if (x >= 0.60 && x < 0.94 && y >= 0.12 && y < 0.48) u = 178, v = 104, *shape = 2;
        const double dx = (x - discX) * f.width / f.height, dy = y - discY;
        if (dx * dx + dy * dy < radius * radius) u = 70, v = 84, *shape = 3;
        if (y >= 0.82) {
            static const int kBars[8][2] = {{128, 128}, {44, 142},  {156, 44},  {72, 58},
                                            {184, 198}, {212, 114}, {100, 212}, {128, 128}};
            const int bar = std::min(7, int(x * 8));
            u = kBars[bar][0], v = kBars[bar][1], *shape = 4 + bar;
        }
        return std::pair<double, double>(u, v);
    };
    uint8_t* luma = frame->Plane(f, 0);
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            int shape;
            chroma((x + 0.5) / f.width, (y + 0.5) / f.height, &shape);
            luma[size_t(y) * f.width + x] =
                Clamp8(shape == 0 ? 60 + 120.0 * y / f.height : 90 + 14 * shape);
        }
    }
    uint8_t* planeU = frame->Plane(f, 1);
    uint8_t* planeV = frame->Plane(f, 2);
    for (int y = 0; y < ch; ++y) {
        for (int x = 0; x < cw; ++x) {
            int shape;
            const auto [u, v] = chroma((x + 0.5) / cw, (y + 0.5) / ch, &shape);
            planeU[size_t(y) * cw + x] = Clamp8(u);
            planeV[size_t(y) * cw + x] = Clamp8(v);
        }
    }
}

void AddChromaNoise(const Format& f, Gaussian* noise, Frame* frame) {
    for (int plane : {1, 2}) {
        uint8_t* data = frame->Plane(f, plane);
        for (size_t i = 0; i < f.PlaneBytes(plane); ++i) {
            data[i] = Clamp8(data[i] + kNoiseSigma * noise->Next());
        }
    }
}

struct ErrorSum {
    double squares = 0;
    uint64_t count = 0;
    void Add(const Format& f, const Frame& a, const Frame& b) {
        for (int plane : {1, 2}) {
            const uint8_t* p = a.Plane(f, plane);
            const uint8_t* q = b.Plane(f, plane);
            for (size_t i = 0; i < f.PlaneBytes(plane); ++i) {
                const double d = double(p[i]) - double(q[i]);
                squares += d * d;
            }
            count += f.PlaneBytes(plane);
        }
    }
    double Psnr() const {
        const double mse = squares / double(count);
        return mse == 0 ? INFINITY : 10.0 * std::log10(255.0 * 255.0 / mse);
    }
};

// The chroma of a frame as colour at a middle grey, two display pixels per sample.
void PaintChroma(const Format& f, const Frame& frame, int left, int pictureWidth,
                 std::vector<uint8_t>* rgb) {
    const int cw = f.ChromaWidth(), ch = f.ChromaHeight();
    const uint8_t* planeU = frame.Plane(f, 1);
    const uint8_t* planeV = frame.Plane(f, 2);
    for (int y = 0; y < 2 * ch; ++y) {
        for (int x = 0; x < 2 * cw; ++x) {
            const size_t s = size_t(y / 2) * cw + x / 2;
            const double u = planeU[s] - 128.0, v = planeV[s] - 128.0, grey = 128.0;
            uint8_t* px = &(*rgb)[(size_t(y) * pictureWidth + left + x) * 3];
            px[0] = Clamp8(grey + 1.402 * 2.0 * v);
            px[1] = Clamp8(grey - (0.344 * u + 0.714 * v) * 2.0);
            px[2] = Clamp8(grey + 1.772 * 2.0 * u);
        }
    }
}

bool MakeDirectory(const std::string& path, std::string* error) {
#ifdef _WIN32
    const int result = mkdir(path.c_str());
#else
    const int result = mkdir(path.c_str(), 0777);
#endif
    if (result == 0 || errno == EEXIST) return true;
    *error = "cannot make " + path + ": " + std::strerror(errno);
    return false;
}

class ClipFile {
public:
    bool Open(const std::string& path, const StreamHeader& header, std::string* error) {
        path_ = path;
        file_ = std::fopen(path.c_str(), "wb");
        if (file_ == nullptr || !Writer(file_).WriteHeader(header)) return Fault(error);
        return true;
    }
    bool Write(const Frame& frame, std::string* error) {
        return Writer(file_).WriteFrame(frame) || Fault(error);
    }
    bool Close(std::string* error) {
        const bool ok = std::fclose(file_) == 0;
        file_ = nullptr;
        return ok || Fault(error);
    }
    ~ClipFile() {
        if (file_ != nullptr) std::fclose(file_);
    }

private:
    bool Fault(std::string* error) {
        *error = "cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    std::string path_;
    std::FILE* file_ = nullptr;
};

}  // namespace

int RunDemo(const DemoOptions& options) {
    std::string error;
    auto fail = [&] {
        std::fprintf(stderr, "skarvel demo: %s\n", error.c_str());
        return 1;
    };
    StreamHeader header;
    if (!ParseStreamHeader("YUV4MPEG2 W" + std::to_string(kWidth) + " H" + std::to_string(kHeight) +
                               " F25:1 Ip A1:1 C420mpeg2",
                           &header, &error)) {
        return fail();
    }
    const Format& f = header.format;
    Settings settings;
    settings.moduleDirectory = options.moduleDirectory;
    Denoiser denoiser;
    if (!denoiser.Open(settings, f, &error) || !MakeDirectory(options.directory, &error)) {
        return fail();
    }

    const std::string dir = options.directory + "/";
    ClipFile clean, noisy, denoised;
    if (!clean.Open(dir + "clean.y4m", header, &error) ||
        !noisy.Open(dir + "noisy.y4m", header, &error) ||
        !denoised.Open(dir + "denoised.y4m", header, &error)) {
        return fail();
    }
    Gaussian noise(kSeed);
    ErrorSum noisyError, denoisedError;
    const int shown = kFrames / 2;
    const int pictureWidth = 4 * f.ChromaWidth() + 8, pictureHeight = 2 * f.ChromaHeight();
    std::vector<uint8_t> picture(size_t(pictureWidth) * pictureHeight * 3, 255);
    Frame cleanFrame, noisyFrame, outFrame;
    for (int t = 0; t < kFrames; ++t) {
        DrawFrame(f, t, &cleanFrame);
        noisyFrame = cleanFrame;
        AddChromaNoise(f, &noise, &noisyFrame);
        outFrame = noisyFrame;
        denoiser.Process(&outFrame);
        noisyError.Add(f, noisyFrame, cleanFrame);
        denoisedError.Add(f, outFrame, cleanFrame);
        if (!clean.Write(cleanFrame, &error) || !noisy.Write(noisyFrame, &error) ||
            !denoised.Write(outFrame, &error)) {
            return fail();
        }
        if (t == shown) {
            PaintChroma(f, noisyFrame, 0, pictureWidth, &picture);
            PaintChroma(f, outFrame, 2 * f.ChromaWidth() + 8, pictureWidth, &picture);
        }
    }
    if (!clean.Close(&error) || !noisy.Close(&error) || !denoised.Close(&error) ||
        !WritePng(dir + "chroma.png", pictureWidth, pictureHeight, picture, &error)) {
        return fail();
    }
    std::printf(
        "skarvel demo: %d frames of %dx%d 4:2:0, chroma noise of sigma %.0f added "
        "(seed %llu), denoised with the default settings\n",
        kFrames, kWidth, kHeight, kNoiseSigma, static_cast<unsigned long long>(kSeed));
    std::printf("chroma PSNR against the clean clip: noisy %.2f dB, denoised %.2f dB (%+.2f dB)\n",
                noisyError.Psnr(), denoisedError.Psnr(), denoisedError.Psnr() - noisyError.Psnr());
    std::printf(
        "wrote %sclean.y4m, noisy.y4m, denoised.y4m and chroma.png (frame %d's chroma, "
        "noisy left, denoised right)\n",
        dir.c_str(), shown + 1);
    return 0;
}

}  // namespace skarvel::video
