#include "platform/desktop/HandsetDriver.h"

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

#include "platform/core/DebugOutput.h"
#include "platform/core/Paths.h"

namespace plat {
namespace {

constexpr const char* kLibraryName = "libylusbtel.so";
constexpr const char* kEntryName = "YL_DeviceIoControl";

// A driver library loaded with dlopen; the handle is closed with the driver.
class LibraryHandsetDriver final : public HandsetDriver {
public:
    LibraryHandsetDriver(void* handle, HandsetDriverEntry entry) : handle_(handle), entry_(entry) {}
    ~LibraryHandsetDriver() override { dlclose(handle_); }
    uint32_t DeviceIoControl(uint32_t code, void* in, uintptr_t value, void* out,
                             uint32_t outLength, uint32_t* result) override {
        return entry_(code, in, value, out, outLength, result);
    }

private:
    void* handle_;
    HandsetDriverEntry entry_;
};

std::atomic<HandsetDriver*> g_installed{nullptr};

HandsetDriver& DefaultDriver() {
    static std::unique_ptr<HandsetDriver> driver = [] {
        std::string path = HandsetDriverLibraryPath();
        std::string error;
        std::unique_ptr<HandsetDriver> loaded = LoadHandsetDriver(path, &error);
        if (loaded) {
            DebugOutput(("handset driver: " + path + "\n").c_str());
            return loaded;
        }
        DebugOutput(("handset driver: none (" + error + ")\n").c_str());
        return std::unique_ptr<HandsetDriver>(std::make_unique<NullHandsetDriver>());
    }();
    return *driver;
}

} // namespace

std::unique_ptr<HandsetDriver> LoadHandsetDriver(const std::string& path, std::string* error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        *error = why ? why : ("cannot load " + path);
        return nullptr;
    }
    void* symbol = dlsym(handle, kEntryName);
    if (symbol == nullptr) {
        *error = path + " has no " + kEntryName;
        dlclose(handle);
        return nullptr;
    }
    return std::make_unique<LibraryHandsetDriver>(handle,
                                                  reinterpret_cast<HandsetDriverEntry>(symbol));
}

std::string HandsetDriverLibraryPath() {
    const char* over = std::getenv("QUORVEX_HANDSET_DRIVER");
    if (over != nullptr && *over != '\0') {
        return over;
    }
    std::string beside = JoinPath(ProgramDir(), kLibraryName);
    if (access(beside.c_str(), R_OK) == 0) {
        return beside;
    }
    return kLibraryName;
}

HandsetDriver& CurrentHandsetDriver() {
    HandsetDriver* installed = g_installed.load();
    return installed != nullptr ? *installed : DefaultDriver();
}

HandsetDriver* SetHandsetDriver(HandsetDriver* driver) {
    return g_installed.exchange(driver);
}

} // namespace plat
