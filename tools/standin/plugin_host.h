// A stand-in for the editor: loads a filter module, keeps its track and check
// values and calls its callbacks the way the editor does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/host_records.h"

namespace skarvel::standin {

// One loaded module with the host's record of its filter. The module's state
// is per load: two hosts of the same file share it, so use one per file.
class PluginHost {
public:
    // Loads the module and checks its registration; nullptr with *error set on failure.
    static std::unique_ptr<PluginHost> Load(const std::string& path, std::string* error);
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    const FilterRegistration& Registration() const { return *registration_; }
    std::vector<int32_t>& Tracks() { return tracks_; }
    std::vector<int32_t>& Checks() { return checks_; }

    // Start-up: InitFilter, then one UpdateParameters with the current values.
    bool Start(std::string* error);
    void Update();
    // Processes one frame in place; returns the callback's result.
    int32_t Process(YcPixel* pixels, int32_t width, int32_t height, int32_t pitch);
    // Delivers a message to the settings window procedure.
    int32_t Message(uint32_t message, int32_t lParam);

    // Window refreshes the module asked for, with the track values seen then.
    int RefreshCount() const { return refreshCount_; }
    const std::vector<int32_t>& TracksAtLastRefresh() const { return tracksAtRefresh_; }

private:
    PluginHost() = default;
    static int32_t Refresh(FilterInstance* instance);

    void* library_ = nullptr;
    FilterRegistration* registration_ = nullptr;
    // The instance must stay first-member-addressable for Refresh to find us.
    struct Record {
        FilterInstance instance;
        PluginHost* owner;
    } record_{};
    HostServices services_{};
    std::vector<int32_t> tracks_;
    std::vector<int32_t> checks_;
    int refreshCount_ = 0;
    std::vector<int32_t> tracksAtRefresh_;
    bool started_ = false;
};

// Shift-JIS (code page 932) to UTF-8, for showing the module's labels.
std::string ShiftJisToUtf8(const char* text);

}  // namespace skarvel::standin
