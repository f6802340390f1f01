#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/loopback/AudioAnalysis.h"
#include "tools/loopback/LoopbackCall.h"
#include "tools/loopback/RtpRelay.h"

// The standard loopback call and what came of it: A's microphone plays a 1 kHz tone, B's a
// 440 Hz tone, each with a chirp marker at 4.5 s; A plays a key tone (the digit 1: 697 + 1209
// Hz) into the call at 5 s. The marker's position in the far speaker file gives the
// mouth-to-ear latency, which places the windows in which the tones are listened to. The
// integration test judges the report, the demo prints it.
namespace loopback {

constexpr double kToneA = 1000.0;
constexpr double kToneB = 440.0;
constexpr double kToneDbfs = -12.0;
constexpr double kMicrophoneSeconds = 6.0;
constexpr double kCallSeconds = 7.5;
constexpr double kMarkerAtS = 4.5;
constexpr double kMarkerSeconds = 0.05;
constexpr double kKeyToneLow = 697.0;
constexpr double kKeyToneHigh = 1209.0;
constexpr double kKeyToneSeconds = 0.3;
constexpr int kKeyToneAtMs = 5000;
// The latency marker is looked for this long after it was recorded; when it is not found, the
// analysis windows assume kAssumedLatencyS.
constexpr double kMaxLatencyS = 2.5;
constexpr double kAssumedLatencyS = 0.5;
// The steady part of each microphone tone that is listened to (microphone time).
constexpr double kToneWindowBeginS = 2.0;
constexpr double kToneWindowEndS = 4.4;
constexpr int kFrameMs = 20;
// What a working call shows.
constexpr double kMinToneMarginDb = 30.0;
constexpr double kMinKeyToneRiseDb = 20.0;
// A far tone fainter than this is not heard, however faint the rest of its window.
constexpr double kMinHeardDbfs = -40.0;
constexpr double kPacketsPerSecond = 1000.0 / kFrameMs;
constexpr double kPacketRateTolerance = 2.0;

// The frequencies a heard tone is compared with (the tone itself left out): both microphone
// tones, the key tone's and other DTMF frequencies, and a few others that are no harmonic of
// either microphone tone.
std::vector<double> ComparisonFrequencies(double heardHz);

// The chirp marker both microphones carry.
std::vector<int16_t> Marker();

CallSetup MakeStandardCall(const std::string& codec, const std::string& workDir);

struct HeardReport {
    double expectedHz = 0, ownHz = 0;
    TonePeak dominant;
    double levelDbfs = kNoSignalDb;
    double expectedDb = kNoSignalDb; // the far end's tone
    double ownDb = kNoSignalDb;      // the listener's own tone
    double worstOtherHz = 0;         // the strongest of the comparison frequencies
    double worstOtherDb = kNoSignalDb;
    // The share of the window's 20 ms frames in which the far tone is heard: at most 10 dB
    // below its level over the whole window, and at kMinHeardDbfs or above.
    double framesHeard = 0;
    double MarginDb() const { return expectedDb - worstOtherDb; }
};

struct DirectionReport {
    RtpStreamStats rtp;
    MarkerMatch marker;
    double latencyMs = 0; // valid when marker.found
};

struct KeyToneReport {
    bool played = false;                              // PlayFile returned 0 and gave a play id
    double lowDb = kNoSignalDb, highDb = kNoSignalDb; // after it was played
    double lowBeforeDb = kNoSignalDb, highBeforeDb = kNoSignalDb; // in the tone window before
    double RiseDb() const { return std::min(lowDb - lowBeforeDb, highDb - highBeforeDb); }
};

struct CallReport {
    std::string codec;
    int payloadType = -1;
    HeardReport heardByA, heardByB;
    DirectionReport aToB, bToA;
    KeyToneReport keyTone;
    // How far the peers' start times may be off the true device start (ms): the time the
    // StartRX and StartTX calls took.
    double timingUncertaintyMs = 0;
    size_t foreignDatagrams = 0;
};

int PayloadTypeOf(const std::string& codec);
CallReport AnalyseStandardCall(const CallSetup& setup, const CallOutcome& outcome);
void PrintReport(std::FILE* to, const CallReport& report);
// What falls short of a working call, one text per fault; empty when all is well.
std::vector<std::string> Problems(const CallReport& report);

} // namespace loopback
