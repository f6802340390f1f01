#pragma once
#include <cstdint>
#include <functional>

#include "platform/ui/OneShotTimer.h"

namespace plat {

// A one-shot timer on GLib's default main context: the task runs on the GUI thread inside the
// main loop, like a window timer, but without a window.
//
// Threads: GUI thread only.
class GuiTimer final : public OneShotTimer {
public:
    GuiTimer() = default;
    ~GuiTimer() override { Cancel(); }
    GuiTimer(const GuiTimer&) = delete;
    GuiTimer& operator=(const GuiTimer&) = delete;

    void Start(uint32_t delayMs, std::function<void()> task) override;
    void Cancel() override;

private:
    static int Fire(void* self);

    unsigned source_ = 0; // the pending GLib source, 0 for none
    std::function<void()> task_;
};

} // namespace plat
