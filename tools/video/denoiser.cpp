#include "tools/video/denoiser.h"

#include <climits>
#include <cstdint>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifndef SKARVEL_MODULE_SUFFIX
#define SKARVEL_MODULE_SUFFIX ".so"
#endif

namespace skarvel::video {

namespace {

const char* ModuleName(Channel channel) {
    return channel == Channel::kCb ? "skarvel_cb" SKARVEL_MODULE_SUFFIX
                                   : "skarvel_cr" SKARVEL_MODULE_SUFFIX;
}
const char* FilterName(Channel channel) {
    return channel == Channel::kCb ? "Skarvel_Cb" : "Skarvel_Cr";
}

}  // namespace

std::string ModulePath(const std::string& directory, Channel channel) {
    if (directory.empty()) return ModuleName(channel);
    const char last = directory.back();
    return directory + (last == '/' || last == '\\' ? "" : "/") + ModuleName(channel);
}

std::string ExecutableDirectory() {
#ifdef _WIN32
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n);
    const size_t slash = p.find_last_of("\\/");
#else
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string p(path, static_cast<size_t>(n));
    const size_t slash = p.rfind('/');
#endif
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

PlaneFilter::PlaneFilter(std::unique_ptr<standin::PluginHost> host, Channel channel,
                         const Format& format)
    : host_(std::move(host)),
      channel_(channel),
      width_(format.ChromaWidth()),
      height_(format.ChromaHeight()),
      bytesPerSample_(format.BytesPerSample()),
      scale_(format.bits),
      pixels_(size_t(width_) * height_),
      given_(size_t(width_) * height_) {}

void PlaneFilter::Load(const uint8_t* plane) {
    const size_t count = pixels_.size();
    for (size_t i = 0; i < count; ++i) {
        const int16_t value = scale_.ToHost(LoadSample(plane, i, bytesPerSample_));
        given_[i] = value;
        YcPixel& pixel = pixels_[i];
        pixel.y = 0;
        pixel.cb = channel_ == Channel::kCb ? value : 0;
        pixel.cr = channel_ == Channel::kCr ? value : 0;
    }
    host_->Process(pixels_.data(), width_, height_, width_);
}

void PlaneFilter::Denoise(uint8_t* plane) {
    Load(plane);
    const size_t count = pixels_.size();
    for (size_t i = 0; i < count; ++i) {
        const int16_t value = Field(pixels_[i]);
        if (value != given_[i]) StoreSample(plane, i, bytesPerSample_, scale_.FromHost(value));
    }
}

void PlaneFilter::Display(const uint8_t* plane, std::vector<int16_t>* grey) {
    Load(plane);
    grey->resize(pixels_.size());
    for (size_t i = 0; i < pixels_.size(); ++i) (*grey)[i] = pixels_[i].y;
}

Worker::Worker() : thread_([this] { Run(); }) {}

Worker::~Worker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void Worker::Post(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = std::move(job);
        busy_ = true;
    }
    changed_.notify_all();
}

void Worker::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
}

void Worker::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || stopping_; });
        if (busy_) {
            std::function<void()> job = std::move(job_);
            lock.unlock();
            job();
            lock.lock();
            busy_ = false;
            changed_.notify_all();
        } else {
            return;
        }
    }
}

bool Denoiser::Open(const Settings& settings, const Format& format, std::string* error) {
    format_ = format;
    filters_.clear();
    planes_.clear();
    worker_.reset();
    if (!settings.cb && !settings.cr) {
        *error = "no channel chosen";
        return false;
    }

    // The line buffers hold 1024 samples; at half width the rows are halved first.
    bool halve = false;
    for (auto [index, value] : settings.checks) {
        if (index == kCheckHalve) halve = value == 1;
    }
    const int lineWidth = halve ? format.ChromaWidth() / 2 : format.ChromaWidth();
    if (lineWidth > kMaxPlaneLine || format.ChromaHeight() > kMaxPlaneLine) {
        *error = "the chroma planes are " + std::to_string(format.ChromaWidth()) + "x" +
                 std::to_string(format.ChromaHeight()) +
                 ", larger than the filter can take: it handles planes of up to 1024x1024 "
                 "samples (up to 2049 wide with --halve)";
        return false;
    }

    for (Channel channel : {Channel::kCb, Channel::kCr}) {
        if (!(channel == Channel::kCb ? settings.cb : settings.cr)) continue;
        const std::string path = ModulePath(settings.moduleDirectory, channel);
        std::unique_ptr<standin::PluginHost> host = standin::PluginHost::Load(path, error);
        if (!host) return false;
        if (std::strcmp(host->Registration().name, FilterName(channel)) != 0) {
            *error = path + " registers the filter " +
                     standin::ShiftJisToUtf8(host->Registration().name) + ", not " +
                     FilterName(channel) + " for the " + (channel == Channel::kCb ? "U" : "V") +
                     " plane";
            return false;
        }
        for (auto [index, value] : settings.tracks) host->Tracks().at(index) = value;
        for (auto [index, value] : settings.checks) host->Checks().at(index) = value;
        displayMode_ = host->Tracks().at(kTrackDisplay);
        if (!host->Start(error)) return false;
        filters_.push_back(std::make_unique<PlaneFilter>(std::move(host), channel, format));
        planes_.push_back(channel == Channel::kCb ? 1 : 2);
    }
    if (settings.threads > 1 && filters_.size() > 1 && displayMode_ == 0) {
        worker_ = std::make_unique<Worker>();
    }
    return true;
}

std::string Denoiser::ChannelNames() const {
    std::string names;
    for (int plane : planes_) {
        if (!names.empty()) names += " and ";
        names += plane == 1 ? "Cb" : "Cr";
    }
    return names;
}

void Denoiser::Process(Frame* frame) {
    if (displayMode_ != 0) {
        ShowCoefficients(frame);
        return;
    }
    if (worker_) {
        // Each module always runs on the same thread: V on the worker, U here.
        PlaneFilter* second = filters_[1].get();
        uint8_t* secondPlane = frame->Plane(format_, planes_[1]);
        worker_->Post([second, secondPlane] { second->Denoise(secondPlane); });
        filters_[0]->Denoise(frame->Plane(format_, planes_[0]));
        worker_->Wait();
        return;
    }
    for (size_t i = 0; i < filters_.size(); ++i) {
        filters_[i]->Denoise(frame->Plane(format_, planes_[i]));
    }
}

void Denoiser::ShowCoefficients(Frame* frame) {
    // The first channel's coefficient picture becomes the luma, nearest
    // neighbour up to the frame size; the chroma turns neutral.
    filters_[0]->Display(frame->Plane(format_, planes_[0]), &grey_);
    const int bytes = format_.BytesPerSample();
    const int cw = format_.ChromaWidth(), ch = format_.ChromaHeight();
    const int w = format_.width, h = format_.height;
    uint8_t* luma = frame->Plane(format_, 0);
    std::vector<uint32_t> shades(4096 + 1);
    for (int v = 0; v <= 4096; ++v) shades[v] = HostToLuma(v, format_.bits);
    for (int y = 0; y < h; ++y) {
        const int sy = int(int64_t(y) * ch / h);
        for (int x = 0; x < w; ++x) {
            const int sx = int(int64_t(x) * cw / w);
            const int16_t g = grey_[size_t(sy) * cw + sx];
            const uint32_t sample = g <= 0 ? shades[0] : g >= 4096 ? shades[4096] : shades[g];
            StoreSample(luma, size_t(y) * w + x, bytes, sample);
        }
    }
    const uint32_t neutral = uint32_t(1) << (format_.bits - 1);
    for (int plane : {1, 2}) {
        uint8_t* data = frame->Plane(format_, plane);
        for (size_t i = 0; i < size_t(cw) * ch; ++i) StoreSample(data, i, bytes, neutral);
    }
}

}  // namespace skarvel::video
