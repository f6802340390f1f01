#pragma once
#include <chrono>
#include <functional>
#include <thread>

// Polls `done` every 10 ms until it holds (true) or `ms` pass (false): for what another
// process does in its own time.
inline bool Eventually(const std::function<bool()>& done, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 10) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}
