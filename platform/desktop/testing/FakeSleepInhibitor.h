#pragma once
#include <string>
#include <vector>

#include "platform/desktop/SleepInhibitor.h"

namespace plat {

// Sleep inhibitors for tests: records each take and release that changes something ("take
// delay", "release block", ...), in order, and refuses to take while `refuse` is set.
// One thread.
class FakeSleepInhibitor final : public SleepInhibitor {
public:
    bool Take(Mode mode, const std::string&, std::string* error) override {
        if (refuse) {
            *error = "refused";
            return false;
        }
        if (!held_[Index(mode)]) {
            held_[Index(mode)] = true;
            log.push_back("take " + Name(mode));
        }
        return true;
    }
    void Release(Mode mode) override {
        if (held_[Index(mode)]) {
            held_[Index(mode)] = false;
            log.push_back("release " + Name(mode));
        }
    }
    bool Holds(Mode mode) const { return held_[Index(mode)]; }

    std::vector<std::string> log;
    bool refuse = false;

private:
    static int Index(Mode mode) { return mode == Mode::Delay ? 0 : 1; }
    static std::string Name(Mode mode) { return mode == Mode::Delay ? "delay" : "block"; }
    bool held_[2] = {false, false};
};

} // namespace plat
