#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace plat {

enum class WaitResult { Signalled, Timeout, Failed };

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// An event that, once set, releases exactly one waiter and then resets itself; a Set with no
// waiter stays signalled until the next Wait. Any thread may call any operation; the program
// and libTamsor may share one object through a pointer.
class AutoResetEvent {
public:
    explicit AutoResetEvent(bool initiallySet = false) : signalled_(initiallySet) {}
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set();
    void Reset();
    // Waits until set or until timeoutMs passes (kInfinite waits for ever; 0 only polls).
    WaitResult Wait(uint32_t timeoutMs = kInfinite);

private:
    std::mutex mutex_;
    std::condition_variable cond_;
    bool signalled_;
};

} // namespace plat
