// Runs the chroma planes of Y4M frames through the two filter modules: the Cb
// build for U, the Cr build for V, each plane at its own resolution on the
// host's scale, each module on a thread of its own.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/host_records.h"
#include "tools/standin/plugin_host.h"
#include "tools/video/scale.h"
#include "tools/video/y4m.h"

namespace skarvel::video {

enum class Channel { kCb, kCr };

constexpr int kMaxPlaneLine = 1024;  // the filter's line buffers
constexpr int kTrackDisplay = 15;
constexpr int kCheckHalve = 0;

struct Settings {
    std::string moduleDirectory;  // where skarvel_cb and skarvel_cr are
    bool cb = true;
    bool cr = true;
    // Track and check values set on both modules, in order, over their defaults.
    std::vector<std::pair<int, int>> tracks;
    std::vector<std::pair<int, int>> checks;
    int threads = 2;
};

// The module file of a channel in a directory.
std::string ModulePath(const std::string& directory, Channel channel);
// The directory this executable lives in ("." when it cannot be found).
std::string ExecutableDirectory();

// One chroma plane and the module that filters it.
class PlaneFilter {
public:
    PlaneFilter(std::unique_ptr<standin::PluginHost> host, Channel channel, const Format& format);

    // Denoises the plane in place. Samples whose host value the module gave
    // back unchanged keep their original value, so an idle filter is exact
    // even where several samples share one host value.
    void Denoise(uint8_t* plane);
    // Runs the coefficient display: *grey receives the module's luma field,
    // one value per plane sample.
    void Display(const uint8_t* plane, std::vector<int16_t>* grey);

    standin::PluginHost& Host() { return *host_; }

private:
    void Load(const uint8_t* plane);
    int16_t& Field(YcPixel& pixel) const { return channel_ == Channel::kCb ? pixel.cb : pixel.cr; }

    std::unique_ptr<standin::PluginHost> host_;
    Channel channel_;
    int width_, height_, bytesPerSample_;
    ChromaScale scale_;
    std::vector<YcPixel> pixels_;
    std::vector<int16_t> given_;  // the host values handed to the module
};

// Runs jobs on a thread of its own, one at a time.
class Worker {
public:
    Worker();
    ~Worker();
    void Post(std::function<void()> job);
    void Wait();

private:
    void Run();
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

class Denoiser {
public:
    // Loads and starts the modules of the chosen channels for frames of this
    // format; false with *error set when a module is unusable or the planes
    // are too large for the filter.
    bool Open(const Settings& settings, const Format& format, std::string* error);
    // Filters one frame in place: denoised chroma, or with a display value
    // the coefficient picture of the first channel as grey.
    void Process(Frame* frame);

    int DisplayMode() const { return displayMode_; }
    std::string ChannelNames() const;

private:
    void ShowCoefficients(Frame* frame);

    Format format_;
    std::vector<std::unique_ptr<PlaneFilter>> filters_;  // U first when both
    std::vector<int> planes_;                            // plane index of each filter
    int displayMode_ = 0;
    std::unique_ptr<Worker> worker_;
    std::vector<int16_t> grey_;
};

}  // namespace skarvel::video
