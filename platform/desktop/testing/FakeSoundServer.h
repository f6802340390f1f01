#pragma once
#include <string>
#include <vector>

#include "platform/desktop/SoundServer.h"

namespace plat {

// A sound server for tests: the devices and defaults are the test's; an unreachable server
// fails every operation; a default can only be set to a device that exists. Installs itself
// for its lifetime. GUI thread.
class FakeSoundServer final : public SoundServer {
public:
    FakeSoundServer() : previous_(SetSoundServer(this)) {}
    ~FakeSoundServer() override { SetSoundServer(previous_); }
    FakeSoundServer(const FakeSoundServer&) = delete;
    FakeSoundServer& operator=(const FakeSoundServer&) = delete;

    void SetReachable(bool reachable) { reachable_ = reachable; }
    void SetDevices(Direction direction, std::vector<std::string> names) {
        (direction == Direction::Output ? outputs_ : inputs_) = std::move(names);
    }
    // As when the user (or a plugged-in device) changes the default.
    void ForceDefault(Direction direction, std::string name) {
        (direction == Direction::Output ? defaultOutput_ : defaultInput_) = std::move(name);
    }
    const std::string& Default(Direction direction) const {
        return direction == Direction::Output ? defaultOutput_ : defaultInput_;
    }

    bool GetDefault(Direction direction, std::string* name) override;
    bool ListDevices(Direction direction, std::vector<std::string>* names) override;
    bool SetDefault(Direction direction, const std::string& name) override;

private:
    SoundServer* previous_;
    bool reachable_ = true;
    std::vector<std::string> outputs_;
    std::vector<std::string> inputs_;
    std::string defaultOutput_;
    std::string defaultInput_;
};

} // namespace plat
