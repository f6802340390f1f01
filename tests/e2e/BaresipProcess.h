#pragma once
#include <string>
#include <vector>

#include <sys/types.h>

// Runs baresip through tests/e2e/baresip-peer.sh (the same starter the demo service uses) as
// the far phone, in a temporary directory of its own, and drives it over ctrl_tcp. ok() says
// whether it came up and registered.
class BaresipProcess {
public:
    struct Options {
        std::string user = "1002";
        std::string password = "8765";
        std::string registrar = "127.0.0.2:5060";
        std::string listen = "127.0.0.3:5060";
        std::string ctrl = "127.0.0.3:4444";
        std::string answer = "auto"; // or "manual"
        std::string tone = "1000";   // Hz of the sine it sends, unless `play` names a WAV
        std::string play;
        bool echo = false; // send back what it receives (round-trip measurements)
    };

    explicit BaresipProcess(const Options& options);
    ~BaresipProcess();
    BaresipProcess(const BaresipProcess&) = delete;
    BaresipProcess& operator=(const BaresipProcess&) = delete;

    bool ok() const { return pid_ > 0 && registered_; }
    pid_t pid() const { return pid_; }
    const std::string& dir() const { return dir_; }

    // One ctrl_tcp command ("dial", "hangup", "accept") with its parameters; false when it
    // could not be sent or baresip did not answer it.
    bool Command(const std::string& command, const std::string& params = "");
    std::string Log() const;
    // Waits up to `ms` for `text` to appear in the log `count` times.
    bool WaitForLog(const std::string& text, int ms, int count = 1) const;
    // The WAV files baresip recorded of what it received ("dec") or sent ("enc").
    std::vector<std::string> Recordings(const std::string& kind = "dec") const;
    // Ends baresip (SIGTERM, then SIGKILL after 3 s).
    void Stop();

private:
    pid_t pid_ = -1;
    bool registered_ = false;
    std::string dir_;
    std::string ctrl_;
};
