#include "platform/core/Clock.h"

#include <chrono>
#include <thread>

namespace plat {

uint32_t SystemClock::NowMs() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

void SystemClock::SleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {
SystemClock g_systemClock;
std::atomic<Clock*> g_clock{&g_systemClock};
} // namespace

Clock& CurrentClock() {
    return *g_clock.load(std::memory_order_acquire);
}

Clock* SetClock(Clock* clock) {
    Clock* previous = g_clock.exchange(clock ? clock : &g_systemClock, std::memory_order_acq_rel);
    return previous == &g_systemClock ? nullptr : previous;
}

} // namespace plat
