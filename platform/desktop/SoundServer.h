#pragma once
#include <memory>
#include <string>
#include <vector>

namespace plat {

// The sound server's default output (sink) and input (source): which they are, which devices
// there are, and making one the default. Every operation returns false when the server cannot
// be asked.
// Threads: the GUI thread.
class SoundServer {
public:
    enum class Direction { Output, Input };
    virtual ~SoundServer() = default;
    virtual bool GetDefault(Direction direction, std::string* name) = 0;
    virtual bool ListDevices(Direction direction, std::vector<std::string>* names) = 0;
    virtual bool SetDefault(Direction direction, const std::string& name) = 0;
};

// Asks PulseAudio or PipeWire through the pactl command ($QUORVEX_PACTL names another one).
class PactlSoundServer final : public SoundServer {
public:
    bool GetDefault(Direction direction, std::string* name) override;
    bool ListDevices(Direction direction, std::vector<std::string>* names) override;
    bool SetDefault(Direction direction, const std::string& name) override;

private:
    // Runs pactl with `args`; its standard output in *out. False unless it ran and exited 0.
    static bool Run(const std::vector<std::string>& args, std::string* out);
};

// The process-wide server: the one a test installed, else pactl.
SoundServer& CurrentSoundServer();
SoundServer* SetSoundServer(SoundServer* server);

} // namespace plat
