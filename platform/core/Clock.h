#pragma once
#include <atomic>
#include <cstdint>

namespace plat {

// Milliseconds as an unsigned 32-bit count that wraps after about 49.7 days, and sleeping.
// Everything that reads time or sleeps goes through the current clock, so tests can inject
// a FakeClock (platform/core/testing).
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
