#include "platform/audio/WaveCallbackQueue.h"

#include <pthread.h>

#include <system_error>

namespace plat {

bool WaveCallbackQueue::Start(Deliver deliver) {
    if (thread_.joinable()) {
        return false;
    }
    deliver_ = std::move(deliver);
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = false;
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    accepting_ = true;
    return true;
}

void WaveCallbackQueue::Post(uint32_t message, WaveHeader* header) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!accepting_) {
        return;
    }
    queue_.emplace_back(message, header);
    ++posted_;
    changed_.notify_all();
}

void WaveCallbackQueue::Flush() {
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) {
        return;
    }
    std::unique_lock<std::mutex> lock(lock_);
    uint64_t target = posted_;
    changed_.wait(lock, [&] { return delivered_ >= target; });
}

void WaveCallbackQueue::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        accepting_ = false;
        changed_.notify_all();
    }
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();
        return;
    }
    thread_.join();
}

void WaveCallbackQueue::Run() {
    pthread_setname_np(pthread_self(), "wave-callback");
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
            return; // stopping, and everything was delivered
        }
        auto [message, header] = queue_.front();
        queue_.pop_front();
        lock.unlock();
        deliver_(message, header);
        lock.lock();
        ++delivered_;
        changed_.notify_all();
    }
}

} // namespace plat
