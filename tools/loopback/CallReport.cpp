#include "tools/loopback/CallReport.h"

#include "media/term/ReceiveBuffering.h"

#include <algorithm>
#include <cmath>

#include "tools/loopback/TestSignal.h"

namespace loopback {

namespace {

size_t At(double seconds) {
    return seconds <= 0 ? 0 : static_cast<size_t>(std::lround(seconds * kSampleRate));
}

// Where the talker's microphone sample 0 would play on the listener's speaker with no delay,
// in seconds of the listener's speaker file: both device timelines start as their chain's
// start call returns.
double TimelineOffsetS(const PeerOutcome& talker, const PeerOutcome& listener) {
    return static_cast<double>(talker.Value("tx_started_us") - listener.Value("rx_started_us")) /
           1e6;
}

// The delay to use for the windows: the measured one, else an assumption.
double LatencyS(const DirectionReport& d) {
    return d.marker.found ? d.latencyMs / 1000.0 : kAssumedLatencyS;
}

HeardReport Heard(const PeerOutcome& talker, const PeerOutcome& listener,
                  const DirectionReport& direction, double expectedHz, double ownHz) {
    HeardReport r;
    r.expectedHz = expectedHz;
    r.ownHz = ownHz;
    const double shift = TimelineOffsetS(talker, listener) + LatencyS(direction);
    const size_t begin = At(kToneWindowBeginS + shift);
    const size_t end = At(kToneWindowEndS + shift);
    const std::vector<int16_t>& s = listener.speaker;
    r.dominant = DominantTone(s, begin, end);
    r.levelDbfs = LevelDbfs(s, begin, end);
    r.expectedDb = ToneLevelDb(s, begin, end, expectedHz);
    r.ownDb = ToneLevelDb(s, begin, end, ownHz);
    const size_t frame = kFrameMs * kSampleRate / 1000;
    size_t frames = 0, heard = 0;
    for (size_t at = begin; at + frame <= std::min(end, s.size()); at += frame) {
        ++frames;
        const double db = ToneLevelDb(s, at, at + frame, expectedHz);
        heard += db >= r.expectedDb - 10.0 && db >= kMinHeardDbfs ? 1 : 0;
    }
    r.framesHeard = frames ? static_cast<double>(heard) / static_cast<double>(frames) : 0;
    for (double hz : ComparisonFrequencies(expectedHz)) {
        const double db = ToneLevelDb(s, begin, end, hz);
        if (db > r.worstOtherDb) {
            r.worstOtherDb = db;
            r.worstOtherHz = hz;
        }
    }
    return r;
}

DirectionReport Direction(const std::vector<RtpRelay::Packet>& packets, int payloadType,
                          const PeerOutcome& talker, const PeerOutcome& listener) {
    DirectionReport r;
    r.rtp = SummariseRtp(packets, payloadType, kFrameMs * kSampleRate / 1000);
    const double expected = kMarkerAtS + TimelineOffsetS(talker, listener);
    r.marker =
        FindMarker(listener.speaker, Marker(), At(expected - 0.05), At(expected + kMaxLatencyS));
    if (r.marker.found) {
        r.latencyMs = (static_cast<double>(r.marker.position) / kSampleRate - expected) * 1000;
    }
    return r;
}

// The key tone in the listener's file, in the window where it should be heard, against the
// same frequencies in the tone window before it.
KeyToneReport KeyTone(const PeerOutcome& talker, const PeerOutcome& listener,
                      const DirectionReport& direction) {
    KeyToneReport r;
    const int64_t playedUs = talker.Value("key_tone_us");
    r.played =
        playedUs > 0 && talker.Value("PlayFile") == 0 && talker.Value("key_tone_play_id") != -1;
    if (playedUs <= 0) {
        return r;
    }
    const double heard =
        static_cast<double>(playedUs - listener.Value("rx_started_us")) / 1e6 + LatencyS(direction);
    const size_t begin = At(heard - 0.1);
    const size_t end = At(heard + kKeyToneSeconds + 0.2);
    r.lowDb = ToneLevelDb(listener.speaker, begin, end, kKeyToneLow);
    r.highDb = ToneLevelDb(listener.speaker, begin, end, kKeyToneHigh);
    const double shift = TimelineOffsetS(talker, listener) + LatencyS(direction);
    const size_t beforeBegin = At(kToneWindowBeginS + shift);
    const size_t beforeEnd = At(kToneWindowEndS + shift);
    r.lowBeforeDb = ToneLevelDb(listener.speaker, beforeBegin, beforeEnd, kKeyToneLow);
    r.highBeforeDb = ToneLevelDb(listener.speaker, beforeBegin, beforeEnd, kKeyToneHigh);
    return r;
}

double StartCallsMs(const PeerOutcome& p) {
    return static_cast<double>(p.Value("rx_started_us") - p.Value("rx_start_us") +
                               p.Value("tx_started_us") - p.Value("tx_start_us")) /
           1000.0;
}

} // namespace

std::vector<double> ComparisonFrequencies(double heardHz) {
    std::vector<double> all = {300,          kToneB, 560,  kKeyToneLow, 770,  852,  kToneA,
                               kKeyToneHigh, 1336,   1477, 1633,        2300, 2700, 3200};
    std::erase(all, heardHz);
    return all;
}

std::vector<int16_t> Marker() {
    return Chirp(300, 3000, kMarkerSeconds, kToneDbfs);
}

CallSetup MakeStandardCall(const std::string& codec, const std::string& workDir) {
    CallSetup setup;
    setup.workDir = workDir;
    setup.codec = codec;
    setup.seconds = kCallSeconds;
    setup.a.microphone = Tone(kToneA, kMicrophoneSeconds, kToneDbfs);
    setup.b.microphone = Tone(kToneB, kMicrophoneSeconds, kToneDbfs);
    Overwrite(&setup.a.microphone, Marker(), At(kMarkerAtS));
    Overwrite(&setup.b.microphone, Marker(), At(kMarkerAtS));
    setup.a.keyTone = DualTone(kKeyToneLow, kKeyToneHigh, kKeyToneSeconds, kToneDbfs - 3);
    setup.a.keyToneAtMs = kKeyToneAtMs;
    return setup;
}

int PayloadTypeOf(const std::string& codec) {
    return codec == "pcma" ? 8 : codec == "pcmu" ? 0 : -1;
}

CallReport AnalyseStandardCall(const CallSetup& setup, const CallOutcome& outcome) {
    CallReport r;
    r.codec = setup.codec;
    r.payloadType = PayloadTypeOf(setup.codec);
    r.aToB = Direction(outcome.aToB, r.payloadType, outcome.a, outcome.b);
    r.bToA = Direction(outcome.bToA, r.payloadType, outcome.b, outcome.a);
    r.heardByA = Heard(outcome.b, outcome.a, r.bToA, kToneB, kToneA);
    r.heardByB = Heard(outcome.a, outcome.b, r.aToB, kToneA, kToneB);
    r.keyTone = KeyTone(outcome.a, outcome.b, r.aToB);
    r.timingUncertaintyMs = std::max(StartCallsMs(outcome.a), StartCallsMs(outcome.b));
    r.foreignDatagrams = outcome.foreignDatagrams;
    return r;
}

void PrintReport(std::FILE* to, const CallReport& r) {
    auto heard = [&](const char* who, const HeardReport& h) {
        std::fprintf(to,
                     "  %s (microphone %.0f Hz) heard %.1f Hz at %.1f dBFS; the far tone "
                     "%.0f Hz is %.1f dB above the strongest other bin (%.0f Hz), its own "
                     "tone at %.1f dB; the far tone heard in %.1f%% of 20 ms frames\n",
                     who, h.ownHz, h.dominant.hz, h.levelDbfs, h.expectedHz, h.MarginDb(),
                     h.worstOtherHz, h.ownDb, 100.0 * h.framesHeard);
    };
    auto direction = [&](const char* name, const DirectionReport& d) {
        std::fprintf(to,
                     "  %s: %zu RTP packets of payload type %d, %.1f per second (%zu comfort "
                     "noise, %zu of another type, %zu not RTP, %zu sequence jumps)\n",
                     name, d.rtp.mediaPackets, r.payloadType, d.rtp.packetsPerSecond,
                     d.rtp.comfortNoise, d.rtp.wrongPayloadType, d.rtp.notRtp, d.rtp.sequenceJumps);
    };
    std::fprintf(to, "Loopback call, %s (payload type %d), through a relay on 127.0.0.1\n",
                 r.codec == "pcma" ? "G.711 A-law" : "G.711 mu-law", r.payloadType);
    direction("A -> B", r.aToB);
    direction("B -> A", r.bToA);
    heard("A", r.heardByA);
    heard("B", r.heardByB);
    std::fprintf(to,
                 "  A's key tone (697 + 1209 Hz): %s; at B %.1f / %.1f dBFS, %.1f dB above "
                 "before\n",
                 r.keyTone.played ? "played" : "NOT played", r.keyTone.lowDb, r.keyTone.highDb,
                 r.keyTone.RiseDb());
    auto latency = [&](const char* name, const DirectionReport& d) {
        if (d.marker.found) {
            std::fprintf(to, "  mouth-to-ear latency %s: %.0f ms (marker correlation %.2f)\n", name,
                         d.latencyMs, d.marker.correlation);
        } else {
            std::fprintf(to, "  mouth-to-ear latency %s: marker not found (best %.2f)\n", name,
                         d.marker.correlation);
        }
    };
    latency("A -> B", r.aToB);
    latency("B -> A", r.bToA);
    const tamsor::ReceiveBuffering b = tamsor::BufferingAtStart(kFrameMs, kFrameMs);
    std::fprintf(to,
                 "  the rules' buffering at the start of a call: receive slots %d x %d ms = %d + "
                 "jitter target %d + speaker %d x %d ms = %d + one frame %d = %d ms; clock "
                 "alignment within %.1f ms\n",
                 b.slots, b.frameMs, b.slotsMs, b.jitterMs, b.speakerFrames, kFrameMs, b.speakerMs,
                 b.frameMs, b.TotalMs(), r.timingUncertaintyMs);
}

std::vector<std::string> Problems(const CallReport& r) {
    std::vector<std::string> problems;
    char text[200];
    auto add = [&](bool bad, const char* format, auto... args) {
        if (bad) {
            std::snprintf(text, sizeof(text), format, args...);
            problems.push_back(text);
        }
    };
    for (const auto& [name, h] : {std::pair{"A", &r.heardByA}, std::pair{"B", &r.heardByB}}) {
        add(h->MarginDb() < kMinToneMarginDb,
            "%s: the far tone is only %.1f dB above %.0f Hz (at least %.0f dB wanted)", name,
            h->MarginDb(), h->worstOtherHz, kMinToneMarginDb);
    }
    for (const auto& [name, d] : {std::pair{"A -> B", &r.aToB}, std::pair{"B -> A", &r.bToA}}) {
        add(std::abs(d->rtp.packetsPerSecond - kPacketsPerSecond) > kPacketRateTolerance,
            "%s: %.1f packets per second", name, d->rtp.packetsPerSecond);
        add(d->rtp.mediaPackets == 0 || d->rtp.wrongPayloadType + d->rtp.notRtp > 0,
            "%s: %zu packets, %zu of another payload type than %d, %zu not RTP", name,
            d->rtp.packets, d->rtp.wrongPayloadType, r.payloadType, d->rtp.notRtp);
        add(d->rtp.wrongPayloadSize > 0, "%s: %zu packets without 20 ms of audio", name,
            d->rtp.wrongPayloadSize);
        add(!d->marker.found, "%s: the latency marker was not heard", name);
    }
    add(!r.keyTone.played, "A: the key tone was not played");
    add(r.keyTone.RiseDb() < kMinKeyToneRiseDb, "B: the key tone rose only %.1f dB",
        r.keyTone.RiseDb());
    add(r.foreignDatagrams > 0, "%zu datagrams from outside 127.0.0.0/8", r.foreignDatagrams);
    return problems;
}

} // namespace loopback
