#include "platform/core/AutoResetEvent.h"

#include <chrono>

namespace plat {

void AutoResetEvent::Set() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        signalled_ = true;
    }
    cond_.notify_one();
}

void AutoResetEvent::Reset() {
    std::lock_guard<std::mutex> guard(mutex_);
    signalled_ = false;
}

WaitResult AutoResetEvent::Wait(uint32_t timeoutMs) {
    try {
        std::unique_lock<std::mutex> lock(mutex_);
        if (timeoutMs == kInfinite) {
            cond_.wait(lock, [this] { return signalled_; });
        } else if (!cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [this] { return signalled_; })) {
            return WaitResult::Timeout;
        }
        signalled_ = false;
        return WaitResult::Signalled;
    } catch (...) {
        return WaitResult::Failed;
    }
}

} // namespace plat
