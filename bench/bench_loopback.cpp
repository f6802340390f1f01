// The mouth-to-ear delay and the CPU per call of loopback calls between two
// quorvex-loopback-peer processes (each one media object of libTamsor on WAV files, RTP through
// a relay on 127.0.0.1), one call with 20 ms frames and one with 40 ms frames.
//
// Delay: the chirp marker every 2.5 s in each microphone, found in the far speaker file (see
// tools/loopback/DelayReport.h), summed up for the first 5 s and from 30 s on, beside the
// buffering the receive chain's rules hold then, term by term.
// Start: the first far audio in each speaker file, its first 40 ms against the level that
// follows, and the holes in the second after it (tools/loopback/StartReport.h).
// CPU: user plus system time of each peer process over the call, from the kernel's accounting.
//
// Usage: bench_loopback [--seconds S] [--frame-ms 20|40] (default: 40 s, both frame lengths;
// QUORVEX_BENCH_CALL_SECONDS also sets the length).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/loopback/DelayReport.h"
#include "tools/loopback/LoopbackCall.h"
#include "tools/loopback/RtpRelay.h"
#include "tools/loopback/StartReport.h"

namespace {

using namespace loopback;

void PrintCpu(const char* name, const PeerOutcome& p, double seconds) {
    const double cpu = p.userSeconds + p.systemSeconds;
    const double wall = static_cast<double>(p.Value("released_us") - p.Value("rx_start_us")) / 1e6;
    std::printf("  CPU per call, peer %s: user %.3f s + system %.3f s = %.3f s over a %.0f s "
                "call (%.2f%% of one core; %.1f ms per second of call)\n",
                name, p.userSeconds, p.systemSeconds, cpu, seconds,
                wall > 0 ? 100.0 * cpu / wall : 0.0, wall > 0 ? 1000.0 * cpu / wall : 0.0);
}

// One call; false when it could not be made or no marker was heard.
bool RunOne(int frameMs, double seconds) {
    std::string error;
    const std::string dir = MakeWorkDir("quorvex-bench-loopback-", &error);
    if (dir.empty()) {
        std::fprintf(stderr, "bench_loopback: %s\n", error.c_str());
        return false;
    }
    const CallSetup setup = MakeDelayCall(frameMs, seconds, dir);
    std::printf("bench_loopback: a %.0f s G.711 mu-law call with %d ms frames between two peer "
                "processes over 127.0.0.1\n",
                seconds, frameMs);
    std::fflush(stdout);
    CallOutcome outcome;
    if (!RunLoopbackCall(setup, &outcome, &error)) {
        std::fprintf(stderr, "bench_loopback: the call failed: %s\n", error.c_str());
        return false;
    }
    const size_t payload = static_cast<size_t>(8 * frameMs);
    const RtpStreamStats ab = SummariseRtp(outcome.aToB, 0, payload);
    const RtpStreamStats ba = SummariseRtp(outcome.bToA, 0, payload);
    std::printf("  RTP: A -> B %zu packets, %.2f per second; B -> A %zu packets, %.2f per "
                "second\n",
                ab.mediaPackets, ab.packetsPerSecond, ba.mediaPackets, ba.packetsPerSecond);
    const DelayReport report = MeasureDelay(setup, outcome);
    PrintDelayReport(stdout, report);
    PrintStartReport(stdout, "A -> B", MeasureStart(outcome.b.speaker));
    PrintStartReport(stdout, "B -> A", MeasureStart(outcome.a.speaker));
    PrintCpu("A", outcome.a, seconds);
    PrintCpu("B", outcome.b, seconds);
    std::fflush(stdout);
    RemoveTree(dir);
    return !report.aToB.samples.empty() && !report.bToA.samples.empty();
}

} // namespace

int main(int argc, char** argv) {
    double seconds = kDelayCallSeconds;
    if (const char* env = std::getenv("QUORVEX_BENCH_CALL_SECONDS")) {
        seconds = std::atof(env);
    }
    std::vector<int> frames = {20, 40};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--frame-ms") == 0 && i + 1 < argc) {
            frames = {std::atoi(argv[++i])};
        } else {
            std::fprintf(stderr, "usage: %s [--seconds S] [--frame-ms 20|40]\n", argv[0]);
            return 2;
        }
    }
    if (!(seconds >= 5 && seconds <= 3600)) {
        std::fprintf(stderr, "bench_loopback: the call must last 5 to 3600 s\n");
        return 2;
    }
    bool ok = true;
    for (int frameMs : frames) {
        if (frameMs != 20 && frameMs != 40 && frameMs != 80) {
            std::fprintf(stderr, "bench_loopback: frames of 20, 40 or 80 ms\n");
            return 2;
        }
        ok = RunOne(frameMs, seconds) && ok;
    }
    return ok ? 0 : 1;
}
