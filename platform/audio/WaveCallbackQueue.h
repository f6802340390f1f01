#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/audio/WaveHeader.h"

namespace plat {

// The callback thread of one open device: messages are posted in order (possibly while the
// device's lock is held) and delivered one at a time on this thread, with no lock of the layer
// held, so a callback may take the application's locks.
//
// Threads: Post from any thread; Start, Flush and Stop from the device's owner (thread_ is
// only touched by them). lock_ guards queue_, posted_, delivered_, stopping_ and accepting_;
// the callback runs without it.
class WaveCallbackQueue {
public:
    using Deliver = std::function<void(uint32_t message, WaveHeader* header)>;

    WaveCallbackQueue() = default;
    ~WaveCallbackQueue() { Stop(); }
    WaveCallbackQueue(const WaveCallbackQueue&) = delete;
    WaveCallbackQueue& operator=(const WaveCallbackQueue&) = delete;

    // Starts the thread; false when it cannot be created.
    bool Start(Deliver deliver);
    bool Running() const { return thread_.joinable(); }
    void Post(uint32_t message, WaveHeader* header);
    // Waits until everything posted so far has been delivered. On the callback thread itself
    // it returns at once (the messages follow when the current callback returns).
    void Flush();
    // Delivers what is left and ends the thread.
    void Stop();

private:
    void Run();

    Deliver deliver_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::pair<uint32_t, WaveHeader*>> queue_;
    uint64_t posted_ = 0;
    uint64_t delivered_ = 0;
    bool stopping_ = false;
    bool accepting_ = false;
    std::thread thread_;
};

} // namespace plat
