#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tools/loopback/CallReport.h"
#include "tools/loopback/LoopbackCall.h"
#include "tools/loopback/PeerProcess.h"

namespace {

using namespace loopback;

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

    // Fails the test (fatally) when the call cannot be made.
    void RunCall(const std::string& codec, int junkPerSecondToB = 0) {
        std::string error;
        dir_ = MakeWorkDir("quorvex-e2e-media-", &error);
        ASSERT_FALSE(dir_.empty()) << error;
        setup_ = MakeStandardCall(codec, dir_);
        setup_.junkPerSecondToB = junkPerSecondToB;
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
        auto count = [&](const std::string& label) -> long long {
            const size_t at = trace.find("\n" + label);
            return at == std::string::npos ? -1 : std::atoll(trace.c_str() + at + 1 + label.size());
        };
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
    ASSERT_NO_FATAL_FAILURE(RunCall("pcmu", 500));
    ExpectRtp("A -> B", report_.aToB);
    EXPECT_GE(report_.heardByB.framesHeard, 0.95);
    EXPECT_GE(report_.heardByA.framesHeard, 0.95); // the other direction is untouched
    ExpectHeard("heard by B", report_.heardByB);
}

} // namespace
