#pragma once
#include <deque>
#include <functional>
#include <mutex>

#include "platform/ui/GuiThread.h"

namespace plat {

// A GUI dispatcher for headless tests: posted tasks wait in a queue until the test's thread
// (standing in for the GUI thread) runs them. Installs itself for its lifetime.
//
// Threads: Post from any thread; RunPending on the test's thread.
class ManualGuiDispatcher final : public GuiDispatcher {
public:
    ManualGuiDispatcher() : previous_(SetGuiDispatcher(this)) {}
    ~ManualGuiDispatcher() override { SetGuiDispatcher(previous_); }
    ManualGuiDispatcher(const ManualGuiDispatcher&) = delete;
    ManualGuiDispatcher& operator=(const ManualGuiDispatcher&) = delete;

    void Post(std::function<void()> task) override {
        std::lock_guard<std::mutex> lock(lock_);
        queue_.push_back(std::move(task));
    }

    // Runs the queued tasks, including those they post, until none is left; returns how many
    // ran.
    int RunPending() {
        int ran = 0;
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard<std::mutex> lock(lock_);
                if (queue_.empty()) {
                    return ran;
                }
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            task();
            ++ran;
        }
    }

    size_t PendingCount() {
        std::lock_guard<std::mutex> lock(lock_);
        return queue_.size();
    }

private:
    GuiDispatcher* previous_;
    std::mutex lock_;
    std::deque<std::function<void()>> queue_;
};

} // namespace plat
