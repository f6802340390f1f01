#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace plat {

// Operation codes of the handset driver's one entry.
constexpr uint32_t kHandsetOpen = 0;
constexpr uint32_t kHandsetDisplayText = 260;
constexpr uint32_t kHandsetRing = 0x1008;
constexpr uint32_t kHandsetStopRing = 0x1002;
constexpr uint32_t kHandsetClose = 0xFFFF;

// What the driver calls for every key event once opened: the event type and the key code.
// It runs on a thread of the driver's own.
using HandsetEventCallback = uint32_t (*)(uint32_t type, uint32_t code);

// A USB telephone handset's driver: one entry that takes an operation code and five arguments
// (a pointer, a length or value, a pointer, a length, a pointer to a result) and returns
// non-zero for success. The operations:
//   kHandsetOpen         in: the HandsetEventCallback, value: an opaque context; non-zero only
//                        when a handset is present, and from then on the callback gets every
//                        key event
//   kHandsetDisplayText  in: the text, value: the number of characters to show
//   kHandsetRing         in: one byte holding 1, value: 1, result: the driver's result
//   kHandsetStopRing     result: the driver's result
//   kHandsetClose        ends the connection and the callbacks
//
// Threads: the operations are called on the GUI thread; implementations say how they call
// the callback.
class HandsetDriver {
public:
    virtual ~HandsetDriver() = default;
    virtual uint32_t DeviceIoControl(uint32_t code, void* in, uintptr_t value, void* out,
                                     uint32_t outLength, uint32_t* result) = 0;
};

// No handset: every operation fails and nothing else happens.
class NullHandsetDriver final : public HandsetDriver {
public:
    uint32_t DeviceIoControl(uint32_t, void*, uintptr_t, void*, uint32_t, uint32_t*) override {
        return 0;
    }
};

// The entry a driver library exports under the name "YL_DeviceIoControl".
using HandsetDriverEntry = uint32_t (*)(uint32_t code, void* in, uintptr_t value, void* out,
                                        uint32_t outLength, uint32_t* result);

// Loads a driver library and its entry. Null, with *error set, when the library cannot be
// loaded or lacks the entry. The library stays loaded while the returned driver lives.
std::unique_ptr<HandsetDriver> LoadHandsetDriver(const std::string& path, std::string* error);

// The library the program looks for: $QUORVEX_HANDSET_DRIVER when set, else libylusbtel.so
// beside the program, else libylusbtel.so on the loader's search path.
std::string HandsetDriverLibraryPath();

// The process-wide driver: the one a test installed, else the loaded library, else the null
// driver (the first call decides and traces which on the debug output).
HandsetDriver& CurrentHandsetDriver();
// Installs a driver (nullptr restores the default); returns the one it replaced.
HandsetDriver* SetHandsetDriver(HandsetDriver* driver);

class ScopedHandsetDriver {
public:
    explicit ScopedHandsetDriver(HandsetDriver& driver) : previous_(SetHandsetDriver(&driver)) {}
    ~ScopedHandsetDriver() { SetHandsetDriver(previous_); }
    ScopedHandsetDriver(const ScopedHandsetDriver&) = delete;
    ScopedHandsetDriver& operator=(const ScopedHandsetDriver&) = delete;

private:
    HandsetDriver* previous_;
};

} // namespace plat
