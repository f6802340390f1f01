#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace plat {

// Milliseconds as an unsigned 32-bit count that wraps after about 49.7 days, and sleeping.
// Everything that reads time or sleeps goes through the current clock, so tests can inject
// a FakeClock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t NowMs() = 0;
    virtual void SleepMs(uint32_t ms) = 0;
};

class SystemClock final : public Clock {
public:
    uint32_t NowMs() override;
    void SleepMs(uint32_t ms) override;
};

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

// The process-wide clock; the system clock unless a test installed another.
Clock& CurrentClock();
// Installs a clock (nullptr restores the system clock); returns the one it replaced.
Clock* SetClock(Clock* clock);

// Shorthands for the current clock.
inline uint32_t TimeMs() {
    return CurrentClock().NowMs();
}
inline void SleepMs(uint32_t ms) {
    CurrentClock().SleepMs(ms);
}

// Replaces the clock for one scope.
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock) : previous_(SetClock(&clock)) {}
    ~ScopedClock() { SetClock(previous_); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* previous_;
};

} // namespace plat
