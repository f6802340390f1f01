#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

// Keeps a stream of bytes at real-time pace on the current Clock, sped up by a factor for
// tests: Pace(n) returns when the n bytes (and all before them) are due. A writer that falls
// more than kResyncMs behind starts a new timeline instead of rushing to catch up.
// Used by one thread at a time.
class StreamPacer {
public:
    static constexpr uint32_t kResyncMs = 100;

    StreamPacer(uint32_t bytesPerSecond, double speed);
    // Accounts the bytes and sleeps until they are due. Returns the clock time at which the
    // first of them is due.
    uint32_t Pace(size_t bytes);
    // The next Pace starts a new timeline.
    void Restart() { started_ = false; }

private:
    uint32_t DueMs(uint64_t bytes) const;

    double bytesPerMs_;
    bool started_ = false;
    uint32_t startMs_ = 0;
    uint64_t bytes_ = 0;
};

} // namespace plat
