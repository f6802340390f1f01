#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/core/Clock.h"

namespace plat {

// A clock that only moves when told to. SleepMs advances it instead of waiting and records
// each request. Thread-safe.
class FakeClock final : public Clock {
public:
    explicit FakeClock(uint32_t startMs = 0) : now_(startMs) {}
    uint32_t NowMs() override { return now_.load(); }
    void SleepMs(uint32_t ms) override;
    void Advance(uint32_t ms) { now_.fetch_add(ms); }
    void Set(uint32_t ms) { now_.store(ms); }
    std::vector<uint32_t> Sleeps();

private:
    std::atomic<uint32_t> now_;
    std::mutex sleepsLock_;
    std::vector<uint32_t> sleeps_;
};

} // namespace plat
