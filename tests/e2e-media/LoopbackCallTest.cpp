#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

#include "tools/loopback/CallReport.h"
#include "tools/loopback/LoopbackCall.h"
#include "tools/loopback/PeerProcess.h"
#include "tools/loopback/TestSignal.h"

namespace {

using namespace loopback;

constexpr double kStrangerTone = 2000.0;

// Runs the standard call with a codec; the files are removed when every check passed and kept
// (their place printed) otherwise.
class LoopbackCallTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (dir_.empty()) {
            return;
        }
        if (HasFailure()) {
            std::printf("loopback call files kept in %s\n", dir_.c_str());
        } else {
            RemoveTree(dir_);
        }
    }

    // Fails the test (fatally) when the call cannot be made. `adjust` changes the standard call.
    void RunCall(const std::string& codec, const std::function<void(CallSetup*)>& adjust = {}) {
        std::string error;
        dir_ = MakeWorkDir("quorvex-e2e-media-", &error);
        ASSERT_FALSE(dir_.empty()) << error;
        setup_ = MakeStandardCall(codec, dir_);
        if (adjust) {
            adjust(&setup_);
        }
        ASSERT_TRUE(RunLoopbackCall(setup_, &outcome_, &error)) << error;
        report_ = AnalyseStandardCall(setup_, outcome_);
        PrintReport(stdout, report_);
    }

    void ExpectRtp(const char* name, const DirectionReport& d) {
        SCOPED_TRACE(name);
        EXPECT_GE(d.rtp.mediaPackets, 250u) << "about 6 s of audio at 50 packets per second";
        EXPECT_NEAR(d.rtp.packetsPerSecond, kPacketsPerSecond, kPacketRateTolerance);
        EXPECT_EQ(d.rtp.firstPayloadType, report_.payloadType);
        EXPECT_EQ(d.rtp.wrongPayloadType, 0u);
        EXPECT_EQ(d.rtp.notRtp, 0u);
        EXPECT_EQ(d.rtp.wrongPayloadSize, 0u) << "every packet carries 20 ms (160 bytes)";
        EXPECT_EQ(d.rtp.sequenceJumps, 0u) << "nothing is lost or reordered on loopback";
        EXPECT_LE(d.rtp.comfortNoise, 1u) << "one comfort-noise packet when the audio ends";
    }

    void ExpectHeard(const char* name, const HeardReport& h) {
        SCOPED_TRACE(name);
        EXPECT_GE(h.MarginDb(), kMinToneMarginDb)
            << "far tone " << h.expectedHz << " Hz at " << h.expectedDb << " dB, " << h.worstOtherHz
            << " Hz at " << h.worstOtherDb << " dB";
        EXPECT_GE(h.expectedDb - h.ownDb, kMinToneMarginDb) << "the own tone must not come back";
        EXPECT_NEAR(h.dominant.hz, h.expectedHz, 2.0);
        EXPECT_GT(h.levelDbfs, -30.0) << "the far tone arrives at a usable level";
    }

    void ExpectLatencyMeasured(const char* name, const DirectionReport& d) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(d.marker.found) << "the chirp marker did not arrive intact (best correlation "
                                    << d.marker.correlation << ")";
    }

    // The stranger's tone is not heard on B's speaker in [begin, end), but around A's marker,
    // whose sweep passes through it.
    void ExpectStrangerUnheard(size_t begin, size_t end) {
        const size_t block = kSampleRate / 10, marker = report_.aToB.marker.position;
        for (auto [from, to] :
             {std::pair{begin, marker - block}, std::pair{marker + Marker().size() + block, end}}) {
            EXPECT_LT(LoudestToneBlockDb(outcome_.b.speaker, from, to, kStrangerTone), -45.0)
                << "the stranger's tone reached B's speaker between samples " << from << " and "
                << to;
        }
    }

    // A count of the closing statistics in a peer's trace log, or -1.
    static long long StatisticsCount(const PeerOutcome& peer, const std::string& label) {
        const std::string trace = ReadTextFile(peer.tracePath);
        const size_t at = trace.find("\n" + label);
        return at == std::string::npos ? -1 : std::atoll(trace.c_str() + at + 1 + label.size());
    }

    std::string dir_;
    CallSetup setup_;
    CallOutcome outcome_;
    CallReport report_;
};

TEST_F(LoopbackCallTest, MuLawCallCarriesBothTonesAndTheKeyTone) {
    ASSERT_NO_FATAL_FAILURE(RunCall("pcmu"));
    EXPECT_EQ(report_.payloadType, 0);
    ExpectRtp("A -> B", report_.aToB);
    ExpectRtp("B -> A", report_.bToA);
    ExpectHeard("heard by A", report_.heardByA);
    ExpectHeard("heard by B", report_.heardByB);
    ExpectLatencyMeasured("A -> B", report_.aToB);
    ExpectLatencyMeasured("B -> A", report_.bToA);

    EXPECT_TRUE(report_.keyTone.played) << outcome_.a.stdoutText;
    EXPECT_GE(report_.keyTone.RiseDb(), kMinKeyToneRiseDb)
        << "697 Hz " << report_.keyTone.lowBeforeDb << " -> " << report_.keyTone.lowDb
        << " dB, 1209 Hz " << report_.keyTone.highBeforeDb << " -> " << report_.keyTone.highDb
        << " dB";
    EXPECT_EQ(report_.foreignDatagrams, 0u);
    EXPECT_EQ(outcome_.b.Value("key_tone_us"), -1) << "only A plays a key tone";

    // The closing statistics each media object writes at Release account for the call.
    for (const PeerOutcome* peer : {&outcome_.a, &outcome_.b}) {
        const std::string trace = ReadTextFile(peer->tracePath);
        SCOPED_TRACE(peer->tracePath);
        ASSERT_NE(trace.find("*** estadisticas RTP ***"), std::string::npos) << trace;
        auto count = [&](const std::string& label) { return StatisticsCount(*peer, label); };
        // At least 250 packets of 172 bytes (12 of header, 160 of audio).
        EXPECT_GT(count("RTP sendto:"), 250 * 172);
        EXPECT_GT(count("RTP WaveOut:"), 6 * 16000) << "the speaker played the whole call";
        EXPECT_GT(count("RTP WaveIn:"), 6 * 16000) << "the microphone ran the whole call";
    }
}

TEST_F(LoopbackCallTest, ALawCallCarriesBothTones) {
    ASSERT_NO_FATAL_FAILURE(RunCall("pcma"));
    EXPECT_EQ(report_.payloadType, 8);
    ExpectRtp("A -> B", report_.aToB);
    ExpectRtp("B -> A", report_.bToA);
    ExpectHeard("heard by A", report_.heardByA);
    ExpectHeard("heard by B", report_.heardByB);
    ExpectLatencyMeasured("A -> B", report_.aToB);
    ExpectLatencyMeasured("B -> A", report_.bToA);
}

TEST_F(LoopbackCallTest, AFloodOfDatagramsThatAreNotRtpLeavesTheFarToneAudible) {
    // 500 a second reach B beside A's packets: empty, too short, the wrong version, too large.
    ASSERT_NO_FATAL_FAILURE(RunCall("pcmu", [](CallSetup* s) { s->junkPerSecondToB = 500; }));
    ExpectRtp("A -> B", report_.aToB);
    EXPECT_GE(report_.heardByB.framesHeard, 0.95);
    EXPECT_GE(report_.heardByA.framesHeard, 0.95); // the other direction is untouched
    ExpectHeard("heard by B", report_.heardByB);
}

TEST_F(LoopbackCallTest, AStrangersStreamToThePortNeverReachesTheSpeaker) {
    // From 1 s into the call to its end a third process sends a tone of the call's own payload
    // type straight to B's port, from a port of its own.
    ASSERT_NO_FATAL_FAILURE(RunCall("pcmu", [](CallSetup* s) {
        s->intruder.microphone = Tone(kStrangerTone, kCallSeconds, kToneDbfs);
    }));
    EXPECT_GT(StatisticsCount(outcome_.intruder, "RTP sendto:"), 150 * 172) << "it sent";
    EXPECT_GE(report_.heardByB.framesHeard, 0.95);
    ExpectHeard("heard by B", report_.heardByB);
    EXPECT_GE(StatisticsCount(outcome_.b, "RTP ajenos:"), 150) << "its datagrams are counted";
    EXPECT_EQ(StatisticsCount(outcome_.a, "RTP ajenos:"), 0);
    // Nor does it take A's place when A's stream ends, not before 2 s of A's silence: its tone
    // is looked for up to 1 s after A's last, everywhere but around A's marker, whose sweep
    // passes through it.
    ASSERT_TRUE(report_.aToB.marker.found);
    const std::vector<int16_t>& heard = outcome_.b.speaker;
    const size_t block = kSampleRate / 10;
    size_t lastOfA = 0;
    for (size_t at = 0; at + block <= heard.size(); at += block) {
        lastOfA = ToneLevelDb(heard, at, at + block, kToneA) >= kMinHeardDbfs ? at : lastOfA;
    }
    ExpectStrangerUnheard(0, lastOfA + kSampleRate);
}

TEST_F(LoopbackCallTest, AStrangerTakenBeforeThePeerSpokeIsNotHeardOnceThePeerIsHeard) {
    // The stranger streams to B before anything of A arrives, so B takes it for its far end
    // behind a NAT; 1.5 s after A's first packet the relay lets A's packets through, from the
    // address B's far end has.
    ASSERT_NO_FATAL_FAILURE(RunCall("pcmu", [](CallSetup* s) {
        s->intruder.microphone = Tone(kStrangerTone, kCallSeconds, kToneDbfs);
        s->intruderAtMs = 0;
        s->holdBackFromAMs = 1500;
    }));
    EXPECT_GE(report_.heardByB.framesHeard, 0.95);
    ExpectHeard("heard by B", report_.heardByB);
    ASSERT_FALSE(outcome_.aToB.empty());
    ASSERT_TRUE(report_.aToB.marker.found);
    // Where A's first packet reached B, on B's speaker: the stranger was heard before it. After
    // it the stranger may be heard only for what the jitter buffer and the speaker already held
    // (about 0.25 s); the receive slots held more of it (about 0.36 s), which must not play.
    const std::vector<int16_t>& heard = outcome_.b.speaker;
    const double switchS =
        static_cast<double>(outcome_.aToB.front().timeUs - outcome_.b.Value("rx_started_us")) / 1e6;
    const size_t atSwitch = static_cast<size_t>(switchS * kSampleRate);
    const size_t block = kSampleRate / 10;
    ASSERT_LT(atSwitch, heard.size());
    EXPECT_GE(LoudestToneBlockDb(heard, 0, atSwitch, kStrangerTone), kMinHeardDbfs)
        << "B took the stranger first";
    ExpectStrangerUnheard(atSwitch + 4 * block, heard.size());
}

TEST_F(LoopbackCallTest, AFarEndWhosePacketsComeFromAnotherPortIsHeard) {
    // As behind a NAT: B sends to one port of the relay and hears A from another.
    ASSERT_NO_FATAL_FAILURE(RunCall("pcmu", [](CallSetup* s) { s->natTowardsB = true; }));
    EXPECT_GE(report_.heardByB.framesHeard, 0.95);
    ExpectHeard("heard by B", report_.heardByB);
}

} // namespace
