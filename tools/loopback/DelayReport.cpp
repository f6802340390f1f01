#include "tools/loopback/DelayReport.h"

#include <algorithm>

#include "media/term/ReceiveBuffering.h"
#include "tools/loopback/AudioAnalysis.h"
#include "tools/loopback/CallReport.h"
#include "tools/loopback/TestSignal.h"

namespace loopback {

namespace {

constexpr double kFirstMarkerS = 1.0;
// Farther apart than the longest delay, so a marker is never taken for its neighbour.
constexpr double kMarkerEveryS = 2.5;
constexpr double kBedDbfs = -20.0;
// What the program gives SetReceiveCodec, whatever the frame the peer sends.
constexpr int kReceiveFrameMs = 20;

std::vector<int16_t> Microphone(double hz, double seconds) {
    std::vector<int16_t> mic = Tone(hz, seconds, kBedDbfs);
    for (double at = kFirstMarkerS; at + kMarkerSeconds < seconds - 0.5; at += kMarkerEveryS) {
        Overwrite(&mic, Marker(), static_cast<size_t>(at * kSampleRate));
    }
    return mic;
}

DirectionDelay Measure(const PeerOutcome& talker, const PeerOutcome& listener, double seconds) {
    DirectionDelay d;
    const double offset =
        static_cast<double>(talker.Value("tx_started_us") - listener.Value("rx_started_us")) / 1e6;
    const std::vector<int16_t> marker = Marker();
    double startSum = 0, steadySum = 0;
    for (double at = kFirstMarkerS; at + kMarkerSeconds < seconds - 0.5; at += kMarkerEveryS) {
        const double expected = at + offset;
        // Look no further than just before the next marker.
        const MarkerMatch m = FindMarker(
            listener.speaker, marker, static_cast<size_t>(std::max(0.0, expected - 0.05) * 8000),
            static_cast<size_t>((expected + kMarkerEveryS - 0.1) * 8000));
        if (!m.found) {
            ++d.missed;
            continue;
        }
        const double ms = (static_cast<double>(m.position) / kSampleRate - expected) * 1000;
        d.samples.push_back({at, ms});
        if (at < kDelayStartS) {
            startSum += ms;
            ++d.startCount;
        } else if (at >= kDelaySteadyFromS) {
            steadySum += ms;
            ++d.steadyCount;
        }
    }
    d.startMs = d.startCount ? startSum / static_cast<double>(d.startCount) : 0;
    d.steadyMs = d.steadyCount ? steadySum / static_cast<double>(d.steadyCount) : 0;
    return d;
}

void PrintDirection(std::FILE* to, const char* name, const DirectionDelay& d) {
    std::fprintf(to, "  delay %s (ms, by microphone second):", name);
    for (size_t i = 0; i < d.samples.size(); ++i) {
        std::fprintf(to, "%s %.0fs:%.0f", i % 10 == 0 ? "\n     " : "", d.samples[i].atS,
                     d.samples[i].ms);
    }
    std::fprintf(to,
                 "\n     first %.0f s: %.0f ms (%zu markers); from %.0f s: %.0f ms (%zu "
                 "markers); %zu markers missed\n",
                 kDelayStartS, d.startMs, d.startCount, kDelaySteadyFromS, d.steadyMs,
                 d.steadyCount, d.missed);
}

void PrintBuffering(std::FILE* to, const char* when, const tamsor::ReceiveBuffering& b) {
    std::fprintf(to,
                 "  the rules' buffering %s: receive slots %d x %d ms = %d + jitter target %d + "
                 "speaker %d x %d ms = %d + one frame %d = %d ms\n",
                 when, b.slots, b.frameMs, b.slotsMs, b.jitterMs, b.speakerFrames,
                 b.speakerFrames ? b.speakerMs / b.speakerFrames : 0, b.speakerMs, b.frameMs,
                 b.TotalMs());
}

} // namespace

CallSetup MakeDelayCall(int frameMs, double seconds, const std::string& workDir) {
    CallSetup setup;
    setup.workDir = workDir;
    setup.codec = "pcmu";
    setup.seconds = seconds;
    setup.frameMs = frameMs;
    setup.a.microphone = Microphone(kToneA, seconds + 1);
    setup.b.microphone = Microphone(kToneB, seconds + 1);
    return setup;
}

DelayReport MeasureDelay(const CallSetup& setup, const CallOutcome& outcome) {
    DelayReport r;
    r.frameMs = setup.frameMs;
    r.seconds = setup.seconds;
    r.aToB = Measure(outcome.a, outcome.b, setup.seconds);
    r.bToA = Measure(outcome.b, outcome.a, setup.seconds);
    return r;
}

void PrintDelayReport(std::FILE* to, const DelayReport& r) {
    std::fprintf(to, "Mouth-to-ear delay, %d ms frames, %.0f s call:\n", r.frameMs, r.seconds);
    PrintDirection(to, "A -> B", r.aToB);
    PrintDirection(to, "B -> A", r.bToA);
    PrintBuffering(to, "at the start", tamsor::BufferingAtStart(r.frameMs, kReceiveFrameMs));
    PrintBuffering(to, "once steady", tamsor::BufferingSteady(r.frameMs, kReceiveFrameMs));
}

} // namespace loopback
