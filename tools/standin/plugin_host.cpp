#include "tools/standin/plugin_host.h"

#include <cstddef>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <iconv.h>
#endif

namespace skarvel::standin {

namespace {

using GetFilterTableFunction = FilterRegistration* (*)();

#ifdef _WIN32
void* OpenLibrary(const std::string& path, std::string* error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr)
        *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return reinterpret_cast<void*>(module);
}
void* FindSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void CloseLibrary(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}
#else
void* OpenLibrary(const std::string& path, std::string* error) {
    // A path without a slash would be searched for; load exactly the file named.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) *error = std::string("cannot load ") + path + ": " + dlerror();
    return library;
}
void* FindSymbol(void* library, const char* name) {
    return dlsym(library, name);
}
void CloseLibrary(void* library) {
    dlclose(library);
}
#endif

bool CheckRegistration(const FilterRegistration& r, std::string* error) {
    auto fail = [&](const std::string& what) {
        *error = "the module's registration is unusable: " + what;
        return false;
    };
    if (r.name == nullptr) return fail("no filter name");
    if (r.trackCount < 0 || r.trackCount > 64)
        return fail("track count " + std::to_string(r.trackCount));
    if (r.checkCount < 0 || r.checkCount > 64)
        return fail("check count " + std::to_string(r.checkCount));
    if (r.trackCount > 0 && (r.trackLabels == nullptr || r.trackDefaults == nullptr ||
                             r.trackMinima == nullptr || r.trackMaxima == nullptr))
        return fail("track tables missing");
    if (r.checkCount > 0 && (r.checkLabels == nullptr || r.checkDefaults == nullptr))
        return fail("check tables missing");
    for (int i = 0; i < r.trackCount; ++i)
        if (r.trackLabels[i] == nullptr)
            return fail("track " + std::to_string(i) + " has no label");
    for (int i = 0; i < r.checkCount; ++i)
        if (r.checkLabels[i] == nullptr)
            return fail("check " + std::to_string(i) + " has no label");
    if (r.processFrame == nullptr) return fail("no frame callback");
    if (r.init == nullptr || r.exit == nullptr) return fail("no start-up or shutdown callback");
    if (r.update == nullptr) return fail("no update callback");
    return true;
}

}  // namespace

std::unique_ptr<PluginHost> PluginHost::Load(const std::string& path, std::string* error) {
    std::unique_ptr<PluginHost> host(new PluginHost());
    host->library_ = OpenLibrary(path, error);
    if (host->library_ == nullptr) return nullptr;
    auto getTable =
        reinterpret_cast<GetFilterTableFunction>(FindSymbol(host->library_, "GetFilterTable"));
    if (getTable == nullptr) {
        *error = path + " does not export GetFilterTable: not a filter module";
        return nullptr;
    }
    host->registration_ = getTable();
    if (host->registration_ == nullptr) {
        *error = path + ": GetFilterTable returned no registration";
        return nullptr;
    }
    if (!CheckRegistration(*host->registration_, error)) return nullptr;

    const FilterRegistration& r = *host->registration_;
    host->tracks_.assign(r.trackDefaults, r.trackDefaults + r.trackCount);
    host->checks_.assign(r.checkDefaults, r.checkDefaults + r.checkCount);
    // The host's record starts as a copy of the registration; then the host
    // fills in its own fields.
    host->record_.instance.record = r;
    host->record_.owner = host.get();
    host->services_.refreshWindow = &PluginHost::Refresh;
    host->record_.instance.record.services = &host->services_;
    return host;
}

PluginHost::~PluginHost() {
    if (started_) registration_->exit(&record_.instance);
    if (library_ != nullptr) CloseLibrary(library_);
}

int32_t PluginHost::Refresh(FilterInstance* instance) {
    // The instance is the first member of Record, so the record is at the same address.
    PluginHost* self = reinterpret_cast<Record*>(instance)->owner;
    ++self->refreshCount_;
    self->tracksAtRefresh_ = self->tracks_;
    return 1;
}

bool PluginHost::Start(std::string* error) {
    record_.instance.record.trackValues = tracks_.data();
    record_.instance.record.checkValues = checks_.data();
    if (registration_->init(&record_.instance) == 0) {
        *error = std::string(registration_->name) + ": start-up failed (out of memory?)";
        registration_->exit(&record_.instance);
        return false;
    }
    started_ = true;
    Update();
    return true;
}

void PluginHost::Update() {
    record_.instance.record.trackValues = tracks_.data();
    record_.instance.record.checkValues = checks_.data();
    registration_->update(&record_.instance, 0);
}

int32_t PluginHost::Process(YcPixel* pixels, int32_t width, int32_t height, int32_t pitch) {
    FrameInfo frame{};
    frame.pixels = pixels;
    frame.width = width;
    frame.height = height;
    frame.pitch = pitch;
    return registration_->processFrame(&record_.instance, &frame);
}

int32_t PluginHost::Message(uint32_t message, int32_t lParam) {
    if (registration_->windowProc == nullptr) return 0;
    record_.instance.record.trackValues = tracks_.data();
    record_.instance.record.checkValues = checks_.data();
    return registration_->windowProc(nullptr, message, 0, lParam, nullptr, &record_.instance);
}

std::string ShiftJisToUtf8(const char* text) {
#ifdef _WIN32
    const int wide = MultiByteToWideChar(932, 0, text, -1, nullptr, 0);
    if (wide <= 0) return text;
    std::wstring buffer(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(932, 0, text, -1, buffer.data(), wide);
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, buffer.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, buffer.c_str(), -1, out.data(), bytes, nullptr, nullptr);
    out.resize(std::strlen(out.c_str()));
    return out;
#else
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return text;
    std::string in(text);
    std::string out(in.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<size_t>(-1)) return text;
    out.resize(out.size() - outLeft);
    return out;
#endif
}

}  // namespace skarvel::standin
