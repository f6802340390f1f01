#pragma once
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/loopback/LoopbackCall.h"

// The mouth-to-ear delay over a long loopback call: each microphone carries a steady tone with
// the chirp marker every 2.5 s; the marker's position in the far speaker file, with both
// files' timelines placed on the common monotonic clock by the peers' start times, gives the
// delay of each marker. It is summed up for the start of the call (markers in its first 5 s)
// and the steady state (markers from 30 s on), beside the buffering the receive chain's rules
// hold at those two times, term by term.
namespace loopback {

constexpr double kDelayStartS = 5.0;
constexpr double kDelaySteadyFromS = 30.0;
// Long enough for markers after kDelaySteadyFromS.
constexpr double kDelayCallSeconds = 40.0;

struct DelaySample {
    double atS = 0; // microphone time of the marker
    double ms = 0;
};

struct DirectionDelay {
    std::vector<DelaySample> samples;
    size_t missed = 0;
    // Means over the markers of each period (0 when it has none) and their counts.
    double startMs = 0, steadyMs = 0;
    size_t startCount = 0, steadyCount = 0;
};

struct DelayReport {
    int frameMs = 20;
    double seconds = 0;
    DirectionDelay aToB, bToA;
};

// A G.711 mu-law call of `seconds` with `frameMs` frames both ways and markers every 2.5 s.
CallSetup MakeDelayCall(int frameMs, double seconds, const std::string& workDir);
DelayReport MeasureDelay(const CallSetup& setup, const CallOutcome& outcome);
// The markers by time, the two periods' means, and the rules' buffering term by term.
void PrintDelayReport(std::FILE* to, const DelayReport& report);

} // namespace loopback
