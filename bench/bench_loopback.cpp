// Mouth-to-ear latency and CPU per call of a loopback call between two quorvex-loopback-peer
// processes (each one media object of libTamsor on WAV files, RTP through a relay on
// 127.0.0.1).
//
// Latency: each microphone carries a steady tone with a chirp marker every 2.5 s; the
// marker's position in the far speaker file (normalised cross-correlation), with both files'
// timelines placed on the common monotonic clock by the peers' start times, gives the delay
// from microphone to far speaker. It is printed over the call beside the buffering the design
// imposes (jitter target + speaker frames + one frame).
// CPU: user plus system time of each peer process over the call, from the kernel's accounting.
//
// Usage: bench_loopback [--seconds S] (default 20; QUORVEX_BENCH_CALL_SECONDS also sets it).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/loopback/AudioAnalysis.h"
#include "tools/loopback/CallReport.h"
#include "tools/loopback/LoopbackCall.h"
#include "tools/loopback/RtpRelay.h"
#include "tools/loopback/TestSignal.h"

namespace {

using namespace loopback;

constexpr double kDefaultSeconds = 20.0;
constexpr double kFirstMarkerS = 1.0;
// Farther apart than the longest delay, so a marker is never taken for its neighbour.
constexpr double kMarkerEveryS = 2.5;
constexpr double kBedDbfs = -20.0;

struct Latencies {
    std::vector<double> atS; // microphone time of each marker found
    std::vector<double> ms;
    size_t missed = 0;
};

std::vector<int16_t> Microphone(double hz, double seconds) {
    std::vector<int16_t> mic = Tone(hz, seconds, kBedDbfs);
    for (double at = kFirstMarkerS; at + kMarkerSeconds < seconds - 0.5; at += kMarkerEveryS) {
        Overwrite(&mic, Marker(), static_cast<size_t>(at * kSampleRate));
    }
    return mic;
}

Latencies Measure(const PeerOutcome& talker, const PeerOutcome& listener, double seconds) {
    Latencies l;
    const double offset =
        static_cast<double>(talker.Value("tx_started_us") - listener.Value("rx_started_us")) / 1e6;
    const std::vector<int16_t> marker = Marker();
    for (double at = kFirstMarkerS; at + kMarkerSeconds < seconds - 0.5; at += kMarkerEveryS) {
        const double expected = at + offset;
        // Markers are 1 s apart: look no further than just before the next one.
        const MarkerMatch m = FindMarker(
            listener.speaker, marker, static_cast<size_t>(std::max(0.0, expected - 0.05) * 8000),
            static_cast<size_t>((expected + kMarkerEveryS - 0.1) * 8000));
        if (!m.found) {
            ++l.missed;
            continue;
        }
        l.atS.push_back(at);
        l.ms.push_back((static_cast<double>(m.position) / kSampleRate - expected) * 1000);
    }
    return l;
}

double Median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void PrintLatency(const char* name, const Latencies& l) {
    std::printf("mouth-to-ear latency %s (ms, by microphone second):", name);
    for (size_t i = 0; i < l.ms.size(); ++i) {
        std::printf("%s %.0fs:%.0f", i % 10 == 0 ? "\n   " : "", l.atS[i], l.ms[i]);
    }
    std::printf("\n");
    if (l.ms.empty()) {
        std::printf("   no marker found\n");
        return;
    }
    // The last third of the call shows where the latency settles.
    const size_t from = l.ms.size() * 2 / 3;
    const std::vector<double> tail(l.ms.begin() + static_cast<long>(from), l.ms.end());
    std::printf("   first %.0f ms, last %.0f ms, median of the last third %.0f ms (min %.0f, max "
                "%.0f), %zu markers missed\n",
                l.ms.front(), l.ms.back(), Median(tail),
                *std::min_element(tail.begin(), tail.end()),
                *std::max_element(tail.begin(), tail.end()), l.missed);
}

void PrintCpu(const char* name, const PeerOutcome& p, double seconds) {
    const double cpu = p.userSeconds + p.systemSeconds;
    const double wall = static_cast<double>(p.Value("released_us") - p.Value("rx_start_us")) / 1e6;
    std::printf("CPU per call, peer %s: user %.3f s + system %.3f s = %.3f s over a %.0f s call "
                "(%.2f%% of one core; %.1f ms per second of call)\n",
                name, p.userSeconds, p.systemSeconds, cpu, seconds,
                wall > 0 ? 100.0 * cpu / wall : 0.0, wall > 0 ? 1000.0 * cpu / wall : 0.0);
}

} // namespace

int main(int argc, char** argv) {
    double seconds = kDefaultSeconds;
    if (const char* env = std::getenv("QUORVEX_BENCH_CALL_SECONDS")) {
        seconds = std::atof(env);
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--seconds S]\n", argv[0]);
            return 2;
        }
    }
    if (!(seconds >= 5 && seconds <= 3600)) {
        std::fprintf(stderr, "bench_loopback: the call must last 5 to 3600 s\n");
        return 2;
    }
    std::string error;
    const std::string dir = MakeWorkDir("quorvex-bench-loopback-", &error);
    if (dir.empty()) {
        std::fprintf(stderr, "bench_loopback: %s\n", error.c_str());
        return 1;
    }
    CallSetup setup;
    setup.workDir = dir;
    setup.codec = "pcmu";
    setup.seconds = seconds;
    setup.a.microphone = Microphone(kToneA, seconds + 1);
    setup.b.microphone = Microphone(kToneB, seconds + 1);
    std::printf("bench_loopback: a %.0f s G.711 mu-law call between two peer processes over "
                "127.0.0.1\n",
                seconds);
    std::fflush(stdout);
    CallOutcome outcome;
    if (!RunLoopbackCall(setup, &outcome, &error)) {
        std::fprintf(stderr, "bench_loopback: the call failed: %s\n", error.c_str());
        return 1;
    }
    const RtpStreamStats ab = SummariseRtp(outcome.aToB, 0, 160);
    const RtpStreamStats ba = SummariseRtp(outcome.bToA, 0, 160);
    std::printf("RTP: A -> B %zu packets, %.2f per second; B -> A %zu packets, %.2f per "
                "second\n",
                ab.mediaPackets, ab.packetsPerSecond, ba.mediaPackets, ba.packetsPerSecond);
    const Latencies l1 = Measure(outcome.a, outcome.b, seconds);
    const Latencies l2 = Measure(outcome.b, outcome.a, seconds);
    PrintLatency("A -> B", l1);
    PrintLatency("B -> A", l2);
    std::printf("buffering the design imposes: %d ms jitter target + %d x %d ms speaker frames "
                "+ %d ms frame = %d ms\n",
                kJitterTargetMs, kSpeakerFrames, kFrameMs, kFrameMs, kImposedBufferingMs);
    PrintCpu("A", outcome.a, seconds);
    PrintCpu("B", outcome.b, seconds);
    RemoveTree(dir);
    return l1.ms.empty() || l2.ms.empty() ? 1 : 0;
}
