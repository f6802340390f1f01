#pragma once
#include <string>

namespace plat {

// Inhibitors of the computer's sleep: while a delay inhibitor is held, a suspend waits (a few
// seconds at most) until it is let go; while a block inhibitor is held, no suspend starts.
class SleepInhibitor {
public:
    enum class Mode { Delay, Block };

    virtual ~SleepInhibitor() = default;
    // Takes the inhibitor of `mode`, with `why` for whoever lists the inhibitors; nothing when
    // it is held already. False, with the reason in *error, when it cannot be taken.
    virtual bool Take(Mode mode, const std::string& why, std::string* error) = 0;
    // Lets go of the inhibitor of `mode`; nothing when it is not held.
    virtual void Release(Mode mode) = 0;
};

} // namespace plat
