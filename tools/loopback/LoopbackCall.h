#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tools/loopback/RtpRelay.h"

// A loopback call between two quorvex-loopback-peer processes: each gets its own QUORVEX_HOME
// and WAV files in a work directory, and their RTP goes through an RtpRelay on 127.0.0.1.
namespace loopback {

struct PeerSetup {
    std::vector<int16_t> microphone; // what the peer's microphone records
    std::vector<int16_t> keyTone;    // played into the call with PlayFile (empty: none)
    int keyToneAtMs = 1000;          // after the transmit start
    int micLevel = 100;              // the microphone level, 0 to 100
    std::vector<std::string> env;    // NAME=value for the peer's environment
};

struct CallSetup {
    std::string peerProgram; // empty: DefaultPeerProgram()
    std::string workDir;     // an existing directory for the files of both peers
    std::string codec = "pcmu";
    double seconds = 6.0;     // how long each peer keeps the call up after its transmit start
    int frameMs = 20;         // both peers' transmit frame length
    int junkPerSecondToB = 0; // datagrams that are not RTP sent to B beside A's stream
    // The relay sends A's packets to B from another port than the one B sends to, as a NAT
    // between them would: B's far end is not where its packets come from.
    bool natTowardsB = false;
    // The relay drops A's datagrams until this long after the first of them.
    int holdBackFromAMs = 0;
    // False: the peers use the sound devices QUORVEX_AUDIO (in their environment) names
    // instead of WAV files, and the outcome has no speaker samples.
    bool fileAudio = true;
    // Called on the caller's thread once both peers and the relay run, with the peers' process
    // ids; the call's time-out counts from its return.
    std::function<void(pid_t a, pid_t b)> whileRunning;
    PeerSetup a, b;
    // A third peer process that sends its own RTP straight to B's port from a port of its own,
    // starting intruderAtMs after A's first packet reached the relay and lasting until the
    // call ends; none when its microphone is empty.
    PeerSetup intruder;
    int intruderAtMs = 1000;
};

struct PeerOutcome {
    std::string home; // the peer's QUORVEX_HOME
    std::string microphonePath, speakerPath, tracePath;
    std::string stdoutText, stderrText;
    std::map<std::string, std::string> values; // the peer's key=value lines
    std::vector<int16_t> speaker;              // what its speaker played
    std::string status;                        // "exit code 0", ...
    bool succeeded = false;
    double userSeconds = 0, systemSeconds = 0;

    // A numeric value the peer printed, or `missing`.
    int64_t Value(const std::string& key, int64_t missing = -1) const;
};

struct CallOutcome {
    PeerOutcome a, b, intruder;
    std::vector<RtpRelay::Packet> aToB, bToA;
    size_t foreignDatagrams = 0;
};

// Runs the call to its end. False with *error when it could not be set up, a peer did not end
// in time or failed, or a speaker file cannot be read; *outcome holds what is known.
bool RunLoopbackCall(const CallSetup& setup, CallOutcome* outcome, std::string* error);

// The peer program: $QUORVEX_LOOPBACK_PEER, else the one built beside libTamsor.so.
std::string DefaultPeerProgram();
// A new private directory under $TMPDIR (or /tmp); "" with *error set on failure.
std::string MakeWorkDir(const std::string& prefix, std::string* error);
// Removes a directory made by MakeWorkDir with everything in it.
void RemoveTree(const std::string& dir);

} // namespace loopback
