#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/desktop/HandsetDriver.h"

namespace plat {

// A handset driver for tests: records every call, may or may not have a handset present, and
// delivers injected key events on a thread of its own, as a real driver does.
//
// Threads: any. lock_ guards every field; it is not held while the callback runs.
class FakeHandsetDriver final : public HandsetDriver {
public:
    struct Call {
        uint32_t code = 0;
        std::vector<uint8_t> in; // the bytes passed for display text and ring
        uintptr_t value = 0;
        bool withResult = false; // a result pointer was passed
    };

    explicit FakeHandsetDriver(bool present = true) : present_(present) {}

    uint32_t DeviceIoControl(uint32_t code, void* in, uintptr_t value, void* out,
                             uint32_t outLength, uint32_t* result) override;

    void SetPresent(bool present);
    // What Ring and StopRing answer (returned and written to the result).
    void SetRingResult(uint32_t result);

    std::vector<Call> Calls();
    int Count(uint32_t code);
    bool IsOpen();
    // The last text shown, as many characters as asked for (zero bytes kept).
    std::string Display();

    // Calls the callback of an open handset with (type, code) on a new thread and waits for
    // it; returns the callback's result, or 0 when the handset is not open.
    uint32_t InjectEvent(uint32_t type, uint32_t code);

private:
    std::mutex lock_;
    bool present_;
    bool open_ = false;
    HandsetEventCallback callback_ = nullptr;
    uint32_t ringResult_ = 1;
    std::string display_;
    std::vector<Call> calls_;
};

} // namespace plat
