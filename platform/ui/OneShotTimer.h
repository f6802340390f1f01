#pragma once
#include <cstdint>
#include <functional>

namespace plat {

// Runs a task once, some time from now, on the thread that owns the timer. Start replaces a
// task still pending; Cancel drops it; destroying the timer cancels it. A task may start the
// timer again.
//
// Threads: the owner's thread only (the GUI thread for GuiTimer).
class OneShotTimer {
public:
    virtual ~OneShotTimer() = default;
    virtual void Start(uint32_t delayMs, std::function<void()> task) = 0;
    virtual void Cancel() = 0;
};

} // namespace plat
