#include "platform/core/testing/FakeClock.h"

#include <thread>

namespace plat {

void FakeClock::SleepMs(uint32_t ms) {
    {
        std::lock_guard<std::mutex> guard(sleepsLock_);
        sleeps_.push_back(ms);
    }
    now_.fetch_add(ms);
    // Let other threads run, as a real sleep would.
    std::this_thread::yield();
}

std::vector<uint32_t> FakeClock::Sleeps() {
    std::lock_guard<std::mutex> guard(sleepsLock_);
    return sleeps_;
}

} // namespace plat
