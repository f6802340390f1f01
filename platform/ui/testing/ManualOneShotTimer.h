#pragma once
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/ui/OneShotTimer.h"

namespace plat {

// A one-shot timer for headless tests: it only keeps the pending task and its delay; the test
// fires it when it wants, after moving its clock as far as it likes.
//
// Threads: the test's thread only.
class ManualOneShotTimer final : public OneShotTimer {
public:
    void Start(uint32_t delayMs, std::function<void()> task) override {
        delayMs_ = delayMs;
        task_ = std::move(task);
    }
    void Cancel() override {
        delayMs_.reset();
        task_ = nullptr;
    }

    // The delay of the pending task, or none.
    std::optional<uint32_t> Pending() const { return delayMs_; }
    // Runs the pending task (which may start the timer again); false when none is pending.
    bool Fire() {
        if (!task_) {
            return false;
        }
        std::function<void()> task = std::move(task_);
        Cancel();
        task();
        return true;
    }

private:
    std::optional<uint32_t> delayMs_;
    std::function<void()> task_;
};

} // namespace plat
