#pragma once
#include <string>
#include <vector>

#include "tools/loopback/PeerProcess.h"

// A PulseAudio daemon of its own on a private socket in a directory of the caller's, for
// calls and tests on the real sound path (ALSA's default device through PulseAudio's plugin):
// null sinks at 8000 Hz mono, each optionally fed a sine, whose monitors serve as
// microphones. Nothing of the user's own sound server is touched. The daemon is killed (by
// its pid) when the object goes.
//
// A null sink that no stream asks for a latency renders in blocks of 2 s, and a stream that
// comes later waits for the end of the current block: a recording of its monitor gets its
// first audio up to 2 s late, and a playback into it blocks as long. PulseAudio's own clients
// meet the same. A prompt sink is fed silence by a loopback that asks for 20 ms, so it renders
// in blocks of a few ms from the start, as a sound card's sink and source do.
//
// Threads: one owner thread.
namespace loopback {

class PrivateSoundServer {
public:
    struct Sink {
        std::string name;
        int sineHz = 0;      // > 0: a sine at half full scale (-6 dBFS) plays into the sink
        bool prompt = false; // renders in small blocks from the start (see above)
    };

    // pulseaudio and pactl are installed.
    static bool Available();

    // Starts the daemon with these sinks and waits until the last one is there, every sine
    // plays and every prompt sink renders in small blocks (about 2 s after the start). False
    // with *error set when it does not come up. The first sink's monitor is the server's
    // default source.
    bool Start(const std::string& dir, const std::vector<Sink>& sinks, std::string* error);

    // NAME=value: the environment that reaches this server and no other.
    const std::vector<std::string>& Env() const { return env_; }
    // Env() plus PULSE_SINK and PULSE_SOURCE: a process that plays into `sink` and records
    // from `source`.
    std::vector<std::string> EnvFor(const std::string& sink, const std::string& source) const;
    // Sets Env() in this process (before its first use of ALSA or PulseAudio).
    void ExportEnv() const;

    // Runs pactl with `args` (one shell word each) against this server; false when it fails.
    bool Pactl(const std::vector<std::string>& args, std::string* output = nullptr) const;
    // The volume of a source as pactl shows it, in dB; false when pactl does not show one.
    bool SourceVolumeDb(const std::string& source, double* db) const;

private:
    PeerProcess process_;
    std::string socket_;
    std::vector<std::string> env_;
};

} // namespace loopback
