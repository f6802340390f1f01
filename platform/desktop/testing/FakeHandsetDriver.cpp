#include "platform/desktop/testing/FakeHandsetDriver.h"

#include <thread>

namespace plat {

uint32_t FakeHandsetDriver::DeviceIoControl(uint32_t code, void* in, uintptr_t value, void*,
                                            uint32_t, uint32_t* result) {
    std::lock_guard<std::mutex> guard(lock_);
    Call call;
    call.code = code;
    call.value = value;
    call.withResult = result != nullptr;
    if ((code == kHandsetDisplayText || code == kHandsetRing) && in != nullptr && value <= 256) {
        const auto* bytes = static_cast<const uint8_t*>(in);
        call.in.assign(bytes, bytes + value);
    }
    calls_.push_back(call);
    switch (code) {
    case kHandsetOpen:
        if (!present_) {
            return 0;
        }
        open_ = true;
        callback_ = reinterpret_cast<HandsetEventCallback>(in);
        return 1;
    case kHandsetDisplayText:
        if (!open_) {
            return 0;
        }
        display_.assign(call.in.begin(), call.in.end());
        return 1;
    case kHandsetRing:
    case kHandsetStopRing:
        if (result != nullptr) {
            *result = ringResult_;
        }
        return open_ ? ringResult_ : 0;
    case kHandsetClose:
        open_ = false;
        callback_ = nullptr;
        return 1;
    default:
        return 0;
    }
}

void FakeHandsetDriver::SetPresent(bool present) {
    std::lock_guard<std::mutex> guard(lock_);
    present_ = present;
}

void FakeHandsetDriver::SetRingResult(uint32_t result) {
    std::lock_guard<std::mutex> guard(lock_);
    ringResult_ = result;
}

std::vector<FakeHandsetDriver::Call> FakeHandsetDriver::Calls() {
    std::lock_guard<std::mutex> guard(lock_);
    return calls_;
}

int FakeHandsetDriver::Count(uint32_t code) {
    std::lock_guard<std::mutex> guard(lock_);
    int n = 0;
    for (const Call& call : calls_) {
        n += call.code == code ? 1 : 0;
    }
    return n;
}

bool FakeHandsetDriver::IsOpen() {
    std::lock_guard<std::mutex> guard(lock_);
    return open_;
}

std::string FakeHandsetDriver::Display() {
    std::lock_guard<std::mutex> guard(lock_);
    return display_;
}

uint32_t FakeHandsetDriver::InjectEvent(uint32_t type, uint32_t code) {
    HandsetEventCallback callback;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!open_ || callback_ == nullptr) {
            return 0;
        }
        callback = callback_;
    }
    uint32_t answer = 0;
    std::thread driverThread([&] { answer = callback(type, code); });
    driverThread.join();
    return answer;
}

} // namespace plat
