#include "tools/loopback/LoopbackCall.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "tools/loopback/PeerProcess.h"
#include "tools/loopback/TestSignal.h"

#ifndef QUORVEX_LOOPBACK_PEER_PATH
#error "QUORVEX_LOOPBACK_PEER_PATH must name the built quorvex-loopback-peer"
#endif

namespace loopback {

namespace {

// Time a peer gets beyond its call to set up, release and write its files.
constexpr int kSlackMs = 20000;

struct PeerFiles {
    std::string name;
    std::string home;
    std::string microphone, speaker, keyTone, trace, out, err;
};

PeerFiles FilesFor(const std::string& workDir, const std::string& name) {
    PeerFiles f;
    f.name = name;
    f.home = workDir + "/" + name;
    f.microphone = f.home + "/microphone.wav";
    f.speaker = f.home + "/speaker.wav";
    f.keyTone = f.home + "/keytone.wav";
    f.trace = f.home + "/trace.txt";
    f.out = f.home + "/stdout.txt";
    f.err = f.home + "/stderr.txt";
    return f;
}

bool PreparePeer(const PeerFiles& f, const PeerSetup& setup, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(f.home, ec);
    if (ec) {
        *error = "cannot create " + f.home + ": " + ec.message();
        return false;
    }
    if (!WriteWav(f.microphone, setup.microphone, error)) {
        return false;
    }
    return setup.keyTone.empty() || WriteWav(f.keyTone, setup.keyTone, error);
}

std::vector<std::string> PeerArgs(const CallSetup& setup, const PeerFiles& f, const PeerSetup& peer,
                                  int localPort, int remotePort, double seconds) {
    std::vector<std::string> args = {"--local-port",  std::to_string(localPort),
                                     "--remote-port", std::to_string(remotePort),
                                     "--codec",       setup.codec,
                                     "--seconds",     std::to_string(seconds),
                                     "--frame-ms",    std::to_string(setup.frameMs),
                                     "--home",        f.home,
                                     "--trace",       f.trace,
                                     "--mic-level",   std::to_string(peer.micLevel)};
    if (setup.fileAudio) {
        args.insert(args.end(), {"--in", f.microphone, "--out", f.speaker});
    }
    if (!peer.keyTone.empty()) {
        args.insert(args.end(),
                    {"--key-tone", f.keyTone, "--key-tone-at", std::to_string(peer.keyToneAtMs)});
    }
    return args;
}

void Collect(const PeerFiles& f, const PeerProcess& process, PeerOutcome* o) {
    o->home = f.home;
    o->microphonePath = f.microphone;
    o->speakerPath = f.speaker;
    o->tracePath = f.trace;
    o->stdoutText = ReadTextFile(f.out);
    o->stderrText = ReadTextFile(f.err);
    o->values = ParseKeyValues(o->stdoutText);
    o->status = process.Describe();
    o->succeeded = process.Exited() && process.ExitCode() == 0;
    o->userSeconds = process.UserSeconds();
    o->systemSeconds = process.SystemSeconds();
}

std::string Failure(const std::string& name, const PeerOutcome& o) {
    return "peer " + name + " ended with " + o.status + "; its stderr:\n" + o.stderrText +
           "(files in " + o.home + ")";
}

} // namespace

int64_t PeerOutcome::Value(const std::string& key, int64_t missing) const {
    auto it = values.find(key);
    if (it == values.end()) {
        return missing;
    }
    char* end = nullptr;
    const long long v = std::strtoll(it->second.c_str(), &end, 10);
    return end != it->second.c_str() && *end == '\0' ? v : missing;
}

bool RunLoopbackCall(const CallSetup& setup, CallOutcome* outcome, std::string* error) {
    const std::string program =
        setup.peerProgram.empty() ? DefaultPeerProgram() : setup.peerProgram;
    if (access(program.c_str(), X_OK) != 0) {
        *error = "the peer program " + program + " cannot be run: " + std::strerror(errno);
        return false;
    }
    const PeerFiles fa = FilesFor(setup.workDir, "a");
    const PeerFiles fb = FilesFor(setup.workDir, "b");
    const PeerFiles fi = FilesFor(setup.workDir, "intruder");
    const bool intruder = !setup.intruder.microphone.empty();
    if (!PreparePeer(fa, setup.a, error) || !PreparePeer(fb, setup.b, error) ||
        (intruder && !PreparePeer(fi, setup.intruder, error))) {
        return false;
    }
    const int portA = FindFreeUdpPort();
    const int portB = FindFreeUdpPort();
    if (portA == 0 || portB == 0 || portA == portB) {
        *error = "no free UDP ports on 127.0.0.1 for the peers";
        return false;
    }
    RtpRelay relay;
    if (!relay.Open(portA, portB, error)) {
        *error = "the RTP relay cannot start: " + *error;
        return false;
    }
    PeerProcess pa, pb, pi;
    if (!pa.Start(program, PeerArgs(setup, fa, setup.a, portA, relay.PortForA(), setup.seconds),
                  setup.a.env, fa.out, fa.err, error) ||
        !pb.Start(program, PeerArgs(setup, fb, setup.b, portB, relay.PortForB(), setup.seconds),
                  setup.b.env, fb.out, fb.err, error)) {
        return false; // the destructors kill and reap a started peer
    }
    relay.SetJunkTowardsB(setup.junkPerSecondToB);
    relay.SetNatTowardsB(setup.natTowardsB);
    relay.SetHoldBackFromA(setup.holdBackFromAMs);
    relay.Start();
    if (setup.whileRunning) {
        setup.whileRunning(pa.Pid(), pb.Pid());
    }
    if (intruder) {
        // Straight to B's own port, from a port B has never heard of, once the call's media
        // flows: from intruderAtMs after A's first packet reached the relay.
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(static_cast<int>(setup.seconds * 1000));
        while (!relay.HeardFromA() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(setup.intruderAtMs));
        const double seconds = std::max(0.5, setup.seconds - setup.intruderAtMs / 1000.0);
        const int portI = FindFreeUdpPort();
        if (portI == 0 ||
            !pi.Start(program, PeerArgs(setup, fi, setup.intruder, portI, portB, seconds),
                      setup.intruder.env, fi.out, fi.err, error)) {
            *error = "the intruder cannot start: " + *error;
            return false;
        }
    }
    const int timeoutMs = static_cast<int>(setup.seconds * 1000) + kSlackMs;
    std::string waitA, waitB, waitI;
    const bool endedA = pa.Wait(timeoutMs, &waitA);
    const bool endedB = pb.Wait(timeoutMs, &waitB);
    const bool endedI = pi.Wait(timeoutMs, &waitI);
    relay.Stop();
    outcome->aToB = relay.FromA();
    outcome->bToA = relay.FromB();
    outcome->foreignDatagrams = relay.ForeignDatagrams();
    Collect(fa, pa, &outcome->a);
    Collect(fb, pb, &outcome->b);
    if (intruder) {
        Collect(fi, pi, &outcome->intruder);
    }
    if (!endedA || !endedB || !endedI) {
        *error = !endedA ? "peer a " + waitA : !endedB ? "peer b " + waitB : "intruder " + waitI;
        return false;
    }
    if (intruder && !outcome->intruder.succeeded) {
        *error = Failure("intruder", outcome->intruder);
        return false;
    }
    if (!outcome->a.succeeded) {
        *error = Failure("a", outcome->a);
        return false;
    }
    if (!outcome->b.succeeded) {
        *error = Failure("b", outcome->b);
        return false;
    }
    if (!setup.fileAudio) {
        return true;
    }
    return ReadWav(fa.speaker, &outcome->a.speaker, error) &&
           ReadWav(fb.speaker, &outcome->b.speaker, error);
}

std::string DefaultPeerProgram() {
    const char* path = std::getenv("QUORVEX_LOOPBACK_PEER");
    return path && *path ? path : QUORVEX_LOOPBACK_PEER_PATH;
}

std::string MakeWorkDir(const std::string& prefix, std::string* error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "XXXXXX";
    if (!mkdtemp(pattern.data())) {
        *error = "cannot create a work directory " + pattern + ": " + std::strerror(errno);
        return "";
    }
    return pattern;
}

void RemoveTree(const std::string& dir) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

} // namespace loopback
